#include "ui/study_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "files/number_text.h"
#include "ui/colour_scale.h"
#include "ui/network_map_view.h"
#include "ui/study_report.h"

namespace hydrosk::ui {
namespace {

constexpr char kTitlePrefix[] = "Hydrosk Study - ";
const QSize kInitialSize(1280, 800);
const QString kInvalidStyle = QStringLiteral("QLineEdit { background: #fde0dc; }");

QLineEdit* NumberField(const char* name, double value) {
    auto* field = new QLineEdit(QString::fromStdString(files::FormatUserNumber(value)));
    field->setObjectName(QLatin1String(name));
    field->setMaximumWidth(90);
    return field;
}

QLabel* UnitLabel(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    return label;
}

// A field with its unit beside it, as one row of the form.
QWidget* WithUnit(QWidget* field, QLabel* unit) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    layout->addWidget(unit, 1);
    return row;
}

QPushButton* Button(const char* name, const QString& text) {
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(name));
    return button;
}

// Velocities are in ft/s with US customary flow units and in m/s otherwise.
QString VelocityUnit(const std::string& flowUnits) {
    for (const char* us : {"CFS", "GPM", "MGD", "IMGD", "AFD"}) {
        if (flowUnits == us) return QStringLiteral("ft/s");
    }
    return QStringLiteral("m/s");
}

// A default minimal pressure of about 20 psi in the network's pressure unit.
double DefaultMinPressure(const std::string& pressureUnits) {
    if (pressureUnits == "m") return 14;
    if (pressureUnits == "kPa") return 140;
    return 20;
}

}  // namespace

StudyWindow::StudyWindow(StudyServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("frmStudy"));
    setWindowTitle(QStringLiteral("Hydrosk Study"));
    resize(kInitialSize);

    auto* toolbar = addToolBar(QStringLiteral("Study"));
    toolbar->setObjectName(QStringLiteral("tbrStudy"));
    toolbar->setMovable(false);
    QAction* open = toolbar->addAction(QStringLiteral("Open network..."));
    open->setObjectName(QStringLiteral("actOpenNetwork"));
    open->setShortcut(QKeySequence::Open);
    QAction* fit = toolbar->addAction(QStringLiteral("Fit to window"));
    fit->setObjectName(QStringLiteral("actFitToWindow"));
    toolbar->addSeparator();
    exportReport_ = toolbar->addAction(QStringLiteral("Export report..."));
    exportReport_->setObjectName(QStringLiteral("actExportReport"));
    exportReport_->setEnabled(false);
    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("actClose"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    addAction(close);

    auto* mapArea = new QStackedWidget;
    mapArea->setObjectName(QStringLiteral("stkMap"));
    mapView_ = new NetworkMapView;
    mapView_->setObjectName(QStringLiteral("mapView"));
    mapNotice_ = new QLabel(QStringLiteral("Open an INP file to set up a fire-flow study."));
    mapNotice_->setObjectName(QStringLiteral("lblMapNotice"));
    mapNotice_->setAlignment(Qt::AlignCenter);
    mapNotice_->setWordWrap(true);
    mapArea->addWidget(mapNotice_);
    mapArea->addWidget(mapView_);

    auto* splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("splStudy"));
    splitter->addWidget(buildPanel());
    splitter->addWidget(mapArea);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kInitialSize.width() * 3 / 10, kInitialSize.width() * 7 / 10});
    setCentralWidget(splitter);

    connect(open, &QAction::triggered, this, &StudyWindow::chooseNetwork);
    connect(fit, &QAction::triggered, mapView_, &NetworkMapView::fitToWindow);
    connect(exportReport_, &QAction::triggered, this, &StudyWindow::exportReport);
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(mapView_, &NetworkMapView::junctionClicked, this, &StudyWindow::toggleHydrant);
    connect(mapView_, &NetworkMapView::junctionsBoxed, this, &StudyWindow::addHydrants);
    mapView_->setTooltipText([this](int node) {
        const QString id = DisplayText(network_->nodes[static_cast<std::size_t>(node)].id);
        return picked_.count(node) != 0 ? id + QStringLiteral(": hydrant") : id;
    });
}

StudyWindow::~StudyWindow() = default;

