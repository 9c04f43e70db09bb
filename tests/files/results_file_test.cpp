// Reading results files back: every kind written through the schema and read
// by its heading, the rows that reached the maximal flow or the end, refusals
// with their line, and the summary line.
#include "files/results_file.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "files/file_error.h"
#include "files/record_layout.h"
#include "files/results_schema.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

using namespace std::string_literals;

// The bytes a search writes: the kind's header record, then the rows.
std::string Written(ResultsKind kind, const std::vector<Record>& rows) {
    std::string bytes = FormatRecord(HeaderRecord(kind));
    for (const Record& row : rows) bytes += FormatRecord(row);
    return bytes;
}

const std::string kMaximal(kMaximalFlowReachedText);
const std::string kEnd(kEndOfSimulationReachedText);
const std::string kUnsolved(kUnsolvedText);

struct KindCase {
    const char* name;
    ResultsKind kind;
    std::vector<Record> rows;
    std::vector<Outcome> outcomes;
    std::vector<std::optional<double>> answers;
    std::optional<std::string> partner;  // partner ID of the first row
};

class ResultsKindTest : public testing::TempDirTest,
                        public ::testing::WithParamInterface<KindCase> {};

TEST_P(ResultsKindTest, WrittenThroughTheSchemaReadsBackAsItsKind) {
    const KindCase& c = GetParam();
    const std::filesystem::path file = dir() / "network.inp.TXT";
    std::vector<Record> records{HeaderRecord(c.kind)};
    records.insert(records.end(), c.rows.begin(), c.rows.end());
    WriteRecordFile(file, records);

    const ResultsTable table = ReadResultsFile(file);
    EXPECT_EQ(table.kind, c.kind);
    const ResultsLayout& layout = LayoutOf(c.kind);
    ASSERT_EQ(table.columns.size(), layout.columns.size());
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        EXPECT_EQ(table.columns[i].name, layout.columns[i].name);
        EXPECT_EQ(table.columns[i].quantity, layout.columns[i].quantity);
    }
    EXPECT_EQ(table.answer_column, layout.answer_column);
    EXPECT_EQ(ResultColumn(table), layout.verdict_column);
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
const auto kFailed = Outcome::Failed;

INSTANTIATE_TEST_SUITE_P(
    Kinds, ResultsKindTest,
    ::testing::Values(
        KindCase{"steady",
                 ResultsKind::SteadyState,
                 {{"J3"s, 2750.0f, "J3"s, 19.9783f}, {"J1"s, kMaximal}},
                 {kFailed, kMax},
                 {2750.0, std::nullopt},
                 "J3"},
        KindCase{"duration",
                 ResultsKind::Duration,
                 {{"J1"s, 1500.0f, 11.3755555555556}, {"J2"s, 1500.0f, kEnd}},
                 {kFailed, Outcome::EndOfSimulationReached},
                 {11.3755555555556, std::nullopt},
                 std::nullopt},
        KindCase{"flow",
                 ResultsKind::Flow,
                 {{"J22"s, 2.0f, 1500.0f}, {"J1"s, 2.0f, kMaximal}},
                 {kFailed, kMax},
                 {1500.0, std::nullopt},
                 std::nullopt},
        KindCase{"available",
                 ResultsKind::AvailableFlow,
                 {{"J1"s, 812.5, "J7"s, 19.99f, 35.2f}, {"J2"s, kMaximal}, {"J3"s, kUnsolved}},
                 {kFailed, kMax, Outcome::Unsolved},
                 {812.5, std::nullopt, std::nullopt},
                 "J7"},
        KindCase{
            "design",
            ResultsKind::DesignFlow,
            {{"J1"s, 1000.0f, 30.5f, "J9"s, 12.25f, std::string(VerdictText(kFailed))},
             {"J2"s, 1000.0f, 60.0f, "J2"s, 60.0f, std::string(VerdictText(Outcome::Passed))},
             {"J3"s, 1000.0f, -1e30f, "J3"s, -1e30f, std::string(VerdictText(Outcome::Unsolved))}},
            {kFailed, Outcome::Passed, Outcome::Unsolved},
            {12.25, 60.0, -1e30},
            "J9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResultsFileTest, TakesLfLineEndsAndBlankLines) {
    std::string bytes =
        Written(ResultsKind::Flow, {{"J22"s, 2.0f, 1500.0f}, {"J1"s, 2.0f, kMaximal}});
    std::string lf;
    for (const char c : bytes) {
        if (c != '\r') lf += c;
    }
    lf.insert(lf.find('\n') + 1, "\n");
    const ResultsTable table = ParseResults(lf);
    EXPECT_EQ(table.kind, ResultsKind::Flow);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1].outcome, kMax);
}

