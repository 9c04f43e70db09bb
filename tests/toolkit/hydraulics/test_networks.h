// Small networks built in code for the hydraulic engine's tests, given in US
// user units (ft, in, gpm, psi) and converted as an INP reader would. The
// expected values in the tests come from EPANET 2.2 (epanet-js) run on the
// same networks written as INP files.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "toolkit/network.h"
#include "toolkit/units.h"

namespace hydrosk::toolkit::test {

constexpr double kGpmPerCfs = 448.831;
constexpr double kPsiPerFt = 0.4333;

class NetworkBuilder {
public:
    NetworkBuilder() {
        net_.options.flow_units = FlowUnits::GPM;
        net_.units = unit_factors(net_.options);
    }

    NetworkBuilder& headloss(HeadLossFormula f) {
        net_.options.headloss = f;
        net_.options.headloss_exponent = f == HeadLossFormula::HazenWilliams ? 1.852 : 2.0;
        return *this;
    }
    // Junctions must all be added before tanks and reservoirs.
    NetworkBuilder& junction(const std::string& id, double elevation_ft, double demand_gpm) {
        Node n;
        n.id = id;
        n.elevation = elevation_ft;
        n.demands.push_back({demand_gpm / kGpmPerCfs, kNoIndex, ""});
        add_node(n);
        ++net_.junction_count;
        return *this;
    }
    NetworkBuilder& reservoir(const std::string& id, double head_ft) {
        Node n;
        n.id = id;
        n.type = NodeType::Reservoir;
        n.elevation = head_ft;
        n.initial_head = n.min_head = n.max_head = head_ft;
        add_node(n);
        ++net_.tank_count;
        return *this;
    }
    NetworkBuilder& tank(const std::string& id, double elevation_ft, double level_ft, double min_ft,
                         double max_ft, double diameter_ft) {
        Node n;
        n.id = id;
        n.type = NodeType::Tank;
        n.elevation = elevation_ft;
        n.initial_level = level_ft;
        n.min_level = min_ft;
        n.max_level = max_ft;
        n.diameter = diameter_ft;
        n.initial_head = elevation_ft + level_ft;
        n.min_head = elevation_ft + min_ft;
        n.max_head = elevation_ft + max_ft;
        n.area = std::numbers::pi * diameter_ft * diameter_ft / 4.0;
        n.min_volume = n.area * min_ft;
        n.initial_volume = n.min_volume + n.area * (level_ft - min_ft);
        n.max_volume = n.min_volume + n.area * (max_ft - min_ft);
        add_node(n);
        ++net_.tank_count;
        return *this;
    }
    // Roughness as in an INP file: H-W C, D-W millifeet or Manning n.
    NetworkBuilder& pipe(const std::string& id, const std::string& from, const std::string& to,
                         double length_ft, double diameter_in, double roughness,
                         double minor_loss = 0.0) {
        Link l = link(id, from, to, LinkType::Pipe);
        l.length = length_ft;
        l.diameter = diameter_in / 12.0;
        l.roughness = net_.options.headloss == HeadLossFormula::DarcyWeisbach ? roughness / 1000.0
                                                                              : roughness;
        l.minor_loss = minor_loss;
        return add_link(l);
    }
    // Valve setting as in an INP file: psi, gpm or a loss coefficient.
    NetworkBuilder& valve(const std::string& id, const std::string& from, const std::string& to,
                          double diameter_in, LinkType type, double setting,
                          double minor_loss = 0.0) {
        Link l = link(id, from, to, type);
        l.diameter = diameter_in / 12.0;
        l.minor_loss = minor_loss;
        l.initial_status = LinkStatus::Active;
        if (type == LinkType::FCV) {
            l.initial_setting = setting / kGpmPerCfs;
        } else if (type == LinkType::TCV) {
            l.initial_setting = setting;
        } else {
            l.initial_setting = setting / kPsiPerFt;
        }
        return add_link(l);
    }
    NetworkBuilder& gpv(const std::string& id, const std::string& from, const std::string& to,
                        double diameter_in, int curve) {
        Link l = link(id, from, to, LinkType::GPV);
        l.diameter = diameter_in / 12.0;
        l.head_curve = curve;
        l.initial_setting = curve;
        return add_link(l);
    }
    NetworkBuilder& pump(const std::string& id, const std::string& from, const std::string& to,
                         int curve, double speed = 1.0) {
        Link l = link(id, from, to, LinkType::Pump);
        l.head_curve = curve;
        l.initial_setting = speed;
        fit_pump(l, net_.curves[static_cast<std::size_t>(curve)]);
        return add_link(l);
    }
    NetworkBuilder& power_pump(const std::string& id, const std::string& from,
                               const std::string& to, double hp) {
        Link l = link(id, from, to, LinkType::Pump);
        l.pump_kind = PumpKind::ConstantPower;
        l.power = hp;
        l.initial_setting = 1.0;
        l.r = -8.814 * hp;
        l.n = -1.0;
        l.q0 = 1.0;
        l.q_max = l.h_max = 1.0e10;
        return add_link(l);
    }
    // A curve in user units (gpm, ft); returns its index through `index`.
    NetworkBuilder& curve(const std::string& id, std::vector<double> x, std::vector<double> y,
                          int& index) {
        Curve c;
        c.id = id;
        c.x = std::move(x);
        c.y = std::move(y);
        index = static_cast<int>(net_.curves.size());
        net_.curve_index[id] = index;
        net_.curves.push_back(std::move(c));
        return *this;
    }

