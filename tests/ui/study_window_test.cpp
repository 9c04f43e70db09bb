// The study window on the small map network: the network drawn on opening,
// the fields with their units and the user's number format, hydrants picked
// on the map, the report as a PDF, turned into an image and text with
// poppler's tools, and the study's runs: a full design run judged on the map
// and in the table, Cancel and closing the window mid-run on ky10.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <algorithm>
#include <string>
#include <vector>

#include "analysis/fire_flow_run.h"
#include "files/constraint_files.h"
#include "files/results_file.h"
#include "ui/colour_scale.h"
#include "ui/judged_results.h"

#include "ui/network_map_view.h"
#include "ui/study_window.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

class StudyWindowTest : public WindowTest {
protected:
    StudyWindow& openStudy() {
        study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
        study->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(study.get()));
        EXPECT_TRUE(study->openNetwork(copyNetwork(TestData("map_network.inp"), "map.inp")));
        return *study;
    }
    template <typename T>
    T& find(const char* name) {
        return Child<T>(*study, name);
    }
    NetworkMapView& map() { return find<NetworkMapView>("mapView"); }
    QPoint onScreen(double x, double y) { return map().mapFromScene(QPointF(x, -y)); }
    bool invalid(const char* field) { return find<QLineEdit>(field).property("invalid").toBool(); }

    void TearDown() override {
        study.reset();
        WindowTest::TearDown();
    }

    std::shared_ptr<FakeSaveDialog> saveDialog = std::make_shared<FakeSaveDialog>();
    std::unique_ptr<StudyWindow> study;
};

TEST_F(StudyWindowTest, DrawsTheNetworkAtOnceWithUnitsBesideTheFields) {
    openStudy();
    EXPECT_EQ(study->windowTitle(), "Hydrosk Study - map.inp");
    EXPECT_EQ(find<QStackedWidget>("stkMap").currentWidget(), &map());
    EXPECT_EQ(find<QLabel>("lblMinPressureUnits").text(), "psi");
    EXPECT_EQ(find<QLabel>("lblRequiredFlowUnits").text(), "GPM");
    EXPECT_EQ(find<QLabel>("lblVelocityLimitUnits").text(), "ft/s");
    EXPECT_EQ(find<QLabel>("lblDemandTimeUnits").text(), "h (0 to 0)");  // a steady network
    EXPECT_EQ(find<QLineEdit>("txtMinPressure").text(), "20");
    EXPECT_FALSE(invalid("txtVelocityLimit"));  // empty: no limit
    find<QLineEdit>("txtDemandTime").setText("5");
    EXPECT_TRUE(invalid("txtDemandTime"));  // beyond the INP's duration
    find<QLineEdit>("txtDemandTime").setText("0");
    EXPECT_FALSE(invalid("txtDemandTime"));

    // A network that cannot be read leaves the window as it was, with a message.
    EXPECT_FALSE(study->openNetwork(networkDir / "absent.inp"));
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not open the network");
    EXPECT_EQ(study->windowTitle(), "Hydrosk Study - map.inp");
}

