// The design-flow check: for every junction, one steady-state solve with its demand replaced by
// the design fire flow, and whether every tested junction keeps its minimal pressure.
#pragma once

#include <memory>

#include "analysis/junction_pool.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "files/record_layout.h"

namespace hydrosk::toolkit {
struct Network;
}

namespace hydrosk::analysis {

struct DesignFlowSettings {
    float required_flow = 0;       // network flow units
    SolveCount* solves = nullptr;  // counts every solve when given
};

// Workers of the check, each with a project of its own opened from `network` (as parsed). The
// factory refers to the catalogue, limits and settings, which must outlive the workers.
WorkerFactory DesignFlowWorkers(std::shared_ptr<const toolkit::Network> network,
                                const network::NetworkCatalogue& catalogue,
                                const JunctionLimits& limits, const DesignFlowSettings& settings);

}  // namespace hydrosk::analysis
