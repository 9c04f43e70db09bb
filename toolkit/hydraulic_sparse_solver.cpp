#include "toolkit/hydraulic_sparse_solver.h"

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace hydrosk::toolkit {

namespace {

constexpr int kNone = -1;

// Elimination tree of the permuted matrix from its upper part by column.
std::vector<int> elimination_tree(int n, const std::vector<int>& start,
                                  const std::vector<int>& row) {
    std::vector<int> parent(static_cast<std::size_t>(n), kNone);
    std::vector<int> ancestor(static_cast<std::size_t>(n), kNone);
    for (int k = 0; k < n; ++k) {
        for (int e = start[k]; e < start[k + 1]; ++e) {
            int i = row[e];
            // Path compression through `ancestor` keeps this near linear.
            while (i != kNone && i < k) {
                const int next = ancestor[i];
                ancestor[i] = k;
                if (next == kNone) parent[i] = k;
                i = next;
            }
        }
    }
    return parent;
}

}  // namespace

SparseCholesky::SparseCholesky(int size, std::span<const std::pair<int, int>> pairs) : size_(size) {
    if (size < 0) throw std::invalid_argument("negative matrix size");
    const auto n = static_cast<std::size_t>(size);

    // Distinct couplings, each with one coefficient slot.
    std::vector<std::pair<int, int>> keys;
    keys.reserve(pairs.size());
    for (const auto& [a, b] : pairs) {
        if (a == b || a < 0 || b < 0 || a >= size || b >= size)
            throw std::invalid_argument("bad off-diagonal pair");
        keys.emplace_back(std::min(a, b), std::max(a, b));
    }
    std::vector<std::pair<int, int>> unique_keys = keys;
    std::sort(unique_keys.begin(), unique_keys.end());
    unique_keys.erase(std::unique(unique_keys.begin(), unique_keys.end()), unique_keys.end());
    pair_slot_.resize(keys.size());
    for (std::size_t p = 0; p < keys.size(); ++p) {
        const auto it = std::lower_bound(unique_keys.begin(), unique_keys.end(), keys[p]);
        pair_slot_[p] = static_cast<int>(it - unique_keys.begin());
    }
    for (const auto& [a, b] : unique_keys) {
        coeff_row_.push_back(a);
        coeff_col_.push_back(b);
    }

    // Fill-reducing ordering of the symmetric pattern.
    order_.resize(n);
    position_.resize(n);
    if (size > 0) {
        std::vector<Eigen::Triplet<double, int>> triplets;
        triplets.reserve(2 * unique_keys.size() + n);
        for (int i = 0; i < size; ++i) triplets.emplace_back(i, i, 1.0);
        for (const auto& [a, b] : unique_keys) {
            triplets.emplace_back(a, b, 1.0);
            triplets.emplace_back(b, a, 1.0);
        }
        Eigen::SparseMatrix<double, Eigen::ColMajor, int> pattern(size, size);
        pattern.setFromTriplets(triplets.begin(), triplets.end());
        Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> permutation;
        Eigen::AMDOrdering<int> amd;
        amd(pattern, permutation);
        for (int k = 0; k < size; ++k) order_[k] = permutation.indices()[k];
    }
    for (int k = 0; k < size; ++k) position_[order_[k]] = k;

    // Upper part of the permuted matrix, by column.
    upper_start_.assign(n + 1, 0);
    for (std::size_t s = 0; s < coeff_row_.size(); ++s) {
        const int col = std::max(position_[coeff_row_[s]], position_[coeff_col_[s]]);
        ++upper_start_[col + 1];
    }
    for (std::size_t k = 0; k < n; ++k) upper_start_[k + 1] += upper_start_[k];
    upper_row_.resize(coeff_row_.size());
    upper_slot_.resize(coeff_row_.size());
    {
        std::vector<int> next(upper_start_.begin(), upper_start_.end() - 1);
        for (std::size_t s = 0; s < coeff_row_.size(); ++s) {
            const int pi = position_[coeff_row_[s]];
            const int pj = position_[coeff_col_[s]];
            const int col = std::max(pi, pj);
            const int e = next[col]++;
            upper_row_[e] = std::min(pi, pj);
            upper_slot_[e] = static_cast<int>(s);
        }
    }

    // Row patterns of the factor: row k has a nonzero in column j < k exactly
    // when j lies on an elimination-tree path from an entry of A's column k.
    const std::vector<int> parent = elimination_tree(size, upper_start_, upper_row_);
    std::vector<int> mark(n, kNone);
    row_start_.assign(n + 1, 0);
    for (int k = 0; k < size; ++k) {
        mark[k] = k;
        const std::size_t first = row_col_.size();
        for (int e = upper_start_[k]; e < upper_start_[k + 1]; ++e) {
            for (int i = upper_row_[e]; i != kNone && mark[i] != k; i = parent[i]) {
                mark[i] = k;
                row_col_.push_back(i);
            }
        }
        // Ascending columns are a valid order for the sparse triangular solve.
        std::sort(row_col_.begin() + static_cast<std::ptrdiff_t>(first), row_col_.end());
        row_start_[k + 1] = static_cast<int>(row_col_.size());
    }

    factor_start_.assign(n + 1, 0);
    for (const int j : row_col_) ++factor_start_[j + 1];
    for (std::size_t k = 0; k < n; ++k) factor_start_[k + 1] += factor_start_[k];
    factor_row_.resize(row_col_.size());
    row_entry_.resize(row_col_.size());
    {
        std::vector<int> next(factor_start_.begin(), factor_start_.end() - 1);
        for (int k = 0; k < size; ++k) {
            for (int idx = row_start_[k]; idx < row_start_[k + 1]; ++idx) {
                const int entry = next[row_col_[idx]]++;
                factor_row_[entry] = k;
                row_entry_[idx] = entry;
            }
        }
    }
    factor_value_.assign(row_col_.size(), 0.0);
    pivot_.assign(n, 0.0);
    work_.assign(n, 0.0);
}

int SparseCholesky::solve(std::span<const double> diagonal, std::span<const double> off_diagonal,
                          std::span<double> rhs) {
    // Up-looking factorization: row k of L from a sparse triangular solve.
    for (int k = 0; k < size_; ++k) {
        for (int e = upper_start_[k]; e < upper_start_[k + 1]; ++e) {
            work_[upper_row_[e]] = off_diagonal[upper_slot_[e]];
        }
        double d = diagonal[order_[k]];
        for (int idx = row_start_[k]; idx < row_start_[k + 1]; ++idx) {
            const int j = row_col_[idx];
            const double lkj = work_[j] / pivot_[j];
            work_[j] = 0.0;
            const int stop = row_entry_[idx];
            for (int p = factor_start_[j]; p < stop; ++p) {
                work_[factor_row_[p]] -= factor_value_[p] * lkj;
            }
            d -= lkj * lkj;
            factor_value_[stop] = lkj;
        }
        if (d <= 0.0) return order_[k];
        pivot_[k] = std::sqrt(d);
    }

    // Forward and backward substitution in the permuted numbering.
    double* z = work_.data();
    for (int k = 0; k < size_; ++k) z[k] = rhs[order_[k]];
    for (int j = 0; j < size_; ++j) {
        const double zj = z[j] / pivot_[j];
        z[j] = zj;
        for (int p = factor_start_[j]; p < factor_start_[j + 1]; ++p) {
            z[factor_row_[p]] -= factor_value_[p] * zj;
        }
    }
    for (int j = size_ - 1; j >= 0; --j) {
        double zj = z[j];
        for (int p = factor_start_[j]; p < factor_start_[j + 1]; ++p) {
            zj -= factor_value_[p] * z[factor_row_[p]];
        }
        z[j] = zj / pivot_[j];
    }
    for (int k = 0; k < size_; ++k) {
        rhs[order_[k]] = z[k];
        z[k] = 0.0;
    }
    return -1;
}

}  // namespace hydrosk::toolkit