TEST_F(StudyWindowTest, BaselineColoursTheMapAndExcludesTheJunctionsBelowTheMinimum) {
    study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
    study->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(study.get()));
    const fs::path inp = copyNetwork(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp", "Net1.inp");
    ASSERT_TRUE(study->openNetwork(inp));
    // At 20 psi every junction of Net1 has its pressure: on the scale, none marked.
    EXPECT_TRUE(study->belowMinimum().empty());
    EXPECT_FALSE(find<QAction>("actExcludeBelowMinimum").isEnabled());
    EXPECT_TRUE(map().legend().title.startsWith("Pressure at 0 h"))
        << map().legend().title.toStdString();
    ASSERT_TRUE(map().legend().scaleEnds.has_value());
    EXPECT_LT(*map().junctionColour(0), ColourScale::kShades);

    // A higher minimum at another demand time marks some junctions, not all.
    QLineEdit& demandTime = find<QLineEdit>("txtDemandTime");
    demandTime.setText("12");
    emit demandTime.editingFinished();
    EXPECT_TRUE(map().legend().title.startsWith("Pressure at 12 h"));
    const auto [lowest, highest] = *map().legend().scaleEnds;
    ASSERT_LT(lowest.toDouble(), highest.toDouble());
    QLineEdit& minimum = find<QLineEdit>("txtMinPressure");
    minimum.setText(QString::number((lowest.toDouble() + highest.toDouble()) / 2));
    emit minimum.editingFinished();
    const std::vector<std::string> below = study->belowMinimum();
    ASSERT_FALSE(below.empty());
    ASSERT_LT(below.size(), 9u);
    const network::NetworkMap net = network::LoadNetworkMap(inp);
    int onScale = 0;
    for (int node = 0; node < 9; ++node) {
        const bool marked = std::find(below.begin(), below.end(),
                                      net.nodes[static_cast<std::size_t>(node)].id) != below.end();
        const std::uint8_t colour = *map().junctionColour(node);
        EXPECT_EQ(colour == ColourScale::kFail, marked) << node;
        onScale += colour < ColourScale::kShades ? 1 : 0;
    }
    EXPECT_EQ(onScale, 9 - static_cast<int>(below.size()));

    // The action adds them to NoCheck.txt beside the INP file, after those already there.
    std::string kept;  // a junction above the minimum
    for (int node = 0; node < 9 && kept.empty(); ++node) {
        const std::string& id = net.nodes[static_cast<std::size_t>(node)].id;
        if (std::find(below.begin(), below.end(), id) == below.end()) kept = id;
    }
    files::WriteExcludedJunctions(networkDir / files::kExcludedJunctionsFileName,
                                  std::vector<std::string>{kept});
    QAction& exclude = find<QAction>("actExcludeBelowMinimum");
    ASSERT_TRUE(exclude.isEnabled());
    exclude.trigger();
    std::vector<std::string> expected{kept};
    expected.insert(expected.end(), below.begin(), below.end());
    EXPECT_EQ(files::ReadExcludedJunctions(networkDir / files::kExcludedJunctionsFileName),
              expected);
    EXPECT_TRUE(study->belowMinimum().empty());
    EXPECT_FALSE(exclude.isEnabled());
    EXPECT_TRUE(messages->messages.empty());
}

// An available-flow study file judges the junctions with a required flow Pass or Fail, the
// others by their answer on the scale.
TEST(JudgedRowsTest, AvailableFlowStudyRowsWithARequirementArePassOrFail) {
    const files::ResultsTable table = files::ParseResults(
        "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\",\"Limiting_Pressure\","
        "\"Check_Pressure\",\"Limiting_Pipe\",\"Limiting_Velocity\",\"Required_Flow\","
        "\"Result\"\r\n"
        "\"J5\",\"Maximal flow was reached\",\"\",\"\",\"\",\"\",\"\",1500,\"Pass\"\r\n"
        "\"J12\",\"Unsolved\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
        "\"J21\",1826,\"J21\",19.91073,20.03612,\"\",\"\",2000,\"Fail\"\r\n"
        "\"J22\",950,\"\",\"\",31.5,\"P28\",10.00107,\"\",\"\"\r\n");
    const JudgedRows judged = JudgeRows(table);
    ASSERT_EQ(judged.entries.size(), 4u);
    EXPECT_EQ(judged.entries[0], ColourScale::kPass);
    EXPECT_EQ(judged.entries[1], ColourScale::kNeutral);  // unsolved: no result, not reached
    EXPECT_EQ(judged.entries[2], ColourScale::kFail);
    EXPECT_LT(judged.entries[3], ColourScale::kShades);
    ASSERT_GE(judged.legend.swatches.size(), 2u);
    EXPECT_EQ(judged.legend.swatches[0].text, "Pass");
    EXPECT_EQ(judged.legend.swatches[1].text, "Fail");
    ASSERT_TRUE(judged.legend.scaleEnds.has_value());
    EXPECT_EQ(judged.legend.scaleEnds->first, "950");

    // Without any requirement the whole file is on the scale, as before.
    const files::ResultsTable none = files::ParseResults(
        "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\",\"Limiting_Pressure\","
        "\"Check_Pressure\",\"Limiting_Pipe\",\"Limiting_Velocity\",\"Required_Flow\","
        "\"Result\"\r\n"
        "\"J22\",950,\"\",\"\",31.5,\"P28\",10.00107,\"\",\"\"\r\n");
    const JudgedRows scaled = JudgeRows(none);
    EXPECT_LT(scaled.entries[0], ColourScale::kShades);
    EXPECT_NE(scaled.legend.swatches[0].text, "Pass");
}

