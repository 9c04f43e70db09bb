// The run under bad input and faults: scratch files that never touch the user's files,
// constraint files full of strangers, a network that steps backwards, memory that runs out.
#include <gtest/gtest.h>

#include <new>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"

namespace hydrosk::analysis::testing {
namespace {

class BadInputTest : public RunTest {};

TEST_F(BadInputTest, TheWindowsScratchFilesNeverOverwriteTheInpFile) {
    // The INP file under the scratch files' own names, in the current directory.
    const std::string text = ReadBytes(DataFile("falling_head.inp"));
    WriteBytes(dir() / "rep.dat", text);
    RunSettings inputs = Settings(dir() / "rep.dat");
    inputs.inp_file = "./rep.dat";
    RecordingObserver observer;
    const RunResult refused = RunFireFlow(inputs, observer);
    EXPECT_EQ(refused.status, RunStatus::Refused);
    EXPECT_EQ(refused.message,
              std::string(messages::kCouldNotOpenInp) + "\n  Error 301: identical file names");
    EXPECT_EQ(ReadBytes(dir() / "rep.dat"), text);

    WriteBytes(dir() / "out.txt", text);
    inputs = Settings(dir() / "out.txt");
    inputs.mode = DurationRun{};
    EXPECT_EQ(RunFireFlow(inputs, observer).message, messages::kProblemInInp);
    EXPECT_EQ(ReadBytes(dir() / "out.txt"), text);
}

TEST_F(BadInputTest, ManyUnknownConstraintIdsAreCountedNotAllListed) {
    std::string no_check;
    for (int i = 0; i < 80000; ++i) no_check += "\"X" + std::to_string(i) + "\"\r\n";
    WriteNoCheck(no_check);
    WriteMinPressures("\"\x1b]0;owned\x07\",5\r\n");
    RecordingObserver observer;
    ASSERT_EQ(RunFireFlow(Settings(CopyNetwork("line.inp")), observer).status,
              RunStatus::Completed);
    std::string listed = "X0";
    for (int i = 1; i < 19; ++i) listed += ", X" + std::to_string(i);
    EXPECT_EQ(observer.Messages(),
              std::vector<std::string>{
                  "notice: These IDs of the constraint files are not junctions of the network and "
                  "were skipped:\nMinPressures.txt: \\x1b]0;owned\\x07\nNoCheck.txt: " +
                  listed + " and 79981 more"});
}

TEST_F(BadInputTest, ANegativeReportStepIsRefusedForTheExtendedPeriod) {
    // EPANET then steps backwards in time, for ever.
    std::string text = ReadBytes(DataFile("falling_head.inp"));
    text.replace(text.find(" Report Timestep     0:30"), 24, " Report Timestep -5");
    WriteBytes(dir() / "backwards.inp", text);
    RunSettings inputs = Settings(dir() / "backwards.inp");
    for (const ModeSettings& mode : {ModeSettings(DurationRun{}), ModeSettings(FlowRun{})}) {
        inputs.mode = mode;
        RecordingObserver observer;
        EXPECT_EQ(RunFireFlow(inputs, observer).message, messages::kExtendedPeriodStep);
    }
}

// Memory running out part way through ends the run as a failure, not the program.
class MemoryRunsOut : public RecordingObserver {
    void SetProgressRange(int, int) override { throw std::bad_alloc(); }
};

TEST_F(BadInputTest, MemoryRunningOutEndsTheRunWithItsOwnWords) {
    MemoryRunsOut observer;
    const RunResult result = RunFireFlow(Settings(CopyNetwork("line.inp")), observer);
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_EQ(result.message, messages::kOutOfMemory);
}

}  // namespace
}  // namespace hydrosk::analysis::testing
