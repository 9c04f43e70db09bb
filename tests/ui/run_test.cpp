// RUN: whole runs from the window, the refusals, the completion question and
// results window, the settings file, and closing the window during a run.
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

#include "files/settings_file.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

class RunTest : public WindowTest {
protected:
    // examples/town.inp with the given simulation duration.
    fs::path town(const std::string& duration) {
        std::string text = ReadBytes(Example("town.inp"));
        const std::string line = " Duration           24:00";
        const auto at = text.find(line);
        if (at == std::string::npos) throw std::runtime_error("town.inp has no 24 h duration");
        text.replace(at, line.size(), " Duration           " + duration);
        const fs::path target = networkDir / "town.inp";
        WriteBytes(target, text);
        return target;
    }

    void pressRun() { QTest::mouseClick(&control<QPushButton>("cmdRUN"), Qt::LeftButton); }

    void expectIdleAfterRun() {
        for (const char* name : {"cmdRUN", "cmdInpFile", "cmbExtention", "cmdExclude"}) {
            EXPECT_TRUE(control<QWidget>(name).isEnabled()) << name;
        }
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(window->isRunning());
    }

    fs::path settingsFile() const { return programDir / files::kSettingsFileName; }

public:
    template <typename T>
    T& find(const char* name) {
        return control<T>(name);
    }
};

TEST_F(RunTest, SteadyRunOnTownWritesResultsAndSettings) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("0");
    makeShownWindow();
    selectInp(inp);
    ASSERT_TRUE(messages->messages.empty());
    const fs::path results = networkDir / "town.inp.TXT";

    // What the window looks like while the run asks its question.
    std::map<std::string, bool> enabledDuringRun;
    bool busyDuringRun = false;
    int progressMaximum = -1, progressValue = -1;
    messages->answer = true;
    messages->onQuestion = [&] {
        for (const char* name : {"cmdRUN", "cmdInpFile", "cmbExtention", "cmdExclude"}) {
            enabledDuringRun[name] = control<QWidget>(name).isEnabled();
        }
        busyDuringRun = QApplication::overrideCursor() != nullptr &&
                        QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        progressMaximum = control<QProgressBar>("PB").maximum();
        progressValue = control<QProgressBar>("PB").value();
    };
    // Events are served during the run: this fires while it is under way.
    bool servedDuringRun = false;
    QTimer::singleShot(0, window.get(), [&] { servedDuringRun = window->isRunning(); });
    pressRun();

    ASSERT_EQ(messages->questions.size(), 1u)
        << (messages->messages.empty() ? std::string() : messages->messages[0].text.toStdString());
    EXPECT_EQ(messages->questions[0],
              "The results file was saved in the same directory as the INP file\r\n" + Q(results) +
                  "\r\n\r\nDo you want to view the output file now?");
    EXPECT_TRUE(messages->messages.empty());
    for (const auto& [name, enabled] : enabledDuringRun) EXPECT_FALSE(enabled) << name;
    EXPECT_TRUE(busyDuringRun);
    EXPECT_TRUE(servedDuringRun);
    const int junctions = window->catalogue().JunctionCount;
    EXPECT_EQ(progressMaximum, junctions);
    EXPECT_EQ(progressValue, junctions);

    // Yes opens the results window on the new file.
    EXPECT_TRUE(desktop->opened.empty());
    const auto* viewer = window->findChild<QWidget*>(QStringLiteral("frmResults"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), "Hydrosk Results - town.inp.TXT");

    const std::string written = ReadBytes(results);
    EXPECT_EQ(written.rfind(
                  "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n", 0),
              0u);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), junctions + 1);  // and a heading
    EXPECT_EQ(written.find("\"J1\","), written.find("\r\n") + 2);

    const files::Settings settings = files::LoadSettings(programDir);
    ASSERT_TRUE(settings.inp_directory);
    EXPECT_EQ(*settings.inp_directory, networkDir.string() + "/");
    EXPECT_EQ(settings.minimal_pressure, "110");
    EXPECT_EQ(settings.maximal_flow, "1000");
    EXPECT_EQ(settings.flow_interval, "10");
    EXPECT_EQ(settings.required_flow, "100");
    EXPECT_EQ(settings.required_time, "1.5");
    expectIdleAfterRun();
}