TEST_F(StudyWindowTest, NumbersFollowTheUsersNumberFormat) {
    const ScopedLocale german("de_DE.UTF-8");
    ASSERT_TRUE(german.active) << "de_DE.UTF-8 is not installed (make deps generates it)";
    openStudy();
    find<QLineEdit>("txtFireDuration").setText("1,5");
    EXPECT_FALSE(invalid("txtFireDuration"));
    find<QLineEdit>("txtFireDuration").setText("anderthalb");
    EXPECT_TRUE(invalid("txtFireDuration"));
}

TEST_F(StudyWindowTest, PicksHydrantsOnTheMapByClickAndRectangle) {
    openStudy();
    // Node indices: J1 0, J2 1, J3 2, J10 3.
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(100, 0));
    EXPECT_TRUE(study->pickedHydrants().empty());  // all junctions: clicks pick nothing

    find<QRadioButton>("optHydrantsOnMap").click();
    EXPECT_TRUE(map().picking());
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(100, 0));
    EXPECT_EQ(study->pickedHydrants(), (std::set<int>{0}));
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(100, 0));
    EXPECT_TRUE(study->pickedHydrants().empty());

    // A rectangle around J2 and J3, dragged from below left to above right.
    const QPoint from = onScreen(180, -20), to = onScreen(320, 20);
    QTest::mousePress(map().viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(map().viewport(), (from + to) / 2);
    QTest::mouseMove(map().viewport(), to);
    QTest::mouseRelease(map().viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(study->pickedHydrants(), (std::set<int>{1, 2}));
    EXPECT_EQ(find<QLabel>("lblHydrantCount").text(), "2 selected");
    const auto hydrants = study->parameters().back();
    EXPECT_EQ(hydrants.first, "Hydrants");
    EXPECT_EQ(hydrants.second, "J2, J3");

    find<QRadioButton>("optAllJunctions").click();
    EXPECT_FALSE(map().picking());
}

// Runs a poppler tool; its standard output.
QByteArray RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString() << " did not run";
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

TEST_F(StudyWindowTest, FireGroupsComeFromAFileOrFromTheMapInPlaceOfHydrants) {
    openStudy();
    auto& hydrants = *find<QRadioButton>("optAllJunctions").parentWidget();
    EXPECT_FALSE(study->runSettings()->fire_groups.has_value());

    // A file picked with the dialog.
    const fs::path groups = networkDir / "groups.txt";
    WriteBytes(groups, "\"East\",\"J2\",\"J3\"\r\n");
    find<QRadioButton>("optFireGroupsFile").click();
    EXPECT_FALSE(hydrants.isEnabled());
    EXPECT_FALSE(study->runSettings().has_value());
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].detail, "Fire groups: no file chosen");
    dialog->answers.push_back(Q(groups));
    find<QPushButton>("cmdFireGroupsFile").click();
    EXPECT_EQ(find<QLabel>("lblFireGroupsFile").text(), "groups.txt");
    std::optional<analysis::RunSettings> settings = study->runSettings();
    ASSERT_TRUE(settings.has_value());
    ASSERT_TRUE(settings->fire_groups.has_value());
    EXPECT_EQ(std::get<fs::path>(*settings->fire_groups), groups);
    EXPECT_FALSE(settings->hydrants.has_value());

    // The nearest junctions on the map, with the command line's default size.
    find<QRadioButton>("optNearFireGroups").click();
    EXPECT_EQ(find<QLineEdit>("txtGroupSize").text(), "3");
    find<QLineEdit>("txtGroupDistance").setText("150");
    find<QLineEdit>("txtGroupSize").setText("2");
    settings = study->runSettings();
    ASSERT_TRUE(settings && settings->fire_groups);
    const auto& near = std::get<analysis::NearGroups>(*settings->fire_groups);
    EXPECT_EQ(near.distance, 150);
    EXPECT_EQ(near.size, 2);
    find<QLineEdit>("txtGroupDistance").setText("0");
    messages->messages.clear();
    EXPECT_FALSE(study->runSettings().has_value());
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Please complete the fire groups");

    find<QRadioButton>("optNoFireGroups").click();
    EXPECT_TRUE(hydrants.isEnabled());
    EXPECT_FALSE(study->runSettings()->fire_groups.has_value());
}

