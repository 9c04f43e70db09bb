#include "analysis/steady_state_search.h"

#include <string>

#include "analysis/run_messages.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// A value as the legacy toolkit functions hand it out.
float SingleValue(const toolkit::Project& project, int index, int property) {
    double value = 0.0;
    project.get_node_value(index, property, value);
    return static_cast<float>(value);
}

}  // namespace

files::Record SteadyStateHeader() {
    return {std::string("Check_Node"), std::string("Maximal_Flow"), std::string("Violating_Node"),
            std::string("Minimal_pressure")};
}

files::Record SteadyStateJunction(toolkit::Project& project,
                                  const network::NetworkCatalogue& catalogue,
                                  const JunctionLimits& limits, const SteadyStateSettings& settings,
                                  int position) {
    const std::string& id = catalogue.JunctionIDs[static_cast<std::size_t>(position)];
    const int node = catalogue.Junctions.index_at(position).value_or(position);

    // Saved in single precision, so that setting them back rounds them as the legacy
    // functions do; the later junctions are solved with the rounded values.
    const float saved_base_demand = SingleValue(project, node, EN_BASEDEMAND);
    const float saved_pattern = SingleValue(project, node, EN_PATTERN);
    if (const int code = project.set_node_value(node, EN_PATTERN, 0.0); code != 0) {
        throw RunEnded(MessageKind::Failure, messages::ToolkitFailure(code, id));
    }

    files::Record row;
    for (float q = 0; q <= settings.maximal_flow; q = q + settings.flow_interval) {
        project.set_node_value(node, EN_BASEDEMAND, q);
        project.solve_h();  // a failed solve leaves pressures that are tested as they are
        const auto violation = FindViolation(project, limits, PressureReadFailure::UseValue, id);
        if (violation) {
            row = {id, q, catalogue.JunctionIDs[static_cast<std::size_t>(violation->position)],
                   PressureField(violation->pressure)};
            break;
        }
    }
    if (row.empty()) row = {id, std::string("Maximal flow was reached")};

    project.set_node_value(node, EN_BASEDEMAND, saved_base_demand);
    project.set_node_value(node, EN_PATTERN, saved_pattern);
    return row;
}

void SteadyStateSearch(toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                       const JunctionLimits& limits, const SteadyStateSettings& settings,
                       files::RecordFileWriter& results, RunObserver& observer) {
    results.Write(SteadyStateHeader());
    for (int position = 1; position <= catalogue.JunctionCount; ++position) {
        observer.SetProgressValue(position);
        observer.ServeEvents();
        results.Write(SteadyStateJunction(project, catalogue, limits, settings, position));
    }
}

}  // namespace hydrosk::analysis
