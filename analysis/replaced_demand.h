// Steady-state trials in which one junction (the check junction) draws a flow in place of its
// own demand while every other junction draws its own demand as read from the INP file. Unlike
// the stepped steady-state search, nothing carries over from one check junction to the next,
// so any junction can be solved alone: the available-flow and design-flow searches.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "analysis/junction_pool.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "toolkit/project.h"

namespace hydrosk::network {
struct NetworkCatalogue;
}

namespace hydrosk::analysis {

// What the pressure test of one trial found.
struct TrialPressures {
    std::optional<Violation> violation;  // the lowest-positioned tested junction that fails
    float check_pressure = 0;            // the check junction's own pressure, tested or not
    bool solved = true;                  // false: the solve failed or did not converge (IsUnsolved)
};

class ReplacedDemandTrials {
public:
    // A project of its own, opened from the parsed network. Throws RunEnded with "Problem in
    // INP file!" when it cannot be opened.
    // `stop`: the pool's stop request, which the solves look at (see toolkit/stop_request.h).
    ReplacedDemandTrials(std::shared_ptr<const toolkit::Network> network,
                         const network::NetworkCatalogue& catalogue, SolveCount* solves,
                         const std::atomic<bool>* stop = nullptr);

    // Makes the junction at `position` the check junction: the previous one gets its own
    // demands back exactly, this one's pattern is cleared (RunEnded when that fails). Its
    // count of unsolved trials starts from 0.
    void Check(int position);

    // Solves cold (EN_solveH) with the check junction drawing `flow` (network flow units, used
    // exactly), so that the result depends on the flow alone, and tests the pressures. A solve
    // that fails or does not converge leaves pressures that are tested as they are; it is
    // marked unsolved and counted.
    TrialPressures Solve(double flow, const JunctionLimits& limits);

    // The unsolved trials of the check junction.
    const UnsolvedTrials& unsolved() const { return unsolved_; }

    // The project, holding the last solve's results.
    const toolkit::Project& project() const { return project_; }

private:
    toolkit::Project project_;
    const network::NetworkCatalogue& catalogue_;
    SolveCount* solves_;
    int node_ = 0;  // the check junction's node index; 0 before the first
    UnsolvedTrials unsolved_;
};

}  // namespace hydrosk::analysis
