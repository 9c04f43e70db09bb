// The trial flows of the stepped searches (steady state and extended-period flow), and the two
// ways of finding the first of them that fails: one after the other, or by bisection.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
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

// Solves trials side by side: `next()` gives the index (into the trial flows) of the next trial
// to start, nullopt when there is none; `done(index, outcome)` gets each solved trial, in any
// order.
template <typename Outcome>
using SideBySideTrials =
    std::function<void(const std::function<std::optional<std::size_t>()>& next,
                       const std::function<void(std::size_t, std::optional<Outcome>)>& done)>;

// FindFailedTrial's answer, with the first trial solved alone by `trial` (a junction that fails
// at 0 needs no other) and the others `width` at a time by `solve`. Linear starts the trials
// in rising order and starts no more once one has failed; the lowest failure is
// the answer once every trial below it is done. Without `first_alone`, linear solves the first
// trial side by side with the next ones too (cheaper where it passes, as it mostly does). Bisection
// solves ahead: with the two ends it solves the first halving steps for either outcome, and then,
// whenever the next halving step is not solved yet, the next steps of both outcomes up to `width`
// trials, so that the steps it takes are FindFailedTrial's own. Each trial depends on its flow
// alone, so the answer is FindFailedTrial's; only trials that FindFailedTrial would not solve are
// solved in addition.
template <typename Outcome, typename Trial>
std::optional<FailedTrial<Outcome>> FindFailedTrialSideBySide(
    std::span<const float> flows, SearchMethod method, int width, Trial&& trial,
    const SideBySideTrials<Outcome>& solve, bool first_alone = true) {
    const std::size_t n = flows.size();
    if (n == 0) return std::nullopt;
    first_alone = first_alone || method != SearchMethod::Linear;
    if (first_alone) {
        std::optional<Outcome> at_zero = trial(flows[0]);
        if (at_zero) return FailedTrial<Outcome>{0, std::move(*at_zero)};
    }
    if (method == SearchMethod::Linear) {
        std::size_t started = first_alone ? 1 : 0;
        std::optional<FailedTrial<Outcome>> lowest;
        solve(
            [&]() -> std::optional<std::size_t> {
                if (lowest || started == n) return std::nullopt;
                return started++;
            },
            [&](std::size_t index, std::optional<Outcome> outcome) {
                if (outcome && (!lowest || index < lowest->index)) {
                    lowest = FailedTrial<Outcome>{index, std::move(*outcome)};
                }
            });
        return lowest;
    }

    std::map<std::size_t, std::optional<Outcome>> solved;
    solved.emplace(0, std::nullopt);
    const auto solve_all = [&](const std::vector<std::size_t>& indexes) {
        std::size_t next = 0;
        solve(
            [&]() -> std::optional<std::size_t> {
                if (next == indexes.size()) return std::nullopt;
                return indexes[next++];
            },
            [&](std::size_t index, std::optional<Outcome> outcome) {
                solved.insert_or_assign(index, std::move(outcome));
            });
    };
    // The halving steps below (pass, fail), breadth first, that are not solved yet.
    const auto steps_ahead = [&](std::size_t pass, std::size_t fail, std::vector<std::size_t>& out,
                                 std::size_t most) {
        std::vector<std::pair<std::size_t, std::size_t>> gaps{{pass, fail}};
        for (std::size_t g = 0; g < gaps.size() && out.size() < most; ++g) {
            const auto [low, high] = gaps[g];
            if (high - low <= 1) continue;
            const std::size_t middle = low + (high - low) / 2;
            if (!solved.contains(middle)) out.push_back(middle);
            gaps.emplace_back(low, middle);
            gaps.emplace_back(middle, high);
        }
    };
    const auto most = static_cast<std::size_t>(std::max(width, 2));
    if (n < 2) return std::nullopt;
    std::vector<std::size_t> first{n - 1};
    steps_ahead(0, n - 1, first, most);
    // A solve that gave nothing (the caller then solves one at a time) gives nullopt.
    solve_all(first);
    if (!solved.contains(n - 1) || !solved.at(n - 1)) return std::nullopt;
    std::size_t pass = 0;
    std::size_t fail = n - 1;
    while (fail - pass > 1) {
        const std::size_t middle = pass + (fail - pass) / 2;
        if (!solved.contains(middle)) {
            std::vector<std::size_t> ahead;
            steps_ahead(pass, fail, ahead, most);
            solve_all(ahead);
            if (!solved.contains(middle)) return std::nullopt;
        }
        (solved.at(middle) ? fail : pass) = middle;
    }
    return FailedTrial<Outcome>{fail, std::move(*solved.at(fail))};
}

}  // namespace hydrosk::analysis
