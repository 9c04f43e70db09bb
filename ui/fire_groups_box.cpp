#include "ui/fire_groups_box.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/fire_groups.h"
#include "files/number_text.h"

namespace hydrosk::ui {
namespace {

QLineEdit* Field(const char* name, const QString& text) {
    auto* field = new QLineEdit(text);
    field->setObjectName(QLatin1String(name));
    field->setMaximumWidth(70);
    return field;
}

QString NumberText(double value) {
    return QString::fromStdString(files::FormatUserNumber(value));
}

}  // namespace

FireGroupsBox::FireGroupsBox(std::shared_ptr<InpFileDialog> dialog, std::function<QString()> folder,
                             QWidget* parent)
    : QGroupBox(QStringLiteral("Fire groups"), parent),
      dialog_(std::move(dialog)),
      folder_(std::move(folder)) {
    setObjectName(QStringLiteral("grpFireGroups"));
    none_ = new QRadioButton(QStringLiteral("None: one junction a trial"));
    none_->setObjectName(QStringLiteral("optNoFireGroups"));
    none_->setChecked(true);
    file_ = new QRadioButton(QStringLiteral("Groups listed in a file"));
    file_->setObjectName(QStringLiteral("optFireGroupsFile"));
    fileName_ = new QLabel(QStringLiteral("none"));
    fileName_->setObjectName(QStringLiteral("lblFireGroupsFile"));
    auto* fileButton = new QPushButton(QStringLiteral("File..."));
    fileButton->setObjectName(QStringLiteral("cmdFireGroupsFile"));
    near_ = new QRadioButton(QStringLiteral("Each junction with its nearest junctions"));
    near_->setObjectName(QStringLiteral("optNearFireGroups"));
    distance_ = Field("txtGroupDistance", QString());
    distance_->setPlaceholderText(QStringLiteral("distance"));
    size_ = Field("txtGroupSize", QString::number(analysis::kDefaultGroupSize));

    auto* options = new QButtonGroup(this);
    for (QRadioButton* option : {none_, file_, near_}) options->addButton(option);
    auto* fileRow = new QHBoxLayout;
    fileRow->addSpacing(20);
    fileRow->addWidget(fileName_, 1);
    fileRow->addWidget(fileButton);
    auto* nearRow = new QHBoxLayout;
    nearRow->addSpacing(20);
    nearRow->addWidget(new QLabel(QStringLiteral("within")));
    nearRow->addWidget(distance_);
    nearRow->addWidget(new QLabel(QStringLiteral("map units, up to")));
    nearRow->addWidget(size_);
    nearRow->addWidget(new QLabel(QStringLiteral("members")), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(none_);
    layout->addWidget(file_);
    layout->addLayout(fileRow);
    layout->addWidget(near_);
    layout->addLayout(nearRow);

    connect(options, &QButtonGroup::buttonToggled, this, [this] {
        updateFields();
        emit changed();
    });
    connect(fileButton, &QPushButton::clicked, this, &FireGroupsBox::chooseFile);
    updateFields();
}

void FireGroupsBox::chooseFile() {
    const QString chosen = dialog_->chooseFile(
        this, QStringLiteral("Select the fire groups file..."),
        QStringLiteral("Text files (*.txt *.csv);;All files (*)"), folder_ ? folder_() : QString(),
        fileName_->property("path").toString());
    if (chosen.isEmpty()) return;
    fileName_->setProperty("path", chosen);
    fileName_->setText(QFileInfo(chosen).fileName());
    fileName_->setToolTip(chosen);
    file_->setChecked(true);
    emit changed();
}

void FireGroupsBox::updateFields() {
    distance_->setEnabled(near_->isChecked());
    size_->setEnabled(near_->isChecked());
}

FireGroupsBox::Choice FireGroupsBox::choice() const {
    if (file_->isChecked()) {
        const QVariant path = fileName_->property("path");
        if (!path.isValid()) return {std::nullopt, QStringLiteral("Fire groups: no file chosen")};
        return {analysis::FireGroupSource(ToFileSystemPath(path.toString())), {}};
    }
    if (!near_->isChecked()) return {};
    const std::optional<double> distance =
        files::ParseLocaleDouble(distance_->text().trimmed().toStdString(), files::UserLocale());
    if (!distance || !(*distance > 0)) {
        return {std::nullopt, QStringLiteral("Fire groups: the distance \"%1\" is not a number "
                                             "greater than 0")
                                  .arg(distance_->text())};
    }
    bool whole = false;
    const int size = size_->text().trimmed().toInt(&whole);
    if (!whole || size < 1) {
        return {std::nullopt,
                QStringLiteral("Fire groups: the members \"%1\" are not a whole number of at "
                               "least 1")
                    .arg(size_->text())};
    }
    return {analysis::FireGroupSource(analysis::NearGroups{*distance, size}), {}};
}

void FireGroupsBox::setSource(const std::optional<analysis::FireGroupSource>& source) {
    if (!source) {
        none_->setChecked(true);
    } else if (const auto* near = std::get_if<analysis::NearGroups>(&*source)) {
        distance_->setText(NumberText(near->distance));
        size_->setText(QString::number(near->size));
        near_->setChecked(true);
    } else {
        const QString path = FromFileSystemPath(std::get<std::filesystem::path>(*source));
        fileName_->setProperty("path", path);
        fileName_->setText(QFileInfo(path).fileName());
        fileName_->setToolTip(path);
        file_->setChecked(true);
    }
    updateFields();
}

bool FireGroupsBox::grouped() const {
    return !none_->isChecked();
}

QString FireGroupsBox::description() const {
    if (file_->isChecked()) return QStringLiteral("listed in ") + fileName_->text();
    if (near_->isChecked()) {
        return QStringLiteral(
                   "each junction with its nearest junctions within %1 map units, up "
                   "to %2 members")
            .arg(distance_->text().trimmed(), size_->text().trimmed());
    }
    return QStringLiteral("none");
}

}  // namespace hydrosk::ui
