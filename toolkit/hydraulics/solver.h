// One steady-state solve of the network equations by the global gradient
// algorithm, iterated exactly as EPANET 2.2 does it: the same matrix assembly,
// status checks, damping and convergence tests, so that results agree to
// rounding with EPANET's.
#pragma once

#include <optional>
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
    // Both outlive the solver. Builds the ordering and symbolic factorization, looking at
    // `stop` as set_stop_request's does.
    HydraulicSolver(const Network& network, const HydraulicSystem& system,
                    StopRequest stop = nullptr);

    // Solves for the heads and flows of `state` at its current demands, fixed
    // heads, statuses and settings; allocates nothing.
    SolveResult solve(HydraulicState& state);

    // Looked at once per iteration and during the factorisation: SolveStopped once it is set.
    void set_stop_request(StopRequest stop) {
        stop_ = stop;
        matrix_.set_stop_request(stop);
    }
    StopRequest stop_request() const { return stop_; }

    // Status changes of level controls on junctions once a solution is found.
    bool apply_pressure_controls(HydraulicState& state) const;

    // The steps of a solve for one element, given that element's values: the loops of solve()
    // call them, and so does a solver that holds several states side by side (lane_solver.h).
    const SparseCholesky& matrix() const { return matrix_; }
    // Coefficient slot of link k in the matrix, kNoIndex when an end is fixed grade.
    int link_slot(int k) const { return link_slot_[static_cast<std::size_t>(k)]; }
    // P and Y of link k at flow q, status s and setting; y is the link's Y so far (kept by
    // pressure and flow control valves with a setting).
    LinkCoefficients link_coefficients(int k, double q, LinkState s, double setting,
                                       double y) const;
    // Where a control valve with a setting puts its terms in the matrix.
    struct ValveTerms {
        double* p;
        double* y;
        double* diagonal_i;  // i: the valve's start node, j: its end node
        double* diagonal_j;
        double* rhs_i;
        double* rhs_j;
        double* xflow_i;
        double* xflow_j;
        double* off_diagonal;
    };
    // Whether link k is a valve whose terms add_valve_term gives (PRV, PSV, FCV).
    bool has_valve_term(int k) const;
    void add_valve_term(int k, LinkState status, double setting, double q,
                        const ValveTerms& terms) const;
    // The first valve at `node` (kNoIndex if none), and the state that makes it no longer
    // singular when it is an active control valve.
    int valve_at(int node) const;
    std::optional<LinkState> fixed_valve_state(int k, LinkState status) const;
    // The status checks of one link: control valves during the iterations, every link once
    // the flows have converged.
    LinkState checked_valve_state(int k, LinkState before, double q, double h1, double h2,
                                  double setting) const;
    LinkState checked_link_state(int k, LinkState before, double h1, double h2, double flow,
                                 double setting) const;
    // False when checked_link_state gives `before` back whatever the heads and flow: a pipe
    // between junctions that is open or closed for good.
    bool link_state_may_change(int k, LinkState before) const {
        const auto kk = static_cast<std::size_t>(k);
        const int nj = system_.junction_count;
        if (system_.type[kk] != LinkType::Pipe || system_.from[kk] >= nj || system_.to[kk] >= nj)
            return true;
        return before == LinkState::XHead || before == LinkState::TempClosed;
    }
    // A level control on a junction at head h; true when it changes the link.
    bool is_pressure_control(const ControlData& c) const;
    bool apply_pressure_control(const ControlData& c, double h, LinkState& status,
                                double& setting) const;

private:
    struct Balance {
        double max_head_error = 0.0;
        double max_flow_change = 0.0;
    };

    void head_loss_coefficients(const HydraulicState& state);
    void assemble(HydraulicState& state);
    void add_valve_terms(HydraulicState& state);
    bool fix_bad_valve(HydraulicState& state, int node) const;
    double update_flows(HydraulicState& state, Balance& balance, double relax) const;
    bool check_valve_states(HydraulicState& state) const;
    bool check_link_states(HydraulicState& state) const;
    LinkState tank_link_state(int k, LinkState status, double h1, double h2, double flow) const;
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
