// The constraints dialog: layout, load, OK, Cancel, Escape and a pressure
// that is not a number.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include "files/constraint_files.h"
#include "toolkit/project.h"
#include "ui/pressures_dialog.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

class PressuresDialogTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const fs::path inp = copyNetwork(TestData("lps_network.inp"), "net.inp");
        network::ResetNetwork(catalogue);
        ASSERT_EQ(network::OpenNetwork(catalogue, project, inp.string(), "", ""), 0);
        ASSERT_EQ(catalogue.JunctionCount, 4);  // H1 H2 H3 H4
    }

    PressuresDialog& open() {
        dialog_ = std::make_unique<PressuresDialog>(catalogue, networkDir, *messages, nullptr);
        dialog_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
        return *dialog_;
    }

    template <typename T>
    T& part(const char* name) {
        T* found = dialog_->findChild<T*>(QLatin1String(name));
        if (found == nullptr) throw std::runtime_error(std::string("no control ") + name);
        return *found;
    }

    QTableView& grid() { return part<QTableView>("ubG"); }
    QModelIndex cell(int row, int column) { return grid().model()->index(row - 1, column); }

    void toggleMark(int row) {
        grid().setFocus();
        grid().setCurrentIndex(cell(row, 1));
        QTest::keyClick(&grid(), Qt::Key_Space);
    }

    // Opens the cell editor with F2 (its text selected), types and commits.
    void typePressure(int row, const QString& text) {
        grid().setFocus();
        grid().setCurrentIndex(cell(row, 2));
        QTest::keyClick(&grid(), Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_NE(editor, &grid());
        if (text.isEmpty()) {
            QTest::keyClick(editor, Qt::Key_Delete);
        } else {
            QTest::keyClicks(editor, text);
        }
        QTest::keyClick(editor, Qt::Key_Return);
    }

    fs::path noCheck() const { return networkDir / "NoCheck.txt"; }
    fs::path minPressures() const { return networkDir / "MinPressures.txt"; }

    toolkit::Project project;
    network::NetworkCatalogue catalogue;
    std::unique_ptr<PressuresDialog> dialog_;
};

TEST_F(PressuresDialogTest, LaysOutTheDesign) {
    PressuresDialog& d = open();
    EXPECT_EQ(d.objectName(), "frmPressures");
    EXPECT_EQ(d.windowTitle(), "Set junctions pressures");
    EXPECT_EQ(d.size(), QSize(306, 575));
    const std::pair<const char*, QRect> placements[] = {
        {"ubG", {8, 8, 281, 329}},    {"lblHelp", {8, 344, 281, 89}},
        {"Text1", {8, 456, 289, 25}}, {"Text5", {8, 504, 289, 25}},
        {"cmdOK", {8, 536, 65, 25}},  {"cmdCancel", {88, 536, 65, 25}},
    };
    for (const auto& [name, geometry] : placements) {
        EXPECT_EQ(part<QWidget>(name).geometry(), geometry) << name;
    }
    EXPECT_EQ(part<QLabel>("Label2").pos(), QPoint(16, 440));
    EXPECT_EQ(part<QLabel>("Label2").text(), "Minimal pressures file::");
    EXPECT_TRUE(part<QLabel>("Label2").font().underline());
    EXPECT_EQ(part<QLabel>("Label1").pos(), QPoint(16, 488));
    EXPECT_EQ(part<QLabel>("Label1").text(), "Junction to exclude file:");
    EXPECT_EQ(part<QPushButton>("cmdOK").text(), "OK");
    EXPECT_EQ(part<QPushButton>("cmdCancel").text(), "Cancel");
    EXPECT_TRUE(part<QLabel>("lblHelp").font().bold());
    EXPECT_EQ(part<QLabel>("lblHelp").palette().color(QPalette::Window), QColor(255, 255, 128));
    EXPECT_EQ(part<QLabel>("lblHelp").text(),
              "Select the junctions that are to be excluded from the pressure constraints (for "
              "example: the junction near a tank with normal low pressure)\r\n\r\nEnter specific "
              "pressure constraints for junctions to override the default value.");

    // Column widths in the proportion 70 : 50 : 120.
    const double id = grid().columnWidth(0), exclude = grid().columnWidth(1),
                 pressure = grid().columnWidth(2);
    EXPECT_NEAR(exclude / id, 50.0 / 70.0, 0.02);
    EXPECT_NEAR(pressure / id, 120.0 / 70.0, 0.02);
    EXPECT_LE(id + exclude + pressure, grid().viewport()->width());

    // Focus order: grid, Cancel, exclusion file, OK, pressures file.
    grid().setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (QStringList{"ubG", "cmdCancel", "Text5", "cmdOK", "Text1"}));
}

