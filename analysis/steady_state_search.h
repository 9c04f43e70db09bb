// The steady-state fire-flow search: for every junction, the first trial flow at which some
// tested junction's pressure falls below its minimum.
#pragma once

#include <atomic>
#include <span>

#include "analysis/run_observer.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "analysis/trial_grid.h"
#include "files/record_layout.h"

namespace hydrosk::analysis {

struct SteadyStateSettings {
    float maximal_flow = 0;   // network flow units; below 0 no trial is made
    float flow_interval = 0;  // > 0, and TrialFlowsEnd(maximal_flow, flow_interval)
    SearchMethod method = SearchMethod::Linear;
    SolveCount* solves = nullptr;  // counts every solve when given
};

// The header row: "Check_Node", "Maximal_Flow", "Violating_Node", "Minimal_pressure".
files::Record SteadyStateHeader();

// One check junction, on a project that holds the network with the demands left by the
// junctions before it (each one's base demand and pattern read and set back in single
// precision, as the search does). The trial flows (TrialFlows of the settings) replace the
// junction's base demand, without a pattern, each solved cold in steady state; the settings'
// method finds the failing one to report. Gives the row (ID, failing flow, violating ID, its
// pressure) or (ID, "Maximal flow was reached"), and leaves the junction's demand set back
// whichever trials were solved. Throws RunEnded when its pattern cannot be cleared, and
// JunctionAbandoned between trials once `stop` is set.
files::Record SteadyStateJunction(toolkit::Project& project,
                                  const network::NetworkCatalogue& catalogue,
                                  const JunctionLimits& limits, const SteadyStateSettings& settings,
                                  std::span<const float> flows, int position,
                                  const std::atomic<bool>* stop = nullptr);

// What the search leaves of junction `position` for the junctions after it: its base demand
// and pattern read and set back in single precision, as SteadyStateJunction does at its end.
void SetBackDemand(toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                   int position);

// Every junction in catalogue order, one row each after the header, computed on `threads`
// worker threads (each with a project of its own, opened from the network that `project`
// parsed) and written as one thread would write them. The rows go to `results`; the caller
// commits them, also when a RunEnded leaves this function.
void SteadyStateSearch(const toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                       const JunctionLimits& limits, const SteadyStateSettings& settings,
                       int threads, files::RecordFileWriter& results, RunObserver& observer);

}  // namespace hydrosk::analysis
