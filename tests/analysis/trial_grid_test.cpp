// The trial flows of the stepped searches and the two ways of finding the failing one, on
// outcomes laid out in advance: bisection must report what the linear search reports whenever
// the trials pass up to some flow and fail from there on.
#include "analysis/trial_grid.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace hydrosk::analysis {
namespace {

TEST(TrialGridTest, FlowsAreSinglePrecisionSumsWithTheirDrift) {
    const std::vector<float> flows = TrialFlows(1, 0.1F);
    // Ten sums of 0.1 in single precision come to 1.0000001, above the maximal flow.
    ASSERT_EQ(flows.size(), 10U);
    for (std::size_t i = 1; i < flows.size(); ++i) EXPECT_EQ(flows[i], flows[i - 1] + 0.1F);
    EXPECT_NE(flows[7], 0.7F);  // 0.70000005, not the nearest float to 0.7
    EXPECT_EQ(TrialFlows(1000, 10).size(), 101U);
    EXPECT_EQ(TrialFlows(1000, 30).back(), 990.0F);
    EXPECT_TRUE(TrialFlows(-1, 10).empty());
}

// Trial i fails when `fails[i]`; the search's report and the indices it solved.
struct Search {
    std::optional<std::size_t> reported;
    std::set<std::size_t> solved;
};

Search Find(const std::vector<bool>& fails, SearchMethod method) {
    std::vector<float> flows(fails.size());
    for (std::size_t i = 0; i < flows.size(); ++i) flows[i] = static_cast<float>(i);
    Search search;
    const auto failed =
        FindFailedTrial<std::size_t>(flows, method, [&](float q) -> std::optional<std::size_t> {
            const auto i = static_cast<std::size_t>(q);
            search.solved.insert(i);
            return fails[i] ? std::optional<std::size_t>(i) : std::nullopt;
        });
    if (failed) {
        EXPECT_EQ(failed->outcome, failed->index);  // the outcome of the reported trial
        search.reported = failed->index;
    }
    return search;
}

TEST(TrialGridTest, BisectionReportsTheFirstFailureWhenTheTrialsFailFromSomeFlowOn) {
    for (std::size_t count = 0; count <= 40; ++count) {
        for (std::size_t first = 0; first <= count; ++first) {  // first == count: none fails
            std::vector<bool> fails(count);
            for (std::size_t i = first; i < count; ++i) fails[i] = true;
            const Search linear = Find(fails, SearchMethod::Linear);
            const Search bisection = Find(fails, SearchMethod::Bisection);
            ASSERT_EQ(bisection.reported, linear.reported) << count << " trials, " << first;
            if (first > 0) {
                EXPECT_TRUE(bisection.solved.contains(first - 1));
            }
            if (first < count) {
                EXPECT_TRUE(bisection.solved.contains(first));
            }
            std::size_t most = 0;  // ceil(log2(count))
            while ((std::size_t{1} << most) < count) ++most;
            EXPECT_LE(bisection.solved.size(), 2 + most);
            EXPECT_EQ(linear.solved.size(), first < count ? first + 1 : count);
        }
    }
}

TEST(TrialGridTest, BisectionReportsAFailureRightAboveAPassOtherwise) {
    // Pass, fail, pass again, fail: the halving meets the pass at 4 first and stays above it.
    const std::vector<bool> fails = {false, false, true, true, false, false, false, true, true};
    EXPECT_EQ(Find(fails, SearchMethod::Linear).reported, 2U);
    const Search bisection = Find(fails, SearchMethod::Bisection);
    ASSERT_EQ(bisection.reported, 7U);
    EXPECT_TRUE(bisection.solved.contains(6));

    // A failure at the first trial is reported as the linear search reports it.
    EXPECT_EQ(Find({true, false, false, true}, SearchMethod::Bisection).reported, 0U);
}

// Trials side by side, `width` at a time, each batch's outcomes handed back in reverse order:
// the linear search's answer, with the first trial solved alone or among the others.
TEST(TrialGridTest, LinearSideBySideReportsTheLinearSearchsTrialWithTheFirstAloneOrNot) {
    constexpr std::size_t n = 12;
    std::vector<float> flows(n);
    for (std::size_t i = 0; i < n; ++i) flows[i] = static_cast<float>(i);
    // Every pattern of failures that starts at some trial (or none), and one with a pass above.
    std::vector<std::vector<bool>> patterns;
    for (std::size_t f = 0; f <= n; ++f) {
        std::vector<bool> fails(n);
        for (std::size_t i = f; i < n; ++i) fails[i] = true;
        patterns.push_back(fails);
    }
    patterns.push_back(
        {false, false, true, false, true, true, false, false, true, true, true, true});
    for (const auto& fails : patterns) {
        const auto expected = Find(fails, SearchMethod::Linear).reported;
        for (const int width : {1, 3, 8}) {
            for (const bool first_alone : {true, false}) {
                std::size_t alone = 0;
                const auto outcome = [&](std::size_t i) {
                    return fails[i] ? std::optional<std::size_t>(i) : std::nullopt;
                };
                const SideBySideTrials<std::size_t> solve = [&](const auto& next,
                                                                const auto& done) {
                    for (;;) {
                        std::vector<std::size_t> batch;
                        while (batch.size() < static_cast<std::size_t>(width)) {
                            const auto i = next();
                            if (!i) break;
                            batch.push_back(*i);
                        }
                        if (batch.empty()) return;
                        for (auto i = batch.rbegin(); i != batch.rend(); ++i) done(*i, outcome(*i));
                    }
                };
                const auto failed = FindFailedTrialSideBySide<std::size_t>(
                    flows, SearchMethod::Linear, width,
                    [&](float q) {
                        ++alone;
                        return outcome(static_cast<std::size_t>(q));
                    },
                    solve, first_alone);
                ASSERT_EQ(failed.has_value(), expected.has_value());
                if (failed) {
                    EXPECT_EQ(failed->index, *expected);
                }
                EXPECT_EQ(alone, first_alone ? 1U : 0U);
            }
        }
    }
}

}  // namespace
}  // namespace hydrosk::analysis
