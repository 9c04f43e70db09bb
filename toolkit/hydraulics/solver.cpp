#include "toolkit/hydraulics/solver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "toolkit/codes.h"
#include "toolkit/hydraulics/demand.h"
#include "toolkit/hydraulics/pump.h"
#include "toolkit/hydraulics/valve.h"

namespace hydrosk::toolkit {

namespace {

// Smallest pressure range of the demand law in the flow update (psi or m, as
// EPANET uses it unconverted).
constexpr double kMinPressureRange = 0.1;
constexpr double kPdaTolerance = 0.001;
constexpr double kDampedRelaxation = 0.6;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// EPANET's sums of trial counts wrap around (its reference build does so), where a
// plain int sum would be undefined: 2147483647 trials and 10 extra ones make none.
int wrapping_sum(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

void HydraulicState::resize(const HydraulicSystem& system) {
    const auto nn = at(system.node_count);
    const auto nl = at(system.link_count);
    head.assign(nn, 0.0);
    demand.assign(nn, 0.0);
    demand_flow.assign(nn, 0.0);
    emitter_flow.assign(nn, 0.0);
    flow.assign(nl, 0.0);
    status.assign(nl, LinkState::Open);
    setting.assign(nl, 0.0);
    tank_volume.assign(system.tanks.size(), 0.0);
}

HydraulicSolver::HydraulicSolver(const Network& network, const HydraulicSystem& system,
                                 StopRequest stop)
    : network_(network),
      system_(system),
      matrix_(system.junction_count, system.matrix_pairs, stop),
      stop_(stop),
      link_slot_(at(system.link_count), kNoIndex),
      p_(at(system.link_count), 0.0),
      y_(at(system.link_count), 0.0),
      diagonal_(at(system.junction_count), 0.0),
      off_diagonal_(at(matrix_.coefficient_count()), 0.0),
      rhs_(at(system.node_count), 0.0),
      xflow_(at(system.node_count), 0.0) {
    for (int k = 0; k < system.link_count; ++k) {
        const int pair = system.link_pair[at(k)];
        if (pair != kNoIndex) link_slot_[at(k)] = matrix_.slot(pair);
    }
}

LinkCoefficients HydraulicSolver::link_coefficients(int k, double q, LinkState s, double setting,
                                                    double y) const {
    const auto kk = at(k);
    const double km = system_.minor_loss[kk];
    const double rqtol = system_.rqtol;
    switch (system_.type[kk]) {
        case LinkType::CVPipe:
        case LinkType::Pipe:
            if (is_closed(s)) return closed_link_coefficients(q);
            if (system_.formula == HeadLossFormula::DarcyWeisbach) {
                const double d = system_.diameter[kk];
                return darcy_weisbach_coefficients(q, system_.resistance[kk], km,
                                                   system_.roughness[kk] / d,
                                                   system_.viscosity * d);
            }
            return power_law_coefficients(q, system_.resistance[kk], km, system_.hexp, rqtol);
        case LinkType::Pump: {
            if (is_closed(s) || setting == 0.0) return closed_link_coefficients(q);
            const PumpData& pump = system_.pumps[at(system_.pump_index[kk])];
            const Curve* curve =
                pump.curve == kNoIndex ? nullptr : &network_.curves[at(pump.curve)];
            return pump_coefficients(pump, curve, q, setting, rqtol, system_.units);
        }
        case LinkType::PBV:
            return pbv_coefficients(q, setting, km, is_closed(s), rqtol);
        case LinkType::TCV:
            return tcv_coefficients(q, setting, system_.diameter[kk], km, is_closed(s), rqtol);
        case LinkType::GPV:
            // Only an explicitly closed GPV is closed; otherwise its curve applies.
            if (s == LinkState::Closed) return closed_link_coefficients(q);
            return gpv_coefficients(q, network_.curves[at(static_cast<int>(std::lround(setting)))],
                                    system_.units);
        case LinkType::PRV:
        case LinkType::PSV:
        case LinkType::FCV:
            if (setting == kMissingSetting) return valve_coefficients(q, km, is_closed(s), rqtol);
            return {0.0, y};
    }
    return {};
}

void HydraulicSolver::head_loss_coefficients(const HydraulicState& state) {
    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        const LinkCoefficients c =
            link_coefficients(k, state.flow[kk], state.status[kk], state.setting[kk], y_[kk]);
        p_[at(k)] = c.p;
        y_[at(k)] = c.y;
    }
}

void HydraulicSolver::assemble(HydraulicState& state) {
    const int nj = system_.junction_count;
    std::fill(diagonal_.begin(), diagonal_.end(), 0.0);
    std::fill(off_diagonal_.begin(), off_diagonal_.end(), 0.0);
    std::fill(rhs_.begin(), rhs_.end(), 0.0);
    std::fill(xflow_.begin(), xflow_.end(), 0.0);

    // Links.
    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        const double p = p_[kk];
        if (p == 0.0) continue;
        const int n1 = system_.from[kk];
        const int n2 = system_.to[kk];
        const double q = state.flow[kk];
        xflow_[at(n1)] -= q;
        xflow_[at(n2)] += q;
        if (link_slot_[kk] != kNoIndex) off_diagonal_[at(link_slot_[kk])] -= p;
        if (n1 < nj) {
            diagonal_[at(n1)] += p;
            rhs_[at(n1)] += y_[kk];
        } else {
            rhs_[at(n2)] += p * state.head[at(n1)];
        }
        if (n2 < nj) {
            diagonal_[at(n2)] += p;
            rhs_[at(n2)] -= y_[kk];
        } else {
            rhs_[at(n1)] += p * state.head[at(n2)];
        }
    }

