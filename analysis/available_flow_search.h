// The available fire flow: for every junction, the largest flow it can draw in steady state
// while every tested junction keeps its minimal pressure, to within a tolerance, with a
// certificate: the reported flow passes and the flow a tolerance above it fails.
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

// The flows the search may report: multiples of a step that is not above the tolerance (a
// power of ten of at least 1, or else a power of two, so that every multiple is exact in
// single and double precision and written exactly by the layout's 15 digits), below the
// maximal flow; and the maximal flow itself, which is never reported as a number.
class AvailableFlowGrid {
public:
    // nullopt when the multiples below the maximal flow cannot all be exact and written
    // exactly (a tolerance far below the maximal flow). Requires a maximal flow of at least 0
    // and a tolerance above 0.
    static std::optional<AvailableFlowGrid> Make(float maximal_flow, double tolerance);

    double step() const { return step_; }
    long top() const { return count_; }  // the index of the maximal flow
    double at(long index) const { return index < count_ ? index * step_ : maximal_; }
    // The largest index whose flow is not above `flow` (0 for a flow below the step).
    long index_below(double flow) const;

private:
    double step_ = 1;
    long count_ = 0;  // multiples below the maximal flow: 0, step, ..., (count - 1) step
    double maximal_ = 0;
};

struct AvailableFlowSettings {
    float maximal_flow = 0;        // network flow units, at least 0
    double tolerance = 0;          // network flow units, above 0, AvailableFlowGrid::Make succeeds
    SolveCount* solves = nullptr;  // counts every solve when given
    FireStudy study;               // the fire of every trial; all 0: a steady-state solve
    // The study's layout (the AvailableFlow layout with empty fields) instead of the five columns.
    bool study_layout = false;
    // Each junction's required flow by position (entry 0 unused), or with groups each group's
    // by row, for the study layout's Required_Flow and Result; empty when none is required.
    std::vector<std::optional<float>> required_flows;
    // The cold trials that certify a row solved side by side in the lanes of vector registers
    // (0: as many as the processor has; 1: one at a time). The rows do not depend on it.
    int lanes = 0;
    // Steady trials (a study of demand time and duration 0, the fire replacing the demand, no
    // velocity limit): the search on the hydrant curve from warm starts; false: the bisection
    // with every trial cold.
    bool warm_starts = true;
    // The rows' groups: row r is the trial of groups[r - 1], its members drawing the flow
    // together. Empty: row k is junction k's.
    std::vector<TrialGroup> groups;
};

// Workers of the search, each with a project of its own opened from `network` (as parsed). The
// factory refers to the catalogue, limits and settings, which must outlive the workers.
WorkerFactory AvailableFlowWorkers(std::shared_ptr<const toolkit::Network> network,
                                   const network::NetworkCatalogue& catalogue,
                                   const JunctionLimits& limits,
                                   const AvailableFlowSettings& settings);

}  // namespace hydrosk::analysis