QWidget* StudyWindow::buildPanel() {
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("pnlStudy"));
    auto* layout = new QVBoxLayout(panel);

    auto* options = new QGroupBox(QStringLiteral("Study"));
    auto* form = new QFormLayout(options);
    mode_ = new QComboBox;
    mode_->setObjectName(QStringLiteral("cmbStudyMode"));
    mode_->addItems({QStringLiteral("Available flow"), QStringLiteral("Design check")});
    form->addRow(QStringLiteral("Mode:"), mode_);
    minPressure_ = NumberField("txtMinPressure", 20);
    pressureUnits_ = UnitLabel("lblMinPressureUnits");
    form->addRow(QStringLiteral("Minimal pressure:"), WithUnit(minPressure_, pressureUnits_));
    velocityLimit_ = new QLineEdit;
    velocityLimit_->setObjectName(QStringLiteral("txtVelocityLimit"));
    velocityLimit_->setMaximumWidth(90);
    velocityLimit_->setPlaceholderText(QStringLiteral("none"));
    velocityUnits_ = UnitLabel("lblVelocityLimitUnits");
    form->addRow(QStringLiteral("Velocity limit:"), WithUnit(velocityLimit_, velocityUnits_));
    demandTime_ = NumberField("txtDemandTime", 0);
    demandTimeUnits_ = UnitLabel("lblDemandTimeUnits");
    form->addRow(QStringLiteral("Demand time:"), WithUnit(demandTime_, demandTimeUnits_));
    fireDuration_ = NumberField("txtFireDuration", 2);
    form->addRow(QStringLiteral("Fire duration:"),
                 WithUnit(fireDuration_, new QLabel(QStringLiteral("h"))));
    fireDemand_ = new QComboBox;
    fireDemand_->setObjectName(QStringLiteral("cmbFireDemand"));
    fireDemand_->addItems({QStringLiteral("added to the junction's demand"),
                           QStringLiteral("replacing the junction's demand")});
    form->addRow(QStringLiteral("Fire demand:"), fireDemand_);
    requiredFlow_ = NumberField("txtRequiredFlow", 1000);
    flowUnits_ = UnitLabel("lblRequiredFlowUnits");
    form->addRow(QStringLiteral("Required flow:"), WithUnit(requiredFlow_, flowUnits_));
    requiredFlowsFile_ = new QLabel(QStringLiteral("none"));
    requiredFlowsFile_->setObjectName(QStringLiteral("lblRequiredFlowsFile"));
    QPushButton* requiredFlows = Button("cmdRequiredFlowsFile", QStringLiteral("File..."));
    auto* requiredRow = new QWidget;
    auto* requiredLayout = new QHBoxLayout(requiredRow);
    requiredLayout->setContentsMargins(0, 0, 0, 0);
    requiredLayout->addWidget(requiredFlowsFile_, 1);
    requiredLayout->addWidget(requiredFlows);
    form->addRow(QStringLiteral("Required flows file:"), requiredRow);
    layout->addWidget(options);

    auto* hydrants = new QGroupBox(QStringLiteral("Hydrants"));
    auto* hydrantLayout = new QVBoxLayout(hydrants);
    allJunctions_ = new QRadioButton(QStringLiteral("All junctions"));
    allJunctions_->setObjectName(QStringLiteral("optAllJunctions"));
    allJunctions_->setChecked(true);
    hydrantsFile_ = new QRadioButton(QStringLiteral("Junctions listed in a file"));
    hydrantsFile_->setObjectName(QStringLiteral("optHydrantsFile"));
    hydrantsFileName_ = new QLabel(QStringLiteral("none"));
    hydrantsFileName_->setObjectName(QStringLiteral("lblHydrantsFile"));
    QPushButton* hydrantsFileButton = Button("cmdHydrantsFile", QStringLiteral("File..."));
    hydrantsOnMap_ = new QRadioButton(
        QStringLiteral("Selected on the map (click a junction, drag a rectangle)"));
    hydrantsOnMap_->setObjectName(QStringLiteral("optHydrantsOnMap"));
    hydrantCount_ = new QLabel;
    hydrantCount_->setObjectName(QStringLiteral("lblHydrantCount"));
    QPushButton* clear = Button("cmdClearHydrants", QStringLiteral("Clear"));
    auto* group = new QButtonGroup(hydrants);
    for (QRadioButton* option : {allJunctions_, hydrantsFile_, hydrantsOnMap_}) {
        group->addButton(option);
    }
    auto* fileRow = new QHBoxLayout;
    fileRow->addSpacing(20);
    fileRow->addWidget(hydrantsFileName_, 1);
    fileRow->addWidget(hydrantsFileButton);
    auto* mapRow = new QHBoxLayout;
    mapRow->addSpacing(20);
    mapRow->addWidget(hydrantCount_, 1);
    mapRow->addWidget(clear);
    hydrantLayout->addWidget(allJunctions_);
    hydrantLayout->addWidget(hydrantsFile_);
    hydrantLayout->addLayout(fileRow);
    hydrantLayout->addWidget(hydrantsOnMap_);
    hydrantLayout->addLayout(mapRow);
    layout->addWidget(hydrants);
    layout->addStretch(1);

    for (QLineEdit* field :
         {minPressure_, velocityLimit_, demandTime_, fireDuration_, requiredFlow_}) {
        connect(field, &QLineEdit::textChanged, this, [this, field] { checkNumber(*field); });
    }
    connect(requiredFlows, &QPushButton::clicked, this, [this] {
        chooseFile(*requiredFlowsFile_, QStringLiteral("Select the required flows file..."));
    });
    connect(hydrantsFileButton, &QPushButton::clicked, this, [this] {
        chooseFile(*hydrantsFileName_, QStringLiteral("Select the hydrants file..."));
        if (hydrantsFileName_->property("path").isValid()) hydrantsFile_->setChecked(true);
    });
    connect(group, &QButtonGroup::buttonToggled, this, [this] { hydrantsChanged(); });
    connect(clear, &QPushButton::clicked, this, [this] {
        picked_.clear();
        hydrantsChanged();
    });
    hydrantsChanged();
    return panel;
}

