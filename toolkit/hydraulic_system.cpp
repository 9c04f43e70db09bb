#include "toolkit/hydraulic_system.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "toolkit/hydraulic_head_loss.h"
#include "toolkit/hydraulic_pump.h"

namespace hydrosk::toolkit {

namespace {

constexpr double kMetresPerFoot = 0.3048;
constexpr double kPsiPerFoot = 0.4333;
constexpr double kKpaPerPsi = 6.895;

bool is_si(FlowUnits units) {
    switch (units) {
        case FlowUnits::LPS:
        case FlowUnits::LPM:
        case FlowUnits::MLD:
        case FlowUnits::CMH:
        case FlowUnits::CMD:
            return true;
        default:
            return false;
    }
}

double flow_factor(FlowUnits units) {
    switch (units) {
        case FlowUnits::CFS:
            return 1.0;
        case FlowUnits::GPM:
            return 448.831;
        case FlowUnits::MGD:
            return 0.64632;
        case FlowUnits::IMGD:
            return 0.5382;
        case FlowUnits::AFD:
            return 1.9837;
        case FlowUnits::LPS:
            return 28.317;
        case FlowUnits::LPM:
            return 1699.0;
        case FlowUnits::MLD:
            return 2.4466;
        case FlowUnits::CMH:
            return 101.94;
        case FlowUnits::CMD:
            return 2446.6;
    }
    return 1.0;
}

}  // namespace

UnitFactors unit_factors(const Options& options) {
    UnitFactors f;
    f.flow = flow_factor(options.flow_units);
    const double sg = options.specific_gravity;
    if (is_si(options.flow_units)) {
        f.head = kMetresPerFoot;
        f.pressure = options.pressure_units == PressureUnits::KPA ? kKpaPerPsi * kPsiPerFoot * sg
                                                                  : kMetresPerFoot * sg;
    } else {
        f.head = 1.0;
        f.pressure = kPsiPerFoot * sg;
    }
    f.volume = f.head * f.head * f.head;
    return f;
}

double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
    const std::size_t n = x.size();
    if (n == 0) return 0.0;
    if (at <= x[0]) return y[0];
    for (std::size_t k = 1; k < n; ++k) {
        if (x[k] >= at) {
            const double dx = x[k] - x[k - 1];
            const double dy = y[k] - y[k - 1];
            if (std::fabs(dx) < 1.0e-6) return y[k];
            return y[k] - (x[k] - at) * dy / dx;
        }
    }
    return y[n - 1];
}

double tank_volume(const Network& network, const HydraulicSystem& system, int tank, double head) {
    const TankData& t = system.tanks[static_cast<std::size_t>(tank)];
    if (t.volume_curve == kNoIndex) return t.vmin + (head - t.hmin) * t.area;
    const Curve& curve = network.curves[static_cast<std::size_t>(t.volume_curve)];
    const double level =
        (head - system.elevation[static_cast<std::size_t>(t.node)]) * system.units.head;
    return interpolate(curve.x, curve.y, level) / system.units.volume;
}

double tank_head(const Network& network, const HydraulicSystem& system, int tank, double volume) {
    const TankData& t = system.tanks[static_cast<std::size_t>(tank)];
    if (t.volume_curve == kNoIndex) return t.hmin + (volume - t.vmin) / t.area;
    const Curve& curve = network.curves[static_cast<std::size_t>(t.volume_curve)];
    const double level = interpolate(curve.y, curve.x, volume * system.units.volume);
    return system.elevation[static_cast<std::size_t>(t.node)] + level / system.units.head;
}

