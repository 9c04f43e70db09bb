// The two extended-period searches through whole runs. falling_head.inp steps every 30 minutes
// for 3 h; its reservoir head halves at t = 2 h, so static pressures fall from 43.33 psi to
// 21.67 psi there. Variants move that fall or the step length.
#include <gtest/gtest.h>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "files/number_text.h"

namespace hydrosk::analysis::testing {
namespace {

const char* const kDurationHeader = R"~("Check_Node","Flow","Duration (hours)")~";
const char* const kFlowHeader = R"~("Check_Node","Duration (hours)","Flow")~";

class ExtendedPeriodSearchTest : public RunTest {
protected:
    // falling_head.inp with its pattern multipliers and step length replaced.
    std::filesystem::path Variant(const std::string& multipliers, const std::string& step) {
        std::string text = ReadBytes(DataFile("falling_head.inp"));
        Replace(text, " FALL  1  1  1  1  0.5  0.5", " FALL  " + multipliers);
        Replace(text, "Hydraulic Timestep  0:30", "Hydraulic Timestep  " + step);
        Replace(text, "Pattern Timestep    0:30", "Pattern Timestep    " + step);
        Replace(text, "Report Timestep     0:30", "Report Timestep     " + step);
        const auto file = dir() / "variant.inp";
        WriteBytes(file, text);
        return file;
    }

    RunSettings Duration(const std::filesystem::path& inp, const std::string& min_pressure,
                         const std::string& required_flow) const {
        RunSettings inputs = Settings(inp);
        inputs.minimal_pressure = Number(min_pressure);
        inputs.mode = DurationRun{Number(required_flow)};
        return inputs;
    }

    RunSettings Flow(const std::filesystem::path& inp, const std::string& min_pressure,
                     const std::string& required_time, const std::string& max_flow,
                     const std::string& interval) const {
        RunSettings inputs = Settings(inp);
        inputs.minimal_pressure = Number(min_pressure);
        inputs.mode = FlowRun{Number(required_time), Number(max_flow), Number(interval)};
        return inputs;
    }

    std::vector<std::string> Run(const RunSettings& inputs) {
        const RunResult result = RunFireFlow(inputs, observer_);
        EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
        return Lines(inputs.output_file);
    }

    static void Replace(std::string& text, const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }

    RecordingObserver observer_;
};

TEST_F(ExtendedPeriodSearchTest, DurationIsTheTimeOfTheFirstFailingStepInHours) {
    const auto lines = Run(Duration(CopyNetwork("falling_head.inp"), "30", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kDurationHeader, R"("J1",10,2)", R"("J2",10,2)"}));
}

TEST_F(ExtendedPeriodSearchTest, DurationIsNotRoundedToTheHour) {
    // 20-minute steps, the fall at the fourth: t = 4800 s.
    const auto lines = Run(Duration(Variant("1 1 1 1 0.5 0.5 0.5 0.5 0.5", "0:20"), "30", "10"));
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[1], R"("J1",10,1.33333333333333)");

    const auto at_5400 = Run(Duration(Variant("1 1 1 0.5 0.5 0.5", "0:30"), "30", "10"));
    ASSERT_EQ(at_5400.size(), 3U);
    EXPECT_EQ(at_5400[1], R"("J1",10,1.5)");
}

TEST_F(ExtendedPeriodSearchTest, TankReachesItsMinimumAtEpanetsSecond) {
    // An active PBV amplifies last-bit differences of the pipe resistances; in EPANET 2.2 the
    // tank that keeps J1_1 above 61 psi reaches its minimum at 36671 s.
    const auto inp = dir() / "pbv_tank_duration.inp";
    std::filesystem::copy_file(std::filesystem::path(HYDROSK_OWN_NETWORKS) / inp.filename(), inp);
    const auto lines = Run(Duration(inp, "61", "700"));
    ASSERT_EQ(lines.size(), 8U);
    EXPECT_EQ(lines[5], R"("J1_1",700,10.1863888888889)");
}

TEST_F(ExtendedPeriodSearchTest, ViolationInTheInitialStateGivesZero) {
    const auto lines = Run(Duration(CopyNetwork("falling_head.inp"), "50", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kDurationHeader, R"("J1",10,0)", R"("J2",10,0)"}));
}

TEST_F(ExtendedPeriodSearchTest, KeepingEveryPressureReachesTheEnd) {
    const auto lines = Run(Duration(CopyNetwork("falling_head.inp"), "10", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kDurationHeader,
                                               R"("J1",10,"End of simulation was reached")",
                                               R"("J2",10,"End of simulation was reached")"}));
}

TEST_F(ExtendedPeriodSearchTest, NegativeRequiredFlowIsWrittenUnchanged) {
    const auto lines = Run(Duration(CopyNetwork("falling_head.inp"), "30", "-5"));
    EXPECT_EQ(lines, (std::vector<std::string>{kDurationHeader, R"("J1",-5,2)", R"("J2",-5,2)"}));
}

