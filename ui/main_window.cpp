#include "ui/main_window.h"

#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QSvgRenderer>

#include "analysis/fire_flow_run.h"
#include "analysis/run_messages.h"
#include "files/number_text.h"
#include "files/settings_file.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"
#include "ui/help_texts.h"
#include "ui/pressures_dialog.h"
#include "ui/results_window.h"
#include "ui/run_form.h"
#include "ui/units_name.h"

namespace hydrosk::ui {
namespace {

// Scratch files of the toolkit, in the current directory.
constexpr char kReportFile[] = "rep.dat";
constexpr char kOutputFile[] = "out.dat";
constexpr char kTrialReportFile[] = "out.txt";

constexpr int kLongRunBlinkMs = 500;

QString Text(std::string_view bytes) {
    return DisplayText(bytes);
}

// Thrown out of an event-serving point when the user closed the window.
class RunCancelled : public std::runtime_error {
public:
    RunCancelled() : std::runtime_error("The window was closed during the run") {}
};

// The run reports through this while the window keeps serving its events.
class WindowRunObserver final : public analysis::RunObserver {
public:
    WindowRunObserver(QWidget& window, QProgressBar& progress, const WindowServices& services,
                      const bool& closeRequested)
        : window_(window),
          progress_(progress),
          services_(services),
          closeRequested_(closeRequested) {}
    ~WindowRunObserver() override { SetBusy(false); }
    WindowRunObserver(const WindowRunObserver&) = delete;
    WindowRunObserver& operator=(const WindowRunObserver&) = delete;

    void ShowMessage(analysis::MessageKind kind, const std::string& text) override {
        // Notices (constraint IDs that are no junctions, trials that could not be solved) are
        // told once, after the run.
        if (kind == analysis::MessageKind::Notice) {
            notices_ << Text(text);
            return;
        }
        if (closeRequested_) return;
        services_.messages->inform(&window_, Text(text), QString());
    }

    bool AskYesNo(const std::string& text) override {
        if (closeRequested_) return false;
        return services_.messages->askYesNo(&window_, Text(text));
    }

    void SetProgressRange(int minimum, int maximum) override {
        progress_.setRange(minimum, maximum);
    }
    void SetProgressValue(int value) override { progress_.setValue(value); }

    // Closing the window during a run ends the run here: the run takes the
    // exception as its failure, closes its files and returns.
    void ServeEvents() override {
        QCoreApplication::processEvents();
        if (closeRequested_) throw RunCancelled();
    }

    void SetBusy(bool busy) override {
        if (busy == busy_) return;
        busy_ = busy;
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }

    void OpenViewer(const std::filesystem::path& resultsFile) override {
        ShowResultsWindow(window_, resultsFile, services_);
    }

    const QStringList& notices() const { return notices_; }

private:
    QWidget& window_;
    QProgressBar& progress_;
    const WindowServices& services_;
    const bool& closeRequested_;
    QStringList notices_;
    bool busy_ = false;
};

// Why an INP file could not be opened: its first input errors, as EPANET's report gives them.
QString InputErrorsText(int code, const toolkit::Project& project, const QString& path) {
    constexpr std::size_t kErrorsShown = 10;
    if (code == toolkit::codes::kInsufficientMemory) return Text(analysis::messages::kOutOfMemory);
    QStringList lines;
    for (const std::string& line :
         analysis::messages::InputErrorLines(code, project.input_errors(), kErrorsShown)) {
        lines << Text(line);
    }
    const std::string hint = analysis::messages::InpFileHint(ToFileSystemPath(path));
    if (!hint.empty()) lines << Text(hint);
    return lines.join(QLatin1Char('\n'));
}

// The INP file's directory with the platform's separator at its end.
QString DirectoryOf(const QString& inpPath) {
    QString directory = QDir::toNativeSeparators(QFileInfo(inpPath).absolutePath());
    if (!directory.endsWith(QDir::separator())) directory += QDir::separator();
    return directory;
}

QPixmap RenderIcon(QSvgRenderer& renderer, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QIcon HydroskIcon() {
    EnsureResources();
    QSvgRenderer renderer(QStringLiteral(":/hydrosk/icon.svg"));
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(RenderIcon(renderer, size));
    return icon;
}

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), form_(this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Hydrosk Calculation"));
    setWindowIcon(HydroskIcon());
    // A fixed size: no maximise button, and no border to drag.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kMainClientSize);
    if (const QScreen* screen = this->screen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }

    MainWindowForm& f = form_;
    connect(&f.cmdInpFile, &QPushButton::clicked, this, &MainWindow::chooseInpFile);
    connect(&f.cmbExtention, &QComboBox::currentIndexChanged, this,
            &MainWindow::deriveOutputFileName);
    connect(&f.cmdExclude, &QPushButton::clicked, this, &MainWindow::showConstraints);
    connect(&f.cmdRUN, &QPushButton::clicked, this, &MainWindow::run);
    connect(&f.cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(&f.optFindDuration, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) selectFindDuration();
    });
    connect(&f.optFindFlow, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) selectFindFlow();
    });
    connect(&f.tmrLongRun, &QTimer::timeout, this, &MainWindow::tickLongRun);
    connect(&f.Label1, &LinkLabel::clicked, this,
            [this] { openLink(QLatin1String(kMakerWebUrl)); });
    connect(&f.Label2, &LinkLabel::clicked, this,
            [this] { openLink(QLatin1String(kMakerWebUrl)); });
    connect(&f.Label10, &LinkLabel::clicked, this, [this] { openLink(SupportMailUrl()); });

    // Help follows the pointer over the controls of the help table and the
    // bare window surface; all other controls leave it as it is.
    setMouseTracking(true);
    for (QWidget* control : findChildren<QWidget*>()) {
        if (HelpTextFor(control->objectName())) {
            control->setMouseTracking(true);
            control->installEventFilter(this);
        }
    }

    // Start-up sequence.
    f.cmbExtention.addItems({QStringLiteral("TXT"), QStringLiteral("CSV"), QStringLiteral("DAT")});
    f.cmbExtention.setCurrentIndex(0);
    for (QLabel* label : {&f.lblMinimalPressureUnits, &f.lblMaximalFlowUnits,
                          &f.lblFlowIntervalUnits, &f.lblRequiredFlowUnits}) {
        SetAutoSizedText(*label, QString());
    }
    f.lblInpFileName.clear();
    f.lblOutputFileName.clear();
    f.lblSteady.setText(QStringLiteral(
        "Use this option to run a steady state fire flow analysis. \r\n\r\nPlease make sure "
        "that the duration of the run, in the INP file, is set to zero."));
    f.SSTab1.setCurrentIndex(0);
    f.optFindDuration.setChecked(true);
    f.cmdRUN.setEnabled(false);
    f.cmdExclude.setEnabled(false);
    LoadSettings();
}

