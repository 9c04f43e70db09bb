#include "analysis/trial_grid.h"

namespace hydrosk::analysis {

std::vector<float> TrialFlows(float maximal_flow, float interval) {
    std::vector<float> flows;
    for (float q = 0; q <= maximal_flow; q = q + interval) flows.push_back(q);
    return flows;
}

}  // namespace hydrosk::analysis