bool StudyWindow::openNetwork(const std::filesystem::path& inpFile) {
    try {
        network_ = network::LoadNetworkMap(inpFile);
    } catch (const network::NetworkMapError& error) {
        services_.messages->inform(
            this, QStringLiteral("Could not open the network"),
            FromFileSystemPath(inpFile) + QStringLiteral("\n") + DisplayText(error.what()));
        return false;
    }
    inpFile_ = inpFile;
    picked_.clear();
    setWindowTitle(QLatin1String(kTitlePrefix) + FromFileSystemPath(inpFile.filename()));
    minPressure_->setText(QString::fromStdString(
        files::FormatUserNumber(DefaultMinPressure(network_->pressure_units))));
    showUnits();

    auto* mapArea = static_cast<QStackedWidget*>(mapView_->parentWidget());
    if (network_->HasCoordinates()) {
        // Until the study has run, every junction in the neutral colour.
        MapLegend legend;
        legend.title = QStringLiteral("Network");
        legend.swatches = {
            {ColourScale::colourOf(ColourScale::kNeutral), QStringLiteral("Junction")}};
        mapView_->setNetwork(*network_, {}, std::move(legend));
        mapArea->setCurrentWidget(mapView_);
    } else {
        mapNotice_->setText(
            QStringLiteral("The network has no coordinates, so there is no map to draw."));
        mapArea->setCurrentWidget(mapNotice_);
    }
    exportReport_->setEnabled(true);
    hydrantsChanged();
    return true;
}

void StudyWindow::showUnits() {
    const QString pressure = QString::fromStdString(network_->pressure_units);
    const QString flow = QString::fromStdString(network_->flow_units);
    pressureUnits_->setText(pressure);
    flowUnits_->setText(flow);
    velocityUnits_->setText(VelocityUnit(network_->flow_units));
    demandTimeUnits_->setText(QStringLiteral("h (0 to %1)")
                                  .arg(QString::fromStdString(files::FormatUserNumber(
                                      static_cast<double>(network_->duration_seconds) / 3600))));
    checkNumber(*demandTime_);
}

void StudyWindow::checkNumber(QLineEdit& field) {
    const QString text = field.text().trimmed();
    bool valid = text.isEmpty() ? &field == velocityLimit_ : true;
    if (!text.isEmpty()) {
        const std::optional<float> value = files::ParseLocaleNumber(text.toStdString());
        valid = value && *value >= 0;
        if (valid && &field == demandTime_ && network_) {
            valid = *value <= static_cast<double>(network_->duration_seconds) / 3600;
        }
    }
    field.setStyleSheet(valid ? QString() : kInvalidStyle);
    field.setProperty("invalid", !valid);
}

void StudyWindow::chooseNetwork() {
    const QString chosen = services_.openDialog->chooseFile(
        this, QStringLiteral("Select INP file..."), QStringLiteral("INP Files (*.inp)"),
        FromFileSystemPath(inpFile_.parent_path()), FromFileSystemPath(inpFile_));
    if (!chosen.isEmpty()) openNetwork(ToFileSystemPath(chosen));
}

