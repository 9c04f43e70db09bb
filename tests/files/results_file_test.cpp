// Reading results files back: every kind by its heading, the rows that
// reached the maximal flow or the end, refusals with their line, and the
// summary line.
#include "files/results_file.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "files/file_error.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

struct KindCase {
    const char* name;
    std::string bytes;
    ResultsKind kind;
    std::vector<Outcome> outcomes;
    std::vector<std::optional<double>> answers;
    std::optional<std::string> partner;  // partner ID of the first row
};

class ResultsKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ResultsKindTest, ReadsKindRowsOutcomesAndAnswers) {
    const KindCase& c = GetParam();
    const ResultsTable table = ParseResults(c.bytes);
    EXPECT_EQ(table.kind, c.kind);
    ASSERT_EQ(table.rows.size(), c.outcomes.size());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        EXPECT_EQ(table.rows[i].outcome, c.outcomes[i]) << "row " << i;
        EXPECT_EQ(table.Answer(table.rows[i]), c.answers[i]) << "row " << i;
        EXPECT_EQ(table.rows[i].cells.size(), table.columns.size());
    }
    if (c.partner) {
        ASSERT_TRUE(table.partner_column);
        EXPECT_EQ(table.rows[0].cells[*table.partner_column].text, *c.partner);
    } else {
        EXPECT_FALSE(table.partner_column);
    }
}

const auto kMax = Outcome::MaximalFlowReached;
const auto kFail = Outcome::Failed;

INSTANTIATE_TEST_SUITE_P(
    Kinds, ResultsKindTest,
    ::testing::Values(
        KindCase{"steady",
                 "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
                 "\"J3\",2750,\"J3\",19.9783\r\n\"J1\",\"Maximal flow was reached\"\r\n",
                 ResultsKind::SteadyState,
                 {kFail, kMax},
                 {2750.0, std::nullopt},
                 "J3"},
        KindCase{
            "duration",
            "\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n"
            "\"J1\",1500,11.3755555555556\r\n\"J2\",1500,\"End of simulation was reached\"\r\n",
            ResultsKind::Duration,
            {kFail, Outcome::EndOfSimulationReached},
            {11.3755555555556, std::nullopt},
            std::nullopt},
        KindCase{"flow, LF line ends and a blank line",
                 "\"Check_Node\",\"Duration (hours)\",\"Flow\"\n\n\"J22\",2,1500\n"
                 "\"J1\",2,\"Maximal flow was reached\"\n",
                 ResultsKind::Flow,
                 {kFail, kMax},
                 {1500.0, std::nullopt},
                 std::nullopt},
        KindCase{"available",
                 "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\",\"Limiting_Pressure\","
                 "\"Check_Pressure\"\r\n\"J1\",812.5,\"J7\",19.99,35.2\r\n"
                 "\"J2\",\"Maximal flow was reached\"\r\n\"J3\",\"Unsolved\"\r\n",
                 ResultsKind::AvailableFlow,
                 {kFail, kMax, Outcome::Unsolved},
                 {812.5, std::nullopt, std::nullopt},
                 "J7"},
        KindCase{"design",
                 "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\","
                 "\"Lowest_Pressure\",\"Result\"\r\n\"J1\",1000,30.5,\"J9\",12.25,\"Fail\"\r\n"
                 "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n"
                 "\"J3\",1000,-1e+30,\"J3\",-1e+30,\"Unsolved\"\r\n",
                 ResultsKind::DesignFlow,
                 {kFail, Outcome::Passed, Outcome::Unsolved},
                 {12.25, 60.0, -1e30},
                 "J9"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(ResultsFileTest, AByteOrderMarkBeforeTheHeadingIsSkipped) {
    const ResultsTable table = ParseResults(
        "\xEF\xBB\xBF\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
        "\"J1\",10,\"J2\",5\r\n");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].check_id(), "J1");
}

TEST(ResultsFileTest, RefusesWhatNoSearchWrites) {
    const std::string steady =
        "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "the file is empty"},
        {"\"ID\",\"Demand\"\r\n", "line 1: the heading is not one of a results file"},
        {steady + "\"J1\",10,\"J2\"\r\n", "line 2: expected 4 fields, found 3"},
        {steady + "\"J1\",\"ten\",\"J2\",5\r\n", "line 2: \"ten\" is not a number"},
        // A two-field row must hold the reached text.
        {steady + "\"J1\",10\r\n", "line 2: expected 4 fields, found 2"},
        {"\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\",\"Lowest_Pressure\","
         "\"Result\"\r\n\"J1\",1,2,\"J1\",2,\"Maybe\"\r\n",
         "line 2: the result \"Maybe\" is neither Pass, Fail nor Unsolved"},
        // A field of 10 MB is named by its first 60 characters.
        {steady + "\"J1\",\"" + std::string(10'000'000, 'x') + "\",\"J2\",5\r\n",
         "line 2: \"" + std::string(60, 'x') + "\u2026\" is not a number"},
    };
    for (const auto& [bytes, message] : cases) {
        try {
            ParseResults(bytes);
            ADD_FAILURE() << "accepted: " << bytes;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(error.what(), message);
        }
    }
}