TEST(ResultsFileTest, AByteOrderMarkBeforeTheHeadingIsSkipped) {
    const ResultsTable table = ParseResults(
        "\xEF\xBB\xBF\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n"
        "\"J1\",10,\"J2\",5\r\n");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].check_id(), "J1");
}

TEST(ResultsFileTest, RefusesWhatNoSearchWrites) {
    const std::string steady = Written(ResultsKind::SteadyState, {});
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "the file is empty"},
        {"\"ID\",\"Demand\"\r\n", "line 1: the heading is not one of a results file"},
        {steady + "\"J1\",10,\"J2\"\r\n", "line 2: expected 4 fields, found 3"},
        {steady + "\"J1\",\"ten\",\"J2\",5\r\n", "line 2: \"ten\" is not a number"},
        // A two-field row must hold the reached text.
        {steady + "\"J1\",10\r\n", "line 2: expected 4 fields, found 2"},
        {Written(ResultsKind::DesignFlow, {{"J1"s, 1.0f, 2.0f, "J1"s, 2.0f, "Maybe"s}}),
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
    const ResultsTable steady = ParseResults(Written(
        ResultsKind::SteadyState,
        {{"J3"s, 2750.0f, "J3"s, 19.9783f}, {"J1"s, kMaximal}, {"J9"s, 250.0f, "J3"s, 19.5f}}));
    EXPECT_EQ(SummaryLine(steady, {{"GPM", "psi"}, 3, "20", c}),
              "3 junctions: 1 reached the maximal flow; at 2 a pressure fell below 20 psi before "
              "it. Lowest failing flow 250 GPM at J9.");
    EXPECT_EQ(SummaryLine(steady, {{"GPM", "psi"}, 50176, std::nullopt, c}),
              "Incomplete: 3 of 50176 junctions. 1 reached the maximal flow; at 2 a pressure fell "
              "below its minimum before it. Lowest failing flow 250 GPM at J9.");
    EXPECT_EQ(SummaryLine(ParseResults(Written(
                              ResultsKind::Duration,
                              {{"J2"s, 1500.0f, kEnd}, {"J3"s, 1500.0f, 10.3886111111111}})),
                          {UnitNames{}, std::nullopt, std::nullopt, c}),
              "2 junctions: 1 supplied the flow to the end of the simulation; at 1 a pressure fell "
              "below its minimum first. Shortest duration 10.39 hours at J3.");
    EXPECT_EQ(SummaryLine(ParseResults(Written(ResultsKind::Flow,
                                               {{"J2"s, 2.0f, kMaximal}, {"J3"s, 2.0f, 400.0f}})),
                          {{"LPS", "m"}, 2, std::nullopt, c}),
              "2 junctions: 1 reached the maximal flow for 2 hours; at 1 a pressure fell below its "
              "minimum at a lower flow. Lowest flow 400 LPS at J3.");
    EXPECT_EQ(SummaryLine(ParseResults(Written(
                              ResultsKind::DesignFlow,
                              {{"J1"s, 1000.0f, 30.5f, "J9"s, 12.25f, std::string(kFailText)},
                               {"J2"s, 1000.0f, 60.0f, "J2"s, 60.0f, std::string(kPassText)}})),
                          {{"LPS", "m"}, 2, "14", c}),
              "2 junctions at 1000 LPS: 1 passed; at 1 a pressure fell below 14 m. Lowest residual "
              "pressure 12.25 m at J9 while J1 draws.");
}