    // Emitters.
    for (int i = 0; i < nj; ++i) {
        const double k = system_.emitter_k[at(i)];
        if (k == 0.0) continue;
        const OutflowLaw law =
            emitter_law(state.emitter_flow[at(i)], k, system_.qexp, system_.rqtol);
        diagonal_[at(i)] += 1.0 / law.hgrad;
        rhs_[at(i)] += (law.hloss + system_.elevation[at(i)]) / law.hgrad;
        xflow_[at(i)] -= state.emitter_flow[at(i)];
    }

    // Pressure-driven demands.
    if (system_.demand_model == DemandModel::PressureDriven) {
        const double dp = system_.preq - system_.pmin;
        const double n = 1.0 / system_.pexp;
        for (int i = 0; i < nj; ++i) {
            if (state.demand[at(i)] <= 0.0) continue;
            const OutflowLaw law =
                demand_law(state.demand_flow[at(i)], state.demand[at(i)], dp, n, system_.rqtol);
            if (law.hgrad > 0.0) {
                diagonal_[at(i)] += 1.0 / law.hgrad;
                rhs_[at(i)] += (law.hloss + system_.elevation[at(i)] + system_.pmin) / law.hgrad;
            }
        }
    }

    // Demands complete the flow balance of each junction.
    for (int i = 0; i < nj; ++i) {
        xflow_[at(i)] -= state.demand_flow[at(i)];
        rhs_[at(i)] += xflow_[at(i)];
    }

