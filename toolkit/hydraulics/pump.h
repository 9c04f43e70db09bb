// Pump head curves in solver form: constant power, power function (from one or
// three points) and custom (multi-point, piecewise linear) curves, with the
// affinity laws for relative speed.
#pragma once

#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/hydraulics/system.h"

namespace hydrosk::toolkit {

// A pump's solver data from its link (whose curve the reader has fitted).
PumpData make_pump_data(const Link& link, int link_index);

// Intercept h0 (ft) and slope r (ft/cfs) of the head-curve segment that holds
// flow q (cfs); the curve is in user units.
void curve_segment(const Curve& curve, double q, const UnitFactors& units, double& h0, double& r);

// Coefficients of an open pump at relative speed `speed` > 0; `curve` is the
// head curve of a custom-curve pump (else unused).
LinkCoefficients pump_coefficients(const PumpData& pump, const Curve* curve, double flow,
                                   double speed, double rqtol, const UnitFactors& units);

}  // namespace hydrosk::toolkit
