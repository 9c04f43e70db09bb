// Linear interpolation on a curve's points, as EPANET does it for tank volume
// curves and pump and valve curves: no extrapolation beyond the end points.
#pragma once

#include <vector>

namespace hydrosk::toolkit {

// y at `at` on the polyline through (x[k], y[k]); x ascending. Below the first
// point gives y[0], beyond the last y[n-1], and no points 0.
double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at);

}  // namespace hydrosk::toolkit
