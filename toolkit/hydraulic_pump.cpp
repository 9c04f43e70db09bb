#include "toolkit/hydraulic_pump.h"

#include <cmath>
#include <stdexcept>

namespace hydrosk::toolkit {

namespace {

constexpr double kTiny = 1.0e-6;
constexpr double kHuge = 1.0e10;

// Fits h = a - b q^c through the shutoff head h0, the design point (q1, h1) and
// the maximum-flow point (q2, h2). Returns false when no such curve exists.
bool fit_power_curve(double h0, double h1, double h2, double q1, double q2, double& a, double& b,
                     double& c) {
    if (h0 < kTiny || h0 - h1 < kTiny || h1 - h2 < kTiny || q1 < kTiny || q2 - q1 < kTiny)
        return false;
    a = h0;
    const double h4 = h0 - h1;
    const double h5 = h0 - h2;
    c = std::log(h5 / h4) / std::log(q2 / q1);
    if (c <= 0.0 || c > 20.0) return false;
    b = -h4 / std::pow(q1, c);
    return b < 0.0;
}

}  // namespace

PumpData make_pump_data(const Network& network, int link_index, const UnitFactors& units) {
    const Link& link = network.links[static_cast<std::size_t>(link_index)];
    PumpData pump;
    pump.link = link_index;
    pump.speed_pattern = link.speed_pattern;
    if (link.head_curve == kNoIndex || link.pump_kind == PumpKind::ConstantPower) {
        if (link.power <= 0.0) throw std::invalid_argument("pump without curve or power");
        // Power is given in hp, or in kW with SI flow units.
        const bool si = units.head != 1.0;
        const double hp = si ? link.power / 0.7457 : link.power;
        pump.kind = PumpCurveKind::ConstantPower;
        pump.h0 = 0.0;
        pump.r = -8.814 * hp;
        pump.n = -1.0;
        pump.hmax = kHuge;
        pump.qmax = kHuge;
        pump.q0 = 1.0;
        return pump;
    }
    const Curve& curve = network.curves[static_cast<std::size_t>(link.head_curve)];
    const auto& x = curve.x;
    const auto& y = curve.y;
    const std::size_t npts = x.size();
    if (npts == 0) throw std::invalid_argument("empty pump curve");
    double h0 = 0.0, h1 = 0.0, h2 = 0.0, q1 = 0.0, q2 = 0.0;
    if (npts == 1) {
        q1 = x[0];
        h1 = y[0];
        h0 = 1.33334 * h1;
        q2 = 2.0 * q1;
        h2 = 0.0;
    } else if (npts == 3 && x[0] == 0.0) {
        h0 = y[0];
        q1 = x[1];
        h1 = y[1];
        q2 = x[2];
        h2 = y[2];
    } else {
        for (std::size_t m = 1; m < npts; ++m) {
            if (y[m] >= y[m - 1]) throw std::invalid_argument("pump curve head not decreasing");
        }
        pump.kind = PumpCurveKind::Custom;
        pump.curve = link.head_curve;
        pump.qmax = x[npts - 1] / units.flow;
        pump.q0 = (x[0] + x[npts - 1]) / 2.0 / units.flow;
        pump.hmax = y[0] / units.head;
        return pump;
    }
    double a = 0.0, b = 0.0, c = 0.0;
    if (!fit_power_curve(h0, h1, h2, q1, q2, a, b, c))
        throw std::invalid_argument("pump curve cannot be fitted");
    pump.kind = PumpCurveKind::PowerFunction;
    // Converted from user units the way EPANET does, for identical rounding.
    pump.h0 = -a / units.head;
    pump.r = -b * (std::pow(units.flow, c) / units.head);
    pump.n = c;
    pump.q0 = q1 / units.flow;
    pump.qmax = std::pow(-a / b, 1.0 / c) / units.flow;
    pump.hmax = h0 / units.head;
    return pump;
}

void curve_segment(const Curve& curve, double q, const UnitFactors& units, double& h0, double& r) {
    q *= units.flow;
    const auto& x = curve.x;
    const auto& y = curve.y;
    const std::size_t npts = x.size();
    std::size_t k2 = 0;
    while (k2 < npts && x[k2] < q) ++k2;
    if (k2 == 0) {
        ++k2;
    } else if (k2 == npts) {
        --k2;
    }
    const std::size_t k1 = k2 - 1;
    r = (y[k2] - y[k1]) / (x[k2] - x[k1]);
    h0 = y[k1] - r * x[k1];
    h0 = h0 / units.head;
    r = r * units.flow / units.head;
}

LinkCoefficients pump_coefficients(const PumpData& pump, const Curve* curve, double flow,
                                   double speed, double rqtol, const UnitFactors& units) {
    const double q = std::fabs(flow);
    double hloss = 0.0;
    double hgrad = 0.0;
    if (pump.kind == PumpCurveKind::Custom) {
        double h0 = 0.0, r = 0.0;
        curve_segment(*curve, q / speed, units, h0, r);
        // The segment's gain becomes a loss: h = -h0 s^2 - r s q.
        hgrad = -r * speed;
        hloss = -h0 * speed * speed + hgrad * flow;
    } else {
        const double h0 = speed * speed * pump.h0;
        double n = pump.n;
        if (std::fabs(n - 1.0) < 1.0e-6) n = 1.0;
        const double r = pump.r * std::pow(speed, 2.0 - n);
        if (pump.kind == PumpCurveKind::ConstantPower) {
            hgrad = -r / q / q;
            if (hgrad > kCBig) {
                hgrad = kCBig;
                hloss = -hgrad * flow;
            } else if (hgrad < rqtol) {
                hgrad = rqtol;
                hloss = -hgrad * flow;
            } else {
                hloss = r / flow;
            }
        } else if (n != 1.0) {
            hgrad = n * r * std::pow(q, n - 1.0);
            if (hgrad < rqtol) {
                hgrad = rqtol;
                hloss = h0 + hgrad * flow;
            } else {
                hloss = h0 + hgrad * flow / n;
            }
        } else {
            hgrad = r;
            hloss = h0 + hgrad * flow;
        }
    }
    return {1.0 / hgrad, hloss / hgrad};
}

}  // namespace hydrosk::toolkit
