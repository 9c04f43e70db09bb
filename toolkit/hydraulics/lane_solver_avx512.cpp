// The lane solver on AVX-512: 8 lanes. Compiled with -mavx512f and without contraction into
// fused multiply-adds.
#include "toolkit/hydraulics/lane_solver_impl.h"

namespace hydrosk::toolkit::lane_solver_detail {

std::unique_ptr<TrialLanes> make_avx512(const Network& network, const HydraulicSystem& system,
                                        const HydraulicSolver& solver) {
    if (!lanes_hold(system)) return nullptr;
    return std::make_unique<LaneSolver<8>>(network, system, solver);
}

}  // namespace hydrosk::toolkit::lane_solver_detail
