#include "toolkit/hydraulics/system.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "toolkit/curve_interpolation.h"
#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/hydraulics/pump.h"

namespace hydrosk::toolkit {

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
    units = network.units;
    formula = opt.headloss;
    hexp = opt.headloss_exponent;
    htol = opt.head_tolerance;
    qtol = opt.flow_tolerance;
    rqtol = opt.rq_tolerance;
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
        if (static_cast<int>(i) < junction_count) emitter_k[i] = node.emitter_resistance;
    }

    for (int i = junction_count; i < node_count; ++i) {
        const Node& node = network.nodes[static_cast<std::size_t>(i)];
        TankData t;
        t.node = i;
        t.head_pattern = node.head_pattern;
        t.can_overflow = node.can_overflow;
        t.area = node.type == NodeType::Reservoir ? 0.0 : node.area;
        t.h0 = node.initial_head;
        t.hmin = node.min_head;
        t.hmax = node.max_head;
        t.vmin = node.min_volume;
        t.v0 = node.initial_volume;
        t.vmax = node.max_volume;
        t.volume_curve = node.volume_curve;
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
        const LinkState given = link.initial_status == LinkStatus::Closed   ? LinkState::Closed
                                : link.initial_status == LinkStatus::Active ? LinkState::Active
                                                                            : LinkState::Open;
        switch (link.type) {
            case LinkType::CVPipe:
            case LinkType::Pipe:
                resistance[k] =
                    pipe_resistance(formula, link.length, link.diameter, link.roughness, hexp);
                initial_state[k] = given == LinkState::Closed ? given : LinkState::Open;
                initial_setting[k] = link.roughness;
                break;
            case LinkType::Pump:
                resistance[k] = kCBig;
                pump_index[k] = static_cast<int>(pumps.size());
                pumps.push_back(make_pump_data(link, static_cast<int>(k)));
                initial_state[k] = given == LinkState::Closed ? given : LinkState::Open;
                initial_setting[k] = link.initial_setting;
                break;
            default:
                resistance[k] = kCSmall;
                valves.push_back(static_cast<int>(k));
                // PRVs, PSVs and FCVs with a setting start active; a setting of
                // kMissing means a status fixed open or closed.
                initial_state[k] = given;
                initial_setting[k] = link.initial_setting;
                if ((link.type == LinkType::PRV || link.type == LinkType::PSV ||
                     link.type == LinkType::FCV) &&
                    link.initial_setting != kMissing) {
                    initial_state[k] = LinkState::Active;
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
        d.status = c.status == LinkStatus::Closed   ? LinkState::Closed
                   : c.status == LinkStatus::Active ? LinkState::Active
                                                    : LinkState::Open;
        d.setting = c.setting;
        controls.push_back(d);
    }
}

}  // namespace hydrosk::toolkit
