#include "toolkit/hydraulics/sparse_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace hydrosk::toolkit {
namespace {

// Dense Gaussian elimination as the reference.
std::vector<double> dense_solve(std::vector<std::vector<double>> a, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = a[i][k] / a[k][k];
            for (std::size_t j = k; j < n; ++j) a[i][j] -= f * a[k][j];
            b[i] -= f * b[k];
        }
    }
    std::vector<double> x(n);
    for (std::size_t k = n; k-- > 0;) {
        double s = b[k];
        for (std::size_t j = k + 1; j < n; ++j) s -= a[k][j] * x[j];
        x[k] = s / a[k][k];
    }
    return x;
}

struct GridCase {
    int width;
    int height;
    bool parallel_links;
};

class SparseCholeskyGrid : public testing::TestWithParam<GridCase> {};

// A grid of pipes (a network matrix): conductances on the links, each node
// also tied to ground so that the matrix is positive definite.
TEST_P(SparseCholeskyGrid, MatchesDenseSolution) {
    const auto [w, h, parallel] = GetParam();
    const int n = w * h;
    std::vector<std::pair<int, int>> pairs;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const int i = r * w + c;
            if (c + 1 < w) pairs.emplace_back(i, i + 1);
            if (r + 1 < h) pairs.emplace_back(i + w, i);  // either orientation
        }
    }
    if (parallel) pairs.emplace_back(1, 0);
    SparseCholesky solver(n, pairs);
    if (parallel) {
        EXPECT_EQ(solver.slot(0), solver.slot(static_cast<int>(pairs.size()) - 1));
    }

    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(0.1, 10.0);
    std::vector<double> diagonal(static_cast<std::size_t>(n), 0.0);
    std::vector<double> off(static_cast<std::size_t>(solver.coefficient_count()), 0.0);
    std::vector<std::vector<double>> dense(static_cast<std::size_t>(n),
                                           std::vector<double>(static_cast<std::size_t>(n), 0.0));
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        const double g = u(rng);
        const auto [a, b] = pairs[p];
        off[static_cast<std::size_t>(solver.slot(static_cast<int>(p)))] -= g;
        diagonal[static_cast<std::size_t>(a)] += g;
        diagonal[static_cast<std::size_t>(b)] += g;
        dense[a][b] -= g;
        dense[b][a] -= g;
        dense[a][a] += g;
        dense[b][b] += g;
    }
    std::vector<double> rhs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        diagonal[static_cast<std::size_t>(i)] += 0.01;
        dense[i][i] += 0.01;
        rhs[static_cast<std::size_t>(i)] = u(rng) - 5.0;
    }
    const std::vector<double> expected = dense_solve(dense, rhs);
    // Twice, to show that a second numeric factorization starts clean.
    for (int round = 0; round < 2; ++round) {
        std::vector<double> x = rhs;
        ASSERT_EQ(solver.solve(diagonal, off, x), -1);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(x[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)],
                        1e-9 * (1.0 + std::fabs(expected[static_cast<std::size_t>(i)])));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Grids, SparseCholeskyGrid,
                         testing::Values(GridCase{1, 1, false}, GridCase{5, 1, false},
                                         GridCase{4, 4, false}, GridCase{12, 9, true},
                                         GridCase{30, 30, false}));

TEST(SparseCholesky, OrderingKeepsFillSmallOnAGrid) {
    // A 30 x 30 grid in natural order fills a band of 30 per column (about
    // 26,000 entries); a minimum-degree ordering needs far fewer.
    std::vector<std::pair<int, int>> pairs;
    const int w = 30;
    for (int r = 0; r < w; ++r) {
        for (int c = 0; c < w; ++c) {
            if (c + 1 < w) pairs.emplace_back(r * w + c, r * w + c + 1);
            if (r + 1 < w) pairs.emplace_back(r * w + c, (r + 1) * w + c);
        }
    }
    SparseCholesky solver(w * w, pairs);
    EXPECT_LT(solver.factor_nonzeros(), 12000u);
}

