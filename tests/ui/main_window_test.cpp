// The main window: start-up, layout, settings at start-up, INP selection,
// context help, links, the long-run indicator and Close.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include "files/settings_file.h"
#include "ui/help_texts.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, StartsWithDefaultsAndNoNetwork) {
    MainWindow& w = makeWindow();
    EXPECT_EQ(w.objectName(), "frmMain");
    EXPECT_EQ(w.windowTitle(), "Hydrosk Calculation");
    EXPECT_EQ(control<QLineEdit>("txtMinimalPressure").text(), "110");
    EXPECT_EQ(control<QLineEdit>("txtMaximalFlow").text(), "1000");
    EXPECT_EQ(control<QLineEdit>("txtFlowInterval").text(), "10");
    EXPECT_EQ(control<QLineEdit>("txtRequiredFlow").text(), "100");
    EXPECT_EQ(control<QLineEdit>("txtRequiredTime").text(), "1.5");
    EXPECT_FALSE(control<QPushButton>("cmdRUN").isEnabled());
    EXPECT_FALSE(control<QPushButton>("cmdExclude").isEnabled());

    auto& extension = control<QComboBox>("cmbExtention");
    ASSERT_EQ(extension.count(), 3);
    EXPECT_EQ(extension.itemText(0), "TXT");
    EXPECT_EQ(extension.itemText(1), "CSV");
    EXPECT_EQ(extension.itemText(2), "DAT");
    EXPECT_EQ(extension.currentText(), "TXT");

    for (const char* empty :
         {"lblInpFileName", "lblOutputFileName", "lblMinimalPressureUnits", "lblMaximalFlowUnits",
          "lblFlowIntervalUnits", "lblRequiredFlowUnits", "lblHelp"}) {
        EXPECT_TRUE(control<QLabel>(empty).text().isEmpty()) << empty;
    }
    EXPECT_TRUE(w.outputFileName().isEmpty());
    EXPECT_TRUE(w.inpDirectory().empty());
    EXPECT_EQ(control<QLabel>("lblSteady").text(),
              "Use this option to run a steady state fire flow analysis. " + kCrLf + kCrLf +
                  "Please make sure that the duration of the run, in the INP file, is set to "
                  "zero.");
    EXPECT_EQ(control<QTabWidget>("SSTab1").currentIndex(), 0);
    EXPECT_EQ(control<QTabWidget>("SSTab1").tabText(0), "Steady State");
    EXPECT_EQ(control<QTabWidget>("SSTab1").tabText(1), "Extended Period Simulation");
    EXPECT_TRUE(control<QRadioButton>("optFindDuration").isChecked());
    EXPECT_FALSE(control<QRadioButton>("optFindFlow").isChecked());
    EXPECT_TRUE(control<QLabel>("lblLongRun").isHidden());
    EXPECT_FALSE(control<QTimer>("tmrLongRun").isActive());

    auto& progress = control<QProgressBar>("PB");
    EXPECT_EQ(progress.minimum(), 0);
    EXPECT_EQ(progress.maximum(), 100);
    EXPECT_EQ(progress.value(), 0);
    EXPECT_TRUE(messages->messages.empty());
}

struct Placement {
    const char* name;
    const char* parent;  // the design's container
    QRect geometry;      // in the container; (x, y, 0, 0) for a label sized to its text
};

