// The steady-state fire-flow search: for every junction, the first trial flow at which some
// tested junction's pressure falls below its minimum.
#pragma once

#include <atomic>
#include <memory>
#include <span>

#include "analysis/junction_pool.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "analysis/trial_grid.h"
#include "files/record_layout.h"

namespace hydrosk::toolkit {
struct Network;
}

namespace hydrosk::analysis {

struct SteadyStateSettings {
    float maximal_flow = 0;   // network flow units; below 0 no trial is made
    float flow_interval = 0;  // > 0, and TrialFlowsEnd(maximal_flow, flow_interval)
    SearchMethod method = SearchMethod::Linear;
    SolveCount* solves = nullptr;  // counts every solve when given
    // Trials solved side by side in the lanes of vector registers (0: as many as the processor
    // has; 1: one at a time). The rows are the same; only the count of solves grows, by the
    // trials solved ahead of need.
    int lanes = 0;
};

// One check junction, on a project that holds the network with the demands left by the
// junctions before it (each one's base demand and pattern read and set back in single
// precision, as the search does). The trial flows (TrialFlows of the settings) replace the
// junction's base demand, without a pattern, each solved cold in steady state; the settings'
// method finds the failing one to report. Gives the row (ID, failing flow, violating ID, its
// pressure) or (ID, "Maximal flow was reached"), and leaves the junction's demand set back
// whichever trials were solved. Throws RunEnded when its pattern cannot be cleared, and
// JunctionAbandoned between trials once `stop` is set. Trials whose solve fails are counted in
// `unsolved` and tested all the same. With trials side by side, `failed_at_zero`, when given,
// says whether the junction before failed at the first trial flow: the linear search then
// solves that trial alone first, else side by side with the next ones; it is set to whether
// this junction fails there (the row is the same either way).
files::Record SteadyStateJunction(toolkit::Project& project,
                                  const network::NetworkCatalogue& catalogue,
                                  const JunctionLimits& limits, const SteadyStateSettings& settings,
                                  std::span<const float> flows, int position,
                                  const std::atomic<bool>* stop = nullptr,
                                  UnsolvedTrials* unsolved = nullptr,
                                  bool* failed_at_zero = nullptr);

// What the search leaves of junction `position` for the junctions after it: its base demand
// and pattern read and set back in single precision, as SteadyStateJunction does at its end.
void SetBackDemand(toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                   int position);

// Workers of the search, each with a project of its own opened from `network` (as parsed),
// whose rows are the ones that one project going through the junctions in order would give.
// The factory refers to the catalogue, limits and settings, which must outlive the workers.
WorkerFactory SteadyStateWorkers(std::shared_ptr<const toolkit::Network> network,
                                 const network::NetworkCatalogue& catalogue,
                                 const JunctionLimits& limits, const SteadyStateSettings& settings);

}  // namespace hydrosk::analysis
