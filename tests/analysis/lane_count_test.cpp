// The results file and the messages of a run do not depend on how many trials are solved side
// by side: one at a time (--lanes 1), 4 lanes (AVX2) and 8 (AVX-512, where the processor has
// it), on the shared networks of duration 0 and on steady copies of others with pumps, tanks,
// valves and controls, for the steady-state search (linear and bisection), the design check and
// the available-flow search, at later time steps too.
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

// The design check fills the lanes with the trials of consecutive junctions, on networks of
// duration 0 and at the first step of those of their own duration, with a velocity limit too.
struct DesignLaneCase {
    const char* name;
    const char* network;
    bool steady_copy;
    const char* min_pressure;
    const char* required_flow;
    int threads = 1;
    bool own_flows = false;  // the study's required flows, every other junction its own
    bool velocity = false;   // a velocity limit
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

// Studies whose trial is one steady solve at a time step of the simulation: a demand time
// after the start (from the state the steps before the fire leave), the fire flow added to the
// junction's own demand, a velocity limit, and their combinations, in the available-flow
// search (the junctions' searches side by side) and the design check.
struct StudyLaneCase {
    const char* name;
    const char* network;
    const char* no_check;
    RunMode mode;  // Available or Design
    const char* min_pressure;
    const char* flow;  // the maximal flow, or the required flow
    double demand_time = 0;
    bool added = false;
    const char* max_velocity = "";  // none when empty
    int threads = 1;
    double group_distance = 0;  // above 0: fire groups of 3 from the map within this distance
};

void PrintTo(const StudyLaneCase& c, std::ostream* os) {
    *os << c.name;
}

class StudyLaneCountTest : public RunTest, public ::testing::WithParamInterface<StudyLaneCase> {
protected:
    RunOutcome Run(const StudyLaneCase& c, const std::filesystem::path& inp, int lanes) {
        RunSettings inputs = Settings(inp);
        StudyOptions study;
        study.fire.demand_time = c.demand_time;
        if (c.added) study.fire.fire_demand = FireDemand::Add;
        if (*c.max_velocity != '\0') study.fire.max_velocity = Number(c.max_velocity);
        if (c.mode == RunMode::Available) {
            inputs.mode = AvailableFlowRun{Number(c.flow), std::nullopt, study};
        } else {
            inputs.mode = DesignFlowRun{Number(c.flow), study};
        }
        inputs.minimal_pressure = Number(c.min_pressure);
        inputs.parallelism.lanes = lanes;
        inputs.parallelism.threads = c.threads;
        if (c.group_distance > 0) {
            inputs.fire_groups = NearGroups{.distance = c.group_distance, .size = 3};
        }
        return RunAndRead(inputs);
    }
};

TEST_P(StudyLaneCountTest, SameResultsFileAndMessagesForEveryLaneCount) {
    const StudyLaneCase& c = GetParam();
    const auto inp = SharedCopy(c.network, false, c.no_check);
    ExpectSameForEveryLaneCount([&](int lanes) { return Run(c, inp, lanes); });
}

constexpr auto kAvailable = RunMode::Available;
constexpr auto kDesign = RunMode::Design;
// Net3's junctions below 20 psi without any fire flow at the start or at these hours.
constexpr const char* kNet3Low = "\"10\"\r\n\"20\"\r\n\"40\"\r\n\"50\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, StudyLaneCountTest,
    ::testing::Values(
        StudyLaneCase{"Net3AvailableAtHour6", "Net3", kNet3Low, kAvailable, "20", "10000", 6},
        StudyLaneCase{"Net3AvailableAddedVelocityAtHour13", "Net3", kNet3Low, kAvailable, "20",
                      "10000", 13, true, "8", 2},
        StudyLaneCase{"Net3DesignAddedAtHour6", "Net3", kNet3Low, kDesign, "20", "3000", 6, true},
        StudyLaneCase{"Net3DesignVelocityAtHour9", "Net3", kNet3Low, kDesign, "20", "3000", 9,
                      false, "12", 2},
        StudyLaneCase{"Net1AvailableVelocityAtHour5", "Net1", "", kAvailable, "20", "3000", 5,
                      false, "5"},
        StudyLaneCase{"Net1AvailableAdded", "Net1", "", kAvailable, "20", "3000", 0, true},
        StudyLaneCase{"Net1DesignAddedVelocityAtHour7", "Net1", "", kDesign, "20", "1500", 7, true,
                      "5"},
        StudyLaneCase{"TankControlsAvailableAddedAtHour3", "tank_controls_1", "", kAvailable, "0",
                      "1000", 3, true},
        StudyLaneCase{"Ky10DesignAddedVelocity", "ky10", kKy10Low, kDesign, "20", "1000", 0, true,
                      "6"},
        // Fire groups: each member of a group draws the flow / members.
        // Groups of one (the steady search's rows) among groups of two and three.
        StudyLaneCase{"Net3GroupsAvailable", "Net3", kNet3Low, kAvailable, "20", "10000", 0, false,
                      "", 1, 1.5},
        StudyLaneCase{"Net3GroupsAvailableAddedVelocityAtHour6", "Net3", kNet3Low, kAvailable, "20",
                      "10000", 6, true, "12", 2, 15},
        StudyLaneCase{"Net3GroupsDesignAtHour9", "Net3", kNet3Low, kDesign, "20", "3000", 9, false,
                      "", 1, 15},
        StudyLaneCase{"Ky10GroupsDesignAdded", "ky10", kKy10Low, kDesign, "20", "1500", 0, true, "",
                      1, 400},
        // A flow no network carries: every trial fails to solve (error 110), told in a notice.
        StudyLaneCase{"Net3DesignUnsolvedAtHour6", "Net3", "", kDesign, "-1e30", "1e20", 6}),
    [](const ::testing::TestParamInfo<StudyLaneCase>& info) {
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
