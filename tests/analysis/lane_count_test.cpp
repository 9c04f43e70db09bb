// The results file and the messages of a steady-state run do not depend on how many trials are
// solved side by side: one at a time (--lanes 1), 4 lanes (AVX2) and 8 (AVX-512, where the
// processor has it), on the shared networks of duration 0 and on steady copies of others with
// pumps, tanks, valves and controls, for the linear and the bisection search.
#include <gtest/gtest.h>

#include "analysis_test_support.h"
#include "toolkit/hydraulics/lane_solver.h"

namespace hydrosk::analysis::testing {
namespace {

struct LaneCase {
    const char* name;
    const char* network;  // a shared network
    bool steady_copy;     // the copy's duration set to 0
    const char* no_check;
    const char* min_pressure;
    const char* max_flow;
    const char* flow_interval;
    SearchMethod search = SearchMethod::Linear;
};

void PrintTo(const LaneCase& c, std::ostream* os) {
    *os << c.name;
}

// ky10's junctions at the pumps' suction and delivery, below 20 psi with no fire flow at all.
constexpr const char* kKy10Low =
    "\"I-Pump-1\"\r\n\"I-Pump-2\"\r\n\"I-Pump-3\"\r\n\"O-Pump-1\"\r\n"
    "\"I-Pump-4\"\r\n";

class LaneCountTest : public RunTest, public ::testing::WithParamInterface<LaneCase> {
protected:
    std::filesystem::path Network(const LaneCase& c) {
        return CopyInp(
            std::filesystem::path(HYDROSK_SHARED_NETWORKS) / (std::string(c.network) + ".inp"),
            c.steady_copy);
    }

    RunOutcome Run(const LaneCase& c, const std::filesystem::path& inp, int lanes) {
        RunSettings inputs = Settings(inp);
        inputs.mode = ModeFromTexts(RunMode::Steady, c.max_flow, c.flow_interval, "", "", c.search);
        inputs.minimal_pressure = Number(c.min_pressure);
        inputs.parallelism.lanes = lanes;
        return RunAndRead(inputs);
    }
};

TEST_P(LaneCountTest, SameResultsFileAndMessagesForEveryLaneCount) {
    const LaneCase& c = GetParam();
    const auto source =
        std::filesystem::path(HYDROSK_SHARED_NETWORKS) / (std::string(c.network) + ".inp");
    ASSERT_TRUE(std::filesystem::exists(source)) << source;
    const auto inp = Network(c);
    if (*c.no_check != '\0') WriteNoCheck(c.no_check);
    const RunOutcome one_at_a_time = Run(c, inp, 1);
    ASSERT_EQ(one_at_a_time.status, RunStatus::Completed);
    ASSERT_GT(one_at_a_time.results.size(), 0U);
    // Every dispatch path of this processor: 4 lanes on AVX2, 8 on AVX-512, and its default.
    for (const int lanes : {4, 8, 0}) {
        const RunOutcome side_by_side = Run(c, inp, lanes);
        EXPECT_EQ(side_by_side.status, one_at_a_time.status) << lanes << " lanes";
        EXPECT_EQ(side_by_side.messages, one_at_a_time.messages) << lanes << " lanes";
        EXPECT_EQ(side_by_side.results, one_at_a_time.results) << lanes << " lanes";
    }
}

constexpr auto kBisection = SearchMethod::Bisection;

INSTANTIATE_TEST_SUITE_P(
    Runs, LaneCountTest,
    ::testing::Values(
        LaneCase{"Ky10Linear", "ky10", false, kKy10Low, "20", "1500", "150"},
        LaneCase{"Ky10Bisection", "ky10", false, kKy10Low, "20", "1500", "30", kBisection},
        LaneCase{"Ky10EveryJunctionTested", "ky10", false, "", "20", "1500", "100"},
        LaneCase{"AwumahLinear", "Awumah_layout1", false, "", "-5", "1000", "20"},
        LaneCase{"AwumahBisection", "Awumah_layout1", false, "", "-5", "100000", "100", kBisection},
        LaneCase{"CcwiLinear", "CCWI17-HermanMahmoud", false, "", "-5", "100000", "2000"},
        LaneCase{"TodiniLinear", "Todini_Fig2_solA_CMH", false, "", "30", "1000", "10"},
        LaneCase{"TodiniBisection", "Todini_Fig2_solA_CMH", false, "", "10", "1000", "1",
                 kBisection},
        LaneCase{"Net1Linear", "Net1", true, "", "20", "3000", "50"},
        LaneCase{"Net3Bisection", "Net3", true, "", "20", "3000", "10", kBisection},
        // Flows no network carries: trials that fail to solve (error 110), told in a notice.
        LaneCase{"Net3UnsolvedLinear", "Net3", true, "", "-1e30", "1e20", "2e19"},
        LaneCase{"Net3UnsolvedBisection", "Net3", true, "", "-1e30", "1e20", "1e18", kBisection},
        LaneCase{"AnytownLinear", "Anytown", true, "", "-1e30", "5000", "500"},
        LaneCase{"PrvLinear", "prv_open_no_upstream_sources", true, "", "0", "1000", "25"},
        LaneCase{"PsvLinear", "psv_open_no_downstream_sources", true, "", "0", "1000", "25"},
        LaneCase{"FcvLinear", "fcv_open_no_downstream_sources", true, "", "0", "1000", "25"},
        LaneCase{"TankControlsLinear", "tank_controls_1", true, "", "0", "1000", "25"},
        LaneCase{"ControlCombLinear", "control_comb", true, "", "0", "1000", "25"}),
    [](const ::testing::TestParamInfo<LaneCase>& info) { return std::string(info.param.name); });

TEST(LaneCount, ThisProcessorRunsTrialsInLanesWhereItHasAvx2) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        EXPECT_GE(toolkit::widest_trial_lanes(), 4);
    }
#endif
}

}  // namespace
}  // namespace hydrosk::analysis::testing
