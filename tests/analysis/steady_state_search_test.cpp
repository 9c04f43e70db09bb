// The steady-state search through whole runs on small networks whose pressures the tests get
// from the toolkit beforehand, so that every expected row is known exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "files/number_text.h"

namespace hydrosk::analysis::testing {
namespace {

// line.inp: R1 (head 200 ft) - J1 (50 ft) - J2 (60 ft) - J3 (80 ft), no demands.
constexpr int kJ1 = 1;
constexpr int kJ2 = 2;
constexpr int kJ3 = 3;

const char* const kHeader = R"("Check_Node","Maximal_Flow","Violating_Node","Minimal_pressure")";

std::string ViolationRow(const std::string& check, float flow, const std::string& violating,
                         float pressure) {
    return '"' + check + "\"," + files::FormatSingle(flow) + ",\"" + violating + "\"," +
           files::FormatSingle(pressure);
}

std::string ReachedRow(const std::string& check) {
    return '"' + check + "\",\"Maximal flow was reached\"";
}

class SteadyStateSearchTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        line_ = CopyNetwork("line.inp");
    }

    // Runs with the given texts and expects a completed run.
    std::vector<std::string> Run(const std::string& min_pressure, const std::string& max_flow,
                                 const std::string& interval) {
        RunSettings inputs = Settings(line_);
        inputs.minimal_pressure = Number(min_pressure);
        inputs.mode = SteadyRun{Number(max_flow), Number(interval)};
        const RunResult result = RunFireFlow(inputs, observer_);
        EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
        return Lines(inputs.output_file);
    }

    std::filesystem::path line_;
    RecordingObserver observer_;
};

TEST_F(SteadyStateSearchTest, ReportsTheFirstFailingFlowNotTheLastPassingOne) {
    const float at_340 = SteadyPressure(line_, kJ3, 340, kJ3);
    const float at_350 = SteadyPressure(line_, kJ3, 350, kJ3);
    ASSERT_LT(at_350, at_340);

    const auto lines = Run(Between(at_350, at_340), "1000", "10");

    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(lines[3], ViolationRow("J3", 350, "J3", at_350));
}

TEST_F(SteadyStateSearchTest, FailureAtZeroFlowNamesTheLowestPositionedJunction) {
    // Static pressures: J1 65.0, J2 60.7, J3 52.0 psi; J2 and J3 are below 62.
    const float j2_static = SteadyPressure(line_, kJ1, 0, kJ2);
    ASSERT_LT(j2_static, 62.0F);

    const auto lines = Run("62", "1000", "10");

    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[1], ViolationRow("J1", 0, "J2", j2_static));
    EXPECT_EQ(lines[2], ViolationRow("J2", 0, "J2", j2_static));
    EXPECT_EQ(lines[3], ViolationRow("J3", 0, "J2", j2_static));
}

TEST_F(SteadyStateSearchTest, PressureEqualToTheMinimumPasses) {
    const float j3_static = SteadyPressure(line_, kJ1, 0, kJ3);

    const auto equal = Run(ExactText(j3_static), "0", "10");
    EXPECT_EQ(equal, (std::vector<std::string>{kHeader, ReachedRow("J1"), ReachedRow("J2"),
                                               ReachedRow("J3")}));

    const float just_above = std::nextafter(j3_static, std::numeric_limits<float>::infinity());
    const auto above = Run(ExactText(just_above), "0", "10");
    ASSERT_EQ(above.size(), 4U);
    EXPECT_EQ(above[1], ViolationRow("J1", 0, "J3", j3_static));
}

TEST_F(SteadyStateSearchTest, NegativeMaximalFlowMakesNoTrial) {
    // A minimum no junction can meet would fail the very first trial, if there were one.
    const auto lines = Run("1000", "-1", "10");
    EXPECT_EQ(lines, (std::vector<std::string>{kHeader, ReachedRow("J1"), ReachedRow("J2"),
                                               ReachedRow("J3")}));
}