HydraulicSystem::HydraulicSystem(const Network& network) {
    const Options& opt = network.options;
    units = unit_factors(opt);
    formula = opt.headloss;
    hexp = formula == HeadLossFormula::HazenWilliams ? 1.852 : 2.0;
    qexp = opt.emitter_exponent > 0.0 ? 1.0 / opt.emitter_exponent : 2.0;
    viscosity = opt.viscosity;
    accuracy = opt.accuracy;
    head_error_limit = opt.head_error;
    flow_change_limit = opt.flow_change;
    damp_limit = opt.damp_limit;
    max_iter = opt.max_trials;
    extra_iter = opt.unbalanced_extra_trials;
    check_freq = opt.check_frequency;
    max_check = opt.max_check;
    demand_model = opt.demand_model;
    pmin = opt.minimum_pressure;
    preq = opt.required_pressure;
    pexp = opt.pressure_exponent;
    demand_multiplier = opt.demand_multiplier;

    node_count = static_cast<int>(network.nodes.size());
    junction_count = network.junction_count;
    link_count = static_cast<int>(network.links.size());
    const auto nn = static_cast<std::size_t>(node_count);
    const auto nl = static_cast<std::size_t>(link_count);

    elevation.resize(nn);
    emitter_k.assign(nn, 0.0);
    for (std::size_t i = 0; i < nn; ++i) {
        const Node& node = network.nodes[i];
        elevation[i] = node.elevation;
        if (static_cast<int>(i) < junction_count && node.emitter_coeff > 0.0) {
            // q = C h^(1/qexp)  <=>  h = C^-qexp q^qexp.
            emitter_k[i] = 1.0 / std::pow(node.emitter_coeff, qexp);
        }
    }

    for (int i = junction_count; i < node_count; ++i) {
        const Node& node = network.nodes[static_cast<std::size_t>(i)];
        TankData t;
        t.node = i;
        t.head_pattern = node.head_pattern;
        t.can_overflow = node.can_overflow;
        if (node.type == NodeType::Reservoir) {
            t.h0 = t.hmin = t.hmax = node.elevation;
        } else {
            t.h0 = node.elevation + node.initial_level;
            t.hmin = node.elevation + node.min_level;
            t.hmax = node.elevation + node.max_level;
            t.volume_curve = node.volume_curve;
            if (node.volume_curve != kNoIndex) {
                const Curve& c = network.curves[static_cast<std::size_t>(node.volume_curve)];
                const double u = units.head;
                t.vmin = interpolate(c.x, c.y, node.min_level * u) / units.volume;
                t.vmax = interpolate(c.x, c.y, node.max_level * u) / units.volume;
                t.v0 = interpolate(c.x, c.y, node.initial_level * u) / units.volume;
                const std::size_t last = c.x.size() - 1;
                const double slope = (c.y[last] - c.y[0]) / (c.x[last] - c.x[0]);
                const double nominal = std::sqrt(4.0 * slope / std::numbers::pi) / u;
                t.area = std::numbers::pi * nominal * nominal / 4.0;
            } else {
                t.area = std::numbers::pi * node.diameter * node.diameter / 4.0;
                t.vmin = node.min_volume > 0.0 ? node.min_volume : t.area * node.min_level;
                t.v0 = t.vmin + t.area * (node.initial_level - node.min_level);
                t.vmax = t.vmin + t.area * (node.max_level - node.min_level);
            }
        }
        tanks.push_back(t);
    }

    type.resize(nl);
    from.resize(nl);
    to.resize(nl);
    diameter.resize(nl);
    resistance.resize(nl);
    minor_loss.resize(nl);
    roughness.resize(nl);
    initial_state.resize(nl);
    initial_setting.resize(nl);
    pump_index.assign(nl, kNoIndex);
    link_pair.assign(nl, kNoIndex);
    for (std::size_t k = 0; k < nl; ++k) {
        const Link& link = network.links[k];
        type[k] = link.type;
        from[k] = link.from;
        to[k] = link.to;
        diameter[k] = link.diameter;
        roughness[k] = link.roughness;
        const double d2 = link.diameter * link.diameter;
        minor_loss[k] = link.type == LinkType::Pump ? 0.0 : 0.02517 * link.minor_loss / d2 / d2;
        const LinkState given =
            link.initial_status == LinkStatus::Closed ? LinkState::Closed : LinkState::Open;
        switch (link.type) {
            case LinkType::CVPipe:
            case LinkType::Pipe:
                resistance[k] =
                    pipe_resistance(formula, link.length, link.diameter, link.roughness, hexp);
                initial_state[k] = given;
                initial_setting[k] = link.roughness;
                break;
            case LinkType::Pump:
                resistance[k] = kCBig;
                pump_index[k] = static_cast<int>(pumps.size());
                pumps.push_back(make_pump_data(network, static_cast<int>(k), units));
                initial_state[k] = given;
                initial_setting[k] = link.initial_setting;
                break;
            case LinkType::GPV:
                resistance[k] = kCSmall;
                valves.push_back(static_cast<int>(k));
                initial_state[k] = given;
                initial_setting[k] = static_cast<double>(link.head_curve);
                break;
            default:
                resistance[k] = kCSmall;
                valves.push_back(static_cast<int>(k));
                // A valve given a setting regulates; one fixed open or closed
                // has no setting.
                if (link.initial_status == LinkStatus::Active) {
                    initial_state[k] = LinkState::Active;
                    initial_setting[k] = link.initial_setting;
                } else {
                    initial_state[k] = given;
                    initial_setting[k] = kMissingSetting;
                }
                break;
        }
        if (link.from < junction_count && link.to < junction_count) {
            link_pair[k] = static_cast<int>(matrix_pairs.size());
            matrix_pairs.emplace_back(link.from, link.to);
        }
    }

    for (const Control& c : network.controls) {
        if (c.link < 0 || c.link >= link_count) continue;
        ControlData d;
        d.kind = c.kind;
        d.link = c.link;
        d.node = c.node;
        d.grade = c.grade;
        d.time = c.time;
        const LinkType t = type[static_cast<std::size_t>(c.link)];
        d.status = c.status == LinkStatus::Closed   ? LinkState::Closed
                   : c.status == LinkStatus::Active ? LinkState::Active
                                                    : LinkState::Open;
        if (c.has_setting) {
            d.setting = c.setting;
            if (t == LinkType::Pump || t == LinkType::Pipe) {
                d.status = c.setting == 0.0 ? LinkState::Closed : LinkState::Open;
            } else if (t != LinkType::GPV) {
                d.status = LinkState::Active;
            }
        } else if (t == LinkType::Pump) {
            d.setting = d.status == LinkState::Closed ? 0.0 : 1.0;
        } else if (t == LinkType::GPV) {
            d.setting = initial_setting[static_cast<std::size_t>(c.link)];
        }
        controls.push_back(d);
    }
}

}  // namespace hydrosk::toolkit
