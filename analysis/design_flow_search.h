// The design-flow check: for every junction, one steady-state solve with its demand replaced by
// the design fire flow, and whether every tested junction keeps its minimal pressure.
#pragma once

#include "analysis/run_observer.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "files/record_layout.h"

namespace hydrosk::toolkit {
class Project;
}

namespace hydrosk::analysis {

struct DesignFlowSettings {
    float required_flow = 0;       // network flow units
    SolveCount* solves = nullptr;  // counts every solve when given
};

// "Check_Node", "Fire_Flow", "Check_Pressure", "Lowest_Node", "Lowest_Pressure", "Result".
files::Record DesignFlowHeader();

// Every junction in catalogue order: a cold solve with its demand replaced by the required flow
// (no pattern), every other junction at its own demand as read. The row holds the check ID,
// the flow, the check junction's own pressure, the tested junction with the smallest margin
// (pressure minus its minimum, in double precision of the single-precision values; a pressure
// that is not a number comes first, the lowest position wins ties) with its pressure, and
// "Pass" when no tested junction fails the pressure test, otherwise "Fail". With no junction
// tested, the lowest node and its pressure are empty texts. Computed on `threads` worker
// threads and written as one thread would write them.
void DesignFlowSearch(const toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                      const JunctionLimits& limits, const DesignFlowSettings& settings, int threads,
                      files::RecordFileWriter& results, RunObserver& observer);

}  // namespace hydrosk::analysis
