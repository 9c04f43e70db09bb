// The results file and the messages of a steady-state run do not depend on how many trials are
// solved side by side: one at a time (--lanes 1), 4 lanes (AVX2) and 8 (AVX-512, where the
// processor has it), on the shared networks of duration 0 and on steady copies of others with
// pumps, tanks, valves and controls, for the linear and the bisection search.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

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

// Runs one at a time, then on every dispatch path of this processor (4 lanes on AVX2, 8 on
// AVX-512, and its default), and expects the same status, messages and results file each time.
template <typename RunWithLanes>
void ExpectSameForEveryLaneCount(const RunWithLanes& run) {
    const auto one_at_a_time = run(1);
    ASSERT_EQ(one_at_a_time.status, RunStatus::Completed);
    ASSERT_GT(one_at_a_time.results.size(), 0U);
    for (const int lanes : {4, 8, 0}) {
        const auto side_by_side = run(lanes);
        EXPECT_EQ(side_by_side.status, one_at_a_time.status) << lanes << " lanes";
        EXPECT_EQ(side_by_side.messages, one_at_a_time.messages) << lanes << " lanes";
        EXPECT_EQ(side_by_side.results, one_at_a_time.results) << lanes << " lanes";
    }
}

class LaneCountTest : public RunTest, public ::testing::WithParamInterface<LaneCase> {
protected:
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
    const auto inp = SharedCopy(c.network, c.steady_copy, c.no_check);
    ExpectSameForEveryLaneCount([&](int lanes) { return Run(c, inp, lanes); });
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

// The design check fills the lanes with the trials of consecutive junctions. A network whose
// duration is not 0 and a velocity limit keep its trials one at a time, with the same files.
struct DesignLaneCase {
    const char* name;
    const char* network;
    bool steady_copy;
    const char* min_pressure;
    const char* required_flow;
    int threads = 1;
    bool own_flows = false;  // the study's required flows, every other junction its own
    bool velocity = false;   // a velocity limit (one at a time)
};

void PrintTo(const DesignLaneCase& c, std::ostream* os) {
    *os << c.name;
}

class DesignLaneCountTest : public RunTest, public ::testing::WithParamInterface<DesignLaneCase> {
protected:
    RunOutcome Run(const DesignLaneCase& c, const std::filesystem::path& inp, int lanes) {
        RunSettings inputs = Settings(inp);
        StudyOptions study;
        if (c.own_flows) {
            // A few junctions by the catalogue's first IDs of the results of a first run.
            study.required_flows = own_flows_;
        }
        if (c.velocity) study.fire.max_velocity = 5.0F;
        inputs.mode = DesignFlowRun{Number(c.required_flow), study};
        inputs.minimal_pressure = Number(c.min_pressure);
        inputs.parallelism.lanes = lanes;
        inputs.parallelism.threads = c.threads;
        return RunAndRead(inputs);
    }
    std::vector<files::JunctionPressure> own_flows_;
};

TEST_P(DesignLaneCountTest, SameResultsFileAndMessagesForEveryLaneCount) {
    const DesignLaneCase& c = GetParam();
    const auto inp = SharedCopy(c.network, c.steady_copy, "");
    if (c.own_flows) {
        // Every third junction of a first run's rows gets a flow of its own.
        const RunOutcome first =
            Run(DesignLaneCase{c.name, c.network, c.steady_copy, c.min_pressure, c.required_flow},
                inp, 1);
        std::istringstream rows(first.results);
        std::string row;
        std::getline(rows, row);  // the header
        for (int i = 0; std::getline(rows, row); ++i) {
            if (i % 3 != 0) continue;
            std::string id = row.substr(0, row.find(','));
            if (id.size() > 1 && id.front() == '"') id = id.substr(1, id.size() - 2);
            own_flows_.push_back({id, static_cast<float>(i * 37 % 900)});
        }
        ASSERT_FALSE(own_flows_.empty());
    }
    ExpectSameForEveryLaneCount([&](int lanes) { return Run(c, inp, lanes); });
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DesignLaneCountTest,
    ::testing::Values(
        DesignLaneCase{"Ky10", "ky10", false, "20", "1000"},
        DesignLaneCase{"Ky10TwoThreads", "ky10", false, "20", "1000", 2},
        DesignLaneCase{"Ky10OwnFlows", "ky10", false, "20", "1000", 1, true},
        DesignLaneCase{"Ky10Velocity", "ky10", false, "20", "1000", 1, false, true},
        DesignLaneCase{"Awumah", "Awumah_layout1", false, "-5", "500"},
        DesignLaneCase{"Ccwi", "CCWI17-HermanMahmoud", false, "-5", "20000"},
        DesignLaneCase{"Todini", "Todini_Fig2_solA_CMH", false, "30", "100"},
        DesignLaneCase{"Net1", "Net1", true, "20", "1500"},
        DesignLaneCase{"Net1OwnDuration", "Net1", false, "20", "1500"},
        // A flow no network carries: every trial fails to solve (error 110), told in a notice.
        DesignLaneCase{"Net3Unsolved", "Net3", true, "-1e30", "1e20"},
        DesignLaneCase{"Net3", "Net3", true, "20", "1000", 2},
        DesignLaneCase{"Anytown", "Anytown", true, "20", "2000"},
        DesignLaneCase{"Prv", "prv_open_no_upstream_sources", true, "0", "500"},
        DesignLaneCase{"Psv", "psv_open_no_downstream_sources", true, "0", "500"},
        DesignLaneCase{"Fcv", "fcv_open_no_downstream_sources", true, "0", "500"},
        DesignLaneCase{"TankControls", "tank_controls_1", true, "0", "500"},
        DesignLaneCase{"ControlComb", "control_comb", true, "0", "500"}),
    [](const ::testing::TestParamInfo<DesignLaneCase>& info) {
        return std::string(info.param.name);
    });

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
