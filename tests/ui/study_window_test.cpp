// The study window on the small map network: the network drawn on opening,
// the fields with their units and the user's number format, hydrants picked
// on the map, and the report as a PDF, turned into an image and text with
// poppler's tools.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QStackedWidget>

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

}  // namespace
}  // namespace hydrosk::ui::testing
