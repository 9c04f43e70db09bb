// Hydraulic simulation of one network over time, following EPANET 2.2's
// hydraulic time stepping. This is the object behind the EN...H functions:
//
//   HydraulicSimulation sim(network);  // compact arrays, matrix ordering: once
//   sim.open();                        // EN_openH: 0 or error 223/224/233
//   sim.initialize(flag);              // EN_initH: tanks, statuses, time 0
//   do { sim.run(t); ... sim.next(step); } while (step > 0);  // EN_runH / EN_nextH
//
// The network must outlive the simulation. Demands, demand patterns and
// multipliers are read from the network at every run(), so a caller may change
// a junction's base demand or demand pattern between runs (EN_setnodevalue);
// open() + initialize() then give exactly what a fresh EN_solveH would. Links,
// curves, tanks, controls and the solver options are taken at construction.
// A run allocates nothing. Results are in internal units (ft, cfs, s).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/hydraulics/rules.h"
#include "toolkit/hydraulics/solver.h"
#include "toolkit/hydraulics/system.h"

namespace hydrosk::toolkit {

// What a simulation carries from one time step to the next: the hydraulic state, the last
// solve and the clock. A copy taken between two steps and given back later makes the
// simulation go on from that point exactly as it went on the first time.
struct HydraulicSnapshot {
    HydraulicState state;
    SolveResult last;
    double system_demand = 0.0;
    long time = 0;
    long report_time = 0;
    bool halted = false;
};

// A link's velocity in a state, ft/s (0 for pumps).
double link_velocity(const HydraulicSystem& system, const HydraulicState& state, int link);

class HydraulicSimulation {
public:
    // Builds the compact arrays and the matrix ordering; sets the starting
    // flows as open() does. `stop` is looked at while the ordering is found (SolveStopped) and
    // by every solve after it, as set_stop_request's.
    explicit HydraulicSimulation(const Network& network, StopRequest stop = nullptr);
    // The simulation keeps a reference: a temporary network would dangle.
    explicit HydraulicSimulation(Network&&, StopRequest = nullptr) = delete;

    // Like EN_openH: checks the network and sets every link's starting flow.
    // Returns 0 or EPANET's error code (223 too few nodes, 224 no tank or
    // reservoir, 233 a junction without links).
    int open();

    // Like EN_initH: tank levels, link statuses and settings, emitter flows and
    // the clock to time 0. `flag` / 10 > 0 re-initializes every link flow too.
    void initialize(int flag);

    // Like EN_runH: solves at the current time, which is returned in `time` (s).
    // Returns 0, a warning 1..6 or error 110 (toolkit/codes.h).
    int run(long& time);

    // Like EN_nextH: advances the clock to the next hydraulic event and
    // returns the step (s) in `step`, 0 once the simulation is over.
    int next(long& step);

    // Looked at by every solve (see stop_request.h).
    void set_stop_request(StopRequest stop) { solver_.set_stop_request(stop); }

    // The point the simulation has reached, and a return to a point saved before (of this
    // simulation, whose network's links, tanks and controls have not changed since).
    HydraulicSnapshot snapshot() const;
    void restore(const HydraulicSnapshot& saved);

    long time() const { return time_; }
    double head(int node) const { return state_.head[static_cast<std::size_t>(node)]; }
    double pressure_head(int node) const;  // ft above the node's elevation
    double demand(int node) const { return state_.demand[static_cast<std::size_t>(node)]; }
    // Full demand minus what is delivered (pressure-driven analysis), cfs.
    double demand_deficit(int node) const;
    double emitter_flow(int node) const {
        return state_.emitter_flow[static_cast<std::size_t>(node)];
    }
    double flow(int link) const { return state_.flow[static_cast<std::size_t>(link)]; }
    LinkState link_state(int link) const { return state_.status[static_cast<std::size_t>(link)]; }
    double link_setting(int link) const { return state_.setting[static_cast<std::size_t>(link)]; }
    double velocity(int link) const { return link_velocity(system_, state_, link); }
    double head_loss(int link) const;    // ft, head at start minus head at end
    double tank_volume(int node) const;  // ft^3, 0 for junctions and reservoirs

    // Steady trials at the point the simulation has reached (open and initialised, between two
    // time steps): the trials that `next` gives, each solved as run() would solve this time step
    // with the trial's demand, from the state the simulation holds, `most_lanes` side by side at
    // most (the widest lanes the processor has, lane_solver.h; 1: one at a time). `done` gets
    // each finished trial, in any order, by its rank in `next`'s order, with the code run() would
    // return and the solved state. The simulation stays at its point.
    struct TrialFlow {
        std::span<const int> nodes;  // junctions, 0-based, each drawing `base`
        double base = 0.0;           // cfs
        // false: `base` replaces the base of each junction's first demand, whose pattern it
        // drops; true: it is a demand of its own without a pattern, after the junction's own.
        bool added = false;
    };
    using NextTrial = std::function<std::optional<TrialFlow>()>;
    using TrialDone = std::function<void(std::size_t ticket, int code, const SolveResult& result,
                                         const HydraulicState& state)>;
    void solve_demand_trials(int most_lanes, const NextTrial& next, const TrialDone& done);

    const HydraulicState& state() const { return state_; }
    const SolveResult& last_solve() const { return last_; }
    const HydraulicSystem& system() const { return system_; }

private:
    int check_network() const;
    double pattern_factor(int pattern, long period) const;
    void update_demands();
    // Junction i's demand (cfs) at a pattern period; `first_base` replaces the base of its
    // first demand, whose pattern it then drops, and `added_base` is a demand without a pattern
    // after its own ones. Adds the positive demands to system_demand_.
    double junction_demand(int i, long period, double multiplier, const double* first_base,
                           const double* added_base = nullptr);
    void apply_time_controls();
    int warning_code(const SolveResult& result, const HydraulicState& state) const;
    void set_initial_flow(int link, LinkState status, double setting);
    long time_step();
    void rule_time_step(long& step);
    void tank_time_step(long& step) const;
    void control_time_step(long& step) const;
    void update_tank_levels(long step);

    const Network& network_;
    HydraulicSystem system_;
    HydraulicSolver solver_;
    HydraulicState state_;
    SolveResult last_;
    RuleEvaluator rules_;
    std::unique_ptr<TrialLanes> lanes_;  // made at the first trials, for `lanes_asked_`
    bool lanes_made_ = false;
    int lanes_asked_ = 0;
    double system_demand_ = 0.0;  // cfs, sum of positive junction demands

    // Clock (s), EPANET's adjusted time options.
    long time_ = 0;
    long report_time_ = 0;
    long duration_ = 0;
    long hydraulic_step_ = 3600;
    long pattern_step_ = 3600;
    long pattern_start_ = 0;
    long report_step_ = 3600;
    long start_clock_ = 0;
    long rule_step_ = 360;
    bool halted_ = false;
    int open_error_ = 0;
};

}  // namespace hydrosk::toolkit
