// The available fire flow: for every junction, the largest flow it can draw in steady state
// while every tested junction keeps its minimal pressure, to within a tolerance, with a
// certificate: the reported flow passes and the flow a tolerance above it fails.
#pragma once

#include <optional>

#include "analysis/run_observer.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "files/record_layout.h"

namespace hydrosk::toolkit {
class Project;
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
};

// "Check_Node", "Available_Flow", "Limiting_Node", "Limiting_Pressure", "Check_Pressure".
files::Record AvailableFlowHeader();

// Every junction in catalogue order, computed on `threads` worker threads and written as one
// thread would write them. Trials replace the junction's demand by the flow (no pattern), every
// other junction at its own demand as read. A row holds the check ID, the available flow Q (a
// flow of the grid, written as a double), the lowest-positioned junction failing at
// min(Q + tolerance, maximal flow) with its pressure there, and the check junction's own
// pressure at Q; Q and the flow above it are solved cold, the bisection between them may start
// from earlier solutions. When the demand 0 fails: Q = 0 with the failing junction and the
// pressures at 0. When the maximal flow passes: (ID, "Maximal flow was reached").
void AvailableFlowSearch(const toolkit::Project& project,
                         const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                         const AvailableFlowSettings& settings, int threads,
                         files::RecordFileWriter& results, RunObserver& observer);

}  // namespace hydrosk::analysis