TEST_F(StudyWindowTest, ExportsTheReportAsAPdfWithParametersAndMap) {
    openStudy();
    find<QLineEdit>("txtMinPressure").setText("25");
    const fs::path pdf = networkDir / "report.pdf";
    saveDialog->answers = {Q(pdf)};
    find<QAction>("actExportReport").trigger();
    EXPECT_TRUE(messages->messages.empty());
    EXPECT_EQ(saveDialog->proposals.front(), Q(networkDir / "map.inp.report.pdf"));
    ASSERT_EQ(ReadBytes(pdf).substr(0, 5), "%PDF-");

    // The first page as an image: not blank, the map's colours on it.
    RunTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
             QStringLiteral("-singlefile"), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), Q(pdf), Q(networkDir / "page")});
    const QImage page(Q(networkDir / "page.png"));
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
    }
    EXPECT_GT(dark, 100);
    const QString text =
        QString::fromUtf8(RunTool(QStringLiteral("pdftotext"),
                                  {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                   QStringLiteral("1"), Q(pdf), QStringLiteral("-")}));
    for (const char* expected : {"Fire-flow study: map.inp", "Minimal pressure", "25 psi",
                                 "Available flow", "Required flow", "1000 GPM", "all junctions"}) {
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << " in\n"
                                                            << text.toStdString();
    }

    // A file that cannot be written is a message.
    EXPECT_FALSE(study->writeReport(Q(networkDir / "missing" / "report.pdf")));
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not write the file");
}

class StudyRunTest : public StudyWindowTest {
protected:
    // A study window of its own on a copy of ky10 (935 junctions, steady),
    // whose available-flow run takes long enough to be stopped.
    StudyWindow& openLongStudy(StudyWindow& study) {
        StudyWindow* window = &study;
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        const fs::path inp =
            copyNetwork(fs::path(HYDROSK_SHARED_NETWORKS) / "ky10.inp", "ky10.inp");
        // Its pump junctions are below 20 psi without fire flow: left in, every junction's
        // available flow would be 0 after one solve, and the run over within a batch or two.
        const std::vector<std::string> belowMinimum = {"I-Pump-1", "I-Pump-2", "I-Pump-3",
                                                       "I-Pump-4", "O-Pump-1"};
        files::WriteExcludedJunctions(inp.parent_path() / files::kExcludedJunctionsFileName,
                                      belowMinimum);
        EXPECT_TRUE(window->openNetwork(inp));
        window->setThreads(2);
        return *window;
    }
    // Starts the run and waits until its first rows are in the table.
    void runUntilRows(StudyWindow& window) {
        Child<QPushButton>(window, "cmdRun").click();
        ASSERT_TRUE(window.running());
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.results().rows.size() >= 2; }, 60000));
        ASSERT_TRUE(window.running()) << "the run ended before it could be stopped";
    }
};