    add_valve_terms(state);
}

void HydraulicSolver::add_valve_terms(HydraulicState& state) {
    const int nj = system_.junction_count;
    for (const int k : system_.valves) {
        const auto kk = at(k);
        if (!has_valve_term(k)) continue;
        const int n1 = system_.from[kk];
        const int n2 = system_.to[kk];
        // Such valves never touch fixed-grade nodes; guard all the same.
        if (n1 >= nj || n2 >= nj) continue;
        const auto i = at(n1);
        const auto j = at(n2);
        const ValveTerms terms{&p_[kk],       &y_[kk],    &diagonal_[i],
                               &diagonal_[j], &rhs_[i],   &rhs_[j],
                               &xflow_[i],    &xflow_[j], &off_diagonal_[at(link_slot_[kk])]};
        add_valve_term(k, state.status[kk], state.setting[kk], state.flow[kk], terms);
    }
}

bool HydraulicSolver::has_valve_term(int k) const {
    const LinkType t = system_.type[at(k)];
    return t == LinkType::PRV || t == LinkType::PSV || t == LinkType::FCV;
}

void HydraulicSolver::add_valve_term(int k, LinkState status, double setting, double q,
                                     const ValveTerms& v) const {
    const auto kk = at(k);
    const LinkType t = system_.type[kk];
    if (setting == kMissingSetting) return;
    const int n1 = system_.from[kk];
    const int n2 = system_.to[kk];
    const bool active = status == LinkState::Active;

    if (active && t == LinkType::PRV) {
        // Hold the downstream head at the setting; the valve passes the
        // downstream node's flow deficit.
        const double hset = system_.elevation[at(n2)] + setting;
        *v.p = 0.0;
        *v.y = q + *v.xflow_j;
        *v.rhs_j += hset * kCBig;
        *v.diagonal_j += kCBig;
        if (*v.xflow_j < 0.0) *v.rhs_i += *v.xflow_j;
        return;
    }
    if (active && t == LinkType::PSV) {
        const double hset = system_.elevation[at(n1)] + setting;
        *v.p = 0.0;
        *v.y = q - *v.xflow_i;
        *v.rhs_i += hset * kCBig;
        *v.diagonal_i += kCBig;
        if (*v.xflow_i > 0.0) *v.rhs_j += *v.xflow_i;
        return;
    }
    if (active && t == LinkType::FCV) {
        // Cut the network at the valve; its setting becomes a demand
        // upstream and a supply downstream.
        *v.xflow_i -= setting;
        *v.xflow_j += setting;
        *v.y = q - setting;
        *v.rhs_i -= setting;
        *v.rhs_j += setting;
        *v.p = 1.0 / kCBig;
        *v.off_diagonal -= *v.p;
        *v.diagonal_i += *v.p;
        *v.diagonal_j += *v.p;
        return;
    }
    const LinkCoefficients c =
        valve_coefficients(q, system_.minor_loss[kk], is_closed(status), system_.rqtol);
    *v.p = c.p;
    *v.y = c.y;
    *v.off_diagonal -= c.p;
    *v.diagonal_i += c.p;
    *v.diagonal_j += c.p;
    *v.rhs_i += c.y - q;
    *v.rhs_j -= c.y - q;
}

bool HydraulicSolver::fix_bad_valve(HydraulicState& state, int node) const {
    const int k = valve_at(node);
    if (k == kNoIndex) return false;
    const auto fixed = fixed_valve_state(k, state.status[at(k)]);
    if (fixed) state.status[at(k)] = *fixed;
    return fixed.has_value();
}

int HydraulicSolver::valve_at(int node) const {
    for (const int k : system_.valves) {
        if (node == system_.from[at(k)] || node == system_.to[at(k)]) return k;
    }
    return kNoIndex;
}

std::optional<LinkState> HydraulicSolver::fixed_valve_state(int k, LinkState status) const {
    const LinkType t = system_.type[at(k)];
    if ((t == LinkType::PRV || t == LinkType::PSV || t == LinkType::FCV) &&
        status == LinkState::Active) {
        return t == LinkType::FCV ? LinkState::XFCV : LinkState::XPressure;
    }
    return std::nullopt;
}

double HydraulicSolver::update_flows(HydraulicState& state, Balance& balance, double relax) const {
    const int nj = system_.junction_count;
    double qsum = 0.0;
    double dqsum = 0.0;
    balance.max_flow_change = 0.0;

    for (int n = nj; n < system_.node_count; ++n) state.demand[at(n)] = 0.0;

    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        const int n1 = system_.from[kk];
        const int n2 = system_.to[kk];
        const double dh = state.head[at(n1)] - state.head[at(n2)];
        double dq = (y_[kk] - p_[kk] * dh) * relax;
        if (system_.type[kk] == LinkType::Pump &&
            system_.pumps[at(system_.pump_index[kk])].kind == PumpCurveKind::ConstantPower &&
            dq > state.flow[kk]) {
            // Keeps a constant-power pump's flow positive.
            dq = state.flow[kk] / 2.0;
        }
        state.flow[kk] -= dq;
        qsum += std::fabs(state.flow[kk]);
        dqsum += std::fabs(dq);
        balance.max_flow_change = std::max(balance.max_flow_change, std::fabs(dq));
        if (!is_closed(state.status[kk])) {
            if (n1 >= nj) state.demand[at(n1)] -= state.flow[kk];
            if (n2 >= nj) state.demand[at(n2)] += state.flow[kk];
        }
    }

