// The trial flows of the stepped searches (steady state and extended-period flow), and the two
// ways of finding the first of them that fails: one after the other, or by bisection.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace hydrosk::toolkit {
struct Network;
}

namespace hydrosk::analysis {

enum class SearchMethod {
    Linear,     // every trial from 0 upwards until the first failure
    Bisection,  // a passing trial below a failing one, their gap halved until they are neighbours
};

// Whether a network can change its configuration with a check junction's flow: level
// (pressure) controls, rules, valves, or controls of a pump. Bisection's rows may then differ
// from the linear search's.
bool ConfigurationCanChangeWithFlow(const toolkit::Network& network);

// 0, interval, interval + interval, ..., each sum rounded to single precision (so a step such
// as 0.1 drifts from its exact multiples), up to the last sum that is not above the maximal
// flow; empty when the maximal flow is below 0. Requires TrialFlowsEnd(maximal_flow, interval).
std::vector<float> TrialFlows(float maximal_flow, float interval);

template <typename Outcome>
struct FailedTrial {
    std::size_t index = 0;  // into the trial flows
    Outcome outcome;
};

// The failing trial to report, or nullopt when every trial passes (or there is none).
// `trial(q)` solves the trial flow q and gives what the row needs of a failure, or nullopt for
// a pass; it depends on q alone, so the two methods solve each trial alike.
//
// Linear solves the trials in rising order up to the first failure. Bisection solves the first
// trial (a failure there is reported at once, as the linear search reports it) and the last
// (a pass there means that none fails); between a pass and a failure it then solves the trial
// halfway, keeps it as the new pass or failure and repeats until the two are neighbours. That
// is at most 2 + log2(count) solves, among them always the reported trial and the one just
// below it. When the trials pass up to some flow and fail from there on (pressures falling as
// the flow rises), the pair is the linear search's first failure; otherwise it is some trial
// that fails right above one that passes. Solving the ends first costs one solve more for a
// junction between them and saves most of them for a junction that fails at 0 (a low junction
// left in the test fails every trial) or holds up to the maximal flow.
template <typename Outcome, typename Trial>
std::optional<FailedTrial<Outcome>> FindFailedTrial(std::span<const float> flows,
                                                    SearchMethod method, Trial&& trial) {
    // Linear: every trial in turn. Bisection: the first trial alone.
    const std::size_t first_ones = method == SearchMethod::Linear ? flows.size() : 1;
    for (std::size_t i = 0; i < first_ones && i < flows.size(); ++i) {
        if (std::optional<Outcome> failure = trial(flows[i])) {
            return FailedTrial<Outcome>{i, std::move(*failure)};
        }
    }
    if (method == SearchMethod::Linear || flows.size() < 2) return std::nullopt;
    std::size_t pass = 0;
    std::size_t fail = flows.size() - 1;
    std::optional<Outcome> failure = trial(flows[fail]);
    if (!failure) return std::nullopt;
    while (fail - pass > 1) {
        const std::size_t middle = pass + (fail - pass) / 2;
        if (std::optional<Outcome> outcome = trial(flows[middle])) {
            fail = middle;
            failure = std::move(outcome);
        } else {
            pass = middle;
        }
    }
    return FailedTrial<Outcome>{fail, std::move(*failure)};
}

}  // namespace hydrosk::analysis
