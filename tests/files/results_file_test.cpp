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

TEST(ResultsFileTest, SummaryCountsOutcomesAndNamesTheLowestAnswer) {
    const UnitNames gpm{"GPM", "psi"};
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\","
                                       "\"Minimal_pressure\"\r\n\"J3\",2750,\"J3\",19.9783\r\n"
                                       "\"J1\",\"Maximal flow was reached\"\r\n"
                                       "\"J9\",250,\"J3\",19.5\r\n"),
                          gpm),
              "3 junctions: 1 reached the maximal flow, 2 failed. Lowest failing flow 250 GPM at "
              "J9.");
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Flow\",\"Duration (hours)\"\r\n"
                                       "\"J2\",1500,\"End of simulation was reached\"\r\n"),
                          UnitNames{}),
              "1 junction: 1 reached the end of the simulation, 0 failed.");
    EXPECT_EQ(SummaryLine(ParseResults("\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\","
                                       "\"Lowest_Node\",\"Lowest_Pressure\",\"Result\"\r\n"
                                       "\"J1\",1000,30.5,\"J9\",12.25,\"Fail\"\r\n"
                                       "\"J2\",1000,60,\"J2\",60,\"Pass\"\r\n"),
                          UnitNames{"LPS", "m"}),
              "2 junctions: 1 passed, 1 failed. Lowest residual pressure 12.25 m at J1.");
}

}  // namespace
}  // namespace hydrosk::files