// Positions and sizes of the design, pixels at 96 dots per inch.
const Placement kPlacements[] = {
    {"Label8", "frmMain", {32, 16, 0, 0}},
    {"Label9", "frmMain", {280, 24, 0, 0}},
    {"Label1", "frmMain", {344, 8, 0, 0}},
    {"Label2", "frmMain", {312, 48, 0, 0}},
    {"Label10", "frmMain", {360, 72, 0, 0}},
    {"Image1", "frmMain", {528, 8, 101, 176}},
    {"Label3", "frmMain", {8, 96, 145, 17}},
    {"lblInpFileName", "frmMain", {176, 88, 273, 33}},
    {"cmdInpFile", "frmMain", {456, 96, 65, 25}},
    {"Label11", "frmMain", {8, 136, 145, 17}},
    {"lblOutputFileName", "frmMain", {176, 136, 273, 33}},
    {"cmdExclude", "frmMain", {8, 176, 265, 33}},
    {"SSTab1", "frmMain", {8, 224, 619, 209}},
    {"Frame1", "frmMain", {16, 248, 257, 129}},
    {"Label4", "Frame1", {8, 16, 145, 17}},
    {"txtMinimalPressure", "Frame1", {176, 16, 49, 25}},
    {"lblMinimalPressureUnits", "Frame1", {224, 24, 0, 0}},
    {"Label5", "Frame1", {8, 56, 145, 17}},
    {"txtMaximalFlow", "Frame1", {176, 56, 49, 25}},
    {"lblMaximalFlowUnits", "Frame1", {224, 64, 0, 0}},
    {"Label6", "Frame1", {8, 96, 145, 17}},
    {"txtFlowInterval", "Frame1", {176, 96, 49, 25}},
    {"lblFlowIntervalUnits", "Frame1", {224, 104, 0, 0}},
    {"cmdRUN", "frmMain", {16, 384, 225, 33}},
    {"lblSteady", "SSTab1", {272, 32, 337, 161}},
    {"Frame2", "SSTab1", {272, 24, 337, 177}},
    {"optFindDuration", "Frame2", {8, 16, 321, 49}},
    {"Label12", "Frame2", {24, 64, 97, 17}},
    {"txtRequiredFlow", "Frame2", {128, 64, 49, 19}},
    {"lblRequiredFlowUnits", "Frame2", {176, 68, 0, 0}},
    {"optFindFlow", "Frame2", {8, 96, 321, 49}},
    {"Label7", "Frame2", {24, 144, 97, 17}},
    {"txtRequiredTime", "Frame2", {128, 144, 49, 19}},
    {"Label13", "Frame2", {177, 145, 0, 0}},
    {"lblLongRun", "Frame2", {224, 144, 0, 0}},
    {"lblHelp", "frmMain", {8, 448, 625, 97}},
    {"cmdClose", "frmMain", {16, 552, 81, 33}},
    {"PB", "frmMain", {112, 552, 521, 33}},
};

TEST_F(MainWindowTest, ControlsSitWhereTheDesignPutsThem) {
    MainWindow& w = makeShownWindow();
    EXPECT_EQ(w.size(), QSize(642, 595));
    for (const Placement& p : kPlacements) {
        auto& widget = control<QWidget>(p.name);
        QWidget* container = QLatin1String(p.parent) == QLatin1String("frmMain")
                                 ? static_cast<QWidget*>(&w)
                                 : &control<QWidget>(p.parent);
        // Pages of SSTab1 hold their controls relative to the whole tab control.
        for (QTabWidget& tabs = control<QTabWidget>("SSTab1"); int page : {0, 1}) {
            tabs.setCurrentIndex(page);
            if (widget.isVisible()) break;
        }
        const QPoint position = widget.mapTo(container, QPoint(0, 0));
        EXPECT_EQ(position, p.geometry.topLeft()) << p.name;
        if (!p.geometry.size().isEmpty()) {
            EXPECT_EQ(widget.size(), p.geometry.size()) << p.name;
        }
    }
    const auto& extension = control<QComboBox>("cmbExtention");
    EXPECT_EQ(extension.geometry().topLeft(), QPoint(456, 136));
    EXPECT_EQ(extension.width(), 65);
}