TEST_F(SteadyStateSearchTest, NothingFailsWhenEveryJunctionIsExcluded) {
    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n\"J3\"\r\n");
    const auto lines = Run("1000", "100", "50");
    EXPECT_EQ(lines, (std::vector<std::string>{kHeader, ReachedRow("J1"), ReachedRow("J2"),
                                               ReachedRow("J3")}));
}

TEST_F(SteadyStateSearchTest, TenthsAccumulateInSinglePrecision) {
    // Ten single-precision additions of 0.1 overshoot 1, so the last trial below a maximal
    // flow of 1 is the ninth sum, not 1 itself.
    float ninth = 0;
    for (int i = 0; i < 9; ++i) ninth = ninth + 0.1F;
    const float tenth = ninth + 0.1F;
    ASSERT_GT(tenth, 1.0F);

    const auto thin = CopyNetwork("thin_pipe.inp");
    const float after_ninth = SteadyPressure(thin, 1, ninth, 1);
    const float after_tenth = SteadyPressure(thin, 1, tenth, 1);
    const float at_one = SteadyPressure(thin, 1, 1.0F, 1);
    ASSERT_LT(after_tenth, after_ninth);
    ASSERT_LT(at_one, after_ninth);
    const std::string minimum = Between(std::max(after_tenth, at_one), after_ninth);

    RunSettings inputs = Settings(thin);
    inputs.minimal_pressure = Number(minimum);
    inputs.mode = SteadyRun{1, 0.1f};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_EQ(Lines(inputs.output_file), (std::vector<std::string>{kHeader, ReachedRow("J1")}));

    // With room for the tenth sum, it is tried and fails (written as 1 in 7 digits).
    inputs.mode = SteadyRun{tenth, 0.1f};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_EQ(Lines(inputs.output_file),
              (std::vector<std::string>{kHeader, ViolationRow("J1", tenth, "J1", after_tenth)}));
}

TEST_F(SteadyStateSearchTest, BisectionSolvesTheLinearSearchsDriftingTrialsAndRows) {
    // The 3501st sum of 0.1 has drifted from 350.0 in single precision.
    std::vector<float> flows{0};
    while (flows.size() < 3502) flows.push_back(flows.back() + 0.1F);
    const float failing = flows[3501];
    ASSERT_NE(failing, 350.1F);
    const float at_failing = SteadyPressure(line_, kJ3, failing, kJ3);
    const std::string minimum = Between(at_failing, SteadyPressure(line_, kJ3, flows[3500], kJ3));

    RunSettings inputs = Settings(line_);
    inputs.minimal_pressure = Number(minimum);
    inputs.mode = SteadyRun{1000, 0.1f};
    inputs.parallelism.lanes = 1;  // the solves one at a time are counted (none ahead of need)
    RunResult result = RunFireFlow(inputs, observer_);
    ASSERT_EQ(result.status, RunStatus::Completed);
    const auto linear = Lines(inputs.output_file);
    const long linear_solves = result.solves;
    inputs.mode = SteadyRun{1000, 0.1f, SearchMethod::Bisection};
    result = RunFireFlow(inputs, observer_);

    EXPECT_EQ(Lines(inputs.output_file), linear);
    ASSERT_EQ(linear.size(), 4U);
    EXPECT_EQ(linear[3], ViolationRow("J3", failing, "J3", at_failing));
    // Each junction: 0, 1000 and about log2(10001) = 14 solves between, instead of some 3500.
    EXPECT_LE(result.solves, 3 * 16);
    EXPECT_GT(linear_solves, 3 * 3500);
}

