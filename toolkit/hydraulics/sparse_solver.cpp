#include "toolkit/hydraulics/sparse_solver.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "toolkit/hydraulics/minimum_degree_ordering.h"

namespace hydrosk::toolkit {

namespace {

constexpr int kNone = -1;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// Elimination tree of the permuted matrix from its upper part by column.
std::vector<int> elimination_tree(int n, const std::vector<int>& start,
                                  const std::vector<int>& row) {
    std::vector<int> parent(at(n), kNone);
    std::vector<int> ancestor(at(n), kNone);
    for (int k = 0; k < n; ++k) {
        for (int e = start[at(k)]; e < start[at(k) + 1]; ++e) {
            int i = row[at(e)];
            // Path compression through `ancestor` keeps this near linear.
            while (i != kNone && i < k) {
                const int next = ancestor[at(i)];
                ancestor[at(i)] = k;
                if (next == kNone) parent[at(i)] = k;
                i = next;
            }
        }
    }
    return parent;
}

// Neighbour lists of the coupling graph as EPANET 2.2 builds them: each node's
// list holds the couplings in decreasing order of the first pair (link) that
// makes them.
void coupling_graph(int size, const std::vector<int>& pair_slot,
                    const std::vector<int>& first_pair_of_slot,
                    std::span<const std::pair<int, int>> pairs, std::vector<int>& start,
                    std::vector<int>& neighbours) {
    start.assign(at(size) + 1, 0);
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        if (first_pair_of_slot[at(pair_slot[p])] != static_cast<int>(p)) continue;
        ++start[at(pairs[p].first) + 1];
        ++start[at(pairs[p].second) + 1];
    }
    for (int v = 0; v < size; ++v) start[at(v) + 1] += start[at(v)];
    neighbours.assign(at(start.back()), kNone);
    std::vector<int> next(start.begin(), start.end() - 1);
    for (std::size_t p = pairs.size(); p-- > 0;) {
        if (first_pair_of_slot[at(pair_slot[p])] != static_cast<int>(p)) continue;
        const auto [a, b] = pairs[p];
        neighbours[at(next[at(a)]++)] = b;
        neighbours[at(next[at(b)]++)] = a;
    }
}

// Whether the loops that set up the factor of a matrix of millions of unknowns look at the
// stop request at this step of theirs: every kElementsBetweenStopChecks couplings, and every
// few hundred columns, as the last columns of a factor hold far more entries than the first.
bool stop_check_due(std::size_t step, std::size_t every = kElementsBetweenStopChecks) {
    return step % every == every - 1;
}

}  // namespace

SparseCholesky::SparseCholesky(int size, std::span<const std::pair<int, int>> pairs,
                               StopRequest stop)
    : size_(size), stop_(stop) {
    if (size < 0) throw std::invalid_argument("negative matrix size");
    const auto n = at(size);

    // Distinct couplings, each with one coefficient slot.
    std::vector<std::pair<int, int>> keys;
    keys.reserve(pairs.size());
    for (const auto& [a, b] : pairs) {
        if (a == b || a < 0 || b < 0 || a >= size || b >= size)
            throw std::invalid_argument("bad off-diagonal pair");
        keys.emplace_back(std::min(a, b), std::max(a, b));
    }
    std::vector<std::pair<int, int>> couplings = keys;
    std::sort(couplings.begin(), couplings.end());
    couplings.erase(std::unique(couplings.begin(), couplings.end()), couplings.end());
    coefficient_count_ = static_cast<int>(couplings.size());
    pair_slot_.resize(keys.size());
    std::vector<int> first_pair_of_slot(couplings.size(), kNone);
    for (std::size_t p = 0; p < keys.size(); ++p) {
        if (stop_check_due(p)) ThrowIfStopRequested(stop_);
        const auto it = std::lower_bound(couplings.begin(), couplings.end(), keys[p]);
        const auto s = static_cast<std::size_t>(it - couplings.begin());
        pair_slot_[p] = static_cast<int>(s);
        if (first_pair_of_slot[s] == kNone) first_pair_of_slot[s] = static_cast<int>(p);
    }

    std::vector<int> start;
    std::vector<int> neighbours;
    coupling_graph(size, pair_slot_, first_pair_of_slot, pairs, start, neighbours);
    order_ = minimum_degree_order(start, neighbours, stop_);
    position_.resize(n);
    for (int k = 0; k < size; ++k) position_[at(order_[at(k)])] = k;

    build_factor_pattern(couplings);
    schedule_column_updates();
    GrowTo(factor_value_, factor_row_.size(), stop_);  // zeros
    pivot_.assign(n, 0.0);
    work_.assign(n, 0.0);
}

