// The run on typed settings: the checks it makes of the numbers, where a front end's refusal
// comes in its order, and what it writes without a settings file. The window's reading of its
// boxes into these settings is tested with the window (tests/ui/run_form_test.cpp).
#include <gtest/gtest.h>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "files/settings_file.h"

namespace hydrosk::analysis::testing {
namespace {

class FireFlowRunTest : public RunTest {
protected:
    RunResult Run(const RunSettings& settings) {
        observer_ = RecordingObserver();
        return RunFireFlow(settings, observer_);
    }

    RecordingObserver observer_;
};

TEST_F(FireFlowRunTest, SteppedModesNeedTrialFlowsThatReachTheMaximalFlow) {
    RunSettings settings = Settings(CopyNetwork("line.inp"));
    settings.mode = SteadyRun{1000, 0};
    EXPECT_EQ(Run(settings).message, messages::kFlowIntervalPositive);
    settings.mode = SteadyRun{1e8f, 1};
    EXPECT_EQ(Run(settings).message, messages::kFlowIntervalTooSmall);
    EXPECT_EQ(observer_.events.front(), "busy on");

    settings = Settings(CopyNetwork("falling_head.inp"));
    settings.mode = FlowRun{1.5f, 1000, -10};
    EXPECT_EQ(Run(settings).message, messages::kFlowIntervalPositive);
    settings.mode = FlowRun{0, 1000, 10};
    EXPECT_EQ(Run(settings).message, messages::kEnterRequiredTime);
    EXPECT_FALSE(std::filesystem::exists(settings.output_file));
}

// A front end's refusal is shown at its point of the run: a mode's own number after the
// network is checked for the mode, as the window reads its boxes.
TEST_F(FireFlowRunTest, AFrontEndsRefusalComesAtItsPoint) {
    RunSettings settings = Settings(CopyNetwork("line.inp"));  // duration 0
    settings.mode = DurationRun{};
    settings.refusal = InputRefusal{RefusalPoint::ModeInputs, "mode"};
    EXPECT_EQ(Run(settings).message, messages::kExtendedPeriodDuration);

    settings.inp_file = CopyNetwork("falling_head.inp");
    EXPECT_EQ(Run(settings).message, "mode");

    settings.mode = SteadyRun{1000, 0};
    settings.refusal = InputRefusal{RefusalPoint::Numbers, "numbers"};
    EXPECT_EQ(Run(settings).message, "numbers");
    EXPECT_EQ(observer_.events,
              (std::vector<std::string>{"busy on", "refusal: numbers", "busy off"}));

    settings.refusal = InputRefusal{RefusalPoint::Start, "start"};
    EXPECT_EQ(Run(settings).message, "start");
    EXPECT_EQ(observer_.events, (std::vector<std::string>{"refusal: start", "busy off"}));
    EXPECT_FALSE(std::filesystem::exists(settings.output_file));
}

TEST_F(FireFlowRunTest, RunWithoutKeptSettingsWritesNoSettingsFile) {
    RunSettings settings = Settings(CopyNetwork("line.inp"));
    settings.minimal_pressure = 55;
    ASSERT_EQ(Run(settings).status, RunStatus::Completed);
    EXPECT_EQ(Lines(settings.output_file).size(), 4U);
    EXPECT_FALSE(std::filesystem::exists(dir() / files::kSettingsFileName));
}

TEST(RunMessagesTest, ToolkitFailureGivesCodeTextAndJunction) {
    const std::string text = messages::ToolkitFailure(110, "J7");
    EXPECT_NE(text.find("110"), std::string::npos) << text;
    EXPECT_NE(text.find("cannot solve"), std::string::npos) << text;
    EXPECT_NE(text.find("J7"), std::string::npos) << text;
}

TEST(RunMessagesTest, UnknownIdsAreListedPerFile) {
    EXPECT_EQ(messages::UnknownConstraintIds({}, {}), "");
    EXPECT_EQ(messages::UnknownConstraintIds(std::vector<std::string>{"A", "B"},
                                             std::vector<std::string>{"C"}),
              "These IDs of the constraint files are not junctions of the network and were "
              "skipped:\nMinPressures.txt: A, B\nNoCheck.txt: C");
}

}  // namespace
}  // namespace hydrosk::analysis::testing
