// The results window on a small network with every element kind: each kind of
// results file, sorting, the failing-only filter, the selection shared by
// table and map, zoom and pan, the exports, and the notices and messages when
// something is missing.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QTableView>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

#include "network/network_map.h"
#include "ui/colour_scale.h"
#include "ui/map_legend.h"
#include "ui/network_map_items.h"
#include "ui/network_map_view.h"
#include "ui/results_window.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

const std::string kSteady =
    "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
    "\"J1\",1500,\"J3\",19.5\r\n"
    "\"J2\",\"Maximal flow was reached\"\r\n"
    "\"J3\",250,\"J3\",18\r\n"
    "\"J10\",900,\"J2\",19.9\r\n"
    "\"J4\",\"Maximal flow was reached\"\r\n";

class ResultsWindowTest : public WindowTest {
protected:
    // The results beside a copy of the map network, as a run leaves them.
    fs::path writeResults(const std::string& bytes, const char* inp = "map_network.inp") {
        copyNetwork(TestData(inp), "map.inp");
        const fs::path file = networkDir / "map.inp.TXT";
        WriteBytes(file, bytes);
        return file;
    }

    ResultsWindow& openResults(const fs::path& file,
                               const std::optional<fs::path>& inp = std::nullopt) {
        results =
            std::make_unique<ResultsWindow>(ResultsServices{messages, saveDialog, desktop, dialog});
        EXPECT_TRUE(results->open(file, inp));
        results->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(results.get()));
        return *results;
    }

    template <typename T>
    T& find(const char* name) {
        return Child<T>(*results, name);
    }
    void trigger(const char* action) { find<QAction>(action).trigger(); }

    QTableView& table() { return find<QTableView>("tblResults"); }
    NetworkMapView& map() { return find<NetworkMapView>("mapView"); }

    // The check IDs as the table shows them, top to bottom.
    std::vector<std::string> shownIds() {
        std::vector<std::string> ids;
        const QAbstractItemModel& model = *table().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            ids.push_back(model.index(row, 0).data().toString().toStdString());
        }
        return ids;
    }
    void clickHeader(int column) {
        QHeaderView& header = *table().horizontalHeader();
        const QPoint at(header.sectionViewportPosition(column) + header.sectionSize(column) / 2,
                        header.height() / 2);
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, at);
    }
    // Where a map point (INP coordinates) is on the screen.
    QPoint onScreen(double x, double y) { return map().mapFromScene(QPointF(x, -y)); }

    void TearDown() override {
        results.reset();
        WindowTest::TearDown();
    }

    std::shared_ptr<FakeSaveDialog> saveDialog = std::make_shared<FakeSaveDialog>();
    std::unique_ptr<ResultsWindow> results;
};

struct KindCase {
    const char* name;
    std::string bytes;
    QString answerHeading;
    int failing;
    QString summary;
};

