#include "analysis/solve_count.h"

#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {

void SolveCount::Add(const toolkit::Project& project) {
    double iterations = 0;
    project.get_statistic(EN_ITERATIONS, iterations);
    Add(static_cast<long>(iterations));
}

}  // namespace hydrosk::analysis