MainWindow::~MainWindow() = default;

void MainWindow::LoadSettings() {
    const files::SettingsFolders folders = files::SettingsFoldersOf(services_.programDirectory);
    settingsFolder_ = folders.folder;
    const files::Settings settings = files::LoadSettings(folders);
    const auto apply = [](const std::optional<std::string>& value, QLineEdit& box) {
        if (value) box.setText(Text(*value));
    };
    apply(settings.minimal_pressure, form_.txtMinimalPressure);
    apply(settings.maximal_flow, form_.txtMaximalFlow);
    apply(settings.flow_interval, form_.txtFlowInterval);
    apply(settings.required_flow, form_.txtRequiredFlow);
    apply(settings.required_time, form_.txtRequiredTime);
    if (settings.inp_directory) {
        dialogDirectory_ = FromFileSystemPath(std::filesystem::path(*settings.inp_directory));
    }
}

void MainWindow::chooseInpFile() {
    if (dialogDirectory_.isEmpty())
        dialogDirectory_ = FromFileSystemPath(services_.programDirectory);
    const QString chosen = services_.inpDialog->chooseFile(
        this, QStringLiteral("Select INP file..."), QStringLiteral("INP Files (*.inp)"),
        dialogDirectory_, dialogFileName_);
    // The dialog keeps its file name: cancelling reloads the previous choice.
    if (!chosen.isEmpty()) dialogFileName_ = QDir::toNativeSeparators(chosen);
    if (dialogFileName_.isEmpty()) return;
    openInpFile(dialogFileName_);
}

// The toolkit's scratch files go to the current folder, as the toolkit puts them; when that
// folder cannot be written (a read-only share, a folder removed meanwhile), to a private
// temporary folder instead, so that no INP file is refused for it.
std::string MainWindow::scratchFile(const char* name) {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (!error && ::access(here.c_str(), W_OK) == 0) return name;
    if (!scratchFolder_) scratchFolder_ = std::make_unique<QTemporaryDir>();
    if (!scratchFolder_->isValid()) return name;
    return ToFileSystemPath(scratchFolder_->filePath(QString::fromLatin1(name))).string();
}