    for (int i = 0; i < nj; ++i) {
        const double k = system_.emitter_k[at(i)];
        if (k == 0.0) continue;
        const OutflowLaw law =
            emitter_law(state.emitter_flow[at(i)], k, system_.qexp, system_.rqtol);
        const double dh = state.head[at(i)] - system_.elevation[at(i)];
        const double dq = (law.hloss - dh) / law.hgrad * relax;
        state.emitter_flow[at(i)] -= dq;
        qsum += std::fabs(state.emitter_flow[at(i)]);
        dqsum += std::fabs(dq);
        balance.max_flow_change = std::max(balance.max_flow_change, std::fabs(dq));
    }

    if (system_.demand_model == DemandModel::PressureDriven) {
        const double dp = std::max(system_.preq - system_.pmin, kMinPressureRange);
        const double n = 1.0 / system_.pexp;
        for (int i = 0; i < nj; ++i) {
            if (state.demand[at(i)] <= 0.0) continue;
            const OutflowLaw law =
                demand_law(state.demand_flow[at(i)], state.demand[at(i)], dp, n, system_.rqtol);
            const double dh = state.head[at(i)] - system_.elevation[at(i)] - system_.pmin;
            const double dq = (law.hloss - dh) / law.hgrad * relax;
            state.demand_flow[at(i)] -= dq;
            qsum += std::fabs(state.demand_flow[at(i)]);
            dqsum += std::fabs(dq);
            balance.max_flow_change = std::max(balance.max_flow_change, std::fabs(dq));
        }
    }

    return qsum > system_.accuracy ? dqsum / qsum : dqsum;
}

bool HydraulicSolver::check_valve_states(HydraulicState& state) const {
    bool change = false;
    for (const int k : system_.valves) {
        const auto kk = at(k);
        const LinkState before = state.status[kk];
        state.status[kk] =
            checked_valve_state(k, before, state.flow[kk], state.head[at(system_.from[kk])],
                                state.head[at(system_.to[kk])], state.setting[kk]);
        if (state.status[kk] != before) change = true;
    }
    return change;
}

LinkState HydraulicSolver::checked_valve_state(int k, LinkState before, double q, double h1,
                                               double h2, double setting) const {
    const auto kk = at(k);
    if (setting == kMissingSetting) return before;
    const LinkType t = system_.type[kk];
    if (t != LinkType::PRV && t != LinkType::PSV) return before;
    const StatusTolerances tol{system_.htol, system_.qtol};
    const double hml = system_.minor_loss[kk] * (q * q);  // square first, as EPANET
    if (t == LinkType::PRV) {
        return prv_state(before, q, system_.elevation[at(system_.to[kk])] + setting, h1, h2, hml,
                         tol);
    }
    return psv_state(before, q, system_.elevation[at(system_.from[kk])] + setting, h1, h2, hml,
                     tol);
}

