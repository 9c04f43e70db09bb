#include "analysis/replaced_demand.h"

#include "analysis/run_messages.h"
#include "network/net_load.h"
#include "toolkit/codes.h"

namespace hydrosk::analysis {

ReplacedDemandTrials::ReplacedDemandTrials(std::shared_ptr<const toolkit::Network> network,
                                           const network::NetworkCatalogue& catalogue,
                                           SolveCount* solves, const std::atomic<bool>* stop)
    : catalogue_(catalogue), solves_(solves) {
    RequireTrialOpen(project_.open(std::move(network)));
    project_.set_stop_request(stop);
}

void ReplacedDemandTrials::Check(int position) {
    unsolved_ = {};
    // The last check junction is a junction of the open project, so its demands can always be
    // given back.
    if (node_ != 0) (void)project_.restore_node_demands(node_);
    node_ = catalogue_.Junctions.index_at(position).value_or(position);
    if (const int code = project_.set_node_value(node_, EN_PATTERN, 0.0); code != 0) {
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
        ThrowToolkitFailure(code, id);
    }
}

TrialPressures ReplacedDemandTrials::Solve(double flow, const JunctionLimits& limits) {
    // The check junction is a junction of the network, so the demand can always be set.
    (void)project_.set_node_value(node_, EN_BASEDEMAND, flow);
    const int code = project_.solve_h();
    CountSolve(solves_, project_);

    TrialPressures pressures;
    if (IsUnsolved(code)) {
        pressures.solved = false;
        if (unsolved_.count++ == 0) unsolved_.first_code = code;
    }
    pressures.violation = FindViolation(project_, limits, PressureReadFailure::UseValue, "");
    double check = 0;
    // A junction's pressure can always be read; after a failed solve it is what the solver left.
    (void)project_.get_node_value(node_, EN_PRESSURE, check);
    pressures.check_pressure = static_cast<float>(check);
    return pressures;
}

}  // namespace hydrosk::analysis