void MainWindow::openInpFile(const QString& path) {
    // The network is opened into a project and catalogue of its own first, so
    // that a file the toolkit cannot open leaves everything as it was.
    auto project = std::make_unique<toolkit::Project>();
    network::NetworkCatalogue catalogue;
    int code = 0;
    {
        const BusyPointer busy;
        network::ResetNetwork(catalogue);
        code = network::OpenNetwork(catalogue, *project, ToFileSystemPath(path.trimmed()).string(),
                                    scratchFile(kReportFile), scratchFile(kOutputFile));
    }
    if (code != 0) {
        dialogFileName_ = form_.lblInpFileName.text();
        services_.messages->inform(this, Text(analysis::messages::kCouldNotOpenInp),
                                   InputErrorsText(code, *project, path.trimmed()));
        return;
    }

    MainWindowForm& f = form_;
    f.lblInpFileName.setText(path);
    deriveOutputFileName();
    catalogue_ = std::move(catalogue);
    project_ = std::move(project);

    int units = flowUnitsCode_;
    const int unitsCode = project_->get_flow_units(units);
    flowUnitsCode_ = units;
    GetUnitsName(flowUnitsCode_, flowUnitName_, pressureUnitName_);
    SetAutoSizedText(f.lblMinimalPressureUnits, pressureUnitName_);
    SetAutoSizedText(f.lblMaximalFlowUnits, flowUnitName_);
    SetAutoSizedText(f.lblFlowIntervalUnits, flowUnitName_);
    SetAutoSizedText(f.lblRequiredFlowUnits, flowUnitName_);
    if (unitsCode != 0) return;

    f.cmdExclude.setEnabled(true);
    f.cmdRUN.setEnabled(true);
    inpDirectory_ = ToFileSystemPath(DirectoryOf(path)).string();
    junctionMinPressure_.assign(static_cast<std::size_t>(catalogue_.JunctionCount) + 1, 0.0f);
}

void MainWindow::deriveOutputFileName() {
    const QString inp = form_.lblInpFileName.text();
    if (inp.isEmpty()) return;
    outputFileName_ = inp + QLatin1Char('.') + form_.cmbExtention.currentText();
    form_.lblOutputFileName.setText(outputFileName_);
}

void MainWindow::showConstraints() {
    PressuresDialog dialog(catalogue_, std::filesystem::path(inpDirectory_), *services_.messages,
                           this);
    dialog.exec();
}

void MainWindow::setRunControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             &form_.cmdRUN, &form_.cmdInpFile, &form_.cmbExtention, &form_.cmdExclude}) {
        control->setEnabled(enabled);
    }
}

void MainWindow::run() {
    if (running_) return;
    const MainWindowForm& f = form_;
    RunForm form;
    form.inp_path = ToFileSystemPath(f.lblInpFileName.text()).string();
    form.minimal_pressure = f.txtMinimalPressure.text().toStdString();
    form.maximal_flow = f.txtMaximalFlow.text().toStdString();
    form.flow_interval = f.txtFlowInterval.text().toStdString();
    form.required_flow = f.txtRequiredFlow.text().toStdString();
    form.required_time = f.txtRequiredTime.text().toStdString();
    form.extended_period = f.SSTab1.currentIndex() != 0;
    form.find_flow = !f.optFindDuration.isChecked();
    form.inp_directory = inpDirectory_;
    form.output_file = ToFileSystemPath(outputFileName_);
    form.settings_directory = settingsFolder_;
    analysis::RunSettings settings = ReadRunForm(form, files::UserLocale());
    settings.report_file = scratchFile(kReportFile);
    settings.trial_report_file = scratchFile(kTrialReportFile);

    running_ = true;
    setRunControlsEnabled(false);
    QStringList notices;
    {
        WindowRunObserver observer(*this, form_.PB, services_, closeRequested_);
        analysis::RunFireFlow(settings, observer);
        notices = observer.notices();
    }
    running_ = false;
    if (closeRequested_) return;  // the window is closed; the program is ending
    setRunControlsEnabled(true);
    if (!notices.isEmpty()) {
        services_.messages->inform(this, notices.join(QLatin1Char('\n')), QString());
    }
}

void MainWindow::selectFindDuration() {
    form_.tmrLongRun.stop();
    form_.lblLongRun.hide();
}

void MainWindow::selectFindFlow() {
    // The label stays hidden until the first tick shows it.
    form_.tmrLongRun.start(kLongRunBlinkMs);
}

void MainWindow::tickLongRun() {
    if (!form_.tmrLongRun.isActive()) return;
    form_.lblLongRun.setHidden(!form_.lblLongRun.isHidden());
}

void MainWindow::openLink(const QString& target) {
    services_.desktop->open(QUrl(target));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (const std::optional<QString> help = HelpTextFor(watched->objectName())) {
            form_.lblHelp.setText(*help);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    // Moves that a control passed on to the window are not over bare surface.
    if (childAt(event->position().toPoint()) == nullptr) form_.lblHelp.setText(WelcomeText());
    QWidget::mouseMoveEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The size hints keep the border from being dragged only where the window manager honours
    // them; the window in its normal state goes back to its design size whatever resized it.
    constexpr Qt::WindowStates kOtherStates =
        Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (!(windowState() & kOtherStates) && size() != kMainClientSize) resize(kMainClientSize);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The program ends with its last window. A run under way stops at its next
    // chance to serve events, and the event loop ends once it has returned.
    if (running_) closeRequested_ = true;
    event->accept();
}

}  // namespace hydrosk::ui