TEST_F(SteadyStateSearchTest, BisectionReportsAFailureRightAboveAPassWhereThePressuresRiseAgain) {
    // J1's pressure falls with its fire flow until a second main opens below 30 psi (at some
    // 330 gpm); it then holds 35 psi again up to 890 gpm.
    const auto inp = CopyNetwork("pipe_opens_at_low_pressure.inp");
    const float at_260 = SteadyPressure(inp, kJ1, 260, kJ1);
    const float at_890 = SteadyPressure(inp, kJ1, 890, kJ1);
    const float at_900 = SteadyPressure(inp, kJ1, 900, kJ1);
    ASSERT_LT(at_260, 35.0F);
    ASSERT_GE(at_890, 35.0F);
    ASSERT_LT(at_900, 35.0F);

    RunSettings inputs = Settings(inp);
    inputs.minimal_pressure = 35;
    inputs.mode = SteadyRun{2000, 10};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_EQ(Lines(inputs.output_file)[1], ViolationRow("J1", 260, "J1", at_260));
    // After 0 (passes) and 2000 (fails), the halving tries 1000 (fails) and 500 (passes): the
    // search stays in the upper band and reports its end.
    EXPECT_TRUE(observer_.Messages().empty());
    inputs.mode = SteadyRun{2000, 10, SearchMethod::Bisection};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_EQ(Lines(inputs.output_file)[1], ViolationRow("J1", 900, "J1", at_900));
    // The control that opens the main is said to make bisection's rows uncertain.
    EXPECT_EQ(observer_.Messages(),
              std::vector<std::string>{"notice: " + std::string(messages::kBisectionMayDiffer)});

    // A network of pipes alone gets no notice.
    observer_.events.clear();
    inputs = Settings(line_);
    inputs.mode = SteadyRun{1000, 10, SearchMethod::Bisection};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_TRUE(observer_.Messages().empty());
}

TEST_F(SteadyStateSearchTest, ListingAJunctionSeveralTimesActsAsOnce) {
    WriteNoCheck("\"J3\"\r\n");
    const auto once = Run("55", "1000", "10");

    WriteNoCheck("\"J3\"\r\n\"J3\"\r\n\"j3\"\r\n\" J3 \"\r\nJ3\r\n");
    const auto repeated = Run("55", "1000", "10");

    EXPECT_EQ(repeated, once);
    EXPECT_TRUE(observer_.Messages().empty());
    ASSERT_EQ(once.size(), 4U);
    EXPECT_NE(once[1], ViolationRow("J1", 0, "J3", SteadyPressure(line_, kJ1, 0, kJ3)));
}

TEST_F(SteadyStateSearchTest, PerJunctionMinimumAppliesOnlyToItsJunction) {
    const float j2_static = SteadyPressure(line_, kJ1, 0, kJ2);
    const float just_above = std::nextafter(j2_static, std::numeric_limits<float>::infinity());
    WriteMinPressures("\"J2\"," + ExactText(just_above) + "\r\n");

    // The default of 0 holds J1 and J3 only; J2 fails at once for every check junction.
    const auto lines = Run("0", "100", "10");
    EXPECT_EQ(lines, (std::vector<std::string>{kHeader, ViolationRow("J1", 0, "J2", j2_static),
                                               ViolationRow("J2", 0, "J2", j2_static),
                                               ViolationRow("J3", 0, "J2", j2_static)}));
}

TEST_F(SteadyStateSearchTest, LaterMinimumForTheSameJunctionWins) {
    const float j2_static = SteadyPressure(line_, kJ1, 0, kJ2);
    WriteMinPressures("\"J2\",1000\r\n\"j2\"," + ExactText(j2_static) + "\r\n");

    const auto lines = Run("0", "0", "10");
    EXPECT_EQ(lines, (std::vector<std::string>{kHeader, ReachedRow("J1"), ReachedRow("J2"),
                                               ReachedRow("J3")}));
}

TEST_F(SteadyStateSearchTest, ExcludedCheckJunctionStillGetsItsTrialsAndRow) {
    const float at_340 = SteadyPressure(line_, kJ3, 340, kJ3);
    const float at_350 = SteadyPressure(line_, kJ3, 350, kJ3);
    WriteNoCheck("\"J3\"\r\n");

    const auto lines = Run(Between(at_350, at_340), "1000", "10");

    ASSERT_EQ(lines.size(), 4U);
    EXPECT_TRUE(lines[3].starts_with("\"J3\",")) << lines[3];
    EXPECT_EQ(lines[3].find("\"J3\"", 1), std::string::npos) << lines[3];
}

