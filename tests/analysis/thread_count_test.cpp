// The results file and the messages of a run do not depend on the number of worker threads:
// every mode and search, with constraint files, with the steady search's carried demands over
// many junctions, and with a toolkit failure at a junction in the middle.
#include <gtest/gtest.h>

#include "analysis_test_support.h"

namespace hydrosk::analysis::testing {
namespace {

struct ThreadCase {
    const char* name;
    const char* network;  // "town" (examples/town.inp) or a shared network
    RunMode mode;
    bool steady_copy;  // the copy's duration set to 0
    bool constraints;
    const char* min_pressure;
    const char* max_flow;
    const char* flow_interval;
    const char* required_flow;
    const char* required_time;
    SearchMethod search = SearchMethod::Linear;
};

void PrintTo(const ThreadCase& c, std::ostream* os) {
    *os << c.name;
}

class ThreadCountTest : public RunTest, public ::testing::WithParamInterface<ThreadCase> {
protected:
    std::filesystem::path Network(const ThreadCase& c) {
        const std::filesystem::path source =
            std::string(c.network) == "town" ? std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp"
                                             : std::filesystem::path(HYDROSK_SHARED_NETWORKS) /
                                                   (std::string(c.network) + ".inp");
        if (!std::filesystem::exists(source)) return {};
        return CopyInp(source, c.steady_copy);
    }

    RunOutcome Run(const ThreadCase& c, const std::filesystem::path& inp, int threads) {
        RunSettings inputs = Settings(inp);
        inputs.mode = ModeFromTexts(c.mode, c.max_flow, c.flow_interval, c.required_flow,
                                    c.required_time, c.search);
        inputs.minimal_pressure = Number(c.min_pressure);
        inputs.parallelism.threads = threads;
        return RunAndRead(inputs);
    }
};

TEST_P(ThreadCountTest, SameResultsFileAndMessagesForEveryThreadCount) {
    const ThreadCase& c = GetParam();
    const auto inp = Network(c);
    if (inp.empty()) GTEST_SKIP() << c.network << " is absent";
    if (c.constraints) {
        WriteNoCheck("\"J1\"\r\n");
        WriteMinPressures("\"J23\",35\r\n\"J5\",30\r\n");
    }
    const RunOutcome sequential = Run(c, inp, 1);
    ASSERT_GT(sequential.results.size(), 0U);
    for (const int threads : {2, 3, 8}) {
        const RunOutcome parallel = Run(c, inp, threads);
        EXPECT_EQ(parallel.status, sequential.status) << threads << " threads";
        EXPECT_EQ(parallel.messages, sequential.messages) << threads << " threads";
        EXPECT_EQ(parallel.results, sequential.results) << threads << " threads";
    }
}

constexpr auto kSteady = RunMode::Steady;
constexpr auto kDuration = RunMode::Duration;
constexpr auto kFlow = RunMode::Flow;

INSTANTIATE_TEST_SUITE_P(
    Runs, ThreadCountTest,
    ::testing::Values(
        ThreadCase{"TownSteady", "town", kSteady, true, false, "20", "5000", "50", "", ""},
        ThreadCase{"TownSteadyWithConstraints", "town", kSteady, true, true, "20", "5000", "50", "",
                   ""},
        ThreadCase{"TownDurationWithConstraints", "town", kDuration, false, true, "20", "1000",
                   "10", "1500", ""},
        ThreadCase{"TownFlowWithConstraints", "town", kFlow, false, true, "20", "3000", "100", "",
                   "2"},
        // 920 junctions, each solved with the demands that the ones before it set back.
        ThreadCase{"Ky10Steady", "ky10", kSteady, false, false, "20", "1500", "250", "", ""},
        // Bisection solves other trials than the linear search, yet every junction gets the
        // demands that the ones before it set back.
        ThreadCase{"Ky10SteadyBisection", "ky10", kSteady, false, false, "20", "1500", "100", "",
                   "", SearchMethod::Bisection},
        ThreadCase{"TownFlowBisection", "town", kFlow, false, true, "20", "3000", "100", "", "2",
                   SearchMethod::Bisection},
        ThreadCase{"TownAvailableWithConstraints", "town", RunMode::Available, true, true, "20",
                   "5000", "10", "", ""},
        ThreadCase{"TownDesignWithConstraints", "town", RunMode::Design, true, true, "20", "5000",
                   "10", "2500", ""},
        // A flow no network can carry: the hydraulics fail (110) at the 62nd junction.
        ThreadCase{"Net3DurationToolkitFailure", "Net3", kDuration, false, false, "-1e30", "1000",
                   "10", "1e20", ""}),
    [](const ::testing::TestParamInfo<ThreadCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hydrosk::analysis::testing