TEST(SparseCholesky, ReportsTheUnknownWithoutAPositivePivot) {
    // Unknown 2 has no conductance at all: its pivot is zero.
    const std::vector<std::pair<int, int>> pairs{{0, 1}};
    SparseCholesky solver(3, pairs);
    const std::vector<double> diagonal{2.0, 2.0, 0.0};
    const std::vector<double> off{-1.0};
    std::vector<double> rhs{1.0, 1.0, 1.0};
    EXPECT_EQ(solver.solve(diagonal, off, rhs), 2);

    // And it recovers once the equation is fixed.
    const std::vector<double> fixed{2.0, 2.0, 4.0};
    rhs = {1.0, 1.0, 1.0};
    ASSERT_EQ(solver.solve(fixed, off, rhs), -1);
    EXPECT_NEAR(rhs[0], 1.0, 1e-12);
    EXPECT_NEAR(rhs[2], 0.25, 1e-12);
}

std::vector<int> order_of(const SparseCholesky& solver) {
    const auto order = solver.elimination_order();
    return {order.begin(), order.end()};
}

// The couplings of a node are listed in decreasing link order, so the order
// of the links decides ties. A ring of four: all have degree 2 and 3 goes
// first; of its two neighbours the one it lists first goes next and the other
// two merge into it.
TEST(SparseCholesky, LinkOrderBreaksTies) {
    const std::vector<std::pair<int, int>> ring{{0, 1}, {1, 2}, {2, 3}, {3, 0}};
    // Node 3 lists 0 (link 3) before 2 (link 2).
    EXPECT_EQ(order_of(SparseCholesky(4, ring)), (std::vector<int>{3, 0, 1, 2}));
    const std::vector<std::pair<int, int>> rotated{{3, 0}, {0, 1}, {1, 2}, {2, 3}};
    // Node 3 lists 2 (link 3) before 0 (link 0).
    EXPECT_EQ(order_of(SparseCholesky(4, rotated)), (std::vector<int>{3, 2, 0, 1}));
}

TEST(SparseCholesky, ParallelLinkTakesThePlaceOfTheFirst) {
    // Link 4 parallels link 0: node 3 lists 2 (link 3) before 0 (link 0), not
    // after it as link 4 would place it.
    const std::vector<std::pair<int, int>> pairs{{0, 3}, {0, 1}, {1, 2}, {2, 3}, {3, 0}};
    const SparseCholesky solver(4, pairs);
    EXPECT_EQ(order_of(solver), (std::vector<int>{3, 2, 0, 1}));
    EXPECT_EQ(solver.slot(4), solver.slot(0));
    EXPECT_EQ(solver.coefficient_count(), 4);
}

// Dense left-looking Cholesky and substitution in elimination positions, with
// the order in which each column gathers the updates of earlier columns.
std::vector<double> column_cholesky(const std::vector<std::vector<double>>& a,
                                    std::vector<double> b,
                                    const std::vector<std::vector<std::size_t>>& update_order) {
    const std::size_t n = b.size();
    std::vector<std::vector<double>> l(n, std::vector<double>(n, 0.0));
    std::vector<double> pivot(n);
    for (std::size_t j = 0; j < n; ++j) {
        double squares = 0.0;
        std::vector<double> sum(n, 0.0);
        for (const std::size_t k : update_order[j]) {
            squares += l[j][k] * l[j][k];
            for (std::size_t i = j + 1; i < n; ++i) sum[i] += l[i][k] * l[j][k];
        }
        pivot[j] = std::sqrt(a[j][j] - squares);
        for (std::size_t i = j + 1; i < n; ++i) l[i][j] = (a[i][j] - sum[i]) / pivot[j];
    }
    for (std::size_t j = 0; j < n; ++j) {
        b[j] /= pivot[j];
        for (std::size_t i = j + 1; i < n; ++i) b[i] -= l[i][j] * b[j];
    }
    for (std::size_t j = n; j-- > 0;) {
        double v = b[j];
        for (std::size_t i = j + 1; i < n; ++i) v -= l[i][j] * b[i];
        b[j] = v / pivot[j];
    }
    return b;
}

