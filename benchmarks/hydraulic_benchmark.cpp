// Speed of the hydraulic engine on the large shared networks: one steady
// solve as a fire-flow analysis repeats it (open, initialize, run on a
// simulation built once), the one-off cost of building the simulation, a
// whole extended-period simulation as an extended-period trial runs it (a
// fresh project from the parsed network), reading the INP file, and the steady trials of a
// fire-flow search one at a time and side by side in vector lanes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "benchmarks/grid_network.h"
#include "toolkit/hydraulics/simulation.h"
#include "toolkit/input/reader.h"
#include "toolkit/project.h"

namespace {

using hydrosk::toolkit::HydraulicSimulation;
using hydrosk::toolkit::Network;

std::shared_ptr<Network> load(const std::string& name) {
    const std::filesystem::path path =
        std::filesystem::path(HYDROSK_SHARED_NETWORKS) / (name + ".inp");
    auto result = hydrosk::toolkit::read_inp_file(path);
    return result.code == 0 ? result.network : nullptr;
}

void steady_solve(benchmark::State& state, const std::string& name) {
    const auto network = load(name);
    if (!network) {
        state.SkipWithError(("cannot read " + name + ".inp").c_str());
        return;
    }
    HydraulicSimulation sim(*network);
    int iterations = 0;
    for (auto _ : state) {
        sim.open();
        sim.initialize(1);
        long t = 0;
        benchmark::DoNotOptimize(sim.run(t));
        iterations = sim.last_solve().iterations;
    }
    state.counters["trials"] = iterations;
    state.counters["nodes"] = static_cast<double>(network->nodes.size());
}

void build_simulation(benchmark::State& state, const std::string& name) {
    const auto network = load(name);
    if (!network) {
        state.SkipWithError(("cannot read " + name + ".inp").c_str());
        return;
    }
    for (auto _ : state) {
        HydraulicSimulation sim(*network);
        benchmark::DoNotOptimize(&sim);
    }
}

void whole_simulation(benchmark::State& state, const std::string& name) {
    const std::shared_ptr<const Network> network = load(name);
    if (!network) {
        state.SkipWithError(("cannot read " + name + ".inp").c_str());
        return;
    }
    for (auto _ : state) {
        hydrosk::toolkit::Project project;
        if (project.open(network) != 0) {
            state.SkipWithError(("cannot open " + name).c_str());
            return;
        }
        benchmark::DoNotOptimize(project.solve_h());
    }
}

void read_inp(benchmark::State& state, const std::string& name) {
    if (!load(name)) {
        state.SkipWithError(("cannot read " + name + ".inp").c_str());
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(load(name));
}

// A network made steady (duration 0) in memory.
std::shared_ptr<const Network> steady(const std::shared_ptr<Network>& network) {
    if (network) network->times.duration = 0;
    return network;
}

// A grid of side x side junctions fed at one corner, written once into a temporary directory.
std::shared_ptr<const Network> grid(int side) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("hydrosk-grid-" + std::to_string(side) + ".inp");
    {
        std::ofstream net(path, std::ios::binary);
        hydrosk::benchmarks::WriteGrid(net, side);
        net << "[TIMES]\n Duration 0\n[END]\n";
    }
    auto result = hydrosk::toolkit::read_inp_file(path);
    return result.code == 0 ? result.network : nullptr;
}

// The trials of a linear search (0 to 1500 in steps of 10) at `junctions` junctions spread
// over the network, solved with `lanes` lanes (1: one at a time).
void trials(benchmark::State& state, const std::shared_ptr<const Network>& network, int junctions,
            int lanes) {
    if (!network) {
        state.SkipWithError("cannot read the network");
        return;
    }
    hydrosk::toolkit::Project project;
    if (project.open(network) != 0) {
        state.SkipWithError("cannot open the network");
        return;
    }
    const int count = network->junction_count;
    const int step = std::max(1, count / junctions);
    long solved = 0;
    for (auto _ : state) {
        solved = 0;
        for (int j = 0; j < junctions; ++j) {
            const int node = 1 + j * step;
            int flow = 0;
            const int code = project.solve_trials(
                lanes,
                [&]() -> std::optional<hydrosk::toolkit::TrialDemand> {
                    if (flow > 1500) return std::nullopt;
                    const double q = flow;
                    flow += 10;
                    return hydrosk::toolkit::TrialDemand{node, q};
                },
                [&](std::size_t, const hydrosk::toolkit::SolvedTrial& trial) {
                    benchmark::DoNotOptimize(trial.code());
                    ++solved;
                });
            if (code != 0) {
                state.SkipWithError("the trials were refused");
                return;
            }
        }
    }
    state.counters["trials"] = static_cast<double>(solved);
}

void trials_ky10(benchmark::State& state) {
    static const auto network = load("ky10");
    trials(state, network, 20, static_cast<int>(state.range(0)));
}
void trials_net6(benchmark::State& state) {
    static const auto network = steady(load("Net6"));
    trials(state, network, 2, static_cast<int>(state.range(0)));
}
void trials_grid(benchmark::State& state) {
    static const auto network = grid(100);
    trials(state, network, 1, static_cast<int>(state.range(0)));
}

// Lanes: 1 (one at a time), 4 (AVX2), 8 (AVX-512 where the processor has it).
BENCHMARK(trials_ky10)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(trials_net6)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(trials_grid)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(steady_solve, Net6, std::string("Net6"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(steady_solve, ky10, std::string("ky10"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(build_simulation, Net6, std::string("Net6"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(build_simulation, ky10, std::string("ky10"))->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(whole_simulation, Net6, std::string("Net6"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_inp, Net6, std::string("Net6"))->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
