// Speed of the hydraulic engine on the large shared networks: one steady
// solve as a fire-flow analysis repeats it (open, initialize, run on a
// simulation built once), the one-off cost of building the simulation, a
// whole extended-period simulation as an extended-period trial runs it (a
// fresh project from the parsed network), and reading the INP file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

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