// In a full 4 x 4 matrix, EPANET's lists of pending columns make the last
// column gather columns 2, 0, 1 in that order: as column 2 is computed it
// passes column 1, then column 0, on to the list of row 3, each in front, and
// is then put in front of both. The sum of squares of the last pivot rounds
// differently in the natural order, and the solver must round as EPANET does,
// to the last bit.
TEST(SparseCholesky, FactorizesInEpanetsSummationOrder) {
    const std::vector<std::pair<int, int>> pairs{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    SparseCholesky solver(4, pairs);
    const auto order = solver.elimination_order();

    // Conductances of the pairs between elimination positions, and a tie to
    // ground at each position.
    const std::vector<double> conductance{2.8, 2.4, 2.5, 0.1, 1.9, 2.6};
    const std::vector<double> ground{0.1, 0.3, 0.3, 0.6};
    const std::vector<std::pair<std::size_t, std::size_t>> position_pairs{{0, 1}, {0, 2}, {0, 3},
                                                                          {1, 2}, {1, 3}, {2, 3}};
    std::vector<std::vector<double>> a(4, std::vector<double>(4, 0.0));
    for (std::size_t c = 0; c < position_pairs.size(); ++c) {
        const auto [p, q] = position_pairs[c];
        a[p][q] -= conductance[c];
        a[q][p] -= conductance[c];
        a[p][p] += conductance[c];
        a[q][q] += conductance[c];
    }
    for (std::size_t p = 0; p < 4; ++p) a[p][p] += ground[p];
    const std::vector<double> b_by_position{1.0, -2.0, 0.5, 3.0};

    std::vector<double> diagonal(4);
    std::vector<double> off(static_cast<std::size_t>(solver.coefficient_count()));
    std::vector<double> rhs(4);
    for (std::size_t p = 0; p < 4; ++p) {
        diagonal[static_cast<std::size_t>(order[p])] = a[p][p];
        rhs[static_cast<std::size_t>(order[p])] = b_by_position[p];
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const auto [u, v] = pairs[k];
        const auto pu =
            static_cast<std::size_t>(std::find(order.begin(), order.end(), u) - order.begin());
        const auto pv =
            static_cast<std::size_t>(std::find(order.begin(), order.end(), v) - order.begin());
        off[static_cast<std::size_t>(solver.slot(static_cast<int>(k)))] = a[pu][pv];
    }

    const std::vector<double> epanet =
        column_cholesky(a, b_by_position, {{}, {0}, {1, 0}, {2, 0, 1}});
    const std::vector<double> natural =
        column_cholesky(a, b_by_position, {{}, {0}, {0, 1}, {0, 1, 2}});
    ASSERT_NE(epanet, natural) << "the values no longer tell the orders apart";

    ASSERT_EQ(solver.solve(diagonal, off, rhs), -1);
    for (std::size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(rhs[static_cast<std::size_t>(order[p])], epanet[p]) << "position " << p;
    }
}

TEST(SparseCholesky, RejectsBadPairs) {
    const std::vector<std::pair<int, int>> self{{1, 1}};
    EXPECT_THROW(SparseCholesky(2, self), std::invalid_argument);
    const std::vector<std::pair<int, int>> outside{{0, 2}};
    EXPECT_THROW(SparseCholesky(2, outside), std::invalid_argument);
}

// A large matrix: the factorisation looks at the stop request while it runs, not only between
// solves.
TEST(SparseCholeskyStop, AFactorisationOfManyColumnsEndsOnTheStopRequest) {
    const int n = 3 * SparseCholesky::kColumnsBetweenStopChecks;
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i + 1 < n; ++i) pairs.emplace_back(i, i + 1);
    SparseCholesky solver(n, pairs);
    std::vector<double> diagonal(static_cast<std::size_t>(n), 3.0);
    std::vector<double> off(static_cast<std::size_t>(solver.coefficient_count()), -1.0);
    std::vector<double> rhs(static_cast<std::size_t>(n), 1.0);
    std::atomic<bool> stop{false};
    solver.set_stop_request(&stop);
    EXPECT_EQ(solver.solve(diagonal, off, rhs), -1);
    stop.store(true);
    EXPECT_THROW(solver.solve(diagonal, off, rhs), SolveStopped);
}

// The ordering of a large matrix, found once when the solver is made, looks at the stop
// request too; unset, it changes nothing.
TEST(SparseCholeskyStop, TheOrderingOfManyUnknownsEndsOnTheStopRequest) {
    const int side = 120;  // a grid of 14,400 unknowns
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < side * side; ++i) {
        if ((i + 1) % side != 0) pairs.emplace_back(i, i + 1);
        if (i + side < side * side) pairs.emplace_back(i, i + side);
    }
    std::atomic<bool> stop{false};
    const SparseCholesky watched(side * side, pairs, &stop);
    const SparseCholesky unwatched(side * side, pairs);
    EXPECT_TRUE(std::ranges::equal(watched.elimination_order(), unwatched.elimination_order()));
    stop.store(true);
    EXPECT_THROW(SparseCholesky(side * side, pairs, &stop), SolveStopped);
}

}  // namespace
}  // namespace hydrosk::toolkit