TEST_F(RunTest, AnsweringNoStartsNoViewerButKeepsTheSettings) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("0");
    makeWindow();
    selectInp(inp);
    control<QComboBox>("cmbExtention").setCurrentText("CSV");
    control<QLineEdit>("txtRequiredFlow").setText("abc");
    messages->answer = false;
    pressRun();
    ASSERT_EQ(messages->questions.size(), 1u);
    EXPECT_TRUE(desktop->opened.empty());
    EXPECT_TRUE(fs::exists(networkDir / "town.inp.CSV"));
    ASSERT_TRUE(fs::exists(settingsFile()));
    EXPECT_FALSE(files::LoadSettings(programDir).required_flow.has_value());
    expectIdleAfterRun();
}

TEST_F(RunTest, AnInstalledProgramKeepsItsSettingsInTheConfigurationFolder) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    // The installed layout: bin/ beside share/hydrosk/.
    programDir = programDir / "bin";
    fs::create_directories(programDir);
    fs::create_directories(programDir / ".." / "share" / "hydrosk");
    const fs::path config = networkDir / "config";
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    const fs::path inp = town("0");
    makeWindow();
    EXPECT_EQ(window->settingsFolder(), config / "hydrosk");
    selectInp(inp);
    control<QLineEdit>("txtMaximalFlow").setText("1200");
    pressRun();
    ASSERT_EQ(messages->questions.size(), 1u);
    EXPECT_FALSE(fs::exists(settingsFile()));
    EXPECT_EQ(files::LoadSettings(config / "hydrosk").maximal_flow, "1200");
    makeWindow();  // the next start
    EXPECT_EQ(control<QLineEdit>("txtMaximalFlow").text(), "1200");

    if (old) {
        setenv("XDG_CONFIG_HOME", old->c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(RunTest, FlowSearchTakesTheDefaultsUnderACommaDecimalFormat) {
    const ScopedLocale german("de_DE.UTF-8");
    if (!german.active) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("24:00");
    makeWindow();
    selectInp(inp);
    control<QTabWidget>("SSTab1").setCurrentIndex(1);
    control<QRadioButton>("optFindFlow").setChecked(true);
    control<QLineEdit>("txtMaximalFlow").setText("0");  // one trial per junction
    pressRun();
    EXPECT_TRUE(messages->messages.empty()) << messages->messages[0].text.toStdString();
    EXPECT_EQ(messages->questions.size(), 1u);
    EXPECT_TRUE(fs::exists(fs::path(inp.string() + ".TXT")));
}

struct Refusal {
    const char* name;
    const char* network;  // "town24", "town0" or "lps"
    std::function<void(RunTest&)> prepare;
    const char* message;
};

class RefusalTest : public RunTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, ShowsOneMessageAndWritesNothing) {
    const Refusal& refusal = GetParam();
    fs::path inp;
    if (std::string(refusal.network) == "lps") {
        inp = copyNetwork(TestData("lps_network.inp"), "lps.inp");
    } else {
        if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
        inp = town(std::string(refusal.network) == "town24" ? "24:00" : "0");
    }
    makeWindow();
    selectInp(inp);
    ASSERT_TRUE(messages->messages.empty());
    refusal.prepare(*this);
    pressRun();
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, refusal.message);
    EXPECT_TRUE(messages->questions.empty());
    EXPECT_FALSE(fs::exists(settingsFile()));
    EXPECT_FALSE(fs::exists(fs::path(inp.string() + ".TXT")));
    expectIdleAfterRun();
}

void Clear(RunTest& test, std::initializer_list<const char*> boxes) {
    for (const char* box : boxes) {
        static_cast<RefusalTest&>(test).find<QLineEdit>(box).clear();
    }
}

