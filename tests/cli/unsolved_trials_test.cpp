// Available and design modes on networks whose solves fail or do not converge: no row passes or
// is certified on them, and one notice after the run says how many trials and where.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>

#include "analysis_test_support.h"

namespace hydrosk::analysis::testing {
namespace {

struct ProgramResult {
    int status = -1;
    std::string errors;  // standard error
};

ProgramResult RunProgram(const std::string& arguments) {
    ProgramResult result;
    const std::string command =
        "'" + std::string(HYDROSK_CLI) + "' " + arguments + " 2>&1 >/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
        result.errors.append(buffer.data(), read);
    }
    const int status = pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class UnsolvedTrialsTest : public RunTest {
protected:
    // Runs both modes; every row must say "Unsolved" where it would pass or be certified.
    void ExpectNoRowRestsOnAnUnsolvedTrial(const std::filesystem::path& inp,
                                           const std::string& notice) {
        for (const char* mode : {"available", "design"}) {
            const auto result = RunProgram("fireflow '" + inp.string() + "' --mode " + mode +
                                           " --min-pressure 0 --max-flow 500 --required-flow 100");
            EXPECT_EQ(result.status, 0) << mode << ": " << result.errors;
            EXPECT_NE(result.errors.find(notice), std::string::npos)
                << mode << ": " << result.errors;
            const auto lines = Lines(inp.string() + ".TXT");
            ASSERT_EQ(lines.size(), 4U) << mode;
            for (std::size_t i = 1; i < lines.size(); ++i) {
                EXPECT_TRUE(lines[i].ends_with(",\"Unsolved\"")) << mode << ": " << lines[i];
            }
        }
    }
};

TEST_F(UnsolvedTrialsTest, AnIslandWithoutASourceIsNeverCertified) {
    // J2 and J3 are joined to each other only: no solve of the network can succeed.
    WriteBytes(dir() / "island.inp",
               "[JUNCTIONS]\n J1 0 0\n J2 0 10\n J3 0 10\n[RESERVOIRS]\n R 100\n"
               "[PIPES]\n P1 R J1 1000 8 100\n P2 J2 J3 1000 8 100\n[END]\n");
    ExpectNoRowRestsOnAnUnsolvedTrial(dir() / "island.inp",
                                      "(error 110: cannot solve network hydraulic equations) of "
                                      "junctions J1, J2, J3.");
}

TEST_F(UnsolvedTrialsTest, UnbalancedStopEndsTheTrialWithItsWarning) {
    std::string text = ReadBytes(DataFile("line.inp"));
    text.replace(text.find("[END]"), 5, "[OPTIONS]\n Trials 1\n Unbalanced STOP\n[END]");
    WriteBytes(dir() / "line.inp", text);
    ExpectNoRowRestsOnAnUnsolvedTrial(
        dir() / "line.inp",
        "(warning 1: System hydraulically unbalanced.) of junctions J1, J2, J3.");
}

}  // namespace
}  // namespace hydrosk::analysis::testing
