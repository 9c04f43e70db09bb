// Every mode on networks whose solves fail or do not converge: the trials are counted per
// junction and told in one notice after the run; no available row is certified and no design
// row passes on them; a failed solve ends an extended-period run, as those searches always end
// it; "Unbalanced STOP" ends an extended-period simulation at its first step that does not
// converge, as EPANET ends it.
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

// J2 and J3 are joined to each other only: no solve of the network can succeed.
const char* const kIsland =
    "[JUNCTIONS]\n J1 0 0\n J2 0 10\n J3 0 10\n[RESERVOIRS]\n R 100\n"
    "[PIPES]\n P1 R J1 1000 8 100\n P2 J2 J3 1000 8 100\n";
const char* const kIslandFailed =
    "(error 110: cannot solve network hydraulic equations) of "
    "junctions J1, J2, J3.";
const char* const kUnbalanced =
    "(warning 1: System hydraulically unbalanced.) of junctions J1, "
    "J2, J3.";
const char* const kHalted =
    "The INP file says \"Unbalanced STOP\": each of these simulations "
    "ended at its first step that did not converge.";

class UnsolvedTrialsTest : public RunTest {
protected:
    ProgramResult Run(const std::filesystem::path& inp, const std::string& mode,
                      const std::string& threads = "1") {
        return RunProgram("fireflow '" + inp.string() + "' --mode " + mode +
                          " --min-pressure 0 --max-flow 500 --flow-interval 100"
                          " --required-flow 100 --required-time 1 --threads " +
                          threads);
    }

    // The notice of `trials` trials ending in `what`, on standard error of a completed run.
    void ExpectNotice(const ProgramResult& result, const std::string& mode, int trials,
                      const std::string& what) {
        EXPECT_EQ(result.status, 0) << mode << ": " << result.errors;
        const std::string notice = "could not be solved in " + std::to_string(trials) +
                                   (trials == 1 ? " trial " : " trials ") + what;
        EXPECT_NE(result.errors.find(notice), std::string::npos) << mode << ": " << notice << "\n"
                                                                 << result.errors;
    }

    // Available and design: every row must say "Unsolved" where it would pass or be certified.
    void ExpectNoRowRestsOnAnUnsolvedTrial(const std::filesystem::path& inp,
                                           const std::string& notice) {
        for (const char* mode : {"available", "design"}) {
            const auto result = Run(inp, mode);
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

    std::filesystem::path Write(const std::string& name, const std::string& text) {
        WriteBytes(dir() / name, text);
        return dir() / name;
    }
};

TEST_F(UnsolvedTrialsTest, AnIslandWithoutASourceIsNeverCertified) {
    const auto island = Write("island.inp", std::string(kIsland) + "[END]\n");
    ExpectNoRowRestsOnAnUnsolvedTrial(island, kIslandFailed);
    // The steady search tests the pressures every failed solve left: 6 trials per junction.
    ExpectNotice(Run(island, "steady"), "steady", 18, kIslandFailed);
    EXPECT_EQ(Lines(island.string() + ".TXT").size(), 4U);
}

// Fire groups' trials are told by the groups' names, and no group's row rests on them.
TEST_F(UnsolvedTrialsTest, UnsolvedGroupsAreNamedByTheirNames) {
    const auto island = Write("island.inp", std::string(kIsland) + "[END]\n");
    const auto groups = Write("groups.txt", "\"Pair\",\"J1\",\"J2\"\r\n\"Three\",\"J3\"\r\n");
    for (const char* mode : {"available", "design"}) {
        const auto result = RunProgram("fireflow '" + island.string() + "' --mode " + mode +
                                       " --min-pressure 0 --fire-groups '" + groups.string() + "'");
        EXPECT_EQ(result.status, 0) << mode << ": " << result.errors;
        EXPECT_NE(
            result.errors.find(
                "(error 110: cannot solve network hydraulic equations) of groups Pair, Three."),
            std::string::npos)
            << mode << ": " << result.errors;
        const auto lines = Lines(island.string() + ".TXT");
        ASSERT_EQ(lines.size(), 3U) << mode;
        EXPECT_TRUE(lines[1].starts_with("\"Pair\",") && lines[1].ends_with(",\"Unsolved\""))
            << lines[1];
        EXPECT_TRUE(lines[2].ends_with(",\"Unsolved\"")) << lines[2];
    }
}

TEST_F(UnsolvedTrialsTest, AnIslandEndsAnExtendedPeriodRunAtItsFirstJunction) {
    const auto island =
        Write("island.inp", std::string(kIsland) + "[TIMES]\n Duration 1:00\n[END]\n");
    for (const char* mode : {"duration", "flow"}) {
        const auto result = Run(island, mode);
        EXPECT_EQ(result.status, 1) << mode << ": " << result.errors;
        EXPECT_NE(result.errors.find("The hydraulic toolkit failed with error 110 (cannot solve "
                                     "network hydraulic equations) while checking junction J1"),
                  std::string::npos)
            << mode << ": " << result.errors;
        EXPECT_EQ(Lines(island.string() + ".TXT").size(), 1U) << mode;  // the header alone
    }
}

TEST_F(UnsolvedTrialsTest, UnbalancedStopEndsTheTrialWithItsWarning) {
    std::string text = ReadBytes(DataFile("unbalanced_stop.inp"));
    const auto steady = Write("line.inp", WithZeroDuration(text));
    ExpectNoRowRestsOnAnUnsolvedTrial(steady, kUnbalanced);
    ExpectNotice(Run(steady, "steady"), "steady", 18, kUnbalanced);

    const auto eps = CopyNetwork("unbalanced_stop.inp");
    for (const std::string threads : {"1", "3"}) {
        // One trial per junction, which ends at t = 0: the pressures there held.
        auto result = Run(eps, "duration", threads);
        ExpectNotice(result, "duration", 3, kUnbalanced);
        EXPECT_NE(result.errors.find(kHalted), std::string::npos) << result.errors;
        EXPECT_EQ(Lines(eps.string() + ".TXT"),
                  (std::vector<std::string>{R"~("Check_Node","Flow","Duration (hours)")~",
                                            R"("J1",100,"End of simulation was reached")",
                                            R"("J2",100,"End of simulation was reached")",
                                            R"("J3",100,"End of simulation was reached")"}));
        // Six trials per junction (0 to 500 in steps of 100), each counted once.
        result = Run(eps, "flow", threads);
        ExpectNotice(result, "flow", 18, kUnbalanced);
        EXPECT_NE(result.errors.find(kHalted), std::string::npos) << result.errors;
        EXPECT_EQ(Lines(eps.string() + ".TXT").size(), 4U);
    }
}

TEST_F(UnsolvedTrialsTest, UnbalancedContinueCountsEachTrialOnceAndSimulatesOn) {
    std::string text = ReadBytes(DataFile("unbalanced_stop.inp"));
    text.replace(text.find("Unbalanced  STOP"), 16, "Unbalanced  CONTINUE");
    const auto eps = Write("continue.inp", text);
    // Both steps (0 and 1 h) of each trial do not converge; each trial counts once.
    const auto result = Run(eps, "duration");
    ExpectNotice(result, "duration", 3, kUnbalanced);
    EXPECT_EQ(result.errors.find("Unbalanced STOP"), std::string::npos) << result.errors;
}

}  // namespace
}  // namespace hydrosk::analysis::testing
