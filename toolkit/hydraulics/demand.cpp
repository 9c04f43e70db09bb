#include "toolkit/hydraulics/demand.h"

#include <algorithm>
#include <cmath>

#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/portable_math.h"

namespace hydrosk::toolkit {

OutflowLaw emitter_law(double q, double k, double qexp, double rqtol) {
    const double ke = std::max(kCSmall, k);
    OutflowLaw law;
    law.hgrad = qexp * ke * portable_pow(std::fabs(q), qexp - 1.0);
    if (law.hgrad < rqtol) {
        law.hgrad = rqtol;
        law.hloss = law.hgrad * q;
    } else {
        law.hloss = law.hgrad * q / qexp;
    }
    return law;
}

OutflowLaw demand_law(double delivered, double full, double dp, double n, double rqtol) {
    const double ratio = delivered / full;
    OutflowLaw law;
    if (ratio <= 0.0) {
        // Barrier against negative demand.
        law.hgrad = kCBig;
        law.hloss = kCBig * delivered;
    } else if (ratio < 1.0) {
        law.hgrad = n * dp * portable_pow(ratio, n - 1.0) / full;
        if (law.hgrad < rqtol) {
            law.hgrad = rqtol;
            law.hloss = law.hgrad * delivered;
        } else {
            law.hloss = law.hgrad * delivered / n;
        }
    } else {
        // Barrier against more than the full demand.
        law.hgrad = kCBig;
        law.hloss = dp + kCBig * (delivered - full);
    }
    return law;
}

}  // namespace hydrosk::toolkit