LinkState HydraulicSolver::tank_link_state(int k, LinkState status, double h1, double h2,
                                           double flow) const {
    const auto kk = at(k);
    if (is_closed(status)) return status;
    const int nj = system_.junction_count;
    int tank_node = system_.from[kk];
    double htank = h1;
    double hother = h2;
    double q = flow;
    if (tank_node < nj) {
        tank_node = system_.to[kk];
        std::swap(htank, hother);
        q = -q;
    }
    const TankData& tank = system_.tanks[at(tank_node - nj)];
    if (tank.area == 0.0) return status;
    const StatusTolerances tol{system_.htol, system_.qtol};
    const double h = htank - hother;
    const bool pump = system_.type[kk] == LinkType::Pump;
    if (htank >= tank.hmax - system_.htol && !tank.can_overflow) {
        // Full: no flow into the tank.
        if (pump) {
            if (system_.to[kk] == tank_node) status = LinkState::TempClosed;
        } else if (check_valve_state(LinkState::Open, h, q, tol) == LinkState::Closed) {
            status = LinkState::TempClosed;
        }
    }
    if (htank <= tank.hmin + system_.htol) {
        // Empty: no flow out of the tank.
        if (pump) {
            if (system_.from[kk] == tank_node) status = LinkState::TempClosed;
        } else if (check_valve_state(LinkState::Closed, h, q, tol) == LinkState::Open) {
            status = LinkState::TempClosed;
        }
    }
    return status;
}

bool HydraulicSolver::check_link_states(HydraulicState& state) const {
    bool change = false;
    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        const LinkState before = state.status[kk];
        state.status[kk] =
            checked_link_state(k, before, state.head[at(system_.from[kk])],
                               state.head[at(system_.to[kk])], state.flow[kk], state.setting[kk]);
        if (state.status[kk] != before) change = true;
    }
    return change;
}

LinkState HydraulicSolver::checked_link_state(int k, LinkState before, double h1, double h2,
                                              double flow, double setting) const {
    const auto kk = at(k);
    const StatusTolerances tol{system_.htol, system_.qtol};
    const int nj = system_.junction_count;
    const double dh = h1 - h2;
    LinkState status = before;
    if (before == LinkState::XHead || before == LinkState::TempClosed) status = LinkState::Open;
    const LinkType t = system_.type[kk];
    if (t == LinkType::CVPipe) status = check_valve_state(status, dh, flow, tol);
    if (t == LinkType::Pump && status >= LinkState::Open && setting > 0.0) {
        const PumpData& pump = system_.pumps[at(system_.pump_index[kk])];
        const double hmax =
            pump.kind == PumpCurveKind::ConstantPower ? 1.0e10 : setting * setting * pump.hmax;
        status = -dh > hmax + system_.htol ? LinkState::XHead : LinkState::Open;
    }
    if (t == LinkType::FCV && setting != kMissingSetting) {
        status = fcv_state(before, flow, setting, h1, h2, tol);
    }
    if (system_.from[kk] >= nj || system_.to[kk] >= nj)
        status = tank_link_state(k, status, h1, h2, flow);
    return status;
}

bool HydraulicSolver::apply_pressure_controls(HydraulicState& state) const {
    bool any = false;
    for (const ControlData& c : system_.controls) {
        if (!is_pressure_control(c)) continue;
        const auto kk = at(c.link);
        if (apply_pressure_control(c, state.head[at(c.node)], state.status[kk], state.setting[kk]))
            any = true;
    }
    return any;
}

bool HydraulicSolver::is_pressure_control(const ControlData& c) const {
    return c.node != kNoIndex && c.node < system_.junction_count;
}

bool HydraulicSolver::apply_pressure_control(const ControlData& c, double h, LinkState& status,
                                             double& setting) const {
    bool reset = false;
    if (c.kind == Control::Kind::LowLevel && h <= c.grade + system_.htol) reset = true;
    if (c.kind == Control::Kind::HiLevel && h >= c.grade - system_.htol) reset = true;
    if (!reset) return false;
    const LinkType t = system_.type[at(c.link)];
    bool change = false;
    if (t == LinkType::Pipe && status != c.status) change = true;
    if (t == LinkType::Pump && setting != c.setting) change = true;
    if (t >= LinkType::PRV) {
        if (setting != c.setting) {
            change = true;
        } else if (setting == kMissingSetting && status != c.status) {
            change = true;
        }
    }
    if (!change) return false;
    status = c.status;
    if (t > LinkType::Pipe) setting = c.setting;
    return true;
}

