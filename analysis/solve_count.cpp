#include "analysis/solve_count.h"

#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {

void SolveCount::Add(const toolkit::Project& project) {
    double iterations = 0;
    // A statistic of an open project cannot fail; the count is for the record only.
    (void)project.get_statistic(EN_ITERATIONS, iterations);
    solves_.fetch_add(1, std::memory_order_relaxed);
    iterations_.fetch_add(static_cast<long>(iterations), std::memory_order_relaxed);
}

}  // namespace hydrosk::analysis
