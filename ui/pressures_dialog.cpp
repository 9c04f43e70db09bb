#include "ui/pressures_dialog.h"

#include <QHeaderView>
#include <QScrollBar>
#include <string_view>
#include <vector>

#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "ui/widgets.h"
#include "ui/window_services.h"

namespace hydrosk::ui {
namespace {

// Client area of the dialog, pixels.
constexpr QSize kClientSize{306, 575};

std::vector<QString> JunctionIdTexts(const network::NetworkCatalogue& catalogue) {
    std::vector<QString> ids;
    for (int k = 1; k <= catalogue.JunctionCount; ++k) {
        ids.push_back(DisplayText(catalogue.JunctionIDs[static_cast<std::size_t>(k)]));
    }
    return ids;
}

void Put(QWidget& control, QWidget& parent, const char* name, const QRect& geometry) {
    control.setParent(&parent);
    control.setObjectName(QLatin1String(name));
    control.setGeometry(geometry);
}

std::string ToBytes(const QString& text) {
    return text.toStdString();
}

}  // namespace

PressuresDialog::PressuresDialog(const network::NetworkCatalogue& catalogue,
                                 std::filesystem::path inpDirectory, MessageBoxes& messages,
                                 QWidget* parent)
    : QDialog(parent),
      catalogue_(catalogue),
      inpDirectory_(std::move(inpDirectory)),
      messages_(messages),
      model_(JunctionIdTexts(catalogue)) {
    setObjectName(QStringLiteral("frmPressures"));
    setWindowTitle(QStringLiteral("Set junctions pressures"));
    setFont(DesignBaseFont());
    setFixedSize(kClientSize);

    QFont bold = font();
    bold.setBold(true);
    QFont underlined = font();
    underlined.setUnderline(true);

    Put(ubG, *this, "ubG", {8, 8, 281, 329});
    Put(lblHelp, *this, "lblHelp", {8, 344, 281, 89});
    lblHelp.setFont(bold);
    lblHelp.setFrameStyle(QFrame::Box | QFrame::Plain);
    lblHelp.setWordWrap(true);
    lblHelp.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblHelp.setAutoFillBackground(true);
    QPalette help = lblHelp.palette();
    help.setColor(QPalette::Window, QColor(255, 255, 128));
    help.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
    lblHelp.setPalette(help);

    Put(Label2, *this, "Label2", {16, 440, 1, 1});
    Label2.setFont(underlined);
    Label2.setText(QStringLiteral("Minimal pressures file::"));
    Label2.adjustSize();
    Put(Text1, *this, "Text1", {8, 456, 289, 25});
    Put(Label1, *this, "Label1", {16, 488, 1, 1});
    Label1.setFont(underlined);
    Label1.setText(QStringLiteral("Junction to exclude file:"));
    Label1.adjustSize();
    Put(Text5, *this, "Text5", {8, 504, 289, 25});
    Put(cmdOK, *this, "cmdOK", {8, 536, 65, 25});
    cmdOK.setText(QStringLiteral("OK"));
    Put(cmdCancel, *this, "cmdCancel", {88, 536, 65, 25});
    cmdCancel.setText(QStringLiteral("Cancel"));
    // Enter belongs to the grid's cell editor; only Escape has a button.
    for (QPushButton* button : {&cmdOK, &cmdCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(&cmdOK, &QPushButton::clicked, this, &PressuresDialog::accept);
    connect(&cmdCancel, &QPushButton::clicked, this, &PressuresDialog::reject);

    setTabOrder(&ubG, &cmdCancel);
    setTabOrder(&cmdCancel, &Text5);
    setTabOrder(&Text5, &cmdOK);
    setTabOrder(&cmdOK, &Text1);

    ubG.setModel(&model_);
    ubG.verticalHeader()->hide();
    ubG.setGridStyle(Qt::SolidLine);
    // Tab leaves the grid for the next control; the arrow keys move between cells.
    ubG.setTabKeyNavigation(false);
    ubG.setSelectionMode(QAbstractItemView::SingleSelection);
    ubG.setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    ubG.setStyleSheet(QStringLiteral(
        "QTableView { gridline-color: rgb(192, 192, 192); }"
        "QHeaderView::section { background-color: rgb(192, 192, 192); font-weight: bold;"
        " border: none; border-right: 1px solid rgb(128, 128, 128);"
        " border-bottom: 1px solid rgb(128, 128, 128); padding: 1px 3px; }"));
    ubG.verticalHeader()->setDefaultSectionSize(ubG.fontMetrics().height() + 6);
    ubG.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ubG.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // Column widths in the proportion 70 : 50 : 120 of the room beside the
    // vertical scroll bar.
    const int room =
        ubG.width() - 2 * ubG.frameWidth() - ubG.verticalScrollBar()->sizeHint().width();
    const int id = room * 70 / 240, exclude = room * 50 / 240;
    ubG.horizontalHeader()->setStretchLastSection(false);
    ubG.setColumnWidth(ConstraintTableModel::kIdColumn, id);
    ubG.setColumnWidth(ConstraintTableModel::kExcludeColumn, exclude);
    ubG.setColumnWidth(ConstraintTableModel::kPressureColumn, room - id - exclude);

    load();
}

std::filesystem::path PressuresDialog::excludedFile() const {
    return inpDirectory_ / files::kExcludedJunctionsFileName;
}

std::filesystem::path PressuresDialog::pressuresFile() const {
    return inpDirectory_ / files::kJunctionMinPressuresFileName;
}

void PressuresDialog::load() {
    const BusyPointer busy;
    lblHelp.setText(QStringLiteral(
        "Select the junctions that are to be excluded from the pressure constraints (for "
        "example: the junction near a tank with normal low pressure)\r\n\r\n"
        "Enter specific pressure constraints for junctions to override the default value."));

    // A stored ID that is not a junction of this network has no row; OK then
    // drops it, as the files hold only the network's junctions.
    const auto rowOf = [this](const std::string& id) -> int {
        const std::optional<int> index = catalogue_.Junctions.find(id);
        return index && *index >= 1 && *index <= catalogue_.JunctionCount ? *index : 0;
    };

    QStringList problems;
    Text5.setText(FromFileSystemPath(excludedFile()));
    try {
        if (std::filesystem::exists(excludedFile())) {
            for (const std::string& id : files::ReadExcludedJunctions(excludedFile())) {
                if (const int row = rowOf(id)) model_.setExcluded(row, true);
            }
        } else {
            files::WriteExcludedJunctions(excludedFile(), {});
        }
    } catch (const std::exception& error) {
        problems << QString::fromLocal8Bit(error.what());
    }

    Text1.setText(FromFileSystemPath(pressuresFile()));
    try {
        if (std::filesystem::exists(pressuresFile())) {
            for (const files::JunctionPressure& entry :
                 files::ReadJunctionMinPressures(pressuresFile())) {
                if (const int row = rowOf(entry.id)) {
                    model_.setPressureText(
                        row, QString::fromStdString(files::FormatUserNumber(entry.pressure)));
                }
            }
        } else {
            files::WriteJunctionMinPressures(pressuresFile(), {});
        }
    } catch (const std::exception& error) {
        problems << QString::fromLocal8Bit(error.what());
    }

    if (!problems.isEmpty()) {
        messages_.inform(parentWidget(), QStringLiteral("Could not load the junction constraints"),
                         problems.join(QLatin1Char('\n')));
    }
}

QString PressuresDialog::cellText(int row, int column) const {
    return model_.cellText(row, column);
}

void PressuresDialog::accept() {
    std::vector<std::string> excluded;
    std::vector<files::JunctionPressure> pressures;
    for (int k = 1; k <= catalogue_.JunctionCount; ++k) {
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(k)];
        if (model_.cellText(k, ConstraintTableModel::kExcludeColumn) == QLatin1String("1")) {
            excluded.push_back(id);
        }
        const QString text = model_.cellText(k, ConstraintTableModel::kPressureColumn);
        if (text.isEmpty()) continue;
        const std::optional<float> pressure = files::ParseLocaleNumber(ToBytes(text));
        if (!pressure) {
            ubG.setCurrentIndex(model_.index(k - 1, ConstraintTableModel::kPressureColumn));
            messages_.inform(
                this,
                QStringLiteral("The minimal pressure of junction %1 is not a number: %2")
                    .arg(DisplayText(id), text),
                QString());
            return;
        }
        pressures.push_back({id, *pressure});
    }
    try {
        files::WriteExcludedJunctions(excludedFile(), excluded);
        files::WriteJunctionMinPressures(pressuresFile(), pressures);
    } catch (const std::exception& error) {
        messages_.inform(this, QStringLiteral("Could not save the junction constraints"),
                         QString::fromLocal8Bit(error.what()));
        return;
    }
    QDialog::accept();
}

}  // namespace hydrosk::ui