TEST_F(SteadyStateSearchTest, UnknownConstraintIdsAreSkippedAndReportedOnce) {
    WriteNoCheck("\"J3\"\r\n");
    const auto expected = Run("55", "200", "10");

    WriteNoCheck("\"X9\"\r\n\"J3\"\r\n\"X9\"\r\n");
    WriteMinPressures("\"Y1\",5\r\n");
    observer_.events.clear();
    const auto lines = Run("55", "200", "10");

    EXPECT_EQ(lines, expected);
    EXPECT_EQ(observer_.Messages(),
              (std::vector<std::string>{
                  "notice: " + messages::UnknownConstraintIds(std::vector<std::string>{"Y1"},
                                                              std::vector<std::string>{"X9"})}));
}

TEST_F(SteadyStateSearchTest, ExtensionChangesOnlyTheFileName) {
    RunSettings inputs = Settings(line_);
    inputs.minimal_pressure = 55;
    inputs.output_file = line_.string() + ".TXT";
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    inputs.output_file = line_.string() + ".CSV";
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);

    EXPECT_EQ(ReadBytes(line_.string() + ".CSV"), ReadBytes(line_.string() + ".TXT"));
}

TEST_F(SteadyStateSearchTest, ProgressCountsWrittenRows) {
    RunSettings inputs = Settings(line_);
    inputs.minimal_pressure = 55;
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);

    const std::vector<std::string> expected{
        "busy on", "range 0 3", "value 1",
        "value 2", "value 3",   "question: " + messages::CompletionQuestion(inputs.output_file),
        "busy off"};
    EXPECT_EQ(observer_.WithoutServing(), expected);
}

TEST_F(SteadyStateSearchTest, ScratchFilesThatCannotBeCreatedDoNotStopTheRun) {
    // The current directory is gone, so no scratch file can be created in it.
    const auto work = dir() / "gone";
    std::filesystem::create_directory(work);
    std::filesystem::current_path(work);
    std::filesystem::remove(work);

    RunSettings inputs = Settings(line_);
    inputs.minimal_pressure = 55;
    const RunResult result = RunFireFlow(inputs, observer_);

    EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
    EXPECT_EQ(Lines(inputs.output_file).size(), 4U);
}

}  // namespace
}  // namespace hydrosk::analysis::testing

namespace hydrosk::analysis::testing {
namespace {

// A flow no network can carry: one trial's hydraulics cannot be solved (110). The row keeps
// what the pressures gave, and the run tells about the trial once, after the search.
TEST_F(SteadyStateSearchTest, UnsolvableTrialsAreToldOnceAfterTheSearch) {
    const std::filesystem::path net3 = std::filesystem::path(HYDROSK_SHARED_NETWORKS) / "Net3.inp";
    if (!std::filesystem::exists(net3)) GTEST_SKIP() << net3 << " is absent";
    const auto inp = dir() / "Net3.inp";
    WriteBytes(inp, WithZeroDuration(ReadBytes(net3)));

    RunSettings inputs = Settings(inp);
    inputs.minimal_pressure = -1e30f;
    inputs.mode = SteadyRun{1e20f, 2e19f};
    ASSERT_EQ(RunFireFlow(inputs, observer_).status, RunStatus::Completed);
    EXPECT_EQ(observer_.Messages(),
              (std::vector<std::string>{
                  "notice: " + messages::UnsolvedTrials(1, 110, std::vector<std::string>{"129"})}));
    const auto events = observer_.WithoutServing();
    EXPECT_TRUE(events[events.size() - 3].starts_with("notice: "));  // before the question
}

TEST(RunMessagesTest, UnsolvedTrialsNameTheFirstJunctionsAndCountTheRest) {
    const std::vector<std::string> ids{"A", "B", "C", "D", "E", "F", "G"};
    const std::string text = messages::UnsolvedTrials(12, 110, ids);
    EXPECT_NE(text.find("12 trials (error 110: "), std::string::npos) << text;
    EXPECT_NE(text.find("junctions A, B, C, D, E and 2 more."), std::string::npos) << text;
}

}  // namespace
}  // namespace hydrosk::analysis::testing