TEST_F(PressuresDialogTest, LoadingWithoutFilesCreatesThemEmpty) {
    PressuresDialog& d = open();
    EXPECT_EQ(grid().model()->rowCount(), 4);
    EXPECT_EQ(d.cellText(0, 0), "Junction ID");
    EXPECT_EQ(d.cellText(0, 1), "Exclude");
    EXPECT_EQ(d.cellText(0, 2), "Minimal Pressures");
    const QString ids[] = {"H1", "H2", "H3", "H4"};
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(d.cellText(row, 0), ids[row - 1]);
        EXPECT_EQ(d.cellText(row, 1), "");
        EXPECT_EQ(d.cellText(row, 2), "");
    }
    EXPECT_EQ(part<QLineEdit>("Text5").text(), Q(noCheck()));
    EXPECT_EQ(part<QLineEdit>("Text1").text(), Q(minPressures()));
    ASSERT_TRUE(fs::exists(noCheck()));
    ASSERT_TRUE(fs::exists(minPressures()));
    EXPECT_EQ(fs::file_size(noCheck()), 0u);
    EXPECT_EQ(fs::file_size(minPressures()), 0u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QTest::mouseClick(&part<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(fs::file_size(noCheck()), 0u);
    EXPECT_EQ(fs::file_size(minPressures()), 0u);
    EXPECT_TRUE(messages->messages.empty());
}

TEST_F(PressuresDialogTest, LoadingShowsTheStoredConstraints) {
    // IDs are looked up without regard to case; X9 is no junction and has no row.
    WriteBytes(noCheck(), "\"h2\"\r\n\"X9\"\r\n");
    WriteBytes(minPressures(), "\"H3\",35.5\r\n\"H1\",20\r\n\"H1\",25\r\n");
    PressuresDialog& d = open();
    EXPECT_EQ(d.cellText(1, 1), "");
    EXPECT_EQ(d.cellText(2, 1), "1");
    EXPECT_EQ(grid().model()->data(cell(2, 1), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Checked);
    EXPECT_EQ(d.cellText(3, 2), "35.5");
    EXPECT_EQ(d.cellText(1, 2), "25");  // the later record wins
    EXPECT_EQ(grid().model()->data(cell(3, 2), Qt::DisplayRole).toString(), "35.5");
    EXPECT_TRUE(messages->messages.empty());
}

TEST_F(PressuresDialogTest, OkWritesBothFilesInCatalogueOrder) {
    PressuresDialog& d = open();
    toggleMark(3);
    toggleMark(1);
    typePressure(4, "40");
    typePressure(1, "12.5");
    EXPECT_EQ(d.cellText(1, 1), "1");
    EXPECT_EQ(d.cellText(4, 2), "40");
    QTest::mouseClick(&part<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    // H1 is both excluded and given a pressure: it is in both files.
    EXPECT_EQ(ReadBytes(noCheck()), "\"H1\"\r\n\"H3\"\r\n");
    EXPECT_EQ(ReadBytes(minPressures()), "\"H1\",12.5\r\n\"H4\",40\r\n");

    // Reopening shows what OK stored.
    PressuresDialog& again = open();
    EXPECT_EQ(again.cellText(1, 1), "1");
    EXPECT_EQ(again.cellText(3, 1), "1");
    EXPECT_EQ(again.cellText(4, 2), "40");
    EXPECT_EQ(again.cellText(1, 2), "12.5");
}

TEST_F(PressuresDialogTest, ErasingAPressureOrClearingAMarkRemovesItsRecord) {
    WriteBytes(noCheck(), "\"H2\"\r\n");
    WriteBytes(minPressures(), "\"H3\",35.5\r\n\"H4\",0\r\n");
    open();
    toggleMark(2);
    typePressure(3, "");
    QTest::mouseClick(&part<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(fs::file_size(noCheck()), 0u);
    EXPECT_EQ(ReadBytes(minPressures()), "\"H4\",0\r\n");
}

TEST_F(PressuresDialogTest, CancelAndEscapeWriteNothing) {
    const std::string excluded = "\"H2\"\r\n", pressures = "\"H3\",35.5\r\n";
    WriteBytes(noCheck(), excluded);
    WriteBytes(minPressures(), pressures);

    PressuresDialog& d = open();
    toggleMark(1);
    typePressure(2, "50");
    QTest::mouseClick(&part<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(ReadBytes(noCheck()), excluded);
    EXPECT_EQ(ReadBytes(minPressures()), pressures);

    PressuresDialog& again = open();
    EXPECT_EQ(again.cellText(1, 1), "");  // the marks are gone
    toggleMark(4);
    QTest::keyClick(&grid(), Qt::Key_Escape);
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(ReadBytes(noCheck()), excluded);
    EXPECT_EQ(ReadBytes(minPressures()), pressures);
}

TEST_F(PressuresDialogTest, APressureThatIsNotANumberIsRefusedAtOk) {
    const std::string excluded = "\"H2\"\r\n", pressures = "\"H3\",35.5\r\n";
    WriteBytes(noCheck(), excluded);
    WriteBytes(minPressures(), pressures);
    PressuresDialog& d = open();
    toggleMark(1);
    typePressure(4, "abc");
    QTest::mouseClick(&part<QPushButton>("cmdOK"), Qt::LeftButton);

    ASSERT_EQ(messages->messages.size(), 1u);
    EXPECT_TRUE(messages->messages[0].text.contains("H4"));
    EXPECT_TRUE(messages->messages[0].text.contains("abc"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(ReadBytes(noCheck()), excluded);
    EXPECT_EQ(ReadBytes(minPressures()), pressures);
    EXPECT_EQ(grid().currentIndex(), cell(4, 2));

    // Corrected, it is taken.
    typePressure(4, "41");
    QTest::mouseClick(&part<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(ReadBytes(minPressures()), "\"H3\",35.5\r\n\"H4\",41\r\n");
}

TEST_F(PressuresDialogTest, PressuresFollowTheUsersNumberFormat) {
    const ScopedLocale german("de_DE.UTF-8");
    if (!german.active) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    WriteBytes(minPressures(), "\"H3\",35.5\r\n");
    PressuresDialog& d = open();
    EXPECT_EQ(d.cellText(3, 2), "35,5");
    typePressure(1, "40,25");
    QTest::mouseClick(&part<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(ReadBytes(minPressures()), "\"H1\",40.25\r\n\"H3\",35.5\r\n");
}

TEST_F(PressuresDialogTest, IdColumnCannotBeEdited) {
    open();
    EXPECT_FALSE(grid().model()->flags(cell(1, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(grid().model()->flags(cell(1, 1)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_TRUE(grid().model()->flags(cell(1, 2)).testFlag(Qt::ItemIsEditable));
}

TEST_F(PressuresDialogTest, ScrollsWhenTheRowsDoNotFit) {
    const fs::path big = networkDir / "big.inp";
    std::string text = "[JUNCTIONS]\n";
    for (int k = 1; k <= 60; ++k) text += " J" + std::to_string(k) + " 10 1\n";
    text += "[RESERVOIRS]\n R 100\n[PIPES]\n P0 R J1 100 200 100\n";
    for (int k = 2; k <= 60; ++k) {
        text += " P" + std::to_string(k) + " J" + std::to_string(k - 1) + " J" + std::to_string(k) +
                " 100 200 100\n";
    }
    WriteBytes(big, text + "[END]\n");
    network::ResetNetwork(catalogue);
    ASSERT_EQ(network::OpenNetwork(catalogue, project, big.string(), "", ""), 0);
    PressuresDialog& d = open();
    EXPECT_EQ(grid().model()->rowCount(), 60);
    EXPECT_EQ(d.cellText(60, 0), "J60");
    EXPECT_GT(grid().verticalScrollBar()->maximum(), 0);
}

TEST_F(PressuresDialogTest, OpensModallyFromTheMainWindow) {
    const fs::path inp = copyNetwork(TestData("lps_network.inp"), "net.inp");
    makeShownWindow();
    selectInp(inp);
    QString shown;
    int rows = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PressuresDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = dialog->objectName();
        rows = dialog->findChild<QTableView*>("ubG")->model()->rowCount();
        dialog->reject();
    });
    QTest::mouseClick(&control<QPushButton>("cmdExclude"), Qt::LeftButton);
    EXPECT_EQ(shown, "frmPressures");
    EXPECT_EQ(rows, 4);
    EXPECT_TRUE(fs::exists(noCheck()));
    EXPECT_TRUE(fs::exists(minPressures()));
}

}  // namespace
}  // namespace hydrosk::ui::testing