class ResultsKindTest : public ResultsWindowTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ResultsKindTest, ShowsEveryRowWithUnitsSummaryAndMap) {
    const KindCase& c = GetParam();
    openResults(writeResults(c.bytes));
    EXPECT_EQ(results->windowTitle(), "Hydrosk Results - map.inp.TXT");
    EXPECT_EQ(table().model()->rowCount(), 5);
    const QAbstractItemModel& model = *table().model();
    QStringList headings;
    for (int column = 0; column < model.columnCount(); ++column) {
        headings << model.headerData(column, Qt::Horizontal).toString();
    }
    EXPECT_TRUE(headings.contains(c.answerHeading))
        << headings.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(find<QLabel>("lblSummary").text(), c.summary);
    EXPECT_EQ(find<QStackedWidget>("stkMap").currentWidget(), &map());
    find<QCheckBox>("chkFailingOnly").click();
    EXPECT_EQ(table().model()->rowCount(), c.failing);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ResultsKindTest,
    ::testing::Values(
        KindCase{"steady", kSteady, "Maximal_Flow (GPM)", 3,
                 "5 junctions: 2 reached the maximal flow; at 3 a pressure fell below its minimum "
                 "before it. Lowest failing flow 250 GPM at J3."},
        KindCase{"duration",
                 "\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n\"J1\",100,3.5\r\n"
                 "\"J2\",100,\"End of simulation was reached\"\r\n\"J3\",100,0\r\n"
                 "\"J10\",100,12\r\n\"J4\",100,\"End of simulation was reached\"\r\n",
                 "Duration (hours)", 3,
                 "5 junctions: 2 supplied the flow to the end of the simulation; at 3 a pressure "
                 "fell below its minimum first. Shortest duration 0.00 hours at J3."},
        KindCase{"flow",
                 "\"Check_Node\",\"Duration (hours)\",\"Flow\"\r\n\"J1\",2,400\r\n"
                 "\"J2\",2,\"Maximal flow was reached\"\r\n\"J3\",2,0\r\n\"J10\",2,90\r\n"
                 "\"J4\",2,\"Maximal flow was reached\"\r\n",
                 "Flow (GPM)", 3,
                 "5 junctions: 2 reached the maximal flow for 2 hours; at 3 a pressure fell below "
                 "its minimum at a lower flow. Lowest flow 0 GPM at J3."},
        KindCase{"available",
                 "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\",\"Limiting_Pressure\","
                 "\"Check_Pressure\"\r\n\"J1\",812.5,\"J3\",19.99,35.2\r\n"
                 "\"J2\",\"Maximal flow was reached\"\r\n\"J3\",10,\"J3\",19.9,19.9\r\n"
                 "\"J10\",20,\"J10\",19.9,19.9\r\n\"J4\",30,\"J4\",19.9,19.9\r\n",
                 "Limiting_Pressure (psi)", 4,
                 "5 junctions: 1 can draw the maximal flow, 4 less with every pressure at its "
                 "minimum or above. Lowest available flow 10 GPM at J3."},
        KindCase{"design",
                 "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\","
                 "\"Lowest_Pressure\",\"Result\"\r\n\"J1\",1000,30.5,\"J3\",12.25,\"Fail\"\r\n"
                 "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n\"J3\",1000,50,\"J3\",50,\"Pass\"\r\n"
                 "\"J10\",1000,50,\"J10\",50,\"Pass\"\r\n\"J4\",1000,50,\"J4\",50,\"Pass\"\r\n",
                 "Lowest_Pressure (psi)", 1,
                 "5 junctions at 1000 GPM: 4 passed; at 1 a pressure fell below its minimum. "
                 "Lowest residual pressure 12.25 psi at J3 while J1 draws."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResultsWindowTest, SortsNumbersWithReachedAboveAndEmptyLastAndIdsNaturally) {
    openResults(writeResults(kSteady));
    EXPECT_EQ(shownIds(), (std::vector<std::string>{"J1", "J2", "J3", "J10", "J4"}));  // file order
    clickHeader(1);
    EXPECT_EQ(shownIds(), (std::vector<std::string>{"J3", "J10", "J1", "J2", "J4"}));
    clickHeader(1);
    EXPECT_EQ(shownIds().back(), "J3");
    clickHeader(0);
    EXPECT_EQ(shownIds(), (std::vector<std::string>{"J1", "J2", "J3", "J4", "J10"}));
    clickHeader(3);
    EXPECT_EQ(shownIds(), (std::vector<std::string>{"J3", "J1", "J10", "J2", "J4"}));
}

TEST_F(ResultsWindowTest, SelectionIsSharedByTableAndMap) {
    openResults(writeResults(kSteady));
    // Node indices: J1 0, J2 1, J3 2, J10 3, J4 4.
    table().selectRow(0);
    EXPECT_EQ(map().selectedNode(), 0);
    EXPECT_EQ(map().partnerNode(), 2);  // J3 violated first

    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(300, 100));
    EXPECT_EQ(map().selectedNode(), 3);
    EXPECT_EQ(map().partnerNode(), 1);
    EXPECT_EQ(table().currentIndex().row(), 3);
    EXPECT_EQ(table().currentIndex().data().toString(), "J10");

    // A junction that the filter hides is selected on the map alone.
    find<QCheckBox>("chkFailingOnly").click();
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(200, 0));
    EXPECT_EQ(map().selectedNode(), 1);
    EXPECT_FALSE(table().selectionModel()->hasSelection());
    table().selectRow(2);  // J10 again, now the third failing row
    EXPECT_EQ(map().selectedNode(), 3);