bool HydraulicSolver::has_converged(HydraulicState& state, double relative_error, Balance& balance,
                                    SolveResult& result) {
    if (relative_error > system_.accuracy) return false;

    // Largest head-loss error over open links, at the current flows.
    head_loss_coefficients(state);
    balance.max_head_error = 0.0;
    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        if (is_closed(state.status[kk]) || p_[kk] == 0.0) continue;
        const double dh = state.head[at(system_.from[kk])] - state.head[at(system_.to[kk])];
        const double error = std::fabs(dh - y_[kk] / p_[kk]);
        balance.max_head_error = std::max(balance.max_head_error, error);
    }
    if (system_.head_error_limit > 0.0 && balance.max_head_error > system_.head_error_limit)
        return false;
    if (system_.flow_change_limit > 0.0 && balance.max_flow_change > system_.flow_change_limit)
        return false;
    if (system_.demand_model != DemandModel::PressureDriven) return true;

    // Pressure-driven analysis also needs consistent demands and pressures.
    bool converged = true;
    double total_demand = 0.0;
    double total_reduction = 0.0;
    result.deficient_nodes = 0;
    result.demand_reduction = 0.0;
    for (int i = 0; i < system_.junction_count; ++i) {
        const double full = state.demand[at(i)];
        const double delivered = state.demand_flow[at(i)];
        if (full <= 0.0) continue;
        if (delivered < -kPdaTolerance) converged = false;
        if (delivered > kPdaTolerance &&
            state.head[at(i)] - system_.elevation[at(i)] - system_.pmin < -kPdaTolerance)
            converged = false;
        if (delivered + 0.0001 < full) {
            ++result.deficient_nodes;
            total_demand += full;
            total_reduction += full - delivered;
        }
    }
    if (total_demand > 0.0) result.demand_reduction = total_reduction / total_demand * 100.0;
    return converged;
}

SolveResult HydraulicSolver::solve(HydraulicState& state) {
    SolveResult result;
    Balance balance;
    int next_check = system_.check_freq;
    double relax = 1.0;
    double relative_error = 0.0;
    int error_node = -1;

    int max_trials = system_.max_iter;
    if (system_.extra_iter > 0) max_trials = wrapping_sum(max_trials, system_.extra_iter);
    int iter = 1;
    while (iter <= max_trials) {
        ThrowIfStopRequested(stop_);
        head_loss_coefficients(state);
        assemble(state);
        error_node = matrix_.solve(diagonal_, off_diagonal_, rhs_);
        if (error_node >= 0) {
            // An active control valve that makes the equations singular is
            // fixed in place and the trial repeated.
            if (fix_bad_valve(state, error_node)) continue;
            break;
        }
        for (int i = 0; i < system_.junction_count; ++i) state.head[at(i)] = rhs_[at(i)];
        relative_error = update_flows(state, balance, relax);

        relax = 1.0;
        bool valve_change = false;
        if (system_.damp_limit > 0.0) {
            if (relative_error <= system_.damp_limit) {
                relax = kDampedRelaxation;
                valve_change = check_valve_states(state);
            }
        } else {
            valve_change = check_valve_states(state);
        }

        if (has_converged(state, relative_error, balance, result)) {
            if (iter > system_.max_iter) break;
            bool status_change = valve_change;
            if (check_link_states(state)) status_change = true;
            if (apply_pressure_controls(state)) status_change = true;
            if (!status_change) break;
            next_check = wrapping_sum(iter, system_.check_freq);
        } else if (iter <= system_.max_check && iter == next_check) {
            check_link_states(state);
            next_check = wrapping_sum(next_check, system_.check_freq);
        }
        ++iter;
    }

    result.error = error_node >= 0 ? codes::kCannotSolve : codes::kOk;
    for (int i = 0; i < system_.junction_count; ++i) {
        const double full = state.demand[at(i)];
        state.demand[at(i)] = state.demand_flow[at(i)] + state.emitter_flow[at(i)];
        state.demand_flow[at(i)] = full;
    }
    result.iterations = iter;
    result.relative_error = relative_error;
    result.max_head_error = balance.max_head_error;
    result.max_flow_change = balance.max_flow_change;
    return result;
}

}  // namespace hydrosk::toolkit
