#include "ui/study_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/fire_flow_run.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "ui/colour_scale.h"
#include "ui/fire_groups_box.h"
#include "ui/judged_results.h"
#include "ui/network_map_view.h"
#include "ui/results_table_model.h"
#include "ui/study_report.h"
#include "ui/study_run.h"

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

// A time left as the progress text gives it: "0:42" or "1:05:10".
QString ClockText(double seconds) {
    const auto total = static_cast<long long>(std::llround(std::max(seconds, 0.0)));
    const long long hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

qint64 SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
    openNetwork_ = open;
    open->setObjectName(QStringLiteral("actOpenNetwork"));
    open->setShortcut(QKeySequence::Open);
    QAction* fit = toolbar->addAction(QStringLiteral("Fit to window"));
    fit->setObjectName(QStringLiteral("actFitToWindow"));
    toolbar->addSeparator();
    exportReport_ = toolbar->addAction(QStringLiteral("Export report..."));
    exportReport_->setObjectName(QStringLiteral("actExportReport"));
    exportReport_->setEnabled(false);
    excludeBelowMinimum_ =
        toolbar->addAction(QStringLiteral("Exclude junctions below the minimum"));
    excludeBelowMinimum_->setObjectName(QStringLiteral("actExcludeBelowMinimum"));
    excludeBelowMinimum_->setEnabled(false);
    connect(excludeBelowMinimum_, &QAction::triggered, this,
            [this] { excludeJunctionsBelowMinimum(); });
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

    auto* resultsArea = new QWidget;
    auto* resultsLayout = new QVBoxLayout(resultsArea);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    summary_ = new QLabel(QStringLiteral("The study has not been run yet."));
    summary_->setObjectName(QStringLiteral("lblStudySummary"));
    summary_->setWordWrap(true);
    table_ = new QTableView;
    table_->setObjectName(QStringLiteral("tblStudyResults"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    resultsLayout->addWidget(summary_);
    resultsLayout->addWidget(table_, 1);

    auto* mapAndResults = new QSplitter(Qt::Vertical);
    mapAndResults->setObjectName(QStringLiteral("splMapAndResults"));
    mapAndResults->addWidget(mapArea);
    mapAndResults->addWidget(resultsArea);
    mapAndResults->setStretchFactor(0, 3);
    mapAndResults->setStretchFactor(1, 1);
    mapAndResults->setSizes({kInitialSize.height() * 7 / 10, kInitialSize.height() * 3 / 10});

    auto* splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("splStudy"));
    splitter->addWidget(buildPanel());
    splitter->addWidget(mapAndResults);
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

// The run first: its thread ends before anything it reports to goes.
StudyWindow::~StudyWindow() {
    run_.reset();
}

QWidget* StudyWindow::buildPanel() {
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("pnlStudy"));
    auto* panelLayout = new QVBoxLayout(panel);
    optionsPanel_ = new QWidget;
    optionsPanel_->setObjectName(QStringLiteral("pnlStudyOptions"));
    auto* layout = new QVBoxLayout(optionsPanel_);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* options = new QGroupBox(QStringLiteral("Study"));
    auto* form = new QFormLayout(options);
    mode_ = new QComboBox;
    mode_->setObjectName(QStringLiteral("cmbStudyMode"));
    mode_->addItems({QStringLiteral("Available flow"), QStringLiteral("Design check")});
    form->addRow(QStringLiteral("Mode:"), mode_);
    minPressure_ = NumberField("txtMinPressure", 20);
    pressureUnits_ = UnitLabel("lblMinPressureUnits");
    form->addRow(QStringLiteral("Minimal pressure:"), WithUnit(minPressure_, pressureUnits_));
    maximalFlow_ = NumberField("txtMaximalFlow", 1000);
    maximalFlowUnits_ = UnitLabel("lblMaximalFlowUnits");
    form->addRow(QStringLiteral("Maximal flow:"), WithUnit(maximalFlow_, maximalFlowUnits_));
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
    hydrantsBox_ = hydrants;
    // Groups take the place of single hydrants: every group's row is a trial of its own.
    fireGroups_ = new FireGroupsBox(services_.openDialog,
                                    [this] { return FromFileSystemPath(inpFile_.parent_path()); });
    layout->addWidget(fireGroups_);
    connect(fireGroups_, &FireGroupsBox::changed, this, [this] {
        hydrantsBox_->setEnabled(!fireGroups_->grouped());
        mapView_->setPicking(!fireGroups_->grouped() && hydrantsOnMap_->isChecked());
    });
    panelLayout->addWidget(optionsPanel_);

    auto* runBox = new QGroupBox(QStringLiteral("Run"));
    auto* runLayout = new QVBoxLayout(runBox);
    runButton_ = Button("cmdRun", QStringLiteral("&Run"));
    runButton_->setEnabled(false);
    cancelButton_ = Button("cmdCancel", QStringLiteral("&Cancel"));
    cancelButton_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(runButton_);
    buttons->addWidget(cancelButton_);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("pbStudy"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progressText_ = new QLabel;
    progressText_->setObjectName(QStringLiteral("lblRunProgress"));
    resultsFileName_ = new QLabel;
    resultsFileName_->setObjectName(QStringLiteral("lblResultsFile"));
    resultsFileName_->setWordWrap(true);
    runLayout->addLayout(buttons);
    runLayout->addWidget(progress_);
    runLayout->addWidget(progressText_);
    runLayout->addWidget(resultsFileName_);
    panelLayout->addWidget(runBox);
    panelLayout->addStretch(1);

    connect(runButton_, &QPushButton::clicked, this, &StudyWindow::startRun);
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (run_) run_->cancel();
        cancelButton_->setEnabled(false);
        progressText_->setText(QStringLiteral("Cancelling..."));
    });
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] {
        const bool available = mode_->currentIndex() == 0;
        maximalFlow_->setEnabled(available);
        requiredFlow_->setEnabled(!available);
    });
    maximalFlow_->setEnabled(true);
    requiredFlow_->setEnabled(false);

    for (QLineEdit* field :
         {minPressure_, maximalFlow_, velocityLimit_, demandTime_, fireDuration_, requiredFlow_}) {
        connect(field, &QLineEdit::textChanged, this, [this, field] { checkNumber(*field); });
    }
    for (QLineEdit* field : {minPressure_, demandTime_}) {
        connect(field, &QLineEdit::editingFinished, this, [this] {
            if (!running() && results_.rows.empty()) showBaseline();
        });
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
    if (running()) return false;
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
    // The fire lasts 2 h, or the whole simulation of a shorter one (none for a steady one).
    fireDuration_->setText(QString::fromStdString(files::FormatUserNumber(
        std::min(2.0, static_cast<double>(network_->duration_seconds) / 3600))));
    showUnits();

    auto* mapArea = static_cast<QStackedWidget*>(mapView_->parentWidget());
    if (network_->HasCoordinates()) {
        // Every junction in the neutral colour until the baseline is known.
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
    runButton_->setEnabled(true);
    resultsFileName_->setText(QStringLiteral("Results file: ") +
                              FromFileSystemPath(resultsFile().filename()));
    resultsFileName_->setToolTip(FromFileSystemPath(resultsFile()));
    clearResults();
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progressText_->clear();
    summary_->setText(QStringLiteral("The study has not been run yet."));
    hydrantsChanged();
    showBaseline();
    return true;
}

void StudyWindow::showBaseline() {
    belowMinimum_.clear();
    excludeBelowMinimum_->setEnabled(false);
    if (!network_) return;
    const std::optional<float> minimum =
        files::ParseLocaleNumber(minPressure_->text().toStdString());
    const std::optional<float> demandTime =
        files::ParseLocaleNumber(demandTime_->text().toStdString());
    if (!minimum || !demandTime || *minimum < 0 || *demandTime < 0) return;

    // The core's baseline of an available-flow study at the demand time: no fire flow, the
    // constraint files beside the INP file, no results file.
    analysis::RunSettings settings;
    settings.inp_file = inpFile_;
    settings.minimal_pressure = *minimum;
    analysis::StudyOptions study;
    study.fire.demand_time = *demandTime;
    settings.mode = analysis::AvailableFlowRun{0, std::nullopt, study};
    settings.constraints_directory = inpFile_.parent_path();
    settings.report_file.clear();
    settings.trial_report_file.clear();
    analysis::RunObserver quiet;
    const analysis::BaselineResult baseline = analysis::FindBaseline(settings, quiet);
    if (baseline.pressures.empty()) return;  // the network cannot be solved there

    const auto [low, high] =
        std::minmax_element(baseline.pressures.begin(), baseline.pressures.end());
    const ColourScale scale(*low, *high);
    std::vector<std::uint8_t> entries(network_->nodes.size(), ColourScale::kNeutral);
    for (std::size_t k = 0; k < baseline.pressures.size() && k < entries.size(); ++k) {
        entries[k] = scale.entryOf(baseline.pressures[k]);
    }
    for (const std::string& id : baseline.junctions) {
        if (const std::optional<int> node = network_->FindNode(id)) {
            entries[static_cast<std::size_t>(*node)] = ColourScale::kFail;
        }
    }
    belowMinimum_ = baseline.junctions;
    excludeBelowMinimum_->setEnabled(!belowMinimum_.empty());
    if (!network_->HasCoordinates()) return;
    MapLegend legend;
    legend.title = QStringLiteral("Pressure at %1 h without fire flow (%2)")
                       .arg(QString::fromStdString(files::FormatUserNumber(*demandTime)),
                            QString::fromStdString(network_->pressure_units));
    legend.scaleEnds = {QString::fromStdString(files::FormatUserNumber(*low)),
                        QString::fromStdString(files::FormatUserNumber(*high))};
    legend.swatches = {{ColourScale::colourOf(ColourScale::kFail),
                        QStringLiteral("Below the minimum (%1)").arg(belowMinimum_.size())}};
    mapView_->setJunctionColours(entries, std::move(legend));
}

bool StudyWindow::excludeJunctionsBelowMinimum() {
    if (belowMinimum_.empty() || running()) return false;
    // NoCheck.txt beside the INP file, as the constraints dialog keeps it: the junctions
    // already excluded, then the new ones.
    const std::filesystem::path file = inpFile_.parent_path() / files::kExcludedJunctionsFileName;
    try {
        std::vector<std::string> ids = files::ReadExcludedJunctions(file);
        for (const std::string& id : belowMinimum_) {
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        }
        files::WriteExcludedJunctions(file, ids);
    } catch (const files::FileError& error) {
        services_.messages->inform(this, QStringLiteral("Could not write the file"),
                                   DisplayText(error.what()));
        return false;
    }
    showBaseline();
    return true;
}

void StudyWindow::showUnits() {
    const QString pressure = QString::fromStdString(network_->pressure_units);
    const QString flow = QString::fromStdString(network_->flow_units);
    pressureUnits_->setText(pressure);
    flowUnits_->setText(flow);
    maximalFlowUnits_->setText(flow);
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

std::filesystem::path StudyWindow::resultsFile() const {
    // Where the main window and the command line put a run's results: the INP
    // path with ".TXT" appended, so that the results window finds the network.
    std::filesystem::path file = inpFile_;
    file += ".TXT";
    return file;
}

bool StudyWindow::running() const {
    return run_ && run_->running();
}

std::optional<analysis::RunSettings> StudyWindow::runSettings() {
    if (!network_) return std::nullopt;
    const auto number = [this](QLineEdit& field, const QString& caption) {
        return readNumber(field, caption);
    };
    analysis::RunSettings settings;
    settings.inp_file = inpFile_;
    const std::optional<float> minPressure =
        number(*minPressure_, QStringLiteral("Minimal pressure"));
    if (!minPressure) return std::nullopt;
    settings.minimal_pressure = *minPressure;
    if (mode_->currentIndex() == 0) {
        const std::optional<float> maximal = number(*maximalFlow_, QStringLiteral("Maximal flow"));
        if (!maximal) return std::nullopt;
        settings.mode = analysis::AvailableFlowRun{*maximal};
    } else {
        const std::optional<float> required =
            number(*requiredFlow_, QStringLiteral("Required flow"));
        if (!required) return std::nullopt;
        settings.mode = analysis::DesignFlowRun{*required};
    }
    // NoCheck.txt and MinPressures.txt beside the INP file, as the main window reads them.
    settings.constraints_directory = inpFile_.parent_path();
    settings.output_file = resultsFile();
    // No scratch files: the toolkit's report is not shown here.
    settings.report_file.clear();
    settings.trial_report_file.clear();
    settings.parallelism.threads = threads_;
    if (!putStudyOptions(settings)) return std::nullopt;
    return settings;
}

std::optional<float> StudyWindow::readNumber(QLineEdit& field, const QString& caption) {
    const std::optional<float> value = files::ParseLocaleNumber(field.text().toStdString());
    if (value && *value >= 0) return value;
    services_.messages->inform(this, QStringLiteral("Please enter a valid number"),
                               caption + QStringLiteral(": \"") + field.text() + QLatin1Char('"'));
    field.setFocus();
    return std::nullopt;
}

bool StudyWindow::putStudyOptions(analysis::RunSettings& settings) {
    analysis::StudyOptions study;
    if (!velocityLimit_->text().trimmed().isEmpty()) {
        const std::optional<float> limit =
            readNumber(*velocityLimit_, QStringLiteral("Velocity limit"));
        if (!limit) return false;
        study.fire.max_velocity = *limit;
    }
    const std::optional<float> demandTime = readNumber(*demandTime_, QStringLiteral("Demand time"));
    if (!demandTime) return false;
    const std::optional<float> fireDuration =
        readNumber(*fireDuration_, QStringLiteral("Fire duration"));
    if (!fireDuration) return false;
    study.fire.demand_time = *demandTime;
    study.fire.fire_duration = *fireDuration;
    study.fire.fire_demand = fireDemand_->currentIndex() == 0 ? analysis::FireDemand::Add
                                                              : analysis::FireDemand::Replace;

    // The files go through the readers the command line uses; a file that cannot be read is
    // the run's refusal, shown as the command line shows it.
    try {
        const QVariant requiredFlows = requiredFlowsFile_->property("path");
        if (requiredFlows.isValid()) {
            const std::filesystem::path file = ToFileSystemPath(requiredFlows.toString());
            if (!std::filesystem::exists(file)) throw files::FileError(file, "does not exist");
            study.required_flows = files::ReadJunctionMinPressures(file);
        }
        if (hydrantsFile_->isChecked() && !fireGroups_->grouped()) {
            const QVariant hydrants = hydrantsFileName_->property("path");
            if (!hydrants.isValid()) {
                services_.messages->inform(this, QStringLiteral("Please choose the hydrants file"),
                                           QStringLiteral("Hydrants: no file chosen"));
                return false;
            }
            settings.hydrants = files::ReadJunctionList(ToFileSystemPath(hydrants.toString()));
        }
    } catch (const files::FileError& error) {
        settings.refusal = analysis::InputRefusal{analysis::RefusalPoint::Start, error.what()};
    }
    if (fireGroups_->grouped()) {
        FireGroupsBox::Choice groups = fireGroups_->choice();
        if (!groups.problem.isEmpty()) {
            services_.messages->inform(this, QStringLiteral("Please complete the fire groups"),
                                       groups.problem);
            return false;
        }
        settings.fire_groups = std::move(groups.source);
    } else if (hydrantsOnMap_->isChecked()) {
        if (picked_.empty()) {
            services_.messages->inform(this, QStringLiteral("Please select the hydrants"),
                                       QStringLiteral("Hydrants: none selected on the map"));
            return false;
        }
        // The picked junctions by their IDs, in the network's order.
        std::vector<std::string> ids;
        for (const int node : picked_)
            ids.push_back(network_->nodes[static_cast<std::size_t>(node)].id);
        settings.hydrants = std::move(ids);
    }

    if (auto* available = std::get_if<analysis::AvailableFlowRun>(&settings.mode)) {
        available->study = std::move(study);
    } else {
        std::get<analysis::DesignFlowRun>(settings.mode).study = std::move(study);
    }
    return true;
}

void StudyWindow::clearResults() {
    results_ = {};
    resultsHeader_.clear();
    rowNodes_.clear();
    table_->setModel(nullptr);
    delete proxy_;
    delete model_;
    proxy_ = nullptr;
    model_ = nullptr;
}

bool StudyWindow::startRun() {
    if (running()) return false;
    std::optional<analysis::RunSettings> settings = runSettings();
    if (!settings) return false;

    clearResults();
    junctionsToRun_ = 0;
    runEndText_.clear();
    progress_->setRange(0, 0);  // busy until the run knows its junctions
    progressText_->setText(QStringLiteral("Starting..."));
    summary_->setText(QStringLiteral("Running..."));

    run_ = std::make_unique<StudyRun>();
    connect(
        run_.get(), &StudyRun::progressRange, this,
        [this](int junctions) {
            junctionsToRun_ = junctions;
            progress_->setRange(0, std::max(junctions, 1));
            showProgress(0);
        },
        Qt::QueuedConnection);
    connect(run_.get(), &StudyRun::progressValue, this, &StudyWindow::showProgress,
            Qt::QueuedConnection);
    connect(run_.get(), &StudyRun::recordsWritten, this, &StudyWindow::takeRecords,
            Qt::QueuedConnection);
    connect(run_.get(), &StudyRun::finished, this, &StudyWindow::runFinished, Qt::QueuedConnection);
    connect(
        run_.get(), &StudyRun::notice, this,
        [this](const QString& text) {
            services_.messages->inform(this, QStringLiteral("Notice"), text);
        },
        Qt::QueuedConnection);
    runStarted_ = SteadyMilliseconds();
    setRunning(true);
    run_->start(std::move(*settings));
    return true;
}

void StudyWindow::setRunning(bool running) {
    optionsPanel_->setEnabled(!running);
    openNetwork_->setEnabled(!running);
    exportReport_->setEnabled(!running && network_.has_value());
    runButton_->setEnabled(!running && network_.has_value());
    cancelButton_->setEnabled(running);
    mapView_->setPicking(!running && hydrantsOnMap_->isChecked() && !fireGroups_->grouped());
}

void StudyWindow::showProgress(int done) {
    if (junctionsToRun_ <= 0) return;
    progress_->setValue(done);
    QString text =
        QStringLiteral("%1 of %2 junctions")
            .arg(QString::fromStdString(files::FormatUserNumber(static_cast<double>(done))),
                 QString::fromStdString(
                     files::FormatUserNumber(static_cast<double>(junctionsToRun_))));
    const double seconds = static_cast<double>(SteadyMilliseconds() - runStarted_) / 1000;
    if (done > 0 && done < junctionsToRun_) {
        text +=
            QStringLiteral(", %1 left").arg(ClockText(seconds / done * (junctionsToRun_ - done)));
    }
    progressText_->setText(text);
}

void StudyWindow::takeRecords(const QByteArray& records) {
    std::string text = records.toStdString();
    if (resultsHeader_.empty()) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string::npos) return;
        resultsHeader_ = text.substr(0, end + 2);
        text.erase(0, end + 2);
    }
    files::ResultsTable batch;
    try {
        batch = files::ParseResults(resultsHeader_ + text);
    } catch (const std::invalid_argument& error) {
        runEndText_ = DisplayText(error.what());
        return;
    }
    if (model_ == nullptr) {
        results_ = std::move(batch);
        for (const files::ResultsRow& row : results_.rows) {
            rowNodes_.push_back(network_->FindNode(row.check_id()).value_or(-1));
        }
        const files::UnitNames units{network_->flow_units, network_->pressure_units};
        model_ = new ResultsTableModel(results_, units, JudgeRows(results_).entries, this);
        proxy_ = new ResultsSortFilterModel(this);
        proxy_->setSourceModel(model_);
        table_->setModel(proxy_);
        table_->setSortingEnabled(true);
        table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        table_->resizeColumnsToContents();
    } else {
        for (files::ResultsRow& row : batch.rows) {
            rowNodes_.push_back(network_->FindNode(row.check_id()).value_or(-1));
            results_.rows.push_back(std::move(row));
        }
    }
    JudgedRows judged = JudgeRows(results_);
    model_->takeUpRows(judged.entries);
    if (network_->HasCoordinates()) {
        std::vector<std::uint8_t> junctionEntries(network_->nodes.size(), ColourScale::kNeutral);
        for (std::size_t i = 0; i < rowNodes_.size(); ++i) {
            if (rowNodes_[i] >= 0) {
                junctionEntries[static_cast<std::size_t>(rowNodes_[i])] = judged.entries[i];
            }
        }
        judged.legend.title = model_
                                  ->headerData(static_cast<int>(JudgedColumn(results_)),
                                               Qt::Horizontal, Qt::DisplayRole)
                                  .toString();
        mapView_->setJunctionColours(junctionEntries, std::move(judged.legend));
    }
}