TEST(ResultsFileTest, ShowsHoursToTheHundredthAndFindsTheResultColumn) {
    const ResultsTable duration =
        ParseResults(Written(ResultsKind::Duration, {{"J3"s, 1500.25f, 11.5322222222222}}));
    EXPECT_EQ(ShownText(duration, duration.rows[0], 2), "11.53");
    EXPECT_EQ(ShownText(duration, duration.rows[0], 1), "1500.25");
    EXPECT_FALSE(ResultColumn(duration));
    EXPECT_EQ(ResultColumn(ParseResults(Written(ResultsKind::DesignFlow, {}))), 5u);
}

// The study's layouts: every column on every row, empty texts where a field does not apply.
TEST(ResultsFileTest, ReadsTheLayoutsOfAFireFlowStudy) {
    const ResultsTable available = ParseResults(
        "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\",\"Limiting_Pressure\","
        "\"Check_Pressure\",\"Limiting_Pipe\",\"Limiting_Velocity\",\"Required_Flow\","
        "\"Result\"\r\n"
        "\"J5\",\"Maximal flow was reached\",\"\",\"\",\"\",\"\",\"\",1500,\"Pass\"\r\n"
        "\"J12\",\"Unsolved\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
        "\"J21\",1826,\"J21\",19.91073,20.03612,\"\",\"\",2000,\"Fail\"\r\n"
        "\"J22\",950,\"\",\"\",31.5,\"P28\",10.00107,\"\",\"\"\r\n");
    EXPECT_EQ(available.kind, ResultsKind::AvailableFlow);
    ASSERT_EQ(available.rows.size(), 4U);
    EXPECT_EQ(available.rows[0].outcome, Outcome::MaximalFlowReached);
    EXPECT_EQ(available.rows[0].cells[7].number, 1500.0);
    EXPECT_EQ(available.rows[1].outcome, Outcome::Unsolved);
    EXPECT_EQ(available.rows[2].outcome, Outcome::Failed);
    EXPECT_EQ(available.Answer(available.rows[2]), 1826.0);
    EXPECT_EQ(available.rows[3].cells[5].text, "P28");
    EXPECT_EQ(available.rows[3].cells[6].number, 10.00107);
    EXPECT_FALSE(available.rows[3].cells[3].number);
    // Its Result column judges the junctions with a requirement; the outcome stays the answer's.
    EXPECT_EQ(ResultColumn(available), 8U);
    EXPECT_THROW(ParseResults("\"Check_Node\",\"Available_Flow\",\"Limiting_Node\","
                              "\"Limiting_Pressure\",\"Check_Pressure\",\"Limiting_Pipe\","
                              "\"Limiting_Velocity\",\"Required_Flow\",\"Result\"\r\n"
                              "\"J5\",950,\"\",\"\",31.5,\"\",\"\",1000,\"Maybe\"\r\n"),
                 std::invalid_argument);
    EXPECT_EQ(UnitOf(available.columns[6].quantity, {"GPM", "psi"}), "ft/s");
    EXPECT_EQ(UnitOf(available.columns[6].quantity, {"LPS", "m"}), "m/s");

    const ResultsTable design = ParseResults(
        "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\",\"Lowest_Pressure\","
        "\"Fastest_Pipe\",\"Fastest_Velocity\",\"Result\"\r\n"
        "\"J5\",1500,38.17876,\"J5\",38.17876,\"P25\",3.401302,\"Pass\"\r\n"
        "\"J21\",2000,12.49569,\"J21\",12.49569,\"\",\"\",\"Fail\"\r\n");
    EXPECT_EQ(design.kind, ResultsKind::DesignFlow);
    EXPECT_EQ(design.rows[0].outcome, Outcome::Passed);
    EXPECT_EQ(design.rows[1].outcome, Outcome::Failed);
    EXPECT_EQ(ResultColumn(design), 7U);
    // A design row must judge its junction.
    EXPECT_THROW(ParseResults("\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\",\"Lowest_Node\","
                              "\"Lowest_Pressure\",\"Fastest_Pipe\",\"Fastest_Velocity\","
                              "\"Result\"\r\n\"J5\",1500,38,\"J5\",38,\"\",\"\",\"\"\r\n"),
                 std::invalid_argument);
}

}  // namespace
}  // namespace hydrosk::files