TEST_F(StudyRunTest, DesignRunJudgesEveryJunctionOnTheMapAndInTheTable) {
    openStudy();
    find<QComboBox>("cmbStudyMode").setCurrentIndex(1);  // design check
    find<QLineEdit>("txtRequiredFlow").setText("1500");
    QSignalSpy ended(study.get(), &StudyWindow::runEnded);
    find<QPushButton>("cmdRun").click();
    EXPECT_FALSE(find<QPushButton>("cmdRun").isEnabled());
    EXPECT_TRUE(find<QPushButton>("cmdCancel").isEnabled());
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_TRUE(messages->messages.empty()) << messages->messages[0].detail.toStdString();

    // One row per junction, in the table, in the results file and on the map.
    const files::ResultsTable& rows = study->results();
    ASSERT_EQ(rows.rows.size(), 5u);
    EXPECT_EQ(files::ReadResultsFile(networkDir / "map.inp.TXT").rows.size(), 5u);
    const QAbstractItemModel& table = *find<QTableView>("tblStudyResults").model();
    ASSERT_EQ(table.rowCount(), 5);
    const std::size_t result = *files::ResultColumn(rows);
    int passed = 0, failed = 0;
    for (int row = 0; row < 5; ++row) {
        const files::ResultsRow& read = rows.rows[static_cast<std::size_t>(row)];
        const bool pass = read.cells[result].text == "Pass";
        ASSERT_TRUE(pass || read.cells[result].text == "Fail");
        (pass ? passed : failed) += 1;
        const std::uint8_t entry = pass ? ColourScale::kPass : ColourScale::kFail;
        EXPECT_EQ(table.index(row, 0).data(Qt::DecorationRole).value<QColor>(),
                  ColourScale::colourOf(entry));
        const std::optional<int> node =
            network::LoadNetworkMap(networkDir / "map.inp").FindNode(read.check_id());
        ASSERT_TRUE(node);
        if (read.check_id() != "J4") {  // J4 has no coordinates
            EXPECT_EQ(map().junctionColour(*node), entry) << read.check_id();
        }
    }
    EXPECT_GT(passed, 0);
    EXPECT_GT(failed, 0);
    EXPECT_EQ(map().legend().swatches.front().text, "Pass");
    EXPECT_FALSE(map().legend().symbols.empty());  // the network's symbols stay

    const QProgressBar& progress = find<QProgressBar>("pbStudy");
    EXPECT_EQ(progress.value(), progress.maximum());
    EXPECT_EQ(progress.maximum(), 5);
    EXPECT_TRUE(find<QPushButton>("cmdRun").isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdCancel").isEnabled());
    EXPECT_FALSE(find<QLabel>("lblStudySummary").text().contains("ncomplete"));

    // The available flow of the same junctions, on the scale.
    find<QComboBox>("cmbStudyMode").setCurrentIndex(0);
    find<QLineEdit>("txtMaximalFlow").setText("5000");
    find<QPushButton>("cmdRun").click();
    ASSERT_TRUE(ended.wait(60000));
    ASSERT_EQ(study->results().rows.size(), 5u);
    EXPECT_EQ(study->results().kind, files::ResultsKind::AvailableFlow);
    EXPECT_TRUE(map().legend().scaleEnds.has_value());
    const std::optional<std::uint8_t> j1 = map().junctionColour(0);
    ASSERT_TRUE(j1);
    EXPECT_LT(*j1, ColourScale::kShades);
}

TEST_F(StudyRunTest, StudyOptionsGiveTheRowsTheCoreGivesForTheSameOptions) {
    study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
    study->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(study.get()));
    const fs::path inp = copyNetwork(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp", "Net1.inp");
    ASSERT_TRUE(study->openNetwork(inp));
    find<QLineEdit>("txtMinPressure").setText("20");
    find<QLineEdit>("txtMaximalFlow").setText("3000");
    find<QLineEdit>("txtVelocityLimit").setText("4");
    find<QLineEdit>("txtDemandTime").setText("6");
    find<QLineEdit>("txtFireDuration").setText("1.5");
    find<QComboBox>("cmbFireDemand").setCurrentIndex(1);  // replacing
    // Junctions 22 and 31 picked on the map (Net1's coordinates).
    find<QRadioButton>("optHydrantsOnMap").click();
    EXPECT_FALSE(study->startRun());  // none picked yet
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Please select the hydrants");
    messages->messages.clear();
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(50, 40));
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(30, 10));
    ASSERT_EQ(study->pickedHydrants().size(), 2u);

    QSignalSpy ended(study.get(), &StudyWindow::runEnded);
    ASSERT_TRUE(study->startRun());
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_TRUE(messages->messages.empty()) << messages->messages[0].detail.toStdString();
    ASSERT_EQ(study->results().rows.size(), 2u);
    EXPECT_EQ(study->results().rows[0].check_id(), "22");
    EXPECT_EQ(study->results().rows[1].check_id(), "31");

    // The core run with the options as the command line gives them.
    analysis::RunSettings settings;
    settings.inp_file = inp;
    settings.minimal_pressure = 20;
    analysis::StudyOptions options;
    options.fire.demand_time = 6;
    options.fire.fire_duration = 1.5;
    options.fire.fire_demand = analysis::FireDemand::Replace;
    options.fire.max_velocity = 4;
    settings.mode = analysis::AvailableFlowRun{3000, std::nullopt, options};
    settings.constraints_directory = networkDir;
    settings.hydrants = std::vector<std::string>{"22", "31"};
    settings.output_file = networkDir / "core.TXT";
    settings.report_file.clear();
    settings.trial_report_file.clear();
    analysis::RunObserver observer;
    analysis::RunFireFlow(settings, observer);
    EXPECT_EQ(ReadBytes(networkDir / "Net1.inp.TXT"), ReadBytes(networkDir / "core.TXT"));
    EXPECT_EQ(files::ReadResultsFile(networkDir / "core.TXT").rows.size(), 2u);
}

