// Head-loss laws of pipes and valves in the form the gradient method needs:
// P = 1 / (dh/dq) and Y = h / (dh/dq), with h the head loss (ft) at flow q
// (cfs). Very small gradients are replaced by a linear law (slope rqtol) so
// that a pipe with almost no flow still gives a usable equation.
#pragma once

#include "toolkit/network.h"

namespace hydrosk::toolkit {

struct LinkCoefficients {
    double p = 0.0;  // cfs / ft
    double y = 0.0;  // cfs
};

// Big and small conductance-like constants of EPANET's matrix treatment.
constexpr double kCBig = 1.0e8;
constexpr double kCSmall = 1.0e-6;

// Resistance coefficient of a pipe (ft, roughness as in the network model).
double pipe_resistance(HeadLossFormula formula, double length, double diameter, double roughness,
                       double hexp);

// Hazen-Williams or Chezy-Manning (h = r q^hexp) plus minor loss km q^2.
LinkCoefficients power_law_coefficients(double flow, double r, double km, double hexp,
                                        double rqtol);

// Darcy-Weisbach with Hagen-Poiseuille below Re 2000, Dunlop's interpolation up
// to Re 4000 and Swamee-Jain above. r is L / (2 g d A^2); `relative_roughness`
// = roughness / d; `visc_diam` = viscosity * d.
LinkCoefficients darcy_weisbach_coefficients(double flow, double r, double km,
                                             double relative_roughness, double visc_diam);

// Friction factor at |q| > laminar limit and its derivative with respect to q.
double friction_factor(double q, double relative_roughness, double visc_diam, double& dfdq);

// A closed link: a linear law with a very small conductance.
LinkCoefficients closed_link_coefficients(double flow);

// An open valve: its minor loss, or a very small resistance when it has none.
LinkCoefficients open_valve_coefficients(double flow, double km, double rqtol);

}  // namespace hydrosk::toolkit