// Rows of each column of L: row k has a nonzero in column j < k exactly when j
// lies on an elimination-tree path from an entry of A's column k.
void SparseCholesky::build_factor_pattern(const std::vector<std::pair<int, int>>& couplings) {
    const auto n = at(size_);
    std::vector<int> upper_start(n + 1, 0);
    for (const auto& [a, b] : couplings) {
        ++upper_start[at(std::max(position_[at(a)], position_[at(b)])) + 1];
    }
    for (std::size_t k = 0; k < n; ++k) upper_start[k + 1] += upper_start[k];
    std::vector<int> upper_row(couplings.size());
    {
        std::vector<int> next(upper_start.begin(), upper_start.end() - 1);
        for (const auto& [a, b] : couplings) {
            const int pa = position_[at(a)];
            const int pb = position_[at(b)];
            upper_row[at(next[at(std::max(pa, pb))]++)] = std::min(pa, pb);
        }
    }

    const std::vector<int> parent = elimination_tree(size_, upper_start, upper_row);
    std::vector<int> mark(n, kNone);
    std::vector<int> row_start(n + 1, 0);
    std::vector<int> row_columns;
    for (int k = 0; k < size_; ++k) {
        if (stop_check_due(at(k), kColumnsBetweenStopChecks)) ThrowIfStopRequested(stop_);
        mark[at(k)] = k;
        for (int e = upper_start[at(k)]; e < upper_start[at(k) + 1]; ++e) {
            for (int i = upper_row[at(e)]; i != kNone && mark[at(i)] != k; i = parent[at(i)]) {
                mark[at(i)] = k;
                row_columns.push_back(i);
            }
        }
        row_start[at(k) + 1] = static_cast<int>(row_columns.size());
    }

    // Transposed into columns, visiting rows in increasing order so that each
    // column lists its rows ascending, as the backward sweep adds them.
    factor_start_.assign(n + 1, 0);
    for (const int j : row_columns) ++factor_start_[at(j) + 1];
    for (std::size_t k = 0; k < n; ++k) factor_start_[k + 1] += factor_start_[k];
    factor_row_.resize(row_columns.size());
    {
        std::vector<int> next(factor_start_.begin(), factor_start_.end() - 1);
        for (int k = 0; k < size_; ++k) {
            if (stop_check_due(at(k), kColumnsBetweenStopChecks)) ThrowIfStopRequested(stop_);
            for (int idx = row_start[at(k)]; idx < row_start[at(k) + 1]; ++idx) {
                factor_row_[at(next[at(row_columns[at(idx)])]++)] = k;
            }
        }
    }

    factor_slot_.assign(factor_row_.size(), kNone);
    for (std::size_t s = 0; s < couplings.size(); ++s) {
        if (stop_check_due(s)) ThrowIfStopRequested(stop_);
        const int pa = position_[at(couplings[s].first)];
        const int pb = position_[at(couplings[s].second)];
        const int column = std::min(pa, pb);
        const auto first = factor_row_.begin() + factor_start_[at(column)];
        const auto last = factor_row_.begin() + factor_start_[at(column) + 1];
        const auto entry = std::lower_bound(first, last, std::max(pa, pb));
        factor_slot_[at(static_cast<int>(entry - factor_row_.begin()))] = static_cast<int>(s);
    }
}

