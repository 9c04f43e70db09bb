// Sparse symmetric positive-definite solver for the head equations of the
// gradient method. The pattern of the matrix never changes during a project, so
// the fill-reducing ordering and the symbolic factorization are done once in
// the constructor; each solve then only does a numeric Cholesky factorization
// and two triangular sweeps, without allocating.
//
// Results must round as EPANET 2.2's do: in a simulation with nearly balanced
// tanks a difference in the last bit of a head grows into step times seconds
// apart. So the unknowns are ordered as EPANET orders them (multiple minimum
// degree on the couplings listed in link order, see minimum_degree_ordering.h)
// and the factorization is column by column, each column gathering the updates
// of earlier columns in the order of EPANET's linked lists of pending columns.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {

class SparseCholesky {
public:
    SparseCholesky() = default;

    // `size` unknowns; `pairs` lists the off-diagonal couplings (i, j), i != j,
    // both in [0, size), in link order (the order breaks ties of the ordering).
    // Repeated pairs (parallel links) share the coefficient of the first.
    // `stop` is looked at while the ordering is found and by every factorisation after it.
    SparseCholesky(int size, std::span<const std::pair<int, int>> pairs,
                   StopRequest stop = nullptr);

    int size() const { return size_; }
    // Number of distinct off-diagonal coefficients.
    int coefficient_count() const { return coefficient_count_; }
    // Coefficient slot of the k-th pair given to the constructor.
    int slot(int pair_index) const { return pair_slot_[static_cast<std::size_t>(pair_index)]; }
    // Nonzeros below the diagonal of the factor (a measure of fill).
    std::size_t factor_nonzeros() const { return factor_row_.size(); }
    // The unknown factorized k-th, for each k.
    std::span<const int> elimination_order() const { return order_; }

    // Solves A x = b where A has diagonal `diagonal` (by unknown) and
    // off-diagonal coefficients `off_diagonal` (by slot). `rhs` holds b on entry
    // and x on return. Returns -1 on success, or the unknown whose pivot was not
    // positive (the matrix is not positive definite there); the factorization
    // visits unknowns in elimination order.
    int solve(std::span<const double> diagonal, std::span<const double> off_diagonal,
              std::span<double> rhs);

    // The factor's structure and the order of its updates, for a solver that factorizes
    // several matrices of this pattern side by side with the same operations in the same
    // order (lane_solver.h). Column j of L lists its rows (positions) in factor_row and the
    // coefficient slot of each (-1 for fill) in factor_slot, from factor_start[j] to
    // factor_start[j + 1]; it is updated by the entries update_entry[u] of earlier columns,
    // each up to update_end[u], for u from update_start[j] to update_start[j + 1].
    struct Structure {
        std::span<const int> order;
        std::span<const int> factor_start;
        std::span<const int> factor_row;
        std::span<const int> factor_slot;
        std::span<const int> update_start;
        std::span<const int> update_entry;
        std::span<const int> update_end;
    };
    Structure structure() const {
        return {order_,        factor_start_, factor_row_, factor_slot_,
                update_start_, update_entry_, update_end_};
    }

    // Looked at every kColumnsBetweenStopChecks columns of a factorisation: SolveStopped once
    // it is set (see stop_request.h).
    void set_stop_request(StopRequest stop) { stop_ = stop; }
    static constexpr int kColumnsBetweenStopChecks = 256;

private:
    void build_factor_pattern(const std::vector<std::pair<int, int>>& couplings);
    void schedule_column_updates();
    int factorize(std::span<const double> diagonal, std::span<const double> off_diagonal);
    void substitute(std::span<double> rhs);

    int size_ = 0;
    int coefficient_count_ = 0;
    std::vector<int> pair_slot_;
    std::vector<int> order_;     // position -> original unknown
    std::vector<int> position_;  // original unknown -> position

    // Factor L below the diagonal by column, rows ascending, in positions; the
    // coefficient slot of each entry, or -1 for fill.
    std::vector<int> factor_start_;
    std::vector<int> factor_row_;
    std::vector<int> factor_slot_;

    // For column j, the earlier columns k with L(j, k) != 0 in the order they
    // update it: where L(j, k) is stored and where column k ends.
    std::vector<int> update_start_;
    std::vector<int> update_entry_;
    std::vector<int> update_end_;

    std::vector<double> factor_value_;
    std::vector<double> pivot_;  // diagonal of L
    std::vector<double> work_;   // zero between uses
    StopRequest stop_ = nullptr;
};

}  // namespace hydrosk::toolkit
