#include "toolkit/hydraulics/minimum_degree_ordering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace hydrosk::toolkit {
namespace {

using NeighbourLists = std::vector<std::vector<int>>;

std::vector<int> order_of(const NeighbourLists& lists) {
    std::vector<int> start{0};
    std::vector<int> neighbours;
    for (const auto& list : lists) {
        neighbours.insert(neighbours.end(), list.begin(), list.end());
        start.push_back(static_cast<int>(neighbours.size()));
    }
    return minimum_degree_order(start, neighbours);
}

struct OrderingCase {
    std::string name;
    NeighbourLists lists;
    std::vector<int> expected;
};

void PrintTo(const OrderingCase& c, std::ostream* os) {
    *os << c.name;
}

class MinimumDegreeOrdering : public testing::TestWithParam<OrderingCase> {};

// The expected orders are worked out by hand from the rules: take the front
// of the lowest non-empty degree list; a node's list of equal degree holds the
// node queued last at its front (at the start, the highest index); after an
// elimination the reached nodes are requeued, those with two neighbours first,
// each group in reverse order of reach; merged nodes follow their principal.
TEST_P(MinimumDegreeOrdering, MatchesTheHandDerivedOrder) {
    EXPECT_EQ(order_of(GetParam().lists), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Graphs, MinimumDegreeOrdering,
    testing::Values(
        OrderingCase{"Empty", {}, {}}, OrderingCase{"SingleNode", {{}}, {0}},
        // Both leaves have degree 1; 3 was queued last. Each elimination leaves
        // a new leaf at the front, and 0 finally merges into 1.
        OrderingCase{"Path", {{1}, {0, 2}, {1, 3}, {2}}, {3, 2, 1, 0}},
        // Isolated nodes first, from the front of their list; then the path
        // 4-2-0 as above.
        OrderingCase{"IsolatedNodesFirst", {{2}, {}, {0, 4}, {}, {2}}, {3, 1, 4, 2, 0}},
        // Eliminating 3 leaves 0, 1, 2 with no other neighbour: one supernode,
        // numbered in increasing index.
        OrderingCase{
            "CliqueIsOneSupernode", {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}}, {3, 0, 1, 2}},
        // After 3, its neighbours have equal degree; the one it lists first is
        // requeued last and goes next, and the other two merge into it.
        OrderingCase{"RingFirstNeighbourGoesNext", {{1, 3}, {0, 2}, {1, 3}, {0, 2}}, {3, 0, 1, 2}},
        OrderingCase{"RingOtherNeighbourGoesNext", {{1, 3}, {0, 2}, {1, 3}, {2, 0}}, {3, 2, 0, 1}},
        // 3 x 3 grid, row by row. The corners 8, 6, 2, 0 go first, then 1 and
        // 4. After 4, node 7 (three neighbours) is outmatched by 5 and 3, so
        // 3 goes before it; after 3, node 7 is indistinguishable from 5 and
        // merges into it, which ends the ordering.
        OrderingCase{"GridOutmatchesThenMerges",
                     {{1, 3},
                      {0, 2, 4},
                      {1, 5},
                      {0, 4, 6},
                      {1, 3, 5, 7},
                      {2, 4, 8},
                      {3, 7},
                      {4, 6, 8},
                      {5, 7}},
                     {8, 6, 2, 0, 1, 4, 3, 5, 7}}),
    [](const testing::TestParamInfo<OrderingCase>& info) { return info.param.name; });

TEST(MinimumDegreeOrderingChecks, RejectsMalformedGraphs) {
    const std::vector<int> two_nodes{0, 1, 2};
    const std::vector<int> self{0, 1};
    EXPECT_THROW(minimum_degree_order(two_nodes, self), std::invalid_argument);
    const std::vector<int> outside{2, 0};
    EXPECT_THROW(minimum_degree_order(two_nodes, outside), std::invalid_argument);
    const std::vector<int> repeated_start{0, 2, 2};
    const std::vector<int> repeated{1, 1};
    EXPECT_THROW(minimum_degree_order(repeated_start, repeated), std::invalid_argument);
    const std::vector<int> short_start{0, 1, 1};
    EXPECT_THROW(minimum_degree_order(short_start, std::vector<int>{1, 0}), std::invalid_argument);
}

// Random sparse graphs, with isolated nodes, chains and dense clusters: every
// node is numbered exactly once.
TEST(MinimumDegreeOrderingChecks, AlwaysReturnsAPermutation) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 60);
        const int edges = static_cast<int>(rng() % (3 * n));
        std::set<std::pair<int, int>> seen;
        NeighbourLists lists(static_cast<std::size_t>(n));
        for (int e = 0; e < edges; ++e) {
            const int a = static_cast<int>(rng() % static_cast<unsigned>(n));
            const int b = static_cast<int>(rng() % static_cast<unsigned>(n));
            if (a == b || !seen.insert(std::minmax(a, b)).second) continue;
            lists[static_cast<std::size_t>(a)].push_back(b);
            lists[static_cast<std::size_t>(b)].push_back(a);
        }
        std::vector<int> order = order_of(lists);
        std::sort(order.begin(), order.end());
        std::vector<int> all(static_cast<std::size_t>(n));
        std::iota(all.begin(), all.end(), 0);
        ASSERT_EQ(order, all) << "trial " << trial;
    }
}

}  // namespace
}  // namespace hydrosk::toolkit