// Column j is updated by every earlier column k with L(j, k) != 0. EPANET keeps
// such columns on a linked list per pending row: once column k has been used
// at row j (or computed, for its first row) it is pushed on the front of the
// list of its next row. The order of that list is the order of the
// floating-point sums, so it is replayed here once.
void SparseCholesky::schedule_column_updates() {
    const auto n = at(size_);
    std::vector<int> list_front(n, kNone);
    std::vector<int> list_next(n, kNone);
    std::vector<int> next_entry(n, 0);
    const auto push = [&](int column, int entry) {
        const int row = factor_row_[at(entry)];
        next_entry[at(column)] = entry;
        list_next[at(column)] = list_front[at(row)];
        list_front[at(row)] = column;
    };

    update_start_.assign(n + 1, 0);
    update_entry_.clear();
    update_end_.clear();
    update_entry_.reserve(factor_row_.size());
    update_end_.reserve(factor_row_.size());
    for (int j = 0; j < size_; ++j) {
        if (stop_check_due(at(j), kColumnsBetweenStopChecks)) ThrowIfStopRequested(stop_);
        for (int k = list_front[at(j)]; k != kNone;) {
            const int following = list_next[at(k)];
            const int entry = next_entry[at(k)];
            const int end = factor_start_[at(k) + 1];
            update_entry_.push_back(entry);
            update_end_.push_back(end);
            if (entry + 1 < end) push(k, entry + 1);
            k = following;
        }
        update_start_[at(j) + 1] = static_cast<int>(update_entry_.size());
        if (factor_start_[at(j)] < factor_start_[at(j) + 1]) push(j, factor_start_[at(j)]);
    }
}

int SparseCholesky::factorize(std::span<const double> diagonal,
                              std::span<const double> off_diagonal) {
    for (int j = 0; j < size_; ++j) {
        if (j % kColumnsBetweenStopChecks == kColumnsBetweenStopChecks - 1) {
            ThrowIfStopRequested(stop_);
        }
        // The updates of column j accumulate in work_ (by row) and, for the
        // pivot, in a sum of squares subtracted from A(j, j) at the end.
        double squares = 0.0;
        for (int u = update_start_[at(j)]; u < update_start_[at(j) + 1]; ++u) {
            const int entry = update_entry_[at(u)];
            const int end = update_end_[at(u)];
            const double ljk = factor_value_[at(entry)];
            squares += ljk * ljk;
            for (int p = entry + 1; p < end; ++p) {
                work_[at(factor_row_[at(p)])] += factor_value_[at(p)] * ljk;
            }
        }
        const int first = factor_start_[at(j)];
        const int last = factor_start_[at(j) + 1];
        const double d = diagonal[at(order_[at(j)])] - squares;
        if (d <= 0.0) {
            for (int p = first; p < last; ++p) work_[at(factor_row_[at(p)])] = 0.0;
            return order_[at(j)];
        }
        const double pivot = std::sqrt(d);
        pivot_[at(j)] = pivot;
        for (int p = first; p < last; ++p) {
            const int row = factor_row_[at(p)];
            const int slot = factor_slot_[at(p)];
            const double a = slot == kNone ? 0.0 : off_diagonal[at(slot)];
            factor_value_[at(p)] = (a - work_[at(row)]) / pivot;
            work_[at(row)] = 0.0;
        }
    }
    return kNone;
}

void SparseCholesky::substitute(std::span<double> rhs) {
    double* z = work_.data();
    for (int k = 0; k < size_; ++k) z[k] = rhs[at(order_[at(k)])];
    for (int j = 0; j < size_; ++j) {
        const double zj = z[j] / pivot_[at(j)];
        z[j] = zj;
        for (int p = factor_start_[at(j)]; p < factor_start_[at(j) + 1]; ++p) {
            z[factor_row_[at(p)]] -= factor_value_[at(p)] * zj;
        }
    }
    for (int j = size_ - 1; j >= 0; --j) {
        double zj = z[j];
        for (int p = factor_start_[at(j)]; p < factor_start_[at(j) + 1]; ++p) {
            zj -= factor_value_[at(p)] * z[factor_row_[at(p)]];
        }
        z[j] = zj / pivot_[at(j)];
    }
    for (int k = 0; k < size_; ++k) {
        rhs[at(order_[at(k)])] = z[k];
        z[k] = 0.0;
    }
}

int SparseCholesky::solve(std::span<const double> diagonal, std::span<const double> off_diagonal,
                          std::span<double> rhs) {
    const int bad = factorize(diagonal, off_diagonal);
    if (bad != kNone) return bad;
    substitute(rhs);
    return kNone;
}

}  // namespace hydrosk::toolkit
