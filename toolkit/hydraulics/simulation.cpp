#include "toolkit/hydraulics/simulation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "toolkit/codes.h"

namespace hydrosk::toolkit {

namespace {

constexpr double kZeroFlow = 1.0e-6;  // cfs, a closed link's flow
constexpr long kSecondsPerDay = 86400;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// Rounds half away from zero, as EPANET's time computations do.
long round_seconds(double x) {
    return x >= 0.0 ? static_cast<long>(x + 0.5) : static_cast<long>(x - 0.5);
}

}  // namespace

HydraulicSimulation::HydraulicSimulation(const Network& network, StopRequest stop)
    : network_(network),
      system_(network),
      solver_(network, system_, stop),
      rules_(network, system_) {
    state_.resize(system_);
    const Times& t = network.times;
    duration_ = t.duration;
    pattern_step_ = t.pattern_step > 0 ? t.pattern_step : 3600;
    report_step_ = t.report_step != 0 ? t.report_step : pattern_step_;
    hydraulic_step_ = t.hydraulic_step > 0 ? t.hydraulic_step : 3600;
    hydraulic_step_ = std::min({hydraulic_step_, pattern_step_, report_step_});
    pattern_start_ = t.pattern_start;
    start_clock_ = t.start_clock;
    rule_step_ = t.rule_step > 0 ? std::min(t.rule_step, hydraulic_step_) : hydraulic_step_ / 10;
    // EPANET divides by a rule step of 0 (a hydraulic step below 10 s); one
    // second is the finest step there is.
    rule_step_ = std::max(rule_step_, 1L);
    // The topology never changes, so the checks of open() are made once.
    open_error_ = check_network();
    open();
}

int HydraulicSimulation::check_network() const {
    if (system_.node_count < 2) return codes::kTooFewNodes;
    if (system_.tanks.empty()) return codes::kNoTankOrReservoir;
    std::vector<bool> linked(at(system_.node_count), false);
    for (int k = 0; k < system_.link_count; ++k) {
        linked[at(system_.from[at(k)])] = true;
        linked[at(system_.to[at(k)])] = true;
    }
    for (int i = 0; i < system_.junction_count; ++i) {
        if (!linked[at(i)]) return codes::kUnconnectedNode;
    }
    return 0;
}

int HydraulicSimulation::open() {
    if (open_error_ != 0) return open_error_;
    for (int k = 0; k < system_.link_count; ++k) {
        set_initial_flow(k, system_.initial_state[at(k)], system_.initial_setting[at(k)]);
    }
    return 0;
}

void HydraulicSimulation::set_initial_flow(int link, LinkState status, double setting) {
    const auto k = at(link);
    if (status == LinkState::Closed) {
        state_.flow[k] = kZeroFlow;
    } else if (system_.type[k] == LinkType::Pump) {
        state_.flow[k] = setting * system_.pumps[at(system_.pump_index[k])].q0;
    } else {
        // A velocity of 1 ft/s; the area as EPANET rounds it, pi * (d * d), since
        // the starting flows steer which converged solution is found.
        const double d = system_.diameter[k];
        state_.flow[k] = std::numbers::pi * (d * d) / 4.0;
    }
}

void HydraulicSimulation::initialize(int flag) {
    const bool reinit_flows = flag / 10 > 0;
    for (std::size_t t = 0; t < system_.tanks.size(); ++t) {
        const TankData& tank = system_.tanks[t];
        state_.tank_volume[t] = tank.v0;
        state_.head[at(tank.node)] = tank.h0;
        state_.demand[at(tank.node)] = 0.0;
    }
    for (int i = 0; i < system_.node_count; ++i) {
        state_.emitter_flow[at(i)] = system_.emitter_k[at(i)] > 0.0 ? 1.0 : 0.0;
    }
    for (int k = 0; k < system_.link_count; ++k) {
        const auto kk = at(k);
        state_.status[kk] = system_.initial_state[kk];
        state_.setting[kk] = system_.initial_setting[kk];
        if (is_closed(state_.status[kk])) {
            state_.flow[kk] = kZeroFlow;
        } else if (std::fabs(state_.flow[kk]) <= kZeroFlow || reinit_flows) {
            set_initial_flow(k, state_.status[kk], state_.setting[kk]);
        }
    }
    halted_ = false;
    time_ = 0;
    report_time_ = report_step_;
}

double HydraulicSimulation::pattern_factor(int pattern, long period) const {
    if (pattern == kNoIndex) return 1.0;
    const auto& factors = network_.patterns[at(pattern)].factors;
    if (factors.empty()) return 1.0;
    // A pattern start far enough before 0 gives a negative period, for which
    // EPANET reads outside the pattern; the pattern repeats backwards instead.
    const auto length = static_cast<long>(factors.size());
    const long index = (period % length + length) % length;
    return factors[static_cast<std::size_t>(index)];
}

void HydraulicSimulation::update_demands() {
    const long period = (time_ + pattern_start_) / pattern_step_;
    const double multiplier = network_.options.demand_multiplier;
    system_demand_ = 0.0;
    for (int i = 0; i < system_.junction_count; ++i) {
        const double sum = junction_demand(i, period, multiplier, nullptr);
        state_.demand[at(i)] = sum;
        state_.demand_flow[at(i)] = sum;
    }
    for (const TankData& tank : system_.tanks) {
        if (tank.area == 0.0 && tank.head_pattern != kNoIndex) {
            state_.head[at(tank.node)] =
                system_.elevation[at(tank.node)] * pattern_factor(tank.head_pattern, period);
        }
    }
    for (const PumpData& pump : system_.pumps) {
        if (pump.speed_pattern != kNoIndex) {
            set_link_setting(system_, state_, pump.link,
                             pattern_factor(pump.speed_pattern, period));
        }
    }
}

double HydraulicSimulation::junction_demand(int i, long period, double multiplier,
                                            const double* first_base, const double* added_base) {
    double sum = 0.0;
    bool first = true;
    for (const Demand& d : network_.nodes[at(i)].demands) {
        // A replaced first demand has no pattern.
        const double q = first && first_base != nullptr
                             ? *first_base * pattern_factor(kNoIndex, period) * multiplier
                             : d.base * pattern_factor(d.pattern, period) * multiplier;
        first = false;
        if (q > 0.0) system_demand_ += q;
        sum += q;
    }
    if (added_base != nullptr) {
        const double q = *added_base * pattern_factor(kNoIndex, period) * multiplier;
        if (q > 0.0) system_demand_ += q;
        sum += q;
    }
    return sum;
}

void HydraulicSimulation::apply_time_controls() {
    const int nj = system_.junction_count;
    for (const ControlData& c : system_.controls) {
        bool reset = false;
        if (c.node != kNoIndex && c.node >= nj) {
            const int tank = c.node - nj;
            const double vplus = std::fabs(state_.demand[at(c.node)]);
            const double v1 =
                toolkit::tank_volume(network_, system_, tank, state_.head[at(c.node)]);
            const double v2 = toolkit::tank_volume(network_, system_, tank, c.grade);
            if (c.kind == Control::Kind::LowLevel && v1 <= v2 + vplus) reset = true;
            if (c.kind == Control::Kind::HiLevel && v1 >= v2 - vplus) reset = true;
        }
        if (c.kind == Control::Kind::Timer && c.time == time_) reset = true;
        if (c.kind == Control::Kind::TimeOfDay && (time_ + start_clock_) % kSecondsPerDay == c.time)
            reset = true;
        if (!reset) continue;

        const auto k = at(c.link);
        const LinkType t = system_.type[k];
        const LinkState s1 = is_closed(state_.status[k]) ? LinkState::Closed : LinkState::Open;
        const LinkState s2 = c.status;
        const double k1 = state_.setting[k];
        const double k2 = t > LinkType::Pipe ? c.setting : k1;
        if (t == LinkType::Pump && s1 == LinkState::Closed && s2 == LinkState::Open) {
            reset_pump_flow(system_, state_, c.link);
        }
        if (s1 != s2 || k1 != k2) {
            state_.status[k] = s2;
            state_.setting[k] = k2;
        }
    }
}

int HydraulicSimulation::warning_code(const SolveResult& r, const HydraulicState& state) const {
    int flag = 0;
    if (r.iterations > system_.max_iter && r.relative_error <= system_.accuracy)
        flag = codes::kUnstable;
    if (system_.demand_model == DemandModel::DemandDriven) {
        for (int i = 0; i < system_.junction_count; ++i) {
            if (state.head[at(i)] < system_.elevation[at(i)] && state.demand[at(i)] > 0.0) {
                flag = codes::kNegativePressure;
                break;
            }
        }
    }
    for (const int k : system_.valves) {
        if (state.status[at(k)] >= LinkState::XFCV) flag = codes::kValveCannotDeliver;
    }
    for (const PumpData& pump : system_.pumps) {
        const auto k = at(pump.link);
        LinkState s = state.status[k];
        if (s >= LinkState::Open) {
            if (state.flow[k] > state.setting[k] * pump.qmax) s = LinkState::XFlow;
            if (state.flow[k] < 0.0) s = LinkState::XHead;
        }
        if (s == LinkState::XHead || s == LinkState::XFlow) flag = codes::kPumpCannotDeliver;
    }
    if (r.iterations > system_.max_iter && r.relative_error > system_.accuracy)
        flag = codes::kUnbalanced;
    return flag;
}

int HydraulicSimulation::run(long& time) {
    time = time_;
    update_demands();
    apply_time_controls();
    last_ = solver_.solve(state_);
    if (last_.error != 0) return last_.error;
    if (last_.relative_error > system_.accuracy && system_.extra_iter == -1) halted_ = true;
    return warning_code(last_, state_);
}

void HydraulicSimulation::solve_demand_trials(int most_lanes, const NextTrial& next,
                                              const TrialDone& done) {
    // What every trial starts from: the start of run() at this point.
    const HydraulicSnapshot point = snapshot();
    const long period = (time_ + pattern_start_) / pattern_step_;
    const double multiplier = network_.options.demand_multiplier;
    update_demands();
    apply_time_controls();
    const HydraulicState start = state_;

    // A trial's demand is its junction's demand with the first base demand replaced, or with a
    // demand added.
    const auto demand_trial = [&]() -> std::optional<DemandTrial> {
        const auto trial = next();
        if (!trial) return std::nullopt;
        DemandTrial lane_trial;
        for (const int node : trial->nodes) {
            double demand = start.demand[at(node)];
            if (trial->added) {
                demand = junction_demand(node, period, multiplier, nullptr, &trial->base);
            } else if (!network_.nodes[at(node)].demands.empty()) {
                demand = junction_demand(node, period, multiplier, &trial->base);
            }
            lane_trial.nodes.push_back({node, demand});
        }
        return lane_trial;
    };
    const auto finished = [&](std::size_t ticket, const SolveResult& result,
                              const HydraulicState& state) {
        const int code = result.error != 0 ? result.error : warning_code(result, state);
        done(ticket, code, result, state);
    };

    if (!lanes_made_ || lanes_asked_ != most_lanes) {
        lanes_ = make_trial_lanes(network_, system_, solver_, most_lanes);
        lanes_made_ = true;
        lanes_asked_ = most_lanes;
    }
    try {
        if (lanes_) {
            lanes_->solve(start, demand_trial, finished);
        } else {
            // One trial at a time, as solve() does it.
            std::size_t ticket = 0;
            while (const auto trial = demand_trial()) {
                state_ = start;
                for (const NodeDemand& d : trial->nodes) {
                    state_.demand[at(d.node)] = d.demand;
                    state_.demand_flow[at(d.node)] = d.demand;
                }
                last_ = solver_.solve(state_);
                finished(ticket++, last_, state_);
            }
        }
    } catch (...) {
        restore(point);
        throw;
    }
    restore(point);
}

void HydraulicSimulation::tank_time_step(long& step) const {
    for (std::size_t t = 0; t < system_.tanks.size(); ++t) {
        const TankData& tank = system_.tanks[t];
        if (tank.area == 0.0) continue;
        const double h = state_.head[at(tank.node)];
        const double q = state_.demand[at(tank.node)];
        if (std::fabs(q) <= kZeroFlow) continue;
        double v = 0.0;
        if (q > 0.0 && h < tank.hmax) {
            v = tank.vmax - state_.tank_volume[t];
        } else if (q < 0.0 && h > tank.hmin) {
            v = tank.vmin - state_.tank_volume[t];
        } else {
            continue;
        }
        const long dt = round_seconds(v / q);
        if (dt > 0 && dt < step) step = dt;
    }
}

void HydraulicSimulation::control_time_step(long& step) const {
    const int nj = system_.junction_count;
    for (const ControlData& c : system_.controls) {
        long dt = 0;
        if (c.node != kNoIndex) {
            if (c.node < nj) continue;
            const int tank = c.node - nj;
            const double h = state_.head[at(c.node)];
            const double q = state_.demand[at(c.node)];
            if (std::fabs(q) <= kZeroFlow) continue;
            if ((h < c.grade && c.kind == Control::Kind::HiLevel && q > 0.0) ||
                (h > c.grade && c.kind == Control::Kind::LowLevel && q < 0.0)) {
                const double v = toolkit::tank_volume(network_, system_, tank, c.grade) -
                                 state_.tank_volume[at(tank)];
                dt = round_seconds(v / q);
            }
        }
        if (c.kind == Control::Kind::Timer && c.time > time_) dt = c.time - time_;
        if (c.kind == Control::Kind::TimeOfDay) {
            const long t1 = (time_ + start_clock_) % kSecondsPerDay;
            const long t2 = c.time;
            dt = t2 >= t1 ? t2 - t1 : kSecondsPerDay - t1 + t2;
        }
        if (dt > 0 && dt < step) {
            const auto k = at(c.link);
            if ((system_.type[k] > LinkType::Pipe && state_.setting[k] != c.setting) ||
                state_.status[k] != c.status)
                step = dt;
        }
    }
}

void HydraulicSimulation::update_tank_levels(long step) {
    for (std::size_t t = 0; t < system_.tanks.size(); ++t) {
        const TankData& tank = system_.tanks[t];
        if (tank.area == 0.0) continue;
        const double q = state_.demand[at(tank.node)];
        double& v = state_.tank_volume[t];
        v += q * static_cast<double>(step);
        // Full or empty within the next second counts as full or empty.
        if (v + q >= tank.vmax) {
            v = tank.vmax;
        } else if (v - q <= tank.vmin) {
            v = tank.vmin;
        }
        state_.head[at(tank.node)] = tank_head(network_, system_, static_cast<int>(t), v);
    }
}

long HydraulicSimulation::time_step() {
    long step = hydraulic_step_;
    const long n = (time_ + pattern_start_) / pattern_step_ + 1;
    long t = n * pattern_step_ - time_;
    if (t > 0 && t < step) step = t;
    t = report_time_ - time_;
    if (t > 0 && t < step) step = t;
    tank_time_step(step);
    control_time_step(step);
    if (network_.rules.empty()) {
        update_tank_levels(step);
    } else {
        rule_time_step(step);
    }
    return step;
}

void HydraulicSimulation::rule_time_step(long& step) {
    // Steps through the interval in rule time steps (the first one up to the
    // next multiple of the rule step), moving tanks, until a rule acts.
    const long now = time_;
    const long end = now + step;
    long dt = std::min(rule_step_, step);
    long dt1 = std::min(rule_step_ - now % rule_step_, step);
    if (dt1 == 0) dt1 = dt;
    long t = now;
    do {
        t += dt1;
        update_tank_levels(dt1);
        const RuleEvaluator::Clock clock{t, dt1, start_clock_, system_demand_};
        if (rules_.check(state_, clock) > 0) break;
        dt = std::min(dt, end - t);
        dt1 = dt;
    } while (dt > 0);
    step = t - now;
}

int HydraulicSimulation::next(long& step) {
    step = 0;
    if (halted_) time_ = duration_;
    long hydraulic_step = 0;
    if (time_ < duration_) hydraulic_step = time_step();
    if (time_ < duration_) {
        time_ += hydraulic_step;
        if (time_ >= report_time_) report_time_ += report_step_;
    } else {
        ++time_;
    }
    step = hydraulic_step;
    return 0;
}

double HydraulicSimulation::pressure_head(int node) const {
    return state_.head[at(node)] - system_.elevation[at(node)];
}

double HydraulicSimulation::demand_deficit(int node) const {
    if (node >= system_.junction_count) return 0.0;
    const auto i = at(node);
    if (state_.demand_flow[i] < 0.0) return 0.0;
    return state_.demand_flow[i] - (state_.demand[i] - state_.emitter_flow[i]);
}

HydraulicSnapshot HydraulicSimulation::snapshot() const {
    return {state_, last_, system_demand_, time_, report_time_, halted_};
}

void HydraulicSimulation::restore(const HydraulicSnapshot& saved) {
    state_ = saved.state;  // the same sizes: nothing is allocated
    last_ = saved.last;
    system_demand_ = saved.system_demand;
    time_ = saved.time;
    report_time_ = saved.report_time;
    halted_ = saved.halted;
}

double link_velocity(const HydraulicSystem& system, const HydraulicState& state, int link) {
    const auto k = at(link);
    if (system.type[k] == LinkType::Pump) return 0.0;
    const double d = system.diameter[k];
    return std::fabs(state.flow[k]) / (std::numbers::pi * (d * d) / 4.0);
}

double HydraulicSimulation::head_loss(int link) const {
    const auto k = at(link);
    return state_.head[at(system_.from[k])] - state_.head[at(system_.to[k])];
}

double HydraulicSimulation::tank_volume(int node) const {
    if (node < system_.junction_count) return 0.0;
    return state_.tank_volume[at(node - system_.junction_count)];
}

}  // namespace hydrosk::toolkit