    // The tooltip names the junction under the pointer and its result.
    QHelpEvent help(QEvent::ToolTip, onScreen(100, 0),
                    map().viewport()->mapToGlobal(onScreen(100, 0)));
    QApplication::sendEvent(map().viewport(), &help);
    EXPECT_EQ(QToolTip::text(),
              "J1\nMaximal_Flow (GPM): 1500\nViolating_Node: J3\nMinimal_pressure (psi): 19.5");
}

TEST_F(ResultsWindowTest, WheelZoomsDragPansAndFitShowsAll) {
    openResults(writeResults(kSteady));
    const double fitted = map().transform().m11();
    const QPoint centre = map().viewport()->rect().center();
    QWheelEvent wheel(centre, map().viewport()->mapToGlobal(centre), {}, QPoint(0, 480),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(map().viewport(), &wheel);
    EXPECT_GT(map().transform().m11(), fitted * 2);

    const QPointF before = map().mapToScene(centre);
    QTest::mousePress(map().viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(map().viewport(), centre + QPoint(60, 40));
    QTest::mouseRelease(map().viewport(), Qt::LeftButton, {}, centre + QPoint(60, 40));
    EXPECT_NE(map().mapToScene(centre), before);

    trigger("actFitToWindow");
    EXPECT_DOUBLE_EQ(map().transform().m11(), fitted);
}

TEST_F(ResultsWindowTest, ExportsMapTableAndGeoJson) {
    openResults(writeResults(kSteady));
    find<QCheckBox>("chkFailingOnly").click();
    clickHeader(1);
    const QString png = Q(networkDir / "map.png"), svg = Q(networkDir / "map.svg"),
                  csv = Q(networkDir / "table.csv"), geojson = Q(networkDir / "map.geojson");
    saveDialog->answers = {png, svg, csv, geojson};
    for (const char* action :
         {"actExportPng", "actExportSvg", "actExportCsv", "actExportGeoJson"}) {
        trigger(action);
    }
    EXPECT_TRUE(messages->messages.empty());
    EXPECT_EQ(saveDialog->proposals.front(), Q(networkDir / "map.inp.TXT.png"));

    // The PNG shows the failing junctions on the scale and the others in their own colour.
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), map().viewport()->size() * 2);
    const auto colourAt = [&](double x, double y) {
        return QColor(image.pixel(onScreen(x, y) * 2)).name().toStdString();
    };
    const auto entry = [](std::uint8_t e) { return ColourScale::colourOf(e).name().toStdString(); };
    EXPECT_EQ(colourAt(300, 0), entry(0));                         // J3, the lowest answer
    EXPECT_EQ(colourAt(100, 0), entry(ColourScale::kShades - 1));  // J1, the highest
    EXPECT_EQ(colourAt(200, 0), entry(ColourScale::kReached));     // J2
    EXPECT_NE(colourAt(300, 100), entry(0));                       // J10 in between

    EXPECT_TRUE(QSvgRenderer(svg).isValid());

    EXPECT_EQ(ReadBytes(ToFileSystemPath(csv)),
              "Check_Node,Maximal_Flow (GPM),Violating_Node,Minimal_pressure (psi)\r\n"
              "J3,250,J3,18\r\nJ10,900,J2,19.9\r\nJ1,1500,J3,19.5\r\n");

    QFile file(geojson);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject collection = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(collection["type"].toString(), "FeatureCollection");
    const QJsonArray features = collection["features"].toArray();
    ASSERT_EQ(features.size(), 5);  // every row, whatever the table shows
    const QJsonObject j1 = features[0].toObject();
    EXPECT_EQ(j1["geometry"].toObject()["coordinates"].toArray(), (QJsonArray{100, 0}));
    EXPECT_EQ(j1["properties"].toObject()["Maximal_Flow"].toDouble(), 1500);
    EXPECT_EQ(j1["properties"].toObject()["Violating_Node"].toString(), "J3");
    const QJsonObject j2 = features[1].toObject()["properties"].toObject();
    EXPECT_TRUE(j2["Maximal_Flow"].isNull());
    EXPECT_EQ(j2["Outcome"].toString(), "Maximal flow was reached");
    EXPECT_TRUE(features[4].toObject()["geometry"].isNull());  // J4 has no coordinates

    // Cancelling writes nothing; a file that cannot be written is a message.
    trigger("actExportCsv");
    saveDialog->answers = {Q(networkDir / "missing" / "table.csv")};
    trigger("actExportCsv");
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not write the file");
}

