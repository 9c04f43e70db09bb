// The design-flow check: for every junction, one steady-state solve with its demand replaced by
// the design fire flow, and whether every tested junction keeps its minimal pressure.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "analysis/junction_pool.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "analysis/study_trial.h"
#include "files/record_layout.h"

namespace hydrosk::toolkit {
struct Network;
}

namespace hydrosk::analysis {

struct DesignFlowSettings {
    float required_flow = 0;       // network flow units
    SolveCount* solves = nullptr;  // counts every solve when given
    FireStudy study;               // the fire of every trial; all 0: a steady-state solve
    // The study's layout (the DesignFlow layout with empty fields) instead of the six columns.
    bool study_layout = false;
    // Junctions' own fire flows by position (entry 0 unused), or with groups each group's by
    // row; the others draw the required flow. Empty when none has its own.
    std::vector<std::optional<float>> required_flows;
    // Junctions' trials solved side by side in the lanes of vector registers, where the fire is
    // one steady solve: 0 for as many as the processor has, 1 for one at a time.
    int lanes = 0;
    // The rows' groups: row r is the trial of groups[r - 1], its members drawing the flow
    // together. Empty: row k is junction k's.
    std::vector<TrialGroup> groups;
};

// Workers of the check, each with a project of its own opened from `network` (as parsed). The
// factory refers to the catalogue, limits and settings, which must outlive the workers.
WorkerFactory DesignFlowWorkers(std::shared_ptr<const toolkit::Network> network,
                                const network::NetworkCatalogue& catalogue,
                                const JunctionLimits& limits, const DesignFlowSettings& settings);

}  // namespace hydrosk::analysis
