// One steady-state solve of the network equations by the global gradient
// algorithm, iterated exactly as EPANET 2.2 does it: the same matrix assembly,
// status checks, damping and convergence tests, so that results agree to
// rounding with EPANET's.
#pragma once

#include <vector>

#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/hydraulics/sparse_solver.h"
#include "toolkit/hydraulics/system.h"

namespace hydrosk::toolkit {

// What a simulation knows at one instant; the solver reads and updates it.
struct HydraulicState {
    std::vector<double> head;  // ft, every node
    // During a solve: full demand of each junction (cfs) and net inflow of each
    // fixed-grade node. After it: junction outflow actually delivered, emitter
    // flow included (EPANET's EN_DEMAND).
    std::vector<double> demand;
    // During a solve: delivered demand; after it: the full demand.
    std::vector<double> demand_flow;
    std::vector<double> emitter_flow;  // cfs
    std::vector<double> flow;          // cfs, every link
    std::vector<LinkState> status;
    std::vector<double> setting;
    std::vector<double> tank_volume;  // ft^3 by tank

    void resize(const HydraulicSystem& system);
};

struct SolveResult {
    int iterations = 0;
    double relative_error = 0.0;
    int error = 0;                  // 0, or 110 when the equations cannot be solved
    double max_head_error = 0.0;    // ft
    double max_flow_change = 0.0;   // cfs
    int deficient_nodes = 0;        // pressure-driven analysis
    double demand_reduction = 0.0;  // percent
};

class HydraulicSolver {
public:
    // Both outlive the solver. Builds the ordering and symbolic factorization.
    HydraulicSolver(const Network& network, const HydraulicSystem& system);

    // Solves for the heads and flows of `state` at its current demands, fixed
    // heads, statuses and settings; allocates nothing.
    SolveResult solve(HydraulicState& state);

    // Looked at once per iteration and during the factorisation: SolveStopped once it is set.
    void set_stop_request(StopRequest stop) {
        stop_ = stop;
        matrix_.set_stop_request(stop);
    }

    // Status changes of level controls on junctions once a solution is found.
    bool apply_pressure_controls(HydraulicState& state) const;

private:
    struct Balance {
        double max_head_error = 0.0;
        double max_flow_change = 0.0;
    };

    void head_loss_coefficients(const HydraulicState& state);
    LinkCoefficients link_coefficients(const HydraulicState& state, int k) const;
    void assemble(HydraulicState& state);
    void add_valve_terms(HydraulicState& state);
    bool fix_bad_valve(HydraulicState& state, int node) const;
    double update_flows(HydraulicState& state, Balance& balance, double relax) const;
    bool check_valve_states(HydraulicState& state) const;
    bool check_link_states(HydraulicState& state) const;
    void tank_link_state(HydraulicState& state, int k) const;
    bool has_converged(HydraulicState& state, double relative_error, Balance& balance,
                       SolveResult& result);

    const Network& network_;
    const HydraulicSystem& system_;
    SparseCholesky matrix_;
    StopRequest stop_ = nullptr;
    std::vector<int> link_slot_;  // coefficient slot by link, kNoIndex if none

    std::vector<double> p_;  // 1 / head-loss gradient by link
    std::vector<double> y_;  // head loss / gradient by link
    std::vector<double> diagonal_;
    std::vector<double> off_diagonal_;
    std::vector<double> rhs_;    // by node (fixed-grade rows unused)
    std::vector<double> xflow_;  // flow excess by node
};

}  // namespace hydrosk::toolkit
