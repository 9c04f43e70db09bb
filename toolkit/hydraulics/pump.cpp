#include "toolkit/hydraulics/pump.h"

#include <algorithm>
#include <cmath>

#include "toolkit/portable_math.h"

namespace hydrosk::toolkit {

PumpData make_pump_data(const Link& link, int link_index) {
    PumpData pump;
    pump.link = link_index;
    pump.speed_pattern = link.speed_pattern;
    switch (link.pump_kind) {
        case PumpKind::ConstantPower:
            pump.kind = PumpCurveKind::ConstantPower;
            break;
        case PumpKind::PowerFunction:
            pump.kind = PumpCurveKind::PowerFunction;
            break;
        case PumpKind::Custom:
            pump.kind = PumpCurveKind::Custom;
            break;
    }
    // The link gives the head gain h0 - r q^n; the solver works with the loss.
    pump.h0 = -link.h0;
    pump.r = link.r;
    pump.n = link.n;
    pump.q0 = link.q0;
    pump.qmax = link.q_max;
    pump.hmax = link.h_max;
    if (pump.kind == PumpCurveKind::Custom) pump.curve = link.head_curve;
    return pump;
}

void curve_segment(const Curve& curve, double q, const UnitFactors& units, double& h0, double& r) {
    q *= units.flow;
    const std::size_t npts = std::min(curve.x.size(), curve.y.size());
    if (npts == 0) {
        h0 = 0.0;
        r = 0.0;
        return;
    }
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    if (npts == 1) {
        // EPANET reads one point past a one-point curve (a GPV's) on either
        // side and, with the zeros it finds there, takes the line through the
        // origin and the point; so is it here.
        x2 = curve.x[0];
        y2 = curve.y[0];
    } else {
        const auto& x = curve.x;
        const auto& y = curve.y;
        std::size_t k2 = 0;
        while (k2 < npts && x[k2] < q) ++k2;
        if (k2 == 0) {
            ++k2;
        } else if (k2 == npts) {
            --k2;
        }
        x1 = x[k2 - 1];
        y1 = y[k2 - 1];
        x2 = x[k2];
        y2 = y[k2];
    }
    r = (y2 - y1) / (x2 - x1);
    h0 = y1 - r * x1;
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
        // The segment's gain becomes a loss: h = -h0 s^2 - r s q, with s^2
        // formed first as EPANET forms it.
        hgrad = -r * speed;
        hloss = -h0 * (speed * speed) + hgrad * flow;
    } else {
        const double h0 = speed * speed * pump.h0;
        double n = pump.n;
        if (std::fabs(n - 1.0) < 1.0e-6) n = 1.0;
        const double r = pump.r * portable_pow(speed, 2.0 - n);
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
            hgrad = n * r * portable_pow(q, n - 1.0);
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
