// The lane solver on AVX2: 4 lanes, and 8 lanes in pairs of AVX2 registers. Compiled with
// -mavx2 and without contraction into fused multiply-adds; the 8-lane vectors pass between
// functions of this file alone (-Wno-psabi).
#include "toolkit/hydraulics/lane_solver_impl.h"

namespace hydrosk::toolkit::lane_solver_detail {

std::unique_ptr<TrialLanes> make_avx2(const Network& network, const HydraulicSystem& system,
                                      const HydraulicSolver& solver, int width) {
    if (!lanes_hold(system)) return nullptr;
    if (width == 8) return std::make_unique<LaneSolver<8>>(network, system, solver);
    return std::make_unique<LaneSolver<4>>(network, system, solver);
}

}  // namespace hydrosk::toolkit::lane_solver_detail
