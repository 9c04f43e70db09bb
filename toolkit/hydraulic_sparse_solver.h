// Sparse symmetric positive-definite solver for the head equations of the
// gradient method. The pattern of the matrix never changes during a project, so
// the fill-reducing ordering (Eigen's approximate minimum degree) and the
// symbolic factorization are done once in the constructor; each solve then only
// does a numeric Cholesky factorization and two triangular sweeps, without
// allocating.
#pragma once

#include <span>
#include <utility>
#include <vector>

namespace hydrosk::toolkit {

class SparseCholesky {
public:
    SparseCholesky() = default;

    // `size` unknowns; `pairs` lists the off-diagonal couplings (i, j), i != j,
    // both in [0, size). Repeated pairs (parallel links) share one coefficient.
    SparseCholesky(int size, std::span<const std::pair<int, int>> pairs);

    int size() const { return size_; }
    // Number of distinct off-diagonal coefficients.
    int coefficient_count() const { return static_cast<int>(coeff_row_.size()); }
    // Coefficient slot of the k-th pair given to the constructor.
    int slot(int pair_index) const { return pair_slot_[static_cast<std::size_t>(pair_index)]; }
    // Nonzeros below the diagonal of the factor (a measure of fill).
    std::size_t factor_nonzeros() const { return factor_row_.size(); }

    // Solves A x = b where A has diagonal `diagonal` (by unknown) and
    // off-diagonal coefficients `off_diagonal` (by slot). `rhs` holds b on entry
    // and x on return. Returns -1 on success, or the unknown whose pivot was not
    // positive (the matrix is not positive definite there); the factorization
    // visits unknowns in the fill-reducing order.
    int solve(std::span<const double> diagonal, std::span<const double> off_diagonal,
              std::span<double> rhs);

private:
    int size_ = 0;
    std::vector<int> pair_slot_;
    std::vector<int> coeff_row_;  // original unknowns of each slot (i < j)
    std::vector<int> coeff_col_;
    std::vector<int> order_;     // position -> original unknown
    std::vector<int> position_;  // original unknown -> position

    // Upper part of the permuted matrix by column: for column k the entries
    // (row i < k, slot).
    std::vector<int> upper_start_;
    std::vector<int> upper_row_;
    std::vector<int> upper_slot_;

    // Factor L by column (rows ascending), and for each row k the columns j < k
    // of its nonzeros with the position of L(k, j) in the column storage.
    std::vector<int> factor_start_;
    std::vector<int> factor_row_;
    std::vector<int> row_start_;
    std::vector<int> row_col_;
    std::vector<int> row_entry_;

    std::vector<double> factor_value_;
    std::vector<double> pivot_;  // diagonal of L
    std::vector<double> work_;
};

}  // namespace hydrosk::toolkit