TEST_F(StudyRunTest, AGroupsRunGivesTheCoresRowsOfTheGroups) {
    study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
    const fs::path inp = copyNetwork(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp", "Net1.inp");
    ASSERT_TRUE(study->openNetwork(inp));
    const fs::path groups = networkDir / "groups.txt";
    WriteBytes(groups, "\"Pair\",\"22\",\"31\"\r\n\"Alone\",\"12\"\r\n");
    find<QLineEdit>("txtMinPressure").setText("20");
    find<QLineEdit>("txtMaximalFlow").setText("3000");
    dialog->answers.push_back(Q(groups));
    find<QPushButton>("cmdFireGroupsFile").click();
    std::optional<analysis::RunSettings> settings = study->runSettings();
    ASSERT_TRUE(settings.has_value());

    QSignalSpy ended(study.get(), &StudyWindow::runEnded);
    ASSERT_TRUE(study->startRun());
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_TRUE(messages->messages.empty()) << messages->messages[0].detail.toStdString();
    ASSERT_EQ(study->results().rows.size(), 2u);
    EXPECT_EQ(study->results().rows[0].check_id(), "Pair");
    EXPECT_EQ(study->results().rows[1].check_id(), "Alone");

    settings->output_file = networkDir / "core.TXT";
    analysis::RunObserver observer;
    analysis::RunFireFlow(*settings, observer);
    EXPECT_EQ(ReadBytes(networkDir / "Net1.inp.TXT"), ReadBytes(networkDir / "core.TXT"));
}

TEST_F(StudyRunTest, AFieldWithoutANumberStartsNoRun) {
    openStudy();
    find<QLineEdit>("txtMaximalFlow").setText("lots");
    EXPECT_FALSE(study->startRun());
    EXPECT_FALSE(study->running());
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Please enter a valid number");
}

TEST_F(StudyRunTest, ARunTheCoreRefusesIsOneMessage) {
    study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
    // The INP file goes away after the map was drawn: the run cannot open it.
    const fs::path inp = copyNetwork(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp", "Net1.inp");
    ASSERT_TRUE(study->openNetwork(inp));
    fs::remove(inp);
    QSignalSpy ended(study.get(), &StudyWindow::runEnded);
    ASSERT_TRUE(study->startRun());
    ASSERT_TRUE(ended.wait(60000));
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "The run was refused");
    EXPECT_FALSE(messages->messages[0].detail.isEmpty());
    EXPECT_EQ(find<QLabel>("lblStudySummary").text(), messages->messages[0].detail);
    EXPECT_TRUE(study->results().rows.empty());
    EXPECT_FALSE(fs::exists(networkDir / "Net1.inp.TXT"));
    EXPECT_TRUE(find<QPushButton>("cmdRun").isEnabled());
}

TEST_F(StudyRunTest, CancelStopsTheRunAndTheWindowRunsAgain) {
    study = std::make_unique<StudyWindow>(StudyServices{messages, dialog, saveDialog});
    openLongStudy(*study);
    // A previous run's results stay as they were.
    const fs::path resultsFile = networkDir / "ky10.inp.TXT";
    WriteBytes(resultsFile, "previous results\r\n");
    QSignalSpy ended(study.get(), &StudyWindow::runEnded);
    runUntilRows(*study);
    // The rows are on the map as they complete.
    const std::optional<int> first = network::LoadNetworkMap(networkDir / "ky10.inp")
                                         .FindNode(study->results().rows[0].check_id());
    ASSERT_TRUE(first);
    EXPECT_NE(map().junctionColour(*first), ColourScale::kNeutral);
    EXPECT_FALSE(find<QWidget>("pnlStudyOptions").isEnabled());

    QElapsedTimer stopping;
    stopping.start();
    find<QPushButton>("cmdCancel").click();
    ASSERT_TRUE(ended.wait(10000)) << "the run did not end after Cancel";
    std::printf("[ cancel   ] the run ended %lld ms after Cancel\n",
                static_cast<long long>(stopping.elapsed()));
    EXPECT_FALSE(study->running());
    EXPECT_TRUE(messages->messages.empty());
    EXPECT_LT(study->results().rows.size(), 935u);
    const QString summary = find<QLabel>("lblStudySummary").text();
    EXPECT_TRUE(summary.startsWith("Cancelled")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("ky10.inp.TXT.partial")) << summary.toStdString();
    EXPECT_EQ(ReadBytes(resultsFile), "previous results\r\n");
    EXPECT_EQ(files::ReadResultsFile(networkDir / "ky10.inp.TXT.partial").rows.size(),
              study->results().rows.size());
    EXPECT_EQ(find<QProgressBar>("pbStudy").value(),
              static_cast<int>(study->results().rows.size()));

    // The window is usable again: another network, a full run.
    EXPECT_TRUE(find<QWidget>("pnlStudyOptions").isEnabled());
    EXPECT_TRUE(find<QPushButton>("cmdRun").isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdCancel").isEnabled());
    ASSERT_TRUE(study->openNetwork(copyNetwork(TestData("map_network.inp"), "map.inp")));
    EXPECT_TRUE(study->results().rows.empty());
    find<QPushButton>("cmdRun").click();
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_EQ(study->results().rows.size(), 5u);
}

TEST_F(StudyRunTest, ClosingTheWindowMidRunEndsTheRun) {
    QPointer<StudyWindow> window = new StudyWindow(StudyServices{messages, dialog, saveDialog});
    window->setAttribute(Qt::WA_DeleteOnClose);
    openLongStudy(*window);
    runUntilRows(*window);
    EXPECT_TRUE(window->close());
    // The window goes with its run's thread; nothing arrives afterwards.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
    QTest::qWait(200);
    EXPECT_TRUE(messages->messages.empty());
}

}  // namespace
}  // namespace hydrosk::ui::testing
