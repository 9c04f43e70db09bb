// The choice of the lane solver by the processor.
#include "toolkit/hydraulics/lane_solver.h"

#include "toolkit/portable_math.h"

namespace hydrosk::toolkit {

namespace lane_solver_detail {
#if defined(__x86_64__)
std::unique_ptr<TrialLanes> make_avx2(const Network& network, const HydraulicSystem& system,
                                      const HydraulicSolver& solver);
std::unique_ptr<TrialLanes> make_avx512(const Network& network, const HydraulicSystem& system,
                                        const HydraulicSolver& solver);
#endif
}  // namespace lane_solver_detail

int widest_trial_lanes() {
    return portable_math_lanes();
}

std::unique_ptr<TrialLanes> make_trial_lanes(const Network& network, const HydraulicSystem& system,
                                             const HydraulicSolver& solver, int most_lanes) {
#if defined(__x86_64__)
    const int widest = widest_trial_lanes();
    if (widest == 8 && (most_lanes == 0 || most_lanes >= 8)) {
        return lane_solver_detail::make_avx512(network, system, solver);
    }
    if (widest >= 4 && (most_lanes == 0 || most_lanes >= 4)) {
        return lane_solver_detail::make_avx2(network, system, solver);
    }
#else
    (void)network;
    (void)system;
    (void)solver;
    (void)most_lanes;
#endif
    return nullptr;
}

}  // namespace hydrosk::toolkit