TEST_F(MainWindowTest, CaptionsFitTheirBoxes) {
    makeShownWindow();
    for (const char* name :
         {"Label3", "Label11", "Label4", "Label5", "Label6", "Label12", "Label7"}) {
        const auto& label = control<QLabel>(name);
        EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.width()) << name;
    }
    for (const char* name : {"cmdInpFile", "cmdExclude", "cmdRUN", "cmdClose"}) {
        const auto& button = control<QPushButton>(name);
        EXPECT_LT(button.fontMetrics().horizontalAdvance(button.text()), button.width() - 8)
            << name;
    }
    // Labels sized to their text show all of it, and the header band's
    // labels stay clear of the picture.
    for (const char* name :
         {"Label8", "Label9", "Label1", "Label2", "Label10", "Label13", "lblLongRun"}) {
        const auto& label = control<QLabel>(name);
        EXPECT_GE(label.width(), label.fontMetrics().horizontalAdvance(label.text())) << name;
    }
    const int pictureLeft = control<QLabel>("Image1").x();
    for (const char* name : {"Label1", "Label2", "Label10"}) {
        EXPECT_LE(control<QLabel>(name).geometry().right(), pictureLeft) << name;
    }
    // The tab row ends above the first controls of the pages and Frame1.
    auto& tabs = control<QTabWidget>("SSTab1");
    EXPECT_LE(tabs.tabBar()->height(), 24);
}

struct Look {
    const char* name;
    double points;
    bool bold;
    bool underline;
};

const Look kLooks[] = {
    {"Label8", 24, true, false},
    {"Label9", 12, true, false},
    {"Label1", 24, true, false},
    {"Label2", 8.25, true, true},
    {"Label10", 8.25, true, true},
    {"Label3", 12, true, false},
    {"cmdInpFile", 8.25, true, false},
    {"Label11", 12, true, false},
    {"cmdExclude", 9.75, false, false},
    {"Label4", 12, true, false},
    {"Label5", 12, true, false},
    {"Label6", 12, true, false},
    {"txtMinimalPressure", 8.25, false, false},
    {"cmdRUN", 12, true, false},
    {"lblSteady", 12, false, false},
    {"optFindDuration", 9.75, false, false},
    {"Label12", 9.75, false, false},
    {"optFindFlow", 9.75, false, false},
    {"Label7", 9.75, false, false},
    {"Label13", 8.25, false, false},
    {"lblLongRun", 8.25, true, false},
    {"lblHelp", 9.75, true, false},
    {"cmdClose", 8.25, false, false},
};

