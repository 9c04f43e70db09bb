#include "toolkit/hydraulics/valve.h"

#include <algorithm>
#include <cmath>

#include "toolkit/hydraulics/pump.h"

namespace hydrosk::toolkit {

LinkCoefficients valve_coefficients(double flow, double km, bool closed, double rqtol) {
    if (closed) return closed_link_coefficients(flow);
    return open_valve_coefficients(flow, km, rqtol);
}

LinkCoefficients tcv_coefficients(double flow, double setting, double diameter, double km,
                                  bool closed, double rqtol) {
    if (setting != kMissingSetting) {
        // Velocity-head coefficient to ft / cfs^2 (0.02517 = 8 / (g pi^2)).
        const double d2 = diameter * diameter;
        km = 0.02517 * setting / (d2 * d2);
    }
    return valve_coefficients(flow, km, closed, rqtol);
}

LinkCoefficients pbv_coefficients(double flow, double setting, double km, bool closed,
                                  double rqtol) {
    // The open valve's loss km q^2 is rounded as EPANET rounds it, the square first.
    if (setting == kMissingSetting || setting == 0.0 || km * (flow * flow) > setting) {
        return valve_coefficients(flow, km, closed, rqtol);
    }
    return {kCBig, setting * kCBig};
}

LinkCoefficients gpv_coefficients(double flow, const Curve& curve, const UnitFactors& units) {
    constexpr double kTiny = 1.0e-6;
    const double q = std::max(std::fabs(flow), kTiny);
    double h0 = 0.0, r = 0.0;
    curve_segment(curve, q, units, h0, r);
    r = std::max(r, kTiny);
    const double sign = flow < 0.0 ? -1.0 : 1.0;
    return {1.0 / r, (h0 / r + q) * sign};
}

LinkState check_valve_state(LinkState current, double dh, double flow,
                            const StatusTolerances& tol) {
    if (std::fabs(dh) > tol.htol) {
        if (dh < -tol.htol) return LinkState::Closed;
        if (flow < -tol.qtol) return LinkState::Closed;
        return LinkState::Open;
    }
    if (flow < -tol.qtol) return LinkState::Closed;
    return current;
}

LinkState prv_state(LinkState current, double flow, double hset, double h1, double h2, double hml,
                    const StatusTolerances& tol) {
    const double htol = tol.htol;
    switch (current) {
        case LinkState::Active:
            if (flow < -tol.qtol) return LinkState::Closed;
            if (h1 - hml < hset - htol) return LinkState::Open;
            return LinkState::Active;
        case LinkState::Open:
            if (flow < -tol.qtol) return LinkState::Closed;
            if (h2 >= hset + htol) return LinkState::Active;
            return LinkState::Open;
        case LinkState::Closed:
            if (h1 >= hset + htol && h2 < hset - htol) return LinkState::Active;
            if (h1 < hset - htol && h1 > h2 + htol) return LinkState::Open;
            return LinkState::Closed;
        case LinkState::XPressure:
            if (flow < -tol.qtol) return LinkState::Closed;
            return current;
        default:
            return current;
    }
}

LinkState psv_state(LinkState current, double flow, double hset, double h1, double h2, double hml,
                    const StatusTolerances& tol) {
    const double htol = tol.htol;
    switch (current) {
        case LinkState::Active:
            if (flow < -tol.qtol) return LinkState::Closed;
            if (h2 + hml > hset + htol) return LinkState::Open;
            return LinkState::Active;
        case LinkState::Open:
            if (flow < -tol.qtol) return LinkState::Closed;
            if (h1 < hset - htol) return LinkState::Active;
            return LinkState::Open;
        case LinkState::Closed:
            if (h2 > hset + htol && h1 > h2 + htol) return LinkState::Open;
            if (h1 >= hset + htol && h1 > h2 + htol) return LinkState::Active;
            return LinkState::Closed;
        case LinkState::XPressure:
            if (flow < -tol.qtol) return LinkState::Closed;
            return current;
        default:
            return current;
    }
}

LinkState fcv_state(LinkState current, double flow, double qset, double h1, double h2,
                    const StatusTolerances& tol) {
    if (h1 - h2 < -tol.htol) return LinkState::XFCV;
    if (flow < -tol.qtol) return LinkState::XFCV;
    if (current == LinkState::XFCV && flow >= qset) return LinkState::Active;
    return current;
}

}  // namespace hydrosk::toolkit
