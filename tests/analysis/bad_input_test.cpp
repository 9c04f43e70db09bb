// The run and `hydrosk-cli fireflow` under bad input and faults: scratch files that never touch
// the user's files, constraint files full of strangers, INP files with input errors, memory
// that runs out and output that cannot be written.
#include <gtest/gtest.h>

#include <iterator>
#include <new>
#include <sstream>
#include <streambuf>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "cli/fireflow_command.h"

namespace hydrosk::analysis::testing {
namespace {

class BadInputTest : public RunTest {
protected:
    int RunCommand(const cli::FireflowOptions& options) {
        err_.str("");
        std::ostringstream out;
        return cli::RunFireflow(options, out, err_, false);
    }

    std::ostringstream err_;
};

TEST_F(BadInputTest, TheWindowsScratchFilesNeverOverwriteTheInpFile) {
    // The INP file under the scratch files' own names, in the current directory.
    const std::string text = ReadBytes(DataFile("falling_head.inp"));
    WriteBytes(dir() / "rep.dat", text);
    RunInputs inputs = Inputs(dir() / "rep.dat");
    inputs.inp_path = "./rep.dat";
    RecordingObserver observer;
    const RunResult refused = RunFireFlow(inputs, observer);
    EXPECT_EQ(refused.status, RunStatus::Refused);
    EXPECT_EQ(refused.message,
              std::string(messages::kCouldNotOpenInp) + "\n  Error 301: identical file names");
    EXPECT_EQ(ReadBytes(dir() / "rep.dat"), text);

    WriteBytes(dir() / "out.txt", text);
    inputs = Inputs(dir() / "out.txt");
    inputs.page = AnalysisPage::ExtendedPeriod;
    EXPECT_EQ(RunFireFlow(inputs, observer).message, messages::kProblemInInp);
    EXPECT_EQ(ReadBytes(dir() / "out.txt"), text);
}

TEST_F(BadInputTest, TheCommandLineWritesScratchFilesOnlyWhenAsked) {
    WriteBytes(dir() / "rep.dat", ReadBytes(DataFile("falling_head.inp")));
    cli::FireflowOptions options;
    options.inp = "./rep.dat";
    options.min_pressure = "30";
    for (const char* mode : {"duration", "flow"}) {
        options.mode = mode;
        EXPECT_EQ(RunCommand(options), 0) << err_.str();
    }
    // The INP file and its results, nothing else.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2);
    EXPECT_TRUE(std::filesystem::exists(dir() / "rep.dat.TXT"));

    options.report = "rep.dat";  // the INP file itself
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_NE(err_.str().find("Error 301"), std::string::npos) << err_.str();
    EXPECT_EQ(ReadBytes(dir() / "rep.dat"), ReadBytes(DataFile("falling_head.inp")));

    WriteBytes(dir() / "bad.inp",
               "[JUNCTIONS]\n J1 nan\n[RESERVOIRS]\n R 10\n[PIPES]\n P R J1 1 1 1\n");
    options.inp = "bad.inp";
    options.report = "report.txt";
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_NE(ReadBytes(dir() / "report.txt").find("Error 202"), std::string::npos);
    options.report = (dir() / "missing" / "report.txt").string();
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_NE(err_.str().find("The report file"), std::string::npos) << err_.str();
}

TEST_F(BadInputTest, EveryInputErrorIsShownWithItsCodeSectionAndLine) {
    WriteBytes(dir() / "bad.inp",
               "[JUNCTIONS]\n J1 inf\n J2 10 \x1b[2J\n[RESERVOIRS]\n R 10\n"
               "[PIPES]\n P1 R J1 1 1 1\n P2 J1 J2 1 1 1\n[TIMES]\n Pattern Start nan\n");
    cli::FireflowOptions options;
    options.inp = "bad.inp";
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_EQ(err_.str(),
              "Could not open INP file - OpenFile\n"
              "  Error 202: illegal numeric value inf in [JUNCTIONS] section:\n"
              "   J1 inf\n"
              "  Error 202: illegal numeric value \\x1b[2J in [JUNCTIONS] section:\n"
              "   J2 10 \\x1b[2J\n"
              "  Error 213: invalid option value Start in [TIMES] section:\n"
              "   Pattern Start nan\n"
              "  Error 200: one or more errors in input file\n");
}

TEST_F(BadInputTest, ManyUnknownConstraintIdsAreCountedNotAllListed) {
    std::string no_check;
    for (int i = 0; i < 80000; ++i) no_check += "\"X" + std::to_string(i) + "\"\r\n";
    WriteNoCheck(no_check);
    WriteMinPressures("\"\x1b]0;owned\x07\",5\r\n");
    RecordingObserver observer;
    ASSERT_EQ(RunFireFlow(Inputs(CopyNetwork("line.inp")), observer).status, RunStatus::Completed);
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
    RunInputs inputs = Inputs(dir() / "backwards.inp");
    inputs.page = AnalysisPage::ExtendedPeriod;
    for (const auto option : {ExtendedPeriodOption::FindDuration, ExtendedPeriodOption::FindFlow}) {
        inputs.option = option;
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
    const RunResult result = RunFireFlow(Inputs(CopyNetwork("line.inp")), observer);
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_EQ(result.message, messages::kOutOfMemory);
}

// A stream whose every write fails, like standard output on a full disk.
class FullDisk : public std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

TEST_F(BadInputTest, OutputThatCannotBeWrittenIsAFailure) {
    FullDisk full;
    std::ostream out(&full);
    cli::FireflowOptions options;
    options.inp = CopyNetwork("line.inp").string();
    EXPECT_EQ(cli::RunFireflow(options, out, err_, false), 1);
    EXPECT_NE(err_.str().find("the standard output cannot be written"), std::string::npos);
}

}  // namespace
}  // namespace hydrosk::analysis::testing
