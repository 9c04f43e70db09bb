#include "toolkit/curve_interpolation.h"

#include <cmath>

namespace hydrosk::toolkit {

double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
    // Two points closer than this in x count as a vertical step.
    constexpr double kTinyStep = 1.0e-6;
    const std::size_t n = x.size();
    if (n == 0) return 0.0;
    if (at <= x[0]) return y[0];
    for (std::size_t k = 1; k < n; ++k) {
        if (x[k] >= at) {
            const double dx = x[k] - x[k - 1];
            const double dy = y[k] - y[k - 1];
            if (std::fabs(dx) < kTinyStep) return y[k];
            return y[k] - (x[k] - at) * dy / dx;
        }
    }
    return y[n - 1];
}

}  // namespace hydrosk::toolkit