TEST_F(ResultsWindowTest, WithoutCoordinatesOrNetworkTheTableStillWorks) {
    const std::string lpsResults =
        "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
        "\"H1\",10,\"H3\",19.5\r\n";
    openResults(writeResults(lpsResults, "lps_network.inp"));
    EXPECT_EQ(find<QStackedWidget>("stkMap").currentWidget(), &find<QLabel>("lblMapNotice"));
    EXPECT_EQ(find<QLabel>("lblMapNotice").text(),
              "The network has no coordinates, so there is no map to draw.");
    EXPECT_EQ(table().model()->headerData(1, Qt::Horizontal).toString(), "Maximal_Flow (LPS)");
    EXPECT_EQ(table().model()->headerData(3, Qt::Horizontal).toString(), "Minimal_pressure (m)");
    EXPECT_FALSE(find<QAction>("actExportPng").isEnabled());
    EXPECT_TRUE(find<QAction>("actExportGeoJson").isEnabled());

    // A network that is not there: the notice says why; --inp finds it elsewhere.
    const fs::path moved = networkDir / "elsewhere.inp";
    const fs::path file = writeResults(kSteady);
    fs::rename(networkDir / "map.inp", moved);
    openResults(file);
    EXPECT_TRUE(find<QLabel>("lblMapNotice")
                    .text()
                    .startsWith("The network " + Q(networkDir / "map.inp") +
                                " could not be read:\nError 302"));
    EXPECT_EQ(table().model()->rowCount(), 5);
    EXPECT_EQ(table().model()->headerData(1, Qt::Horizontal).toString(), "Maximal_Flow");
    EXPECT_FALSE(find<QAction>("actExportGeoJson").isEnabled());
    openResults(file, moved);
    EXPECT_EQ(find<QStackedWidget>("stkMap").currentWidget(), &map());
}

TEST_F(ResultsWindowTest, OpensTheTextEditorOrSaysWhyNot) {
    const fs::path file = writeResults(kSteady);
    openResults(file);
    trigger("actOpenInTextEditor");
    ASSERT_EQ(desktop->opened.size(), 1u);
    EXPECT_EQ(desktop->opened[0], QUrl::fromLocalFile(Q(file)));
    EXPECT_TRUE(messages->messages.empty());

    desktop->canOpen = false;
    trigger("actOpenInTextEditor");
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "No program could be started to show the results file");
    EXPECT_EQ(messages->messages[0].detail, Q(file));
}

TEST_F(ResultsWindowTest, JudgesDesignRowsPassFailAndMarksAnIncompleteFile) {
    // J3 has no row: the run stopped early.
    openResults(writeResults(
        "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\",\"Lowest_Pressure\","
        "\"Result\"\r\n\"J1\",1000,30.5,\"J3\",12.25,\"Fail\"\r\n"
        "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n\"J10\",1000,50,\"J10\",50,\"Pass\"\r\n"));
    EXPECT_EQ(find<QLabel>("lblSummary").text(),
              "Incomplete: 3 of 5 junctions. 2 passed; at 1 a pressure fell below its minimum. "
              "Lowest residual pressure 12.25 psi at J3 while J1 draws.");
    const QImage image = map().viewport()->grab().toImage();
    const auto colourAt = [&](double x, double y) {
        return QColor(image.pixel(onScreen(x, y))).name().toStdString();
    };
    const auto entry = [](std::uint8_t e) { return ColourScale::colourOf(e).name().toStdString(); };
    EXPECT_EQ(colourAt(100, 0), entry(ColourScale::kFail));     // J1
    EXPECT_EQ(colourAt(200, 0), entry(ColourScale::kPass));     // J2
    EXPECT_EQ(colourAt(300, 100), entry(ColourScale::kPass));   // J10
    EXPECT_EQ(colourAt(300, 0), entry(ColourScale::kNeutral));  // J3, no result
    EXPECT_EQ(table().model()->index(0, 0).data(Qt::DecorationRole).value<QColor>(),
              ColourScale::colourOf(ColourScale::kFail));
    const MapLegend& legend = map().legend();
    EXPECT_EQ(legend.title, "Result");
    EXPECT_FALSE(legend.scaleEnds);
    QStringList texts;
    for (const LegendSwatch& swatch : legend.swatches) texts << swatch.text;
    EXPECT_EQ(texts, (QStringList{"Pass", "Fail", "No result"}));
    texts.clear();
    for (const LegendSymbol& symbol : legend.symbols) texts << symbol.text;
    EXPECT_EQ(texts, (QStringList{"Tank", "Reservoir", "Pump", "Valve"}));
}

