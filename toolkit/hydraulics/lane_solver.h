// Steady trials side by side in the lanes of the processor's vector registers.
//
// The trials of a fire-flow run differ only in the demand of one junction: they share the
// network, the matrix pattern, its ordering and symbolic factorization. A lane solver holds
// the state of W trials lane by lane (structure of arrays) and runs the gradient method of
// HydraulicSolver::solve on all of them at once: the head-loss laws (with the vector form of
// portable_pow), the assembly, the numeric factorization, the triangular sweeps and the flow
// update are vector operations; the elements whose laws branch between lanes (pumps, valves)
// and the status checks are done lane by lane with the scalar solver's own per-element
// functions. Every lane performs the scalar sequence of floating-point operations in the
// same order, without contraction into fused multiply-adds, so each trial gives the scalar
// solve's results to the last bit. A lane whose trial has converged (or failed) takes the
// next trial while the others go on.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "toolkit/hydraulics/solver.h"

namespace hydrosk::toolkit {

// A junction (0-based) and the demand (cfs) it draws in a trial in place of its own.
struct NodeDemand {
    int node = 0;
    double demand = 0.0;
};

// One steady trial: the junctions whose demands differ from the start state's.
struct DemandTrial {
    std::vector<NodeDemand> nodes;
};

class TrialLanes {
public:
    virtual ~TrialLanes() = default;
    virtual int width() const = 0;

    // The next trial to start, nullopt when there is none (then none is asked for again).
    using Next = std::function<std::optional<DemandTrial>()>;
    // A finished trial, by its rank in Next's order, with the solve's result and state (the
    // demands as HydraulicSolver::solve leaves them).
    using Done = std::function<void(std::size_t ticket, const SolveResult& result,
                                    const HydraulicState& state)>;

    // Solves every trial that `next` gives, each from `start` with its junctions' demands (and
    // delivered demands) set to the trial's, as HydraulicSolver::solve would one after the other.
    virtual void solve(const HydraulicState& start, const Next& next, const Done& done) = 0;
};

// The widest lanes this processor runs trials in: 8 (AVX-512), 4 (AVX2) or 1.
int widest_trial_lanes();

// A lane solver for `solver`'s network with the widest lanes the processor has (8 or 4), but
// at most `most_lanes` (0: no limit); nullptr when that leaves fewer than 4 lanes or the network
// has what the lanes do not hold (emitters, pressure-driven demands), so trials go one at a time.
// The network, system and solver outlive it.
std::unique_ptr<TrialLanes> make_trial_lanes(const Network& network, const HydraulicSystem& system,
                                             const HydraulicSolver& solver, int most_lanes);

}  // namespace hydrosk::toolkit
