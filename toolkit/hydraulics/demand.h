// Flow-dependent outflows at junctions, modelled as fictitious links to a
// reservoir at the junction's elevation: emitters (h = k q^qexp) and
// pressure-driven demands (EPANET 2.2's power law with barrier functions).
#pragma once

namespace hydrosk::toolkit {

struct OutflowLaw {
    double hloss = 0.0;  // ft
    double hgrad = 0.0;  // ft / cfs
};

// Emitter head loss at outflow q (cfs) for coefficient k (ft / cfs^qexp).
OutflowLaw emitter_law(double q, double k, double qexp, double rqtol);

// Pressure-driven demand: head above the minimum pressure needed to deliver
// `delivered` of the full demand `full` (both cfs, full > 0). `dp` is the
// pressure range (ft) between minimum and required pressure, `n` the inverse
// of the pressure exponent.
OutflowLaw demand_law(double delivered, double full, double dp, double n, double rqtol);

}  // namespace hydrosk::toolkit