void StudyWindow::chooseFile(QLabel& shown, const QString& title) {
    const QString chosen = services_.openDialog->chooseFile(
        this, title, QStringLiteral("Text files (*.txt *.csv);;All files (*)"),
        FromFileSystemPath(inpFile_.parent_path()), shown.property("path").toString());
    if (chosen.isEmpty()) return;
    shown.setProperty("path", chosen);
    shown.setText(QFileInfo(chosen).fileName());
    shown.setToolTip(chosen);
}

void StudyWindow::hydrantsChanged() {
    const bool onMap = hydrantsOnMap_->isChecked();
    mapView_->setPicking(onMap);
    std::vector<int> nodes;
    if (onMap) nodes.assign(picked_.begin(), picked_.end());
    mapView_->setMarkedJunctions(nodes);
    hydrantCount_->setText(picked_.empty() ? QStringLiteral("none selected")
                                           : QStringLiteral("%1 selected").arg(picked_.size()));
}

void StudyWindow::toggleHydrant(int node) {
    if (!hydrantsOnMap_->isChecked()) return;
    if (!picked_.erase(node)) picked_.insert(node);
    hydrantsChanged();
}

void StudyWindow::addHydrants(const std::vector<int>& nodes) {
    if (!hydrantsOnMap_->isChecked()) return;
    picked_.insert(nodes.begin(), nodes.end());
    hydrantsChanged();
}

std::vector<std::pair<QString, QString>> StudyWindow::parameters() const {
    const auto withUnit = [](const QLineEdit& field, const QString& unit) {
        const QString text = field.text().trimmed();
        return text.isEmpty() ? QStringLiteral("none") : text + QLatin1Char(' ') + unit;
    };
    QString hydrants = QStringLiteral("all junctions");
    if (hydrantsFile_->isChecked()) {
        hydrants = QStringLiteral("listed in ") + hydrantsFileName_->text();
    } else if (hydrantsOnMap_->isChecked()) {
        QStringList ids;
        for (const int node : picked_) {
            ids << DisplayText(network_->nodes[static_cast<std::size_t>(node)].id);
        }
        hydrants = ids.isEmpty() ? QStringLiteral("none selected") : ids.join(QStringLiteral(", "));
    }
    return {
        {QStringLiteral("Mode"), mode_->currentText()},
        {QStringLiteral("Minimal pressure"), withUnit(*minPressure_, pressureUnits_->text())},
        {QStringLiteral("Velocity limit"), withUnit(*velocityLimit_, velocityUnits_->text())},
        {QStringLiteral("Demand time"), withUnit(*demandTime_, QStringLiteral("h"))},
        {QStringLiteral("Fire duration"), withUnit(*fireDuration_, QStringLiteral("h"))},
        {QStringLiteral("Fire demand"), fireDemand_->currentText()},
        {QStringLiteral("Required flow"), withUnit(*requiredFlow_, flowUnits_->text())},
        {QStringLiteral("Required flows file"), requiredFlowsFile_->text()},
        {QStringLiteral("Hydrants"), hydrants},
    };
}

bool StudyWindow::writeReport(const QString& path) {
    StudyReport report;
    report.network = FromFileSystemPath(inpFile_.filename());
    report.inpFile = FromFileSystemPath(inpFile_);
    report.parameters = parameters();
    report.summary = QStringLiteral("The study has not been run yet.");
    if (network_ && network_->HasCoordinates()) report.map = mapView_->image();
    if (WriteStudyReportPdf(report, path)) return true;
    services_.messages->inform(this, QStringLiteral("Could not write the file"), path);
    return false;
}

void StudyWindow::exportReport() {
    const QString path = services_.saveDialog->chooseSaveFile(
        this, QStringLiteral("Export report"), QStringLiteral("PDF documents (*.pdf)"),
        FromFileSystemPath(inpFile_) + QStringLiteral(".report.pdf"));
    if (!path.isEmpty()) writeReport(path);
}

StudyWindow* ShowStudyWindow(const std::optional<std::filesystem::path>& inpFile,
                             StudyServices services) {
    auto* window = new StudyWindow(std::move(services));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    if (inpFile) window->openNetwork(*inpFile);
    return window;
}

}  // namespace hydrosk::ui
