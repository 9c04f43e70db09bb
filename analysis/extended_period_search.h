// The two extended-period searches. Each trial is a simulation of its own, on a project opened
// afresh from the network the run has parsed, with the check junction's demand replaced by a
// constant trial demand, stepped from the start until a tested pressure fails its minimum.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
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

// What every trial of a run shares; read only, so that trials may run side by side.
struct TrialContext {
    std::shared_ptr<const toolkit::Network> network;  // as parsed from the INP file
    const network::NetworkCatalogue& catalogue;
    const JunctionLimits& limits;
    // Once set, a trial gives up between two time steps (JunctionAbandoned).
    const std::atomic<bool>* stop = nullptr;
    SolveCount* solves = nullptr;  // counts every time step solved, when given
};

// One trial for the junction at `position` with `demand` (network flow units) as its constant
// demand. Gives the simulation time (s) of the first step that fails the pressure test, or
// nullopt when the simulation ends, or passes `time_limit` (s) before a failing step; a step
// at exactly the limit is tested. Throws RunEnded with "Problem in INP file!" when the project
// cannot be opened, and with the toolkit's code and text when a call that the trial relies on
// fails, a step's solve included (a code above 6). A step that does not converge (warning 1)
// is tested as it is; under "Unbalanced STOP" the toolkit ends the simulation there, as EPANET
// does. A trial with such a step is counted once in `unsolved`, when given.
std::optional<long> ExtendedPeriodTrial(const TrialContext& context, int position, float demand,
                                        std::optional<float> time_limit,
                                        UnsolvedTrials* unsolved = nullptr);

// Duration search (results kind Duration). One junction drawing the required flow: (ID,
// required flow, hours of the failing step as a double) or (ID, required flow, "End of
// simulation was reached"); a trial that did not converge is counted in `unsolved`.
files::Record DurationJunction(const TrialContext& context, float required_flow, int position,
                               UnsolvedTrials* unsolved = nullptr);

struct FlowSearchSettings {
    float required_time = 0;  // hours, > 0
    float maximal_flow = 0;   // below 0 no trial is made
    float flow_interval = 0;  // > 0, and TrialFlowsEnd(maximal_flow, flow_interval)
    SearchMethod method = SearchMethod::Linear;
};

// Flow search (results kind Flow). One junction: the trial demands `flows` (TrialFlows of the
// settings), each simulated up to the required time; the settings' method finds the failing
// one to report. Gives (ID, required time, failing demand minus the interval) or (ID, required
// time, "Maximal flow was reached"); trials that did not converge are counted in `unsolved`.
files::Record FlowJunction(const TrialContext& context, const FlowSearchSettings& settings,
                           std::span<const float> flows, int position,
                           UnsolvedTrials* unsolved = nullptr);

// Workers of the two searches. Trials keep no state between junctions, so any worker may take
// any junction. The factories refer to the context and settings, which must outlive them.
WorkerFactory DurationWorkers(const TrialContext& context, float required_flow);
WorkerFactory FlowWorkers(const TrialContext& context, const FlowSearchSettings& settings);

}  // namespace hydrosk::analysis
