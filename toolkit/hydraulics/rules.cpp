#include "toolkit/hydraulics/rules.h"

#include <cmath>

namespace hydrosk::toolkit {

namespace {

constexpr double kRuleTolerance = 1.0e-3;  // user units, EPANET's comparison tolerance
constexpr double kTiny = 1.0e-6;
constexpr long kSecondsPerDay = 86400;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

bool compare(double x, RulePremise::Relation r, double value) {
    using R = RulePremise::Relation;
    switch (r) {
        case R::EQ:
            return std::fabs(x - value) <= kRuleTolerance;
        case R::NE:
            return std::fabs(x - value) >= kRuleTolerance;
        case R::LT:
            return x <= value + kRuleTolerance;
        case R::LE:
            return x <= value - kRuleTolerance;
        case R::GT:
            return x >= value - kRuleTolerance;
        case R::GE:
            return x >= value + kRuleTolerance;
    }
    return false;
}

}  // namespace

void reset_pump_flow(const HydraulicSystem& system, HydraulicState& state, int link) {
    const PumpData& pump = system.pumps[at(system.pump_index[at(link)])];
    if (pump.kind == PumpCurveKind::ConstantPower) state.flow[at(link)] = pump.q0;
}

void set_link_open(const HydraulicSystem& system, HydraulicState& state, int link, bool open) {
    const auto k = at(link);
    const LinkType t = system.type[k];
    if (open) {
        if (t == LinkType::Pump) {
            state.setting[k] = 1.0;
            if (state.status[k] == LinkState::Closed) reset_pump_flow(system, state, link);
        }
        if (t > LinkType::Pump && t != LinkType::GPV) state.setting[k] = kMissingSetting;
        state.status[k] = LinkState::Open;
    } else {
        if (t == LinkType::Pump) state.setting[k] = 0.0;
        if (t > LinkType::Pump && t != LinkType::GPV) state.setting[k] = kMissingSetting;
        state.status[k] = LinkState::Closed;
    }
}

void set_link_setting(const HydraulicSystem& system, HydraulicState& state, int link,
                      double value) {
    const auto k = at(link);
    const LinkType t = system.type[k];
    if (t == LinkType::Pump) {
        state.setting[k] = value;
        if (value > 0.0 && is_closed(state.status[k])) {
            reset_pump_flow(system, state, link);
            state.status[k] = LinkState::Open;
        }
        if (value == 0.0 && !is_closed(state.status[k])) state.status[k] = LinkState::Closed;
    } else if (t == LinkType::FCV) {
        state.setting[k] = value;
        state.status[k] = LinkState::Active;
    } else {
        if (state.setting[k] == kMissingSetting && is_closed(state.status[k])) {
            state.status[k] = LinkState::Open;
        }
        state.setting[k] = value;
    }
}

RuleEvaluator::RuleEvaluator(const Network& network, const HydraulicSystem& system)
    : network_(network), system_(system) {
    pending_.reserve(at(system.link_count));
}

bool RuleEvaluator::premise_holds(const RulePremise& p, const HydraulicState& state,
                                  const Clock& clock) const {
    using V = RulePremise::Variable;
    const UnitFactors& u = system_.units;
    const int nj = system_.junction_count;
    const int i = p.index;

    if (p.variable == V::Time || p.variable == V::ClockTime) {
        const long first = clock.time - clock.interval + 1;
        long t1 = first;
        long t2 = clock.time;
        if (p.variable == V::ClockTime) {
            t1 = (first + clock.start_clock) % kSecondsPerDay;
            t2 = (clock.time + clock.start_clock) % kSecondsPerDay;
        }
        const auto x = static_cast<long>(p.value);
        using R = RulePremise::Relation;
        switch (p.relation) {
            case R::LT:
                return t2 < x;
            case R::LE:
                return t2 <= x;
            case R::GT:
                return t2 > x;
            case R::GE:
                return t2 >= x;
            case R::EQ:
            case R::NE: {
                // Equality means "sometime within the interval just stepped".
                const bool within = t2 < t1 ? (x >= t1 || x <= t2) : (x >= t1 && x <= t2);
                return p.relation == R::EQ ? within : !within;
            }
        }
        return false;
    }

    if (p.status != RulePremise::StatusValue::None) {
        if (p.object != RulePremise::Object::Link) return false;
        const LinkState s = state.status[at(i)];
        const RulePremise::StatusValue now = is_closed(s) ? RulePremise::StatusValue::Closed
                                             : s == LinkState::Active
                                                 ? RulePremise::StatusValue::Active
                                                 : RulePremise::StatusValue::Open;
        if (p.relation == RulePremise::Relation::EQ) return now == p.status;
        if (p.relation == RulePremise::Relation::NE) return now != p.status;
        return false;
    }

    double x = 0.0;
    switch (p.variable) {
        case V::Demand:
            x = p.object == RulePremise::Object::System ? clock.system_demand * u.flow
                                                        : state.demand[at(i)] * u.flow;
            break;
        case V::Head:
        case V::Grade:
            x = state.head[at(i)] * u.head;
            break;
        case V::Pressure:
            x = (state.head[at(i)] - system_.elevation[at(i)]) * u.pressure;
            break;
        case V::Level:
            x = (state.head[at(i)] - system_.elevation[at(i)]) * u.head;
            break;
        case V::Flow:
            x = std::fabs(state.flow[at(i)]) * u.flow;
            break;
        case V::Setting: {
            x = state.setting[at(i)];
            if (x == kMissingSetting) return false;
            const LinkType t = system_.type[at(i)];
            if (t == LinkType::PRV || t == LinkType::PSV || t == LinkType::PBV) {
                x *= u.pressure;
            } else if (t == LinkType::FCV) {
                x *= u.flow;
            }
            break;
        }
        case V::FillTime:
        case V::DrainTime: {
            if (i < nj) return false;
            const TankData& tank = system_.tanks[at(i - nj)];
            if (tank.area == 0.0) return false;
            const double q = state.demand[at(i)];
            const double v = state.tank_volume[at(i - nj)];
            if (p.variable == V::FillTime) {
                if (q <= kTiny) return false;
                x = (tank.vmax - v) / q;
            } else {
                if (q >= -kTiny) return false;
                x = (tank.vmin - v) / q;
            }
            break;
        }
        default:
            return false;
    }
    return compare(x, p.relation, p.value);
}

void RuleEvaluator::add_actions(int rule, const std::vector<RuleAction>& actions) {
    for (const RuleAction& a : actions) {
        bool listed = false;
        for (Pending& item : pending_) {
            if (item.action->link != a.link) continue;
            listed = true;
            if (network_.rules[at(rule)].priority > network_.rules[at(item.rule)].priority) {
                item = {rule, &a};
            }
            break;
        }
        if (!listed) pending_.push_back({rule, &a});
    }
}

int RuleEvaluator::check(HydraulicState& state, const Clock& clock) {
    pending_.clear();
    for (std::size_t r = 0; r < network_.rules.size(); ++r) {
        const Rule& rule = network_.rules[r];
        // AND binds tighter than OR, evaluated left to right with EPANET's
        // short cuts.
        bool result = true;
        bool decided_false = false;
        for (const RulePremise& p : rule.premises) {
            if (p.logic == RulePremise::Logic::Or) {
                if (!result) result = premise_holds(p, state, clock);
            } else {
                if (!result) {
                    decided_false = true;
                    break;
                }
                result = premise_holds(p, state, clock);
            }
        }
        if (decided_false) result = false;
        add_actions(static_cast<int>(r), result ? rule.then_actions : rule.else_actions);
    }

    // EPANET takes the list's actions newest first.
    int changed = 0;
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        const RuleAction& a = *it->action;
        const auto k = at(a.link);
        const LinkState s = state.status[k];
        bool flag = false;
        if (a.status == RuleAction::StatusValue::Open && is_closed(s)) {
            set_link_open(system_, state, a.link, true);
            flag = true;
        } else if (a.status == RuleAction::StatusValue::Closed && !is_closed(s)) {
            set_link_open(system_, state, a.link, false);
            flag = true;
        } else if (a.setting != kMissing) {
            double x = a.setting;
            const LinkType t = system_.type[k];
            if (t == LinkType::PRV || t == LinkType::PSV || t == LinkType::PBV) {
                x /= system_.units.pressure;
            } else if (t == LinkType::FCV) {
                x /= system_.units.flow;
            }
            if (std::fabs(x - state.setting[k]) > kRuleTolerance) {
                set_link_setting(system_, state, a.link, x);
                flag = true;
            }
        }
        if (flag) ++changed;
    }
    return changed;
}

}  // namespace hydrosk::toolkit