TEST_F(ResultsWindowTest, RowsThatAreNotTheNetworksMakeNoFileCompleteAndAreCountedOnce) {
    // Five rows for five junctions, but one repeats J1, one names a reservoir and one no node.
    const std::string heading =
        "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\",\"Lowest_Pressure\","
        "\"Result\"\r\n";
    openResults(writeResults(heading + "\"J1\",1000,30.5,\"J1\",30.5,\"Pass\"\r\n"
                                       "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n"
                                       "\"J1\",1000,30.5,\"J1\",30.5,\"Pass\"\r\n"
                                       "\"R1\",1000,60,\"J2\",60,\"Pass\"\r\n"
                                       "\"X9\",1000,60,\"J2\",60,\"Pass\"\r\n"));
    const QString summary = find<QLabel>("lblSummary").text();
    EXPECT_TRUE(summary.startsWith("Incomplete: 2 of 5 junctions. ")) << summary.toStdString();
    EXPECT_TRUE(
        summary.endsWith("\nWarning: the results do not all belong to the network: 2 rows "
                         "name no junction of it; 1 row repeats the junction of an "
                         "earlier row"))
        << summary.toStdString();
}

TEST_F(ResultsWindowTest, AFieldOfMegabytesIsShownCut) {
    openResults(writeResults("\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n\"J1\",1,2\r\n\"" +
                             std::string(10'000'000, 'J') + "\",1,2\r\n"));
    ASSERT_EQ(table().model()->rowCount(), 2);
    EXPECT_EQ(table().model()->index(1, 0).data().toString().toStdString(),
              std::string(60, 'J') + "\u2026");
}

TEST_F(ResultsWindowTest, ShowsHoursToTheHundredthAndExportsEveryDigit) {
    openResults(
        writeResults("\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n"
                     "\"J1\",1500,10.3886111111111\r\n\"J2\",1500,11.5322222222222\r\n"));
    EXPECT_EQ(table().model()->index(0, 2).data().toString(), "10.39");
    ASSERT_TRUE(map().legend().scaleEnds);
    EXPECT_EQ(map().legend().scaleEnds->first, "10.39");
    EXPECT_EQ(map().legend().scaleEnds->second, "11.53");
    saveDialog->answers = {Q(networkDir / "table.csv")};
    trigger("actExportCsv");
    EXPECT_EQ(ReadBytes(networkDir / "table.csv"),
              "Check_Node,Flow (GPM),Duration (hours)\r\nJ1,1500,10.3886111111111\r\n"
              "J2,1500,11.5322222222222\r\n");

    // Long end labels widen the scale rather than overlap.
    MapLegend wide{QStringLiteral("Flow"),
                   std::pair{QStringLiteral("123456.789012"), QStringLiteral("234567.890123")},
                   {},
                   {}};
    const QFontMetrics metrics(map().viewport()->font());
    EXPECT_GT(LegendBox(metrics, wide, QRect(0, 0, 800, 600)).width(),
              metrics.horizontalAdvance(wide.scaleEnds->first) +
                  metrics.horizontalAdvance(wide.scaleEnds->second));
}

TEST_F(ResultsWindowTest, TheIdColumnFitsItsLongestId) {
    // The view measures the first thousand rows; the long ID comes later.
    std::string bytes =
        "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n";
    for (int i = 0; i < 1500; ++i) {
        const std::string id = i == 1400 ? "Hydrant_at_the_old_mill_WWW" : "J" + std::to_string(i);
        bytes += "\"" + id + "\",100,\"J1\",19\r\n";
    }
    openResults(writeResults(bytes));
    EXPECT_GT(table().columnWidth(0), table().fontMetrics().horizontalAdvance(
                                          QStringLiteral("Hydrant_at_the_old_mill_WWW")) +
                                          16);
}