TEST_F(MainWindowTest, FontsAndColoursFollowTheDesign) {
    makeWindow();
    for (const Look& look : kLooks) {
        const QFont font = control<QWidget>(look.name).font();
        EXPECT_DOUBLE_EQ(font.pointSizeF(), look.points) << look.name;
        EXPECT_EQ(font.bold(), look.bold) << look.name;
        EXPECT_EQ(font.underline(), look.underline) << look.name;
    }
    const auto colour = [this](const char* name, QPalette::ColorRole role) {
        return control<QWidget>(name).palette().color(role);
    };
    EXPECT_EQ(colour("Label8", QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(colour("Label1", QPalette::WindowText), QColor(255, 0, 255));
    EXPECT_EQ(colour("Label2", QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(colour("Label10", QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(colour("lblLongRun", QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(colour("lblHelp", QPalette::Window), QColor(255, 255, 128));
    EXPECT_EQ(colour("lblInpFileName", QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(colour("lblOutputFileName", QPalette::Window), QColor(Qt::white));
    for (const char* link : {"Label1", "Label2", "Label10"}) {
        EXPECT_EQ(control<QWidget>(link).cursor().shape(), Qt::PointingHandCursor) << link;
    }
    EXPECT_FALSE(window->windowIcon().isNull());
    // The picture fills its box: no transparent corner or centre is left.
    const QImage picture = control<QLabel>("Image1").pixmap().toImage();
    ASSERT_FALSE(picture.isNull());
    for (QPoint at : {QPoint(1, 1), picture.rect().center(), picture.rect().bottomRight()}) {
        EXPECT_EQ(qAlpha(picture.pixel(at)), 255) << at.x() << "," << at.y();
    }
}

const QStringList kFocusOrder{
    "cmdInpFile",      "cmbExtention",    "SSTab1",         "cmdClose",           "cmdExclude",
    "cmdRUN",          "txtFlowInterval", "txtMaximalFlow", "txtMinimalPressure", "optFindDuration",
    "txtRequiredFlow", "txtRequiredTime", "optFindFlow"};

// The tab control's tab row takes the focus for it.
QString FocusName(QWidget* widget) {
    if (qobject_cast<QTabWidget*>(widget->parentWidget()) != nullptr) {
        return widget->parentWidget()->objectName();
    }
    return widget->objectName();
}

TEST_F(MainWindowTest, FocusChainFollowsTheDesign) {
    MainWindow& w = makeWindow();
    QStringList chain;
    QWidget* widget = &control<QWidget>("cmdInpFile");
    do {
        if (kFocusOrder.contains(FocusName(widget)) && !chain.contains(FocusName(widget))) {
            chain << FocusName(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != &control<QWidget>("cmdInpFile") && widget != &w);
    EXPECT_EQ(chain, kFocusOrder);
}

TEST_F(MainWindowTest, TabKeyWalksTheFocusOrder) {
    makeShownWindow();
    control<QPushButton>("cmdRUN").setEnabled(true);
    control<QPushButton>("cmdExclude").setEnabled(true);
    control<QTabWidget>("SSTab1").setCurrentIndex(1);
    control<QPushButton>("cmdInpFile").setFocus(Qt::TabFocusReason);
    // Of the two options, Tab stops at the selected one (optFindDuration);
    // the arrow keys move between them.
    QStringList expected = kFocusOrder;
    expected.removeLast();
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        visited << FocusName(focused);
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(FocusName(QApplication::focusWidget()), "cmdInpFile");
}

TEST_F(MainWindowTest, KeepsItsSizeWhateverItIsDraggedTo) {
    MainWindow& w = makeShownWindow();
    w.resize(900, 700);
    EXPECT_EQ(w.size(), QSize(642, 595));
    w.resize(300, 200);
    EXPECT_EQ(w.size(), QSize(642, 595));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainWindowTest, GoesBackToItsSizeWhenTheWindowSystemResizesIt) {
    // A window manager that ignores the size hints resizes the platform window directly.
    MainWindow& w = makeShownWindow();
    for (const QSize dragged : {QSize(900, 700), QSize(300, 200)}) {
        w.windowHandle()->resize(dragged);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.size(), QSize(642, 595));
        EXPECT_EQ(w.windowHandle()->size(), QSize(642, 595));
    }
}

TEST_F(MainWindowTest, DefaultsFollowTheUsersNumberFormat) {
    const ScopedLocale german("de_DE.UTF-8");
    if (!german.active) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    makeWindow();
    EXPECT_EQ(control<QLineEdit>("txtMinimalPressure").text(), "110");
    EXPECT_EQ(control<QLineEdit>("txtMaximalFlow").text(), "1000");
    EXPECT_EQ(control<QLineEdit>("txtFlowInterval").text(), "10");
    EXPECT_EQ(control<QLineEdit>("txtRequiredFlow").text(), "100");
    EXPECT_EQ(control<QLineEdit>("txtRequiredTime").text(), "1,5");
}

TEST_F(MainWindowTest, StartUpAppliesTheSettingsFile) {
    files::WriteSettings(programDir, (networkDir.string() + "/"), 35.5f, 1500, 25, "12abc", "2");
    MainWindow& w = makeWindow();
    EXPECT_EQ(control<QLineEdit>("txtMinimalPressure").text(), "35.5");
    EXPECT_EQ(control<QLineEdit>("txtMaximalFlow").text(), "1500");
    EXPECT_EQ(control<QLineEdit>("txtFlowInterval").text(), "25");
    EXPECT_EQ(control<QLineEdit>("txtRequiredFlow").text(), "12");
    EXPECT_EQ(control<QLineEdit>("txtRequiredTime").text(), "2");
    EXPECT_EQ(w.dialogDirectory(), Q(networkDir) + "/");
    EXPECT_TRUE(messages->messages.empty());

    // The INP dialog starts in the stored directory.
    control<QPushButton>("cmdInpFile").click();
    ASSERT_EQ(dialog->calls.size(), 1u);
    EXPECT_EQ(dialog->calls[0].directory, Q(networkDir) + "/");
}

TEST_F(MainWindowTest, SettingsNumbersFollowTheUsersNumberFormat) {
    const ScopedLocale german("de_DE.UTF-8");
    if (!german.active) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    files::WriteSettings(programDir, "/nets/", 1.5f, 1000, 10, "100", "2.5");
    makeWindow();
    EXPECT_EQ(control<QLineEdit>("txtMinimalPressure").text(), "1,5");
    EXPECT_EQ(control<QLineEdit>("txtRequiredTime").text(), "2,5");
}

TEST_F(MainWindowTest, SettingsFileWithOneRecordChangesOneBox) {
    WriteBytes(programDir / files::kSettingsFileName, "\"[MAX_FLOW]\",750\r\n");
    makeWindow();
    EXPECT_EQ(control<QLineEdit>("txtMinimalPressure").text(), "110");
    EXPECT_EQ(control<QLineEdit>("txtMaximalFlow").text(), "750");
    EXPECT_EQ(control<QLineEdit>("txtFlowInterval").text(), "10");
}

TEST_F(MainWindowTest, ChoosingAnInpFileNamesTheResultsAndShowsTheUnits) {
    const fs::path inp = copyNetwork(TestData("lps_network.inp"), "hill road.inp");
    MainWindow& w = makeWindow();
    control<QComboBox>("cmbExtention").setCurrentText("CSV");
    EXPECT_TRUE(control<QLabel>("lblOutputFileName").text().isEmpty());

    selectInp(inp);
    ASSERT_EQ(dialog->calls.size(), 1u);
    EXPECT_EQ(dialog->calls[0].title, "Select INP file...");
    EXPECT_EQ(dialog->calls[0].filter, "INP Files (*.inp)");
    EXPECT_EQ(dialog->calls[0].directory, Q(programDir));
    EXPECT_TRUE(dialog->calls[0].previousFile.isEmpty());
    EXPECT_TRUE(messages->messages.empty());

    EXPECT_EQ(control<QLabel>("lblInpFileName").text(), Q(inp));
    EXPECT_EQ(w.outputFileName(), Q(inp) + ".CSV");
    EXPECT_EQ(control<QLabel>("lblOutputFileName").text(), Q(inp) + ".CSV");
    EXPECT_EQ(w.inpDirectory(), networkDir.string() + "/");
    EXPECT_EQ(control<QLabel>("lblMinimalPressureUnits").text(), "meter");
    for (const char* flow :
         {"lblMaximalFlowUnits", "lblFlowIntervalUnits", "lblRequiredFlowUnits"}) {
        EXPECT_EQ(control<QLabel>(flow).text(), "LPS") << flow;
    }
    EXPECT_TRUE(control<QPushButton>("cmdRUN").isEnabled());
    EXPECT_TRUE(control<QPushButton>("cmdExclude").isEnabled());
    EXPECT_EQ(w.catalogue().JunctionCount, 4);
    EXPECT_EQ(w.junctionMinPressure(), std::vector<float>(5, 0.0f));

    // Another extension changes only the results file name.
    control<QComboBox>("cmbExtention").setCurrentText("DAT");
    EXPECT_EQ(w.outputFileName(), Q(inp) + ".DAT");
    EXPECT_EQ(control<QLabel>("lblOutputFileName").text(), Q(inp) + ".DAT");
    EXPECT_EQ(control<QLabel>("lblInpFileName").text(), Q(inp));
    EXPECT_EQ(dialog->calls.size(), 1u);
}

TEST_F(MainWindowTest, CancellingTheFirstChoiceChangesNothing) {
    MainWindow& w = makeWindow();
    control<QPushButton>("cmdInpFile").click();
    EXPECT_EQ(dialog->calls.size(), 1u);
    EXPECT_TRUE(control<QLabel>("lblInpFileName").text().isEmpty());
    EXPECT_TRUE(w.outputFileName().isEmpty());
    EXPECT_FALSE(control<QPushButton>("cmdRUN").isEnabled());
    EXPECT_TRUE(messages->messages.empty());
}

TEST_F(MainWindowTest, CancellingALaterChoiceReloadsTheSameFile) {
    const fs::path inp = copyNetwork(TestData("lps_network.inp"), "net.inp");
    MainWindow& w = makeWindow();
    selectInp(inp);
    control<QComboBox>("cmbExtention").setCurrentText("CSV");
    // A fifth house joins the network file.
    std::string text = ReadBytes(TestData("lps_network.inp"));
    text.replace(text.find("[RESERVOIRS]"), 0, " H5 30 0\n\n");
    text.replace(text.find("[TIMES]"), 0, " P5 H4 H5 100 80 110\n\n");
    WriteBytes(inp, text);
    control<QPushButton>("cmdInpFile").click();  // cancelled
    ASSERT_EQ(dialog->calls.size(), 2u);
    EXPECT_EQ(dialog->calls[1].previousFile, Q(inp));
    EXPECT_EQ(w.catalogue().JunctionCount, 5);
    EXPECT_EQ(w.junctionMinPressure().size(), 6u);
    EXPECT_EQ(w.outputFileName(), Q(inp) + ".CSV");
}

TEST_F(MainWindowTest, ACurrentFolderThatCannotBeWrittenRefusesNoInpFile) {
    const fs::path inp = copyNetwork(TestData("lps_network.inp"), "good.inp");
    const fs::path previous = fs::current_path();
    // A folder removed while the program runs in it: nothing can be created there (a
    // read-only folder would not stop the root user that CI runs as).
    const fs::path gone = networkDir / "gone";
    fs::create_directories(gone);
    fs::current_path(gone);
    fs::remove(gone);
    MainWindow& w = makeWindow();
    selectInp(inp);
    fs::current_path(previous);
    EXPECT_TRUE(messages->messages.empty()) << messages->messages.front().text.toStdString() << " "
                                            << messages->messages.front().detail.toStdString();
    EXPECT_EQ(w.catalogue().JunctionCount, 4);
    EXPECT_TRUE(control<QPushButton>("cmdRUN").isEnabled());
}

TEST_F(MainWindowTest, AnInpFileThatCannotBeOpenedIsReportedAndTheProgramGoesOn) {
    const fs::path good = copyNetwork(TestData("lps_network.inp"), "good.inp");
    const fs::path bad = copyNetwork(TestData("bad_network.inp"), "bad.inp");
    MainWindow& w = makeWindow();
    selectInp(good);
    selectInp(bad);
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not open INP file - OpenFile");
    EXPECT_EQ(messages->messages[0].detail, "Error 224: no tanks or reservoirs in network");
    // Everything stays with the file opened before.
    EXPECT_EQ(control<QLabel>("lblInpFileName").text(), Q(good));
    EXPECT_EQ(w.outputFileName(), Q(good) + ".TXT");
    EXPECT_EQ(w.catalogue().JunctionCount, 4);
    EXPECT_TRUE(control<QPushButton>("cmdRUN").isEnabled());

    selectInp(networkDir / "missing.inp");
    ASSERT_EQ(messages->messages.size(), 2u);
    EXPECT_EQ(messages->messages[1].text, "Could not open INP file - OpenFile");
    EXPECT_EQ(control<QLabel>("lblInpFileName").text(), Q(good));

    // The input errors, as EPANET's report gives them.
    const fs::path errors = networkDir / "errors.inp";
    WriteBytes(errors, "[JUNCTIONS]\n J1 inf\n[RESERVOIRS]\n R 10\n[PIPES]\n P R J9 1 1 1\n");
    selectInp(errors);
    ASSERT_EQ(messages->messages.size(), 3u);
    EXPECT_EQ(messages->messages[2].detail,
              "Error 202: illegal numeric value inf in [JUNCTIONS] section:\n"
              " J1 inf\n"
              "Error 203: undefined node J9 in [PIPES] section:\n"
              " P R J9 1 1 1\n"
              "Error 200: one or more errors in input file");
}

TEST_F(MainWindowTest, AFirstInpFileThatCannotBeOpenedLeavesTheButtonsDisabled) {
    const fs::path bad = copyNetwork(TestData("bad_network.inp"), "bad.inp");
    makeWindow();
    selectInp(bad);
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_TRUE(control<QLabel>("lblInpFileName").text().isEmpty());
    EXPECT_FALSE(control<QPushButton>("cmdRUN").isEnabled());
    EXPECT_FALSE(control<QPushButton>("cmdExclude").isEnabled());
}

// Moves the pointer over a control, through the window as a user's move
// arrives, and returns the help area's text.
QString HelpOver(MainWindow& w, QWidget& widget, QPoint at = QPoint(-1, -1)) {
    if (at == QPoint(-1, -1)) at = widget.rect().center();
    QTest::mouseMove(w.windowHandle(), widget.mapTo(&w, at));
    QApplication::processEvents();
    return w.findChild<QLabel*>(QStringLiteral("lblHelp"))->text();
}

TEST_F(MainWindowTest, HelpAreaExplainsTheControlUnderThePointer) {
    MainWindow& w = makeShownWindow();
    const QString inpHelp = kCrLf + "Enter the full path and name for the INP EPANET file." +
                            kCrLf + kCrLf +
                            "Use the File-> Export-> network menu from EPANET program.";
    const std::vector<std::pair<const char*, QString>> table{
        {"cmdRUN", kCrLf + "Run the fire flow check!"},
        {"cmdInpFile", kCrLf + "Click here to select the INP file"},
        {"cmdClose", kCrLf + "Close the program"},
        {"Image1", kCrLf + "Fire hydrant from the 1880's"},
        {"Label3", inpHelp},
        {"lblInpFileName", inpHelp},
        {"Label11", kCrLf + "Results file path and file extention"},
        {"lblOutputFileName", kCrLf + "Results file path and file extantion"},
        {"Label4", kCrLf + "Minimal pressure to be obtained at all junctions."},
        {"txtMinimalPressure", kCrLf + "Minimal pressure to be obtained at all junctions."},
        {"Label5", kCrLf + "Maximal flow to be checked."},
        {"txtMaximalFlow", kCrLf + "Maximal flow to be checked."},
        {"Label6", kCrLf + "Flow interval at which the flow will be checked."},
        {"txtFlowInterval", kCrLf + "Flow interval at which the flow will be checked."},
        {"Label1", "Goto Corvane Home page!"},
        {"Label2", "Goto Corvane Home page!"},
    };
    for (const auto& [name, text] : table) {
        EXPECT_EQ(HelpOver(w, control<QWidget>(name)), text) << name;
    }
    // The bare window surface, right of the results file row.
    QTest::mouseMove(w.windowHandle(), QPoint(600, 200));
    QApplication::processEvents();
    const QString welcome = control<QLabel>("lblHelp").text();
    EXPECT_TRUE(welcome.startsWith("Welcome to Hydrosk!" + kCrLf + kCrLf));
    EXPECT_TRUE(welcome.endsWith(QLatin1String(kSupportEmail) + kCrLf));
}

TEST_F(MainWindowTest, ControlsWithoutHelpLeaveTheHelpAreaAsItIs) {
    MainWindow& w = makeShownWindow();
    EXPECT_EQ(HelpOver(w, control<QWidget>("txtMaximalFlow")),
              kCrLf + "Maximal flow to be checked.");
    for (const char* name : {"cmbExtention", "Label10", "cmdExclude", "Label8", "lblSteady",
                             "lblHelp", "PB", "SSTab1"}) {
        EXPECT_EQ(HelpOver(w, control<QWidget>(name)), kCrLf + "Maximal flow to be checked.")
            << name;
    }
    // Frames are not bare window surface.
    auto& frame = control<QWidget>("Frame1");
    EXPECT_EQ(HelpOver(w, frame, QPoint(frame.width() - 6, 6)),
              kCrLf + "Maximal flow to be checked.");
    control<QTabWidget>("SSTab1").setCurrentIndex(1);
    for (const char* name :
         {"optFindDuration", "txtRequiredFlow", "txtRequiredTime", "optFindFlow", "Frame2"}) {
        EXPECT_EQ(HelpOver(w, control<QWidget>(name)), kCrLf + "Maximal flow to be checked.")
            << name;
    }
}

TEST_F(MainWindowTest, LinksOpenTheWebPageAndAMailMessage) {
    makeShownWindow();
    for (const char* link : {"Label1", "Label2", "Label10"}) {
        QTest::mouseClick(&control<QWidget>(link), Qt::LeftButton);
    }
    ASSERT_EQ(desktop->opened.size(), 3u);
    EXPECT_EQ(desktop->opened[0], QUrl(QLatin1String(kMakerWebUrl)));
    EXPECT_EQ(desktop->opened[1], QUrl(QLatin1String(kMakerWebUrl)));
    EXPECT_EQ(desktop->opened[2].scheme(), "mailto");
    EXPECT_EQ(desktop->opened[2].path(), QLatin1String(kSupportEmail));
    EXPECT_TRUE(control<QLabel>("Label2").text().endsWith(QLatin1String(kMakerWebAddress)));
    EXPECT_EQ(control<QLabel>("Label10").text(), QLatin1String(kSupportEmail));
}

TEST_F(MainWindowTest, LongRunBlinksOnlyWhileTheFlowSearchIsChosen) {
    makeShownWindow();
    auto& tabs = control<QTabWidget>("SSTab1");
    auto& timer = control<QTimer>("tmrLongRun");
    auto& label = control<QLabel>("lblLongRun");
    tabs.setCurrentIndex(1);

    QTest::mouseClick(&control<QRadioButton>("optFindFlow"), Qt::LeftButton);
    EXPECT_TRUE(control<QRadioButton>("optFindFlow").isChecked());
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_TRUE(label.isHidden());  // first shown by the first tick
    ASSERT_TRUE(QTest::qWaitFor([&] { return !label.isHidden(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return label.isHidden(); }, 5000));

    // On the steady-state page the label is hidden with its page; the timer goes on.
    tabs.setCurrentIndex(0);
    EXPECT_FALSE(label.isVisible());
    EXPECT_TRUE(timer.isActive());
    tabs.setCurrentIndex(1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !label.isHidden(); }, 5000));
    QTest::mouseClick(&control<QRadioButton>("optFindDuration"), Qt::LeftButton);
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(label.isHidden());
}

TEST_F(MainWindowTest, CloseEndsWithoutWritingTheSettings) {
    MainWindow& w = makeShownWindow();
    QTest::mouseClick(&control<QPushButton>("cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(fs::exists(programDir / files::kSettingsFileName));
}

}  // namespace
}  // namespace hydrosk::ui::testing