    Network& network() { return net_; }
    Network build() const { return net_; }

    // Emitter coefficient in gpm / psi^0.5 on junction `index`.
    NetworkBuilder& emitter(int index, double gpm_per_sqrt_psi) {
        net_.nodes[static_cast<std::size_t>(index)].emitter_resistance =
            kGpmPerCfs * kGpmPerCfs / kPsiPerFt / (gpm_per_sqrt_psi * gpm_per_sqrt_psi);
        return *this;
    }

private:
    // EPANET's pump curve fitting (gpm, ft): a power function through one
    // design point or three points starting at zero flow, else the curve.
    static void fit_pump(Link& l, const Curve& c) {
        const std::size_t n = c.x.size();
        double h0 = 0, h1 = 0, h2 = 0, q1 = 0, q2 = 0;
        if (n == 1) {
            q1 = c.x[0];
            h1 = c.y[0];
            h0 = 1.33334 * h1;
            q2 = 2.0 * q1;
        } else if (n == 3 && c.x[0] == 0.0) {
            h0 = c.y[0];
            q1 = c.x[1];
            h1 = c.y[1];
            q2 = c.x[2];
            h2 = c.y[2];
        } else {
            l.pump_kind = PumpKind::Custom;
            l.q_max = c.x[n - 1] / kGpmPerCfs;
            l.q0 = (c.x[0] + c.x[n - 1]) / 2.0 / kGpmPerCfs;
            l.h_max = c.y[0];
            return;
        }
        l.pump_kind = PumpKind::PowerFunction;
        const double exponent = std::log((h0 - h2) / (h0 - h1)) / std::log(q2 / q1);
        const double b = -(h0 - h1) / std::pow(q1, exponent);
        l.h0 = h0;
        l.r = -b * std::pow(kGpmPerCfs, exponent);
        l.n = exponent;
        l.q0 = q1 / kGpmPerCfs;
        l.q_max = std::pow(-h0 / b, 1.0 / exponent) / kGpmPerCfs;
        l.h_max = h0;
    }

    void add_node(Node n) {
        net_.node_index[n.id] = static_cast<int>(net_.nodes.size());
        net_.nodes.push_back(std::move(n));
    }
    Link link(const std::string& id, const std::string& from, const std::string& to,
              LinkType type) const {
        Link l;
        l.id = id;
        l.type = type;
        l.from = net_.node_index.at(from);
        l.to = net_.node_index.at(to);
        return l;
    }
    NetworkBuilder& add_link(Link l) {
        net_.link_index[l.id] = static_cast<int>(net_.links.size());
        net_.links.push_back(std::move(l));
        return *this;
    }

    Network net_;
};

}  // namespace hydrosk::toolkit::test
