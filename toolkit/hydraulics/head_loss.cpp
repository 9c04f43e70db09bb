#include "toolkit/hydraulics/head_loss.h"

#include <cmath>
#include <numbers>

#include "toolkit/portable_math.h"

namespace hydrosk::toolkit {

namespace {

// EPANET 2.2 gives its friction constants as decimal literals. Some differ in
// the last bit from the products they stand for (1000 * pi and 500 * pi come
// out one unit lower), and an active pressure breaker valve amplifies such a
// bit into visible flow differences, so the literals are used as they are.
constexpr double kPi = std::numbers::pi;
// Reynolds-number thresholds expressed as q / (viscosity * d) = Re * pi / 4.
constexpr double kTurbulentLimit = 3.14159265358979323850e+03;  // 1000 pi: Re 4000
constexpr double kLaminarLimit = 1.57079632679489661930e+03;    // 500 pi: Re 2000
constexpr double kLaminarFactor = 5.02654824574366918160e+01;   // 16 pi: f = 64 / Re
constexpr double kSwameeA = 4.61841319859066668690e+00;         // 5.74 (pi/4)^0.9
constexpr double kLog10Factor = -8.68588963806503655300e-01;    // -2 / ln 10
constexpr double kDunlopB = 3.28895476345399058690e-03;         // 5.74 / 4000^0.9
constexpr double kDunlopC = -5.14214965799093883760e-03;        // -3.6/ln10 * kDunlopB

double sign_of(double q) {
    return q < 0.0 ? -1.0 : 1.0;
}

}  // namespace

double pipe_resistance(HeadLossFormula formula, double length, double diameter, double roughness,
                       double hexp) {
    switch (formula) {
        case HeadLossFormula::HazenWilliams:
            return 4.727 * length / portable_pow(roughness, hexp) / portable_pow(diameter, 4.871);
        case HeadLossFormula::DarcyWeisbach: {
            // The diameter is squared before pi multiplies it, as in EPANET.
            const double area = kPi * (diameter * diameter) / 4.0;
            return length / 2.0 / 32.2 / diameter / (area * area);
        }
        case HeadLossFormula::ChezyManning: {
            const double a = 4.0 * roughness / (1.49 * kPi * (diameter * diameter));
            return a * a * portable_pow(diameter / 4.0, -1.333) * length;
        }
    }
    return 0.0;
}

LinkCoefficients power_law_coefficients(double flow, double r, double km, double hexp,
                                        double rqtol) {
    const double q = std::fabs(flow);
    double hgrad = hexp * r * portable_pow(q, hexp - 1.0);
    double hloss = 0.0;
    if (hgrad < rqtol) {
        hgrad = rqtol;
        hloss = hgrad * q;
    } else {
        hloss = hgrad * q / hexp;
    }
    if (km > 0.0) {
        hloss += km * q * q;
        hgrad += 2.0 * km * q;
    }
    hloss *= sign_of(flow);
    return {1.0 / hgrad, hloss / hgrad};
}

double friction_factor(double q, double e, double s, double& dfdq) {
    const double w = q / s;
    if (w >= kTurbulentLimit) {
        const double y1 = kSwameeA / portable_pow(w, 0.9);
        const double y2 = e / 3.7 + y1;
        const double y3 = kLog10Factor * portable_log(y2);
        const double f = 1.0 / (y3 * y3);
        dfdq = 1.8 * f * y1 * kLog10Factor / y2 / y3 / q;
        return f;
    }
    // Dunlop's cubic between the laminar and turbulent friction factors.
    const double y2 = e / 3.7 + kDunlopB;
    const double y3 = kLog10Factor * portable_log(y2);
    const double fa = 1.0 / (y3 * y3);
    const double fb = (2.0 + kDunlopC / (y2 * y3)) * fa;
    const double r = w / kLaminarLimit;
    const double x1 = 7.0 * fa - fb;
    const double x2 = 0.128 - 17.0 * fa + 2.5 * fb;
    const double x3 = -0.128 + 13.0 * fa - (fb + fb);
    const double x4 = 0.032 - 3.0 * fa + 0.5 * fb;
    dfdq = (x2 + r * (2.0 * x3 + r * 3.0 * x4)) / s / kLaminarLimit;
    return x1 + r * (x2 + r * (x3 + r * x4));
}

LinkCoefficients darcy_weisbach_coefficients(double flow, double r, double km, double e, double s) {
    const double q = std::fabs(flow);
    double hloss = 0.0;
    double hgrad = 0.0;
    if (q <= kLaminarLimit * s) {
        // Hagen-Poiseuille: f = 64 / Re.
        const double rl = kLaminarFactor * s * r;
        hloss = flow * (rl + km * q);
        hgrad = rl + 2.0 * km * q;
    } else {
        double dfdq = 0.0;
        const double f = friction_factor(q, e, s, dfdq);
        const double r1 = f * r + km;
        hloss = r1 * q * flow;
        hgrad = 2.0 * r1 * q + dfdq * r * q * q;
    }
    return {1.0 / hgrad, hloss / hgrad};
}

LinkCoefficients closed_link_coefficients(double flow) {
    return {1.0 / kCBig, flow};
}

LinkCoefficients open_valve_coefficients(double flow, double km, double rqtol) {
    if (km > 0.0) {
        double hgrad = 2.0 * km * std::fabs(flow);
        double hloss = 0.0;
        if (hgrad < rqtol) {
            hgrad = rqtol;
            hloss = flow * hgrad;
        } else {
            hloss = flow * hgrad / 2.0;
        }
        return {1.0 / hgrad, hloss / hgrad};
    }
    return {1.0 / kCSmall, flow};
}

}  // namespace hydrosk::toolkit
