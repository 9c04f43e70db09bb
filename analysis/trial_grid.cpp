#include "analysis/trial_grid.h"

#include <algorithm>

#include "toolkit/network.h"

namespace hydrosk::analysis {

bool ConfigurationCanChangeWithFlow(const toolkit::Network& network) {
    using toolkit::LinkType;
    const auto is_valve = [](const toolkit::Link& link) {
        return link.type != LinkType::CVPipe && link.type != LinkType::Pipe &&
               link.type != LinkType::Pump;
    };
    const auto changes_with_flow = [&](const toolkit::Control& control) {
        const bool level = control.kind == toolkit::Control::Kind::LowLevel ||
                           control.kind == toolkit::Control::Kind::HiLevel;
        const bool pump =
            control.link >= 0 && static_cast<std::size_t>(control.link) < network.links.size() &&
            network.links[static_cast<std::size_t>(control.link)].type == LinkType::Pump;
        return level || pump;
    };
    return !network.rules.empty() || std::ranges::any_of(network.links, is_valve) ||
           std::ranges::any_of(network.controls, changes_with_flow);
}

std::vector<float> TrialFlows(float maximal_flow, float interval) {
    std::vector<float> flows;
    for (float q = 0; q <= maximal_flow; q = q + interval) flows.push_back(q);
    return flows;
}

}  // namespace hydrosk::analysis