class ResultsFileDiskTest : public testing::TempDirTest {};

TEST_F(ResultsFileDiskTest, NamesTheFileInItsErrors) {
    EXPECT_THROW(ReadResultsFile(dir() / "absent.TXT"), FileError);
    testing::WriteBytes(dir() / "bad.TXT", "\"x\"\r\n");
    try {
        ReadResultsFile(dir() / "bad.TXT");
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_NE(
            std::string(error.what()).find("bad.TXT\": is not a results file of Hydrosk: line 1"),
            std::string::npos)
            << error.what();
    }
}

TEST(ResultsFileTest, SummaryWordsEachKindsOutcomeAndMarksAnIncompleteFile) {
    const std::locale c = std::locale::classic();
    const ResultsTable steady = ParseResults(
        "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
        "\"J3\",2750,\"J3\",19.9783\r\n\"J1\",\"Maximal flow was reached\"\r\n"
        "\"J9\",250,\"J3\",19.5\r\n");
    EXPECT_EQ(SummaryLine(steady, {{"GPM", "psi"}, 3, "20", c}),
              "3 junctions: 1 reached the maximal flow; at 2 a pressure fell below 20 psi before "
              "it. Lowest failing flow 250 GPM at J9.");
    EXPECT_EQ(SummaryLine(steady, {{"GPM", "psi"}, 50176, std::nullopt, c}),
              "Incomplete: 3 of 50176 junctions. 1 reached the maximal flow; at 2 a pressure fell "
              "below its minimum before it. Lowest failing flow 250 GPM at J9.");
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n"
                                       "\"J2\",1500,\"End of simulation was reached\"\r\n"
                                       "\"J3\",1500,10.3886111111111\r\n"),
                          {UnitNames{}, std::nullopt, std::nullopt, c}),
              "2 junctions: 1 supplied the flow to the end of the simulation; at 1 a pressure fell "
              "below its minimum first. Shortest duration 10.39 hours at J3.");
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Duration (hours)\",\"Flow\"\r\n"
                                       "\"J2\",2,\"Maximal flow was reached\"\r\n"
                                       "\"J3\",2,400\r\n"),
                          {{"LPS", "m"}, 2, std::nullopt, c}),
              "2 junctions: 1 reached the maximal flow for 2 hours; at 1 a pressure fell below its "
              "minimum at a lower flow. Lowest flow 400 LPS at J3.");
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\","
                                       "\"Lowest_Node\",\"Lowest_Pressure\",\"Result\"\r\n"
                                       "\"J1\",1000,30.5,\"J9\",12.25,\"Fail\"\r\n"
                                       "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n"),
                          {{"LPS", "m"}, 2, "14", c}),
              "2 junctions at 1000 LPS: 1 passed; at 1 a pressure fell below 14 m. Lowest residual "
              "pressure 12.25 m at J9 while J1 draws.");
}

TEST(ResultsFileTest, ShowsHoursToTheHundredthAndFindsTheResultColumn) {
    const ResultsTable duration = ParseResults(
        "\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n\"J3\",1500.25,11.5322222222222\r\n");
    EXPECT_EQ(ShownText(duration, duration.rows[0], 2), "11.53");
    EXPECT_EQ(ShownText(duration, duration.rows[0], 1), "1500.25");
    EXPECT_FALSE(ResultColumn(duration));
    EXPECT_EQ(ResultColumn(ParseResults("\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\","
                                        "\"Lowest_Node\",\"Lowest_Pressure\",\"Result\"\r\n")),
              5u);
}

}  // namespace
}  // namespace hydrosk::files