TEST_F(ExtendedPeriodSearchTest, ExcludedJunctionsKeepTheirRows) {
    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n");
    const auto lines = Run(Duration(CopyNetwork("falling_head.inp"), "30", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kDurationHeader,
                                               R"("J1",10,"End of simulation was reached")",
                                               R"("J2",10,"End of simulation was reached")"}));
}

TEST_F(ExtendedPeriodSearchTest, DurationSearchCountsWrittenRowsAndServesEvents) {
    const RunSettings inputs = Duration(CopyNetwork("falling_head.inp"), "30", "10");
    Run(inputs);
    const std::vector<std::string> expected{
        "busy on",
        "range 0 2",
        "value 1",
        "value 2",
        "question: " + messages::CompletionQuestion(inputs.output_file),
        "busy off"};
    EXPECT_EQ(observer_.WithoutServing(), expected);
    EXPECT_EQ(observer_.events[2], "serve");  // before the first row is waited for
    EXPECT_TRUE(std::filesystem::exists(dir() / "out.txt"));
}

TEST_F(ExtendedPeriodSearchTest, FirstFailingFlowTrialReportsMinusTheInterval) {
    // Required time 2 h: the step at 7200 s is tested and fails already at demand 0.
    const auto lines = Run(Flow(CopyNetwork("falling_head.inp"), "30", "2", "1000", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kFlowHeader, R"("J1",2,-10)", R"("J2",2,-10)"}));
}

TEST_F(ExtendedPeriodSearchTest, StepsAfterTheRequiredTimeAreNotTested) {
    // 1.5 h: steps at 0, 1800, 3600 and 5400 s are tested, the fall at 7200 s is not.
    const RunSettings inputs = Flow(CopyNetwork("falling_head.inp"), "30", "1.5", "30", "10");
    const auto lines = Run(inputs);
    EXPECT_EQ(lines,
              (std::vector<std::string>{kFlowHeader, R"("J1",1.5,"Maximal flow was reached")",
                                        R"("J2",1.5,"Maximal flow was reached")"}));
}

TEST_F(ExtendedPeriodSearchTest, StepExactlyAtTheRequiredTimeIsTested) {
    const auto fall_at_5400 = Variant("1 1 1 0.5 0.5 0.5", "0:30");

    const auto tested = Run(Flow(fall_at_5400, "30", "1.5", "30", "10"));
    EXPECT_EQ(tested,
              (std::vector<std::string>{kFlowHeader, R"("J1",1.5,-10)", R"("J2",1.5,-10)"}));

    // 1.4999 h is 5399.64 s: the step at 5400 s lies beyond it.
    const auto untested = Run(Flow(fall_at_5400, "30", "1.4999", "30", "10"));
    EXPECT_EQ(untested,
              (std::vector<std::string>{kFlowHeader, R"("J1",1.4999,"Maximal flow was reached")",
                                        R"("J2",1.4999,"Maximal flow was reached")"}));
}

TEST_F(ExtendedPeriodSearchTest, TimeLimitIsFormedInSinglePrecision) {
    // 0.500833333 h is the float 0.50083333..., whose product with 3600 is 1802.999997 s in
    // double precision but exactly 1803 s in single precision: the step at 1803 s is tested.
    const auto fall_at_1803 = Variant("1 0.5 0.5 0.5 0.5 0.5 0.5", "0:30:03");
    const auto lines = Run(Flow(fall_at_1803, "30", "0.500833333", "30", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kFlowHeader, R"("J1",0.5008333,-10)",
                                               R"("J2",0.5008333,-10)"}));
}

TEST_F(ExtendedPeriodSearchTest, FlowIsTheLastPassingTrialDemand) {
    const auto inp = CopyNetwork("falling_head.inp");
    const float at_1500 = FirstStepPressure(inp, 2, 1500, 2);
    const float at_2000 = FirstStepPressure(inp, 2, 2000, 2);
    ASSERT_LT(at_2000, at_1500);

    // Half an hour: the steps at 0 and 1800 s, both before the fall.
    const auto lines = Run(Flow(inp, Between(at_2000, at_1500), "0.5", "5000", "500"));
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[2], R"("J2",0.5,1500)");
}

TEST_F(ExtendedPeriodSearchTest, ExcludedJunctionsKeepTheirFlowTrialsAndRows) {
    WriteNoCheck("\"J2\"\r\n\"J1\"\r\n");
    const auto lines = Run(Flow(CopyNetwork("falling_head.inp"), "30", "2", "20", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kFlowHeader, R"("J1",2,"Maximal flow was reached")",
                                               R"("J2",2,"Maximal flow was reached")"}));
}

TEST_F(ExtendedPeriodSearchTest, NegativeMaximalFlowMakesNoFlowTrial) {
    const auto lines = Run(Flow(CopyNetwork("falling_head.inp"), "1000", "2", "-1", "10"));
    EXPECT_EQ(lines, (std::vector<std::string>{kFlowHeader, R"("J1",2,"Maximal flow was reached")",
                                               R"("J2",2,"Maximal flow was reached")"}));
}

}  // namespace
}  // namespace hydrosk::analysis::testing