void ExtendedPeriod(RunTest& test, const char* option) {
    auto& t = static_cast<RefusalTest&>(test);
    t.find<QTabWidget>("SSTab1").setCurrentIndex(1);
    t.find<QRadioButton>(option).setChecked(true);
}

INSTANTIATE_TEST_SUITE_P(
    Run, RefusalTest,
    ::testing::Values(
        Refusal{"NoMinimalPressure", "lps", [](RunTest& t) { Clear(t, {"txtMinimalPressure"}); },
                "You must enter a minimal pressure"},
        Refusal{"NoNumbersAtAll", "lps",
                [](RunTest& t) {
                    Clear(t, {"txtMinimalPressure", "txtMaximalFlow", "txtFlowInterval"});
                },
                "You must enter a minimal pressure"},
        Refusal{"NoMaximalFlow", "lps", [](RunTest& t) { Clear(t, {"txtMaximalFlow"}); },
                "You must enter a maximal flow"},
        Refusal{"NoFlowInterval", "lps", [](RunTest& t) { Clear(t, {"txtFlowInterval"}); },
                "You must enter a flow interval"},
        Refusal{
            "PressureNotANumber", "lps",
            [](RunTest& t) {
                static_cast<RefusalTest&>(t).find<QLineEdit>("txtMinimalPressure").setText("abc");
            },
            "You must enter a number as the minimal pressure"},
        Refusal{"ZeroFlowInterval", "lps",
                [](RunTest& t) {
                    static_cast<RefusalTest&>(t).find<QLineEdit>("txtFlowInterval").setText("0");
                },
                "You must enter a flow interval greater than zero"},
        Refusal{"SteadyStateWithDuration", "town24", [](RunTest&) {},
                "The duration of the INP file must be set to zero"},
        Refusal{"ExtendedPeriodWithoutDuration", "lps",
                [](RunTest& t) { ExtendedPeriod(t, "optFindDuration"); },
                "Duration must be greater then zero for an EPS run"},
        Refusal{"FlowSearchWithoutDuration", "lps",
                [](RunTest& t) { ExtendedPeriod(t, "optFindFlow"); },
                "Duration must be greater then zero for an EPS run"},
        Refusal{"NoRequiredFlow", "town24",
                [](RunTest& t) {
                    ExtendedPeriod(t, "optFindDuration");
                    Clear(t, {"txtRequiredFlow"});
                },
                "You must enter a required flow value"},
        Refusal{"NoRequiredTime", "town24",
                [](RunTest& t) {
                    ExtendedPeriod(t, "optFindFlow");
                    Clear(t, {"txtRequiredTime"});
                },
                "You must enter a required time value greater then zero"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(RunTest, UnknownConstraintIdsAreReportedOnceAfterTheRun) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("0");
    WriteBytes(networkDir / "NoCheck.txt", "\"J3\"\r\n\"GONE1\"\r\n");
    WriteBytes(networkDir / "MinPressures.txt", "\"GONE2\",30\r\n\"J4\",20\r\n");
    makeWindow();
    selectInp(inp);
    std::size_t questionsWhenTold = 99;
    messages->onMessage = [&] { questionsWhenTold = messages->questions.size(); };
    pressRun();
    ASSERT_EQ(messages->questions.size(), 1u);
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(questionsWhenTold, 1u);  // after the run, not in the middle of it
    EXPECT_TRUE(messages->messages[0].text.contains("GONE1"));
    EXPECT_TRUE(messages->messages[0].text.contains("GONE2"));
    EXPECT_TRUE(fs::exists(settingsFile()));
    expectIdleAfterRun();
}

TEST_F(RunTest, ASettingsFileThatCannotBeWrittenIsReportedOnce) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("0");
    // A directory where the settings file should be: no one can write it.
    fs::create_directories(settingsFile());
    makeWindow();
    selectInp(inp);
    pressRun();
    ASSERT_EQ(messages->questions.size(), 1u);
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_TRUE(messages->messages[0].text.contains(QString::fromLatin1(files::kSettingsFileName)))
        << messages->messages[0].text.toStdString();
    const std::string results = ReadBytes(networkDir / "town.inp.TXT");
    EXPECT_EQ(std::count(results.begin(), results.end(), '\n'),
              window->catalogue().JunctionCount + 1);  // the results are whole
    expectIdleAfterRun();
}

// A flow search on town.inp that takes about two seconds on an idle machine: every trial is a
// whole day, in steps of 2.
void PrepareLongFlowSearch(RunTest& test);

TEST_F(RunTest, TheWindowServesEventsThroughoutALongRun) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("24:00");
    makeShownWindow();
    selectInp(inp);
    PrepareLongFlowSearch(*this);

    using Clock = std::chrono::steady_clock;
    int ticks = 0;
    Clock::duration longestGap{};
    Clock::time_point last = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
        ++ticks;
    });
    messages->onQuestion = [&] { ticker.stop(); };
    ticker.start(10);
    last = Clock::now();
    pressRun();

    ASSERT_EQ(messages->questions.size(), 1u);
    EXPECT_GE(ticks, 5);
    // Hydraulics stay off this thread: events are served every 50 ms, whatever a junction costs.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longestGap).count(), 500);
    EXPECT_EQ(control<QProgressBar>("PB").value(), window->catalogue().JunctionCount);
    expectIdleAfterRun();
}