QString StudyWindow::summaryText() const {
    if (resultsHeader_.empty()) return runEndText_;
    files::SummaryContext context{{network_->flow_units, network_->pressure_units},
                                  std::nullopt,
                                  minPressure_->text().trimmed().toStdString(),
                                  files::UserLocale()};
    context.check_junctions = static_cast<std::size_t>(std::count_if(
        network_->nodes.begin(), network_->nodes.end(),
        [](const auto& node) { return node.kind == network::MapNodeKind::Junction; }));
    QString text = DisplayText(files::SummaryLine(results_, context));
    if (!runEndText_.isEmpty()) text = runEndText_ + QStringLiteral(" ") + text;
    return text;
}

void StudyWindow::runFinished(const StudyRunEnd& end) {
    setRunning(false);
    // Tenths of a second, hundredths below one second.
    const double scale = end.seconds < 1 ? 100 : 10;
    const QString seconds =
        QString::fromStdString(files::FormatUserNumber(std::round(end.seconds * scale) / scale));
    if (end.cancelled) {
        runEndText_ = QStringLiteral("Cancelled after %1 s.").arg(seconds);
        if (!end.message.isEmpty()) runEndText_ += QStringLiteral(" ") + end.message + '.';
    } else if (end.status == analysis::RunStatus::Completed) {
        runEndText_.clear();
        progress_->setValue(progress_->maximum());
    } else {
        runEndText_ = end.message;
    }
    if (junctionsToRun_ <= 0) progress_->setRange(0, 1);
    progressText_->setText(end.status == analysis::RunStatus::Completed
                               ? QStringLiteral("Done in %1 s").arg(seconds)
                           : end.cancelled ? QStringLiteral("Cancelled")
                                           : QStringLiteral("The run ended early"));
    summary_->setText(summaryText());
    if (!end.cancelled && end.status != analysis::RunStatus::Completed) {
        services_.messages->inform(this,
                                   end.status == analysis::RunStatus::Refused
                                       ? QStringLiteral("The run was refused")
                                       : QStringLiteral("The run failed"),
                                   end.message);
    }
    emit runEnded();
}

