// `hydrosk-cli fireflow` under bad input and faults: scratch files only when asked, INP files
// with input errors, output that cannot be written.
#include <gtest/gtest.h>

#include <iterator>
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

TEST_F(BadInputTest, TheCommandLineWritesScratchFilesOnlyWhenAsked) {
    WriteBytes(dir() / "rep.dat", ReadBytes(DataFile("falling_head.inp")));
    cli::FireflowOptions options;
    options.inp = "./rep.dat";
    options.min_pressure = 30;
    for (const RunMode mode : {RunMode::Duration, RunMode::Flow}) {
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
              "bad.inp: Could not open INP file - OpenFile\n"
              "  Error 202: illegal numeric value inf in [JUNCTIONS] section:\n"
              "   J1 inf\n"
              "  Error 202: illegal numeric value \\x1b[2J in [JUNCTIONS] section:\n"
              "   J2 10 \\x1b[2J\n"
              "  Error 213: invalid option value Start in [TIMES] section:\n"
              "   Pattern Start nan\n"
              "  Error 200: one or more errors in input file\n");
}

TEST_F(BadInputTest, AByteOrderMarkOrCrOnlyLineEndsAreNamedInTheMessage) {
    const std::string inp = ReadBytes(DataFile("falling_head.inp"));
    cli::FireflowOptions options;
    options.inp = "marked.inp";
    WriteBytes(dir() / "marked.inp", "\xEF\xBB\xBF" + inp);
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_NE(err_.str().find("Hint: the file starts with a UTF-8 byte-order mark"),
              std::string::npos)
        << err_.str();
    std::string cr_only = inp;
    std::erase(cr_only, '\r');
    for (char& c : cr_only) c = c == '\n' ? '\r' : c;
    WriteBytes(dir() / "marked.inp", cr_only);
    EXPECT_EQ(RunCommand(options), 1);
    EXPECT_NE(err_.str().find("Hint: the lines of the file end in CR alone"), std::string::npos)
        << err_.str();
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