TEST_F(RunTest, ClosingTheWindowMidRunStopsTheWorkersAndKeepsWholeRows) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("24:00");
    MainWindow& w = makeShownWindow();
    selectInp(inp);
    PrepareLongFlowSearch(*this);
    QTimer::singleShot(0, &w, [&] {
        QTimer::singleShot(300, &w, [&] { w.close(); });
        pressRun();
        QApplication::quit();
    });
    QApplication::exec();
    EXPECT_FALSE(w.isRunning());
    EXPECT_TRUE(messages->questions.empty());
    EXPECT_FALSE(fs::exists(settingsFile()));
    // The rows finished before the close, each whole, and no temporary file left behind.
    const std::string results = ReadBytes(networkDir / "town.inp.TXT");
    EXPECT_TRUE(results.empty() || results.ends_with("\r\n"));
    EXPECT_LE(std::count(results.begin(), results.end(), '\n'), window->catalogue().JunctionCount);
    for (const auto& entry : fs::directory_iterator(networkDir)) {
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

void PrepareLongFlowSearch(RunTest& test) {
    test.find<QTabWidget>("SSTab1").setCurrentIndex(1);
    test.find<QRadioButton>("optFindFlow").click();
    test.find<QLineEdit>("txtMinimalPressure").setText("20");
    test.find<QLineEdit>("txtMaximalFlow").setText("3000");
    test.find<QLineEdit>("txtFlowInterval").setText("2");
    test.find<QLineEdit>("txtRequiredTime").setText("24");
}

TEST_F(RunTest, ClosingTheWindowDuringARunEndsIt) {
    if (!fs::exists(Example("town.inp"))) GTEST_SKIP() << "examples/town.inp is not there yet";
    const fs::path inp = town("0");
    MainWindow& w = makeShownWindow();
    selectInp(inp);
    // RUN pressed in the program's event loop, and Close at the run's first
    // chance to serve events: the event loop ends with the run.
    QTimer::singleShot(0, &w, [&] {
        QTimer::singleShot(0, &w, [&] { w.close(); });
        pressRun();
    });
    bool stillRunning = false;
    QTimer safetyNet;  // ends a program that would otherwise go on for ever
    safetyNet.setSingleShot(true);
    QObject::connect(&safetyNet, &QTimer::timeout, [&] {
        stillRunning = true;
        QApplication::quit();
    });
    safetyNet.start(60'000);
    QApplication::exec();
    EXPECT_FALSE(stillRunning);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.isRunning());
    EXPECT_TRUE(messages->questions.empty());
    EXPECT_TRUE(messages->messages.empty());
    EXPECT_TRUE(desktop->opened.empty());
    EXPECT_FALSE(fs::exists(settingsFile()));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_LT(control<QProgressBar>("PB").value(), window->catalogue().JunctionCount);
}

}  // namespace
}  // namespace hydrosk::ui::testing
