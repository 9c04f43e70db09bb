#include "analysis/extended_period_search.h"

#include <memory>
#include <string>
#include <vector>

#include "analysis/ordered_rows.h"
#include "analysis/run_messages.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

void Require(int code, std::string_view check_junction) {
    if (code != 0) ThrowToolkitFailure(code, check_junction);
}

}  // namespace

std::optional<long> ExtendedPeriodTrial(const TrialContext& context, int position, float demand,
                                        std::optional<float> time_limit, UnsolvedTrials* unsolved) {
    const std::string& id = context.catalogue.JunctionIDs[static_cast<std::size_t>(position)];
    const int node = context.catalogue.Junctions.index_at(position).value_or(position);

    toolkit::Project project;
    RequireTrialOpen(project.open(context.network));
    project.set_stop_request(context.stop);
    Require(project.open_h(), id);
    Require(project.init_h(EN_SAVE), id);
    Require(project.set_node_value(node, EN_BASEDEMAND, demand), id);
    Require(project.set_node_value(node, EN_PATTERN, 0.0), id);  // the demand stays constant

    bool counted = false;  // the trial is among the unsolved ones
    for (;;) {
        ThrowIfStopped(context.stop);
        long time = 0;  // s
        const int code = project.run_h(time);
        // A failed solve ends the run; the warnings are accepted. A step that did not converge
        // is tested all the same, and under "Unbalanced STOP" it is the simulation's last: the
        // toolkit then gives no next step, as EPANET gives none.
        if (toolkit::codes::IsError(code)) {
            ThrowToolkitFailure(code, id);
        }
        if (IsUnsolved(code) && unsolved != nullptr && !counted) {
            if (unsolved->count++ == 0) unsolved->first_code = code;
            counted = true;
        }
        CountSolve(context.solves, project);
        // Compared as the whole seconds against the single-precision limit.
        if (time_limit && static_cast<double>(time) > static_cast<double>(*time_limit)) {
            return std::nullopt;
        }
        if (FindViolation(project, context.limits, PressureReadFailure::EndRun, id)) return time;
        long step = 0;  // s to the next step; 0 at the end of the simulation
        // The simulation is open and initialised (the calls above succeeded), so the next step
        // can always be found.
        (void)project.next_h(step);
        if (step == 0) return std::nullopt;
    }
}

files::Record DurationJunction(const TrialContext& context, float required_flow, int position,
                               UnsolvedTrials* unsolved) {
    const std::string& id = context.catalogue.JunctionIDs[static_cast<std::size_t>(position)];
    const auto failed_at =
        ExtendedPeriodTrial(context, position, required_flow, std::nullopt, unsolved);
    if (!failed_at) return {id, required_flow, std::string(files::kEndOfSimulationReachedText)};
    return {id, required_flow, static_cast<double>(*failed_at) / 3600.0};
}

files::Record FlowJunction(const TrialContext& context, const FlowSearchSettings& settings,
                           std::span<const float> flows, int position, UnsolvedTrials* unsolved) {
    const std::string& id = context.catalogue.JunctionIDs[static_cast<std::size_t>(position)];
    const float time_limit = settings.required_time * 3600.0F;  // s, formed in single precision
    // Every trial opens the network afresh, so it depends on its demand alone.
    const auto trial = [&](float q) {
        return ExtendedPeriodTrial(context, position, q, time_limit, unsolved);
    };
    if (const auto failed = FindFailedTrial<long>(flows, settings.method, trial)) {
        const float last_passed = flows[failed->index] - settings.flow_interval;
        return {id, settings.required_time, last_passed};
    }
    return {id, settings.required_time, std::string(files::kMaximalFlowReachedText)};
}

WorkerFactory DurationWorkers(const TrialContext& context, float required_flow) {
    return StatelessWorkers([&context, required_flow](int position, const std::atomic<bool>* stop,
                                                      UnsolvedTrials& unsolved) {
        TrialContext own = context;
        own.stop = stop;
        return DurationJunction(own, required_flow, position, &unsolved);
    });
}

WorkerFactory FlowWorkers(const TrialContext& context, const FlowSearchSettings& settings) {
    auto flows = std::make_shared<const std::vector<float>>(
        TrialFlows(settings.maximal_flow, settings.flow_interval));
    return StatelessWorkers([&context, &settings, flows](int position,
                                                         const std::atomic<bool>* stop,
                                                         UnsolvedTrials& unsolved) {
        TrialContext own = context;
        own.stop = stop;
        return FlowJunction(own, settings, *flows, position, &unsolved);
    });
}

}  // namespace hydrosk::analysis