TEST_F(ResultsWindowTest, TheLegendStaysInItsCornerWhileTheMapPans) {
    openResults(writeResults(kSteady));
    const QPoint centre = map().viewport()->rect().center();
    QWheelEvent wheel(centre, map().viewport()->mapToGlobal(centre), {}, QPoint(0, 480),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(map().viewport(), &wheel);
    QTest::qWait(50);
    const QRect legend = map().legendRect();
    ASSERT_FALSE(legend.isEmpty());

    // Dragged in steps, as a hand does: each step scrolls the pixels drawn.
    const QPoint step(12, -8);
    QTest::mousePress(map().viewport(), Qt::LeftButton, {}, centre);
    for (int i = 1; i <= 5; ++i) {
        QTest::mouseMove(map().viewport(), centre + i * step);
        QTest::qWait(20);
    }
    QTest::mouseRelease(map().viewport(), Qt::LeftButton, {}, centre + 5 * step);
    QTest::qWait(50);
    EXPECT_EQ(map().legendRect(), legend);

    // What the window shows (the platform's window buffer) is what a full
    // redraw gives, around the legend and where moved copies of it would be.
    QScreen& screen = *results->windowHandle()->screen();
    const QImage shown = screen.grabWindow(results->winId()).toImage();
    ASSERT_FALSE(shown.isNull());
    const QImage fresh = map().viewport()->grab().toImage();
    const QPoint offset = map().viewport()->mapTo(results.get(), QPoint(0, 0));
    const QRect checked = legend.adjusted(-2, -2, 2, 2)
                              .united(legend.translated(5 * step))
                              .intersected(map().viewport()->rect());
    int differing = 0;
    for (int y = checked.top(); y <= checked.bottom(); ++y) {
        for (int x = checked.left(); x <= checked.right(); ++x) {
            differing +=
                QColor(shown.pixel(QPoint(x, y) + offset)).rgb() != QColor(fresh.pixel(x, y)).rgb();
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(ResultsWindowTest, ZoomsToTheSelection) {
    openResults(writeResults(kSteady));
    QAction& zoom = find<QAction>("actZoomToSelection");
    EXPECT_FALSE(zoom.isEnabled());
    const double fitted = map().transform().m11();
    table().selectRow(3);  // J10, whose violating junction is J2
    ASSERT_TRUE(zoom.isEnabled());
    zoom.trigger();
    EXPECT_GT(map().transform().m11(), fitted);
    const QRect view = map().viewport()->rect();
    EXPECT_TRUE(view.contains(onScreen(300, 100)));
    EXPECT_TRUE(view.contains(onScreen(200, 0)));
    EXPECT_FALSE(view.contains(onScreen(0, 0)));  // R1 is left outside
}

TEST_F(ResultsWindowTest, AGroupsRowRingsItsMembersTogetherOnTheMapAndInTheExport) {
    // "East" flows from J2, J3 and J10 together; J1 was run alone.
    const fs::path file = writeResults(
        "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
        "\"East\",1200,\"J1\",19\r\n"
        "\"J1\",1500,\"J3\",19.5\r\n");
    const fs::path groups = networkDir / "groups.txt";
    WriteBytes(groups, "\"East\",\"J2\",\"J3\",\"J10\"\r\n");
    ResultsWindow& window = openResults(file);
    EXPECT_TRUE(find<QLabel>("lblSummary").text().contains("do not all belong"));
    ASSERT_TRUE(window.showFireGroups(analysis::FireGroupSource(groups)));
    EXPECT_FALSE(find<QLabel>("lblSummary").text().contains("do not all belong"));

    // Node indices: J1 0, J2 1, J3 2, J10 3.
    window.selectRow(0);
    EXPECT_EQ(map().selectedGroup(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(map().partnerNode(), 0);
    ASSERT_NE(map().groupOutline(), nullptr);
    EXPECT_EQ(map().groupOutline()->hull().size(), 3);
    // The area the members span is tinted: a point inside their triangle, off every pipe.
    const QImage image = map().image();
    const QColor inside(image.pixel(onScreen(270, 20) * 2));
    EXPECT_NE(inside, QColor(Qt::white));
    EXPECT_GT(inside.blue(), inside.red());
    EXPECT_EQ(QColor(image.pixel(onScreen(150, 60) * 2)), QColor(Qt::white));  // outside

    window.selectRow(1);
    EXPECT_TRUE(map().selectedGroup().empty());
    EXPECT_EQ(map().groupOutline(), nullptr);
    EXPECT_EQ(map().selectedNode(), 0);
    // A member without a row of its own stands for its group's row.
    QTest::mouseClick(map().viewport(), Qt::LeftButton, {}, onScreen(200, 0));
    EXPECT_EQ(table().currentIndex().data().toString(), "East");
    EXPECT_EQ(map().selectedGroup(), (std::vector<int>{1, 2, 3}));

    const QString geojson = Q(networkDir / "groups.geojson");
    saveDialog->answers = {geojson};
    trigger("actExportGeoJson");
    QFile exported(geojson);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QJsonArray features =
        QJsonDocument::fromJson(exported.readAll()).object()["features"].toArray();
    ASSERT_EQ(features.size(), 2);
    const QJsonObject east = features[0].toObject();
    EXPECT_EQ(east["geometry"].toObject()["type"].toString(), "MultiPoint");
    EXPECT_EQ(east["geometry"].toObject()["coordinates"].toArray(),
              (QJsonArray{QJsonArray{200, 0}, QJsonArray{300, 0}, QJsonArray{300, 100}}));
    EXPECT_EQ(east["properties"].toObject()["Members"].toArray(), (QJsonArray{"J2", "J3", "J10"}));
    EXPECT_EQ(features[1].toObject()["geometry"].toObject()["type"].toString(), "Point");

    // A groups file the network refuses is a message, and no group is shown.
    WriteBytes(groups, "\"East\",\"J2\",\"NOPE\"\r\n");
    EXPECT_FALSE(window.showFireGroups(analysis::FireGroupSource(groups)));
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not form the fire groups");
    EXPECT_TRUE(messages->messages[0].detail.contains("line 1"));
    EXPECT_TRUE(window.fireGroups().empty());
    window.selectRow(0);
    EXPECT_TRUE(map().selectedGroup().empty());
}

TEST_F(ResultsWindowTest, CtrlWAndEscCloseTheWindow) {
    const fs::path file = writeResults(kSteady);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        openResults(file);
        results->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(results.get()));
        QTest::keySequence(results.get(), keys);
        EXPECT_FALSE(results->isVisible()) << keys.toString().toStdString();
    }
}

TEST_F(ResultsWindowTest, NewStudyOpensTheStudyWindowOnTheNetwork) {
    openResults(writeResults(kSteady));
    trigger("actNewStudy");
    QWidget* study = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "frmStudy" && widget->isVisible()) study = widget;
    }
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(study->windowTitle(), "Hydrosk Study - map.inp");
    EXPECT_EQ(Child<QStackedWidget>(*study, "stkMap").currentWidget(),
              &Child<NetworkMapView>(*study, "mapView"));
    EXPECT_TRUE(study->testAttribute(Qt::WA_DeleteOnClose));
    study->close();
}

TEST(NetworkMapViewTest, DrawsJunctionIdsWhereTheZoomLeavesRoom) {
    const network::NetworkMap network = network::LoadNetworkMap(TestData("map_network.inp"));
    NetworkMapView view;
    view.setNetwork(network, {}, MapLegend{});
    view.resize(700, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.viewport()->repaint();
    // Every junction with coordinates: J1, J2, J3, J10.
    EXPECT_EQ(view.labelledJunctions(), (std::vector<int>{0, 1, 2, 3}));
    // Squeezed, a label would cover the next junction's dot.
    view.resize(110, 90);
    QTest::qWait(20);
    view.viewport()->repaint();
    const std::vector<int> squeezed = view.labelledJunctions();
    EXPECT_LT(squeezed.size(), 4u);
    EXPECT_FALSE(squeezed.empty());
}

TEST_F(ResultsWindowTest, AFileThatIsNoResultsFileIsRefusedWithAMessage) {
    results =
        std::make_unique<ResultsWindow>(ResultsServices{messages, saveDialog, desktop, dialog});
    EXPECT_FALSE(results->open(writeResults("\"ID\",\"Demand\"\r\n")));
    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_EQ(messages->messages[0].text, "Could not open the results file");
    EXPECT_TRUE(
        messages->messages[0].detail.contains("line 1: the heading is not one of a results file"));
}

}  // namespace
}  // namespace hydrosk::ui::testing
