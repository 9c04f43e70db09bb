// The lane solver on AVX2: 4 lanes. Compiled with -mavx2 and without contraction into fused
// multiply-adds. (8 lanes in pairs of AVX2 registers were measured three times slower than
// 4: GCC splits the wider vectors poorly.)
#include "toolkit/hydraulics/lane_solver_impl.h"

namespace hydrosk::toolkit::lane_solver_detail {

std::unique_ptr<TrialLanes> make_avx2(const Network& network, const HydraulicSystem& system,
                                      const HydraulicSolver& solver) {
    if (!lanes_hold(system)) return nullptr;
    return std::make_unique<LaneSolver<4>>(network, system, solver);
}

}  // namespace hydrosk::toolkit::lane_solver_detail
