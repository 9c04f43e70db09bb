// Valve laws and the status rules of check valves, pumps and control valves.
// Heads are in ft, flows in cfs; `htol` and `qtol` are the head and flow
// tolerances of the status tests.
#pragma once

#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/hydraulics/system.h"

namespace hydrosk::toolkit {

// A valve treated as a pipe: closed, or open with minor loss km (ft / cfs^2).
LinkCoefficients valve_coefficients(double flow, double km, bool closed, double rqtol);

// Throttle control valve: its setting is a minor-loss coefficient (as given,
// velocity-head basis) that replaces the valve's own; kMissingSetting = none.
LinkCoefficients tcv_coefficients(double flow, double setting, double diameter, double km,
                                  bool closed, double rqtol);

// Pressure breaker valve: forces a head loss equal to its setting (ft) unless
// its open minor loss already exceeds it.
LinkCoefficients pbv_coefficients(double flow, double setting, double km, bool closed,
                                  double rqtol);

// General purpose valve: the segment of its head-loss curve (user units) that
// holds the current flow.
LinkCoefficients gpv_coefficients(double flow, const Curve& curve, const UnitFactors& units);

struct StatusTolerances {
    double htol = 0.0005;
    double qtol = 0.0001;
};

// Check valve: closes on reverse head or flow. `dh` is the head loss across it.
LinkState check_valve_state(LinkState current, double dh, double flow, const StatusTolerances& tol);

// Pressure reducing valve with head setting `hset` (ft) at its downstream end;
// `hml` is its head loss when fully open.
LinkState prv_state(LinkState current, double flow, double hset, double h1, double h2, double hml,
                    const StatusTolerances& tol);

// Pressure sustaining valve with head setting `hset` at its upstream end.
LinkState psv_state(LinkState current, double flow, double hset, double h1, double h2, double hml,
                    const StatusTolerances& tol);

// Flow control valve with flow setting `qset` (cfs).
LinkState fcv_state(LinkState current, double flow, double qset, double h1, double h2,
                    const StatusTolerances& tol);

}  // namespace hydrosk::toolkit
