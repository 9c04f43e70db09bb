// Steady trials side by side against the same trials one at a time with solve_h: the same
// codes, iterations and pressures to the last bit, on the shared networks (those with a
// duration made steady), on every lane width this processor runs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "toolkit/codes.h"
#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/project.h"

namespace hydrosk::toolkit {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code = 0;
    int iterations = 0;
    std::vector<double> pressure;  // by node index - 1
};

std::shared_ptr<const Network> SteadyNetwork(const std::string& name) {
    Project reader;
    const fs::path path = fs::path(HYDROSK_SHARED_NETWORKS) / name;
    if (reader.open(path.string(), "", "") != 0) return nullptr;
    auto network = std::make_shared<Network>(*reader.parsed_network());
    network->times.duration = 0;
    return network;
}

std::vector<TrialDemand> Trials(int junctions) {
    std::vector<TrialDemand> trials;
    const int step = std::max(1, junctions / 12);
    for (int j = 1; j <= junctions; j += step) {
        for (const double flow : {0.0, 10.0, 75.5, 250.0, 800.0, 1500.0, 4000.0}) {
            trials.push_back({j, flow});
        }
    }
    return trials;
}

std::vector<Outcome> OneAtATime(std::shared_ptr<const Network> network,
                                const std::vector<TrialDemand>& trials, int nodes) {
    Project project;
    EXPECT_EQ(project.open(std::move(network)), 0);
    std::vector<Outcome> outcomes;
    for (const TrialDemand& trial : trials) {
        EXPECT_EQ(project.set_node_value(trial.index, EN_PATTERN, 0.0), 0);
        EXPECT_EQ(project.set_node_value(trial.index, EN_BASEDEMAND, trial.base_demand), 0);
        Outcome outcome;
        outcome.code = project.solve_h();
        double iterations = 0;
        EXPECT_EQ(project.get_statistic(EN_ITERATIONS, iterations), 0);
        outcome.iterations = static_cast<int>(iterations);
        for (int i = 1; i <= nodes; ++i) {
            double p = 0;
            EXPECT_EQ(project.get_node_value(i, EN_PRESSURE, p), 0);
            outcome.pressure.push_back(p);
        }
        EXPECT_EQ(project.restore_node_demands(trial.index), 0);
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

std::vector<Outcome> SideBySide(std::shared_ptr<const Network> network,
                                const std::vector<TrialDemand>& trials, int nodes, int lanes) {
    Project project;
    EXPECT_EQ(project.open(std::move(network)), 0);
    std::vector<Outcome> outcomes(trials.size());
    std::size_t next = 0;
    const int code = project.solve_trials(
        lanes,
        [&]() -> std::optional<TrialDemand> {
            if (next == trials.size()) return std::nullopt;
            return trials[next++];
        },
        [&](std::size_t ticket, const SolvedTrial& solved) {
            Outcome& outcome = outcomes.at(ticket);
            outcome.code = solved.code();
            outcome.iterations = solved.iterations();
            for (int i = 1; i <= nodes; ++i) {
                double p = 0;
                EXPECT_EQ(solved.get_node_pressure(i, p), 0);
                outcome.pressure.push_back(p);
            }
        });
    EXPECT_EQ(code, 0);
    return outcomes;
}

class LaneSolverTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LaneSolverTest, EveryLaneWidthGivesTheScalarSolveToTheLastBit) {
    const auto network = SteadyNetwork(GetParam());
    ASSERT_NE(network, nullptr) << GetParam();
    const int nodes = static_cast<int>(network->nodes.size());
    const std::vector<TrialDemand> trials = Trials(network->junction_count);
    const std::vector<Outcome> expected = OneAtATime(network, trials, nodes);

    std::vector<int> widths = {1, 4, 8};
    if (widest_trial_lanes() < 4) widths = {1};
    for (const int lanes : widths) {
        const std::vector<Outcome> got = SideBySide(network, trials, nodes, lanes);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t t = 0; t < got.size(); ++t) {
            SCOPED_TRACE(testing::Message()
                         << GetParam() << " lanes " << lanes << " junction " << trials[t].index
                         << " flow " << trials[t].base_demand);
            EXPECT_EQ(got[t].code, expected[t].code);
            EXPECT_EQ(got[t].iterations, expected[t].iterations);
            ASSERT_EQ(got[t].pressure.size(), expected[t].pressure.size());
            EXPECT_EQ(std::memcmp(got[t].pressure.data(), expected[t].pressure.data(),
                                  got[t].pressure.size() * sizeof(double)),
                      0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SharedNetworks, LaneSolverTest,
                         ::testing::Values("ky10.inp", "Awumah_layout1.inp",
                                           "CCWI17-HermanMahmoud.inp", "Todini_Fig2_solA_CMH.inp",
                                           "Net1.inp", "Net2.inp", "Net3.inp", "Net6.inp",
                                           "Anytown.inp", "Anytown_multipointcurves.inp",
                                           "prv_open_no_upstream_sources.inp",
                                           "psv_open_no_downstream_sources.inp",
                                           "fcv_open_no_downstream_sources.inp", "control_comb.inp",
                                           "tank_controls_1.inp", "io.inp"));

// Trials at a later time step of an extended-period simulation, from the state its first steps
// leave: each as run_h solves that step after the junctions' demand change (one, two or three
// junctions), their first base demand replaced or a demand added, with the same pressures and
// link velocities.
struct PointCase {
    const char* network;
    int steps;  // the time steps run before the trials
    bool added;
};

void PrintTo(const PointCase& c, std::ostream* os) {
    *os << c.network << " after " << c.steps << (c.added ? " steps, added" : " steps");
}

struct PointOutcome {
    int code = 0;
    int iterations = 0;
    std::vector<double> values;  // every node's pressure, then every link's velocity
};

// A project opened on `network` with its simulation run for `steps` steps, saved in `saved`.
void RunSteps(Project& project, const PointCase& c, SavedHydraulics& saved) {
    const fs::path path = fs::path(HYDROSK_SHARED_NETWORKS) / c.network;
    ASSERT_EQ(project.open(path.string(), "", ""), 0);
    ASSERT_EQ(project.open_h(), 0);
    ASSERT_EQ(project.init_h(EN_NOSAVE), 0);
    for (int s = 0; s < c.steps; ++s) {
        long time = 0;
        long step = 0;
        ASSERT_LE(project.run_h(time), 6);
        ASSERT_EQ(project.next_h(step), 0);
        ASSERT_GT(step, 0);
    }
    ASSERT_EQ(project.save_hydraulics(saved), 0);
}

void ReadValues(const Project& project, PointOutcome& outcome,
                const std::function<int(int, double&)>& pressure,
                const std::function<int(int, double&)>& velocity) {
    int nodes = 0;
    int links = 0;
    EXPECT_EQ(project.get_count(EN_NODECOUNT, nodes), 0);
    EXPECT_EQ(project.get_count(EN_LINKCOUNT, links), 0);
    for (int i = 1; i <= nodes; ++i) {
        double value = 0;
        EXPECT_EQ(pressure(i, value), 0);
        outcome.values.push_back(value);
    }
    for (int k = 1; k <= links; ++k) {
        double value = 0;
        EXPECT_EQ(velocity(k, value), 0);
        outcome.values.push_back(value);
    }
}

class LaneSolverAtPointTest : public ::testing::TestWithParam<PointCase> {};

TEST_P(LaneSolverAtPointTest, EveryLaneWidthGivesTheStepsSolveToTheLastBit) {
    const PointCase& c = GetParam();
    Project project;
    SavedHydraulics saved;
    RunSteps(project, c, saved);
    int junctions = 0;
    for (int i = 1;; ++i) {
        int type = -1;
        if (project.get_node_type(i, type) != 0 || type != EN_JUNCTION) break;
        junctions = i;
    }
    std::vector<TrialDemand> trials = Trials(junctions);
    // Every third trial has the next junction or two draw the same demand with it.
    std::vector<std::vector<int>> also(trials.size());
    for (std::size_t t = 0; t < trials.size(); ++t) {
        TrialDemand& trial = trials[t];
        trial.added = c.added;
        for (int k = 1; t % 3 == 2 && k <= static_cast<int>(t % 2) + 1; ++k) {
            if (trial.index + k <= junctions) also[t].push_back(trial.index + k);
        }
        trial.also = also[t];
    }

    std::vector<PointOutcome> expected;
    for (const TrialDemand& trial : trials) {
        std::vector<int> nodes = {trial.index};
        nodes.insert(nodes.end(), trial.also.begin(), trial.also.end());
        for (const int node : nodes) {
            if (c.added) {
                ASSERT_EQ(project.add_demand(node, trial.base_demand, 0), 0);
            } else {
                ASSERT_EQ(project.set_node_value(node, EN_PATTERN, 0.0), 0);
                ASSERT_EQ(project.set_node_value(node, EN_BASEDEMAND, trial.base_demand), 0);
            }
        }
        ASSERT_EQ(project.restore_hydraulics(saved), 0);
        PointOutcome outcome;
        long time = 0;
        outcome.code = project.run_h(time);
        double iterations = 0;
        EXPECT_EQ(project.get_statistic(EN_ITERATIONS, iterations), 0);
        outcome.iterations = static_cast<int>(iterations);
        ReadValues(
            project, outcome,
            [&](int i, double& v) { return project.get_node_value(i, EN_PRESSURE, v); },
            [&](int k, double& v) { return project.get_link_value(k, EN_VELOCITY, v); });
        for (const int node : nodes) ASSERT_EQ(project.restore_node_demands(node), 0);
        expected.push_back(std::move(outcome));
    }

    std::vector<int> widths = {1, 4, 8};
    if (widest_trial_lanes() < 4) widths = {1};
    for (const int lanes : widths) {
        ASSERT_EQ(project.restore_hydraulics(saved), 0);
        std::vector<PointOutcome> got(trials.size());
        std::size_t next = 0;
        const int code = project.solve_trials_here(
            lanes,
            [&]() -> std::optional<TrialDemand> {
                if (next == trials.size()) return std::nullopt;
                return trials[next++];
            },
            [&](std::size_t ticket, const SolvedTrial& solved) {
                PointOutcome& outcome = got.at(ticket);
                outcome.code = solved.code();
                outcome.iterations = solved.iterations();
                ReadValues(
                    project, outcome,
                    [&](int i, double& v) { return solved.get_node_pressure(i, v); },
                    [&](int k, double& v) { return solved.get_link_velocity(k, v); });
            });
        ASSERT_EQ(code, 0);
        for (std::size_t t = 0; t < got.size(); ++t) {
            SCOPED_TRACE(testing::Message() << "lanes " << lanes << " junction " << trials[t].index
                                            << " flow " << trials[t].base_demand);
            EXPECT_EQ(got[t].code, expected[t].code);
            EXPECT_EQ(got[t].iterations, expected[t].iterations);
            ASSERT_EQ(got[t].values.size(), expected[t].values.size());
            EXPECT_EQ(std::memcmp(got[t].values.data(), expected[t].values.data(),
                                  got[t].values.size() * sizeof(double)),
                      0);
        }
        // The simulation stays at its point: the next step is the one it would have been.
        long time = 0;
        EXPECT_LE(project.run_h(time), 6);
        double head = 0;
        double head_before = 0;
        EXPECT_EQ(project.get_node_value(1, EN_HEAD, head), 0);
        ASSERT_EQ(project.restore_hydraulics(saved), 0);
        EXPECT_LE(project.run_h(time), 6);
        EXPECT_EQ(project.get_node_value(1, EN_HEAD, head_before), 0);
        EXPECT_EQ(head, head_before);
    }
}

// Tanks, pumps and controls (Net3 also rules' absence, Net1 a tank control, Anytown tanks and
// pumps with a pattern); later steps with changed tank levels and statuses.
INSTANTIATE_TEST_SUITE_P(
    SharedNetworks, LaneSolverAtPointTest,
    ::testing::Values(PointCase{"Net1.inp", 5, false}, PointCase{"Net1.inp", 9, true},
                      PointCase{"Net3.inp", 6, false}, PointCase{"Net3.inp", 13, true},
                      PointCase{"Anytown.inp", 7, true}, PointCase{"tank_controls_1.inp", 4, true},
                      PointCase{"control_comb.inp", 3, false}));

TEST(LaneSolver, AProcessorWithAvx2RunsTrialsInLanes) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        EXPECT_GE(widest_trial_lanes(), 4);
    }
    if (__builtin_cpu_supports("avx512f")) {
        EXPECT_EQ(widest_trial_lanes(), 8);
    }
#endif
}

}  // namespace
}  // namespace hydrosk::toolkit