void StudyWindow::closeEvent(QCloseEvent* event) {
    // The run ends at its next serving of events; its thread is joined when
    // the run is destroyed with the window, or when its end arrives.
    if (run_) run_->cancel();
    QMainWindow::closeEvent(event);
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
        {QStringLiteral("Maximal flow"), withUnit(*maximalFlow_, flowUnits_->text())},
        {QStringLiteral("Velocity limit"), withUnit(*velocityLimit_, velocityUnits_->text())},
        {QStringLiteral("Demand time"), withUnit(*demandTime_, QStringLiteral("h"))},
        {QStringLiteral("Fire duration"), withUnit(*fireDuration_, QStringLiteral("h"))},
        {QStringLiteral("Fire demand"), fireDemand_->currentText()},
        {QStringLiteral("Required flow"), withUnit(*requiredFlow_, flowUnits_->text())},
        {QStringLiteral("Required flows file"), requiredFlowsFile_->text()},
        {QStringLiteral("Fire groups"), fireGroups_->description()},
        {QStringLiteral("Hydrants"),
         fireGroups_->grouped() ? QStringLiteral("those of the fire groups") : hydrants},
    };
}

bool StudyWindow::writeReport(const QString& path) {
    StudyReport report;
    report.network = FromFileSystemPath(inpFile_.filename());
    report.inpFile = FromFileSystemPath(inpFile_);
    report.parameters = parameters();
    report.summary = summary_->text();
    if (proxy_ != nullptr) {
        for (int column = 0; column < proxy_->columnCount(); ++column) {
            report.tableHeadings << proxy_->headerData(column, Qt::Horizontal).toString();
        }
        for (int row = 0; row < proxy_->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < proxy_->columnCount(); ++column) {
                cells << proxy_->index(row, column).data().toString();
            }
            report.tableRows.push_back(std::move(cells));
        }
    }
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
    // Closing the last window ends the event loop before the window's deferred
    // deletion: the window goes (and its run's thread ends) before the program.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, window, [window] { delete window; });
    window->show();
    if (inpFile) window->openNetwork(*inpFile);
    return window;
}

}  // namespace hydrosk::ui
