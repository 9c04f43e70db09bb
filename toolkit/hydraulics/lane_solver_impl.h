// The lane solver of lane_solver.h for W lanes, written with GCC's vector extensions.
// Included by the files compiled for one instruction set each (lane_solver_avx2.cpp,
// lane_solver_avx512.cpp), without contraction into fused multiply-adds; everything here has
// internal linkage, so each file keeps its own instructions.
//
// Each vector operation below is, lane by lane, the operation of HydraulicSolver at the same
// point of its sequence. Where the scalar solver skips an element for some lanes (a link
// without conductance, a lane whose factorization failed), the vector form computes it for
// every lane and keeps the old value in those lanes by a selection, never by adding zero
// (which would turn -0 into +0).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "toolkit/codes.h"
#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/hydraulics/valve.h"
#include "toolkit/portable_math_lanes.h"
#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {
namespace {

// Storage of whole vectors, aligned as the vectors are. Being local to this file, it also keeps
// every container of vectors here from sharing code with another file's instruction set.
template <typename T>
struct LaneAllocator {
    using value_type = T;
    LaneAllocator() = default;
    template <typename U>
    LaneAllocator(const LaneAllocator<U>&) {}
    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{alignof(T)}));
    }
    void deallocate(T* p, std::size_t) { ::operator delete (p, std::align_val_t{alignof(T)}); }
    template <typename U>
    bool operator==(const LaneAllocator<U>&) const {
        return true;
    }
};

template <typename T>
using LaneVector = std::vector<T, LaneAllocator<T>>;

template <typename V>
void clear(LaneVector<V>& a) {
    for (V& v : a) v = V{};
}

// W link states, one byte each.
template <int W>
struct LaneBytes;
template <>
struct LaneBytes<4> {
    using Type = std::int8_t __attribute__((vector_size(4)));
};
template <>
struct LaneBytes<8> {
    using Type = std::int8_t __attribute__((vector_size(8)));
};

template <int W>
class LaneSolver final : public TrialLanes {
    using V = typename Lanes<W>::Double;
    using M = typename Lanes<W>::Int;  // lane masks: all bits set or none

public:
    LaneSolver(const Network& network, const HydraulicSystem& system, const HydraulicSolver& solver)
        : network_(network),
          system_(system),
          solver_(solver),
          matrix_(solver.matrix().structure()) {
        const auto nn = at(system.node_count);
        const auto nl = at(system.link_count);
        const auto nj = at(system.junction_count);
        head_.assign(nn, V{});
        demand_.assign(nn, V{});
        demand_flow_.assign(nn, V{});
        flow_.assign(nl, V{});
        setting_.assign(nl, V{});
        status_.assign(nl * W, LinkState::Open);
        p_.assign(nl, V{});
        y_.assign(nl, V{});
        diagonal_.assign(nj, V{});
        off_diagonal_.assign(at(solver.matrix().coefficient_count()), V{});
        rhs_.assign(nn, V{});
        xflow_.assign(nn, V{});
        factor_.assign(matrix_.factor_row.size(), V{});
        pivot_.assign(nj, V{});
        work_.assign(nj, V{});
        vector_law_.assign(nl, 0);
        for (int k = 0; k < system.link_count; ++k) {
            const LinkType t = system.type[at(k)];
            vector_law_[at(k)] = (t == LinkType::Pipe || t == LinkType::CVPipe) &&
                                 system.formula != HeadLossFormula::DarcyWeisbach;
        }
        slot_.resize(nl);
        for (int k = 0; k < system.link_count; ++k) slot_[at(k)] = solver.link_slot(k);
        // The links whose state the status checks may change whatever it is: all but the
        // pipes between junctions, which only leave a state that none of the checks gives.
        for (int k = 0; k < system.link_count; ++k) {
            if (solver.link_state_may_change(k, LinkState::Open)) state_links_.push_back(k);
        }
        max_trials_ = system.max_iter;
        if (system.extra_iter > 0) {
            max_trials_ = static_cast<int>(static_cast<std::uint32_t>(max_trials_) +
                                           static_cast<std::uint32_t>(system.extra_iter));
        }
        scratch_.resize(system);
    }

    int width() const override { return W; }

    void solve(const HydraulicState& start, const Next& next, const Done& done) override {
        start_ = &start;
        // The first coefficients of every trial: those of the start state. (Control valves
        // with a setting get P = 0 here and their terms in the assembly, whatever Y.)
        start_p_.resize(at(system_.link_count));
        start_y_.resize(at(system_.link_count));
        for (int k = 0; k < system_.link_count; ++k) {
            const auto kk = at(k);
            const LinkCoefficients c = solver_.link_coefficients(
                k, start.flow[kk], start.status[kk], start.setting[kk], 0.0);
            start_p_[kk] = c.p;
            start_y_[kk] = c.y;
        }
        // A pipe between junctions that starts in a state the checks change is checked too,
        // in every trial: the list is then every link.
        checked_links_ = &state_links_;
        for (int k = 0; k < system_.link_count; ++k) {
            if (solver_.link_state_may_change(k, start.status[at(k)]) &&
                !solver_.link_state_may_change(k, LinkState::Open)) {
                checked_links_ = &all_links_;
                if (all_links_.empty()) {
                    for (int i = 0; i < system_.link_count; ++i) all_links_.push_back(i);
                }
                break;
            }
        }
        for (int l = 0; l < W; ++l) lanes_[l] = Lane{};
        bool more = true;
        std::size_t tickets = 0;
        const auto refill = [&](int l) {
            while (more) {
                const auto trial = next();
                if (!trial) {
                    more = false;
                    break;
                }
                begin(l, *trial, tickets++);
                if (lanes_[l].iter <= max_trials_) return;
                finish(l, done);  // no iteration allowed at all
            }
        };
        for (int l = 0; l < W; ++l) refill(l);
        for (;;) {
            bool any = false;
            for (int l = 0; l < W; ++l) any = any || lanes_[l].busy;
            if (!any) break;
            // As the one-at-a-time solve does, once per iteration of the lanes.
            ThrowIfStopRequested(solver_.stop_request());
            iterate();
            for (int l = 0; l < W; ++l) {
                if (lanes_[l].busy && lanes_[l].ended) {
                    finish(l, done);
                    refill(l);
                }
            }
        }
        start_ = nullptr;
    }

private:
    struct Lane {
        bool busy = false;
        bool ended = false;
        std::size_t ticket = 0;
        int iter = 1;
        int next_check = 0;
        double relax = 1.0;
        double relative_error = 0.0;
        int error_node = -1;
        double max_head_error = 0.0;
        double max_flow_change = 0.0;
    };

    static std::size_t at(int i) { return static_cast<std::size_t>(i); }
    static V splat(double x) {
        V v;
        for (int l = 0; l < W; ++l) v[l] = x;
        return v;
    }
    static V abs(V x) {
        constexpr std::int64_t kMagnitude = 0x7fffffffffffffff;
        return reinterpret_cast<V>(reinterpret_cast<M>(x) & kMagnitude);
    }
    // a where the mask is set, else b; bit by bit, so exact for every value.
    static V select(M mask, V a, V b) {
        return reinterpret_cast<V>((reinterpret_cast<M>(a) & mask) |
                                   (reinterpret_cast<M>(b) & ~mask));
    }
    // The lanes in which link k is closed.
    M closed_lanes(int k) const {
        using Bytes = typename LaneBytes<W>::Type;
        Bytes states;
        std::memcpy(&states, &status_[at(k) * W], W);
        static_assert(static_cast<int>(LinkState::Closed) == 2);
#if defined(__clang__)
        // Clang 14 cannot lower the widening comparison below with AVX-512F alone.
        M closed{};
        for (int l = 0; l < W; ++l) closed[l] = states[l] <= 2 ? -1 : 0;
        return closed;
#else
        return __builtin_convertvector(states, M) <= 2;
#endif
    }
    static V sqrt_lanes(V x) {
#if defined(__AVX512F__)
        if constexpr (W == 8) {
            const auto v = reinterpret_cast<__m512d>(x);
            return reinterpret_cast<V>(_mm512_mask_sqrt_pd(v, 0xff, v));
        }
#endif
#if defined(__AVX__)
        if constexpr (W == 4)
            return reinterpret_cast<V>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(x)));
#endif
        V out;
        for (int l = 0; l < W; ++l) out[l] = std::sqrt(x[l]);
        return out;
    }

    double& lane(LaneVector<V>& a, std::size_t i, int l) {
        return reinterpret_cast<double*>(a.data())[i * W + at(l)];
    }
    LinkState& lane_status(int k, int l) {
        return status_[at(k) * W + at(l)];
    }

    // A new trial in lane l: the start state with the trial's demand.
    void begin(int l, const DemandTrial& trial, std::size_t ticket) {
        const HydraulicState& s = *start_;
        for (int i = 0; i < system_.node_count; ++i) {
            lane(head_, at(i), l) = s.head[at(i)];
            lane(demand_, at(i), l) = s.demand[at(i)];
            lane(demand_flow_, at(i), l) = s.demand_flow[at(i)];
        }
        for (const NodeDemand& d : trial.nodes) {
            lane(demand_, at(d.node), l) = d.demand;
            lane(demand_flow_, at(d.node), l) = d.demand;
        }
        for (int k = 0; k < system_.link_count; ++k) {
            lane(flow_, at(k), l) = s.flow[at(k)];
            lane(setting_, at(k), l) = s.setting[at(k)];
            lane_status(k, l) = s.status[at(k)];
        }
        for (int k = 0; k < system_.link_count; ++k) {
            lane(p_, at(k), l) = start_p_[at(k)];
            lane(y_, at(k), l) = start_y_[at(k)];
        }
        Lane& ln = lanes_[l];
        ln = Lane{};
        ln.busy = true;
        ln.ticket = ticket;
        ln.next_check = system_.check_freq;
    }

    // The end of HydraulicSolver::solve for lane l, and its report.
    void finish(int l, const Done& done) {
        Lane& ln = lanes_[l];
        HydraulicState& s = scratch_;
        const HydraulicState& start = *start_;
        for (int i = 0; i < system_.node_count; ++i) {
            s.head[at(i)] = lane(head_, at(i), l);
            s.demand[at(i)] = lane(demand_, at(i), l);
            s.demand_flow[at(i)] = lane(demand_flow_, at(i), l);
            s.emitter_flow[at(i)] = start.emitter_flow[at(i)];
        }
        for (int k = 0; k < system_.link_count; ++k) {
            s.flow[at(k)] = lane(flow_, at(k), l);
            s.setting[at(k)] = lane(setting_, at(k), l);
            s.status[at(k)] = lane_status(k, l);
        }
        SolveResult result;
        result.error = ln.error_node >= 0 ? codes::kCannotSolve : codes::kOk;
        for (int i = 0; i < system_.junction_count; ++i) {
            const double full = s.demand[at(i)];
            s.demand[at(i)] = s.demand_flow[at(i)] + s.emitter_flow[at(i)];
            s.demand_flow[at(i)] = full;
        }
        result.iterations = ln.iter;
        result.relative_error = ln.relative_error;
        result.max_head_error = ln.max_head_error;
        result.max_flow_change = ln.max_flow_change;
        ln.busy = false;
        ln.ended = false;
        done(ln.ticket, result, s);
    }

    // HydraulicSolver::head_loss_coefficients.
    // The phases are kept apart (noinline) so that a profile shows each of them.
    [[gnu::noinline]] void coefficients() {
        const double rqtol = system_.rqtol;
        const double hexp = system_.hexp;
        const V vhexp1 = splat(hexp - 1.0);
        for (int k = 0; k < system_.link_count; ++k) {
            const auto kk = at(k);
            if (vector_law_[kk]) {
                // power_law_coefficients, and closed_link_coefficients for closed lanes.
                const V flow = flow_[kk];
                const V q = abs(flow);
                const double r = system_.resistance[kk];
                const double km = system_.minor_loss[kk];
                V hgrad = (hexp * r) * pow_lanes<W>(q, vhexp1);
                const M small = hgrad < rqtol;
                hgrad = select(small, splat(rqtol), hgrad);
                V hloss = select(small, hgrad * q, hgrad * q / hexp);
                if (km > 0.0) {
                    hloss += km * q * q;
                    hgrad += 2.0 * km * q;
                }
                hloss *= select(flow < 0.0, splat(-1.0), splat(1.0));
                V p = 1.0 / hgrad;
                V y = hloss / hgrad;
                const M closed = closed_lanes(k);
                p_[kk] = select(closed, splat(1.0 / kCBig), p);
                y_[kk] = select(closed, flow, y);
                continue;
            }
            for (int l = 0; l < W; ++l) {
                const LinkCoefficients c =
                    solver_.link_coefficients(k, lane(flow_, kk, l), lane_status(k, l),
                                              lane(setting_, kk, l), lane(y_, kk, l));
                lane(p_, kk, l) = c.p;
                lane(y_, kk, l) = c.y;
            }
        }
    }

    // HydraulicSolver::assemble (without emitters and pressure-driven demands).
    [[gnu::noinline]] void assemble() {
        const int nj = system_.junction_count;
        clear(diagonal_);
        clear(off_diagonal_);
        clear(rhs_);
        clear(xflow_);
        for (int k = 0; k < system_.link_count; ++k) {
            const auto kk = at(k);
            const V p = p_[kk];
            const M on = p != 0.0;
            const auto n1 = at(system_.from[kk]);
            const auto n2 = at(system_.to[kk]);
            const V q = flow_[kk];
            const V y = y_[kk];
            xflow_[n1] = select(on, xflow_[n1] - q, xflow_[n1]);
            xflow_[n2] = select(on, xflow_[n2] + q, xflow_[n2]);
            if (slot_[kk] != kNoIndex) {
                V& a = off_diagonal_[at(slot_[kk])];
                a = select(on, a - p, a);
            }
            if (system_.from[kk] < nj) {
                diagonal_[n1] = select(on, diagonal_[n1] + p, diagonal_[n1]);
                rhs_[n1] = select(on, rhs_[n1] + y, rhs_[n1]);
            } else {
                rhs_[n2] = select(on, rhs_[n2] + p * head_[n1], rhs_[n2]);
            }
            if (system_.to[kk] < nj) {
                diagonal_[n2] = select(on, diagonal_[n2] + p, diagonal_[n2]);
                rhs_[n2] = select(on, rhs_[n2] - y, rhs_[n2]);
            } else {
                rhs_[n1] = select(on, rhs_[n1] + p * head_[n2], rhs_[n1]);
            }
        }
        for (int i = 0; i < nj; ++i) {
            xflow_[at(i)] -= demand_flow_[at(i)];
            rhs_[at(i)] += xflow_[at(i)];
        }
        // Control valves, lane by lane.
        for (const int k : system_.valves) {
            const auto kk = at(k);
            if (!solver_.has_valve_term(k)) continue;
            const int n1 = system_.from[kk];
            const int n2 = system_.to[kk];
            if (n1 >= nj || n2 >= nj) continue;
            const auto i = at(n1);
            const auto j = at(n2);
            const auto slot = at(slot_[kk]);
            for (int l = 0; l < W; ++l) {
                const HydraulicSolver::ValveTerms terms{
                    &lane(p_, kk, l),       &lane(y_, kk, l),    &lane(diagonal_, i, l),
                    &lane(diagonal_, j, l), &lane(rhs_, i, l),   &lane(rhs_, j, l),
                    &lane(xflow_, i, l),    &lane(xflow_, j, l), &lane(off_diagonal_, slot, l)};
                solver_.add_valve_term(k, lane_status(k, l), lane(setting_, kk, l),
                                       lane(flow_, kk, l), terms);
            }
        }
    }

    // SparseCholesky::solve: the factorization of every lane, whichever fails, then the
    // sweeps. bad[l] is the unknown of lane l's first pivot that was not positive, or -1.
    [[gnu::noinline]] void factorize(int (&bad)[W]) {
        const auto& m = matrix_;
        const int n = system_.junction_count;
        for (int l = 0; l < W; ++l) bad[l] = -1;
        for (int j = 0; j < n; ++j) {
            V squares{};
            for (int u = m.update_start[at(j)]; u < m.update_start[at(j) + 1]; ++u) {
                const int entry = m.update_entry[at(u)];
                const int end = m.update_end[at(u)];
                const V ljk = factor_[at(entry)];
                squares += ljk * ljk;
                for (int p = entry + 1; p < end; ++p) {
                    V& w = work_[at(m.factor_row[at(p)])];
                    w += factor_[at(p)] * ljk;
                }
            }
            const int first = m.factor_start[at(j)];
            const int last = m.factor_start[at(j) + 1];
            const V d = diagonal_[at(m.order[at(j)])] - squares;
            const M not_positive = d <= 0.0;
            for (int l = 0; l < W; ++l) {
                if (not_positive[l] && bad[l] < 0) bad[l] = m.order[at(j)];
            }
            const V pivot = sqrt_lanes(d);
            pivot_[at(j)] = pivot;
            for (int p = first; p < last; ++p) {
                const auto row = at(m.factor_row[at(p)]);
                const int slot = m.factor_slot[at(p)];
                const V a = slot < 0 ? V{} : off_diagonal_[at(slot)];
                factor_[at(p)] = (a - work_[row]) / pivot;
                work_[row] = V{};
            }
        }
    }

    // SparseCholesky::substitute.
    [[gnu::noinline]] void substitute() {
        const auto& m = matrix_;
        const int n = system_.junction_count;
        V* z = work_.data();
        for (int k = 0; k < n; ++k) z[k] = rhs_[at(m.order[at(k)])];
        for (int j = 0; j < n; ++j) {
            const V zj = z[j] / pivot_[at(j)];
            z[j] = zj;
            for (int p = m.factor_start[at(j)]; p < m.factor_start[at(j) + 1]; ++p) {
                z[m.factor_row[at(p)]] -= factor_[at(p)] * zj;
            }
        }
        for (int j = n - 1; j >= 0; --j) {
            V zj = z[j];
            for (int p = m.factor_start[at(j)]; p < m.factor_start[at(j) + 1]; ++p) {
                zj -= factor_[at(p)] * z[m.factor_row[at(p)]];
            }
            z[j] = zj / pivot_[at(j)];
        }
        for (int k = 0; k < n; ++k) {
            rhs_[at(m.order[at(k)])] = z[k];
            z[k] = V{};
        }
    }

    // HydraulicSolver::update_flows for the lanes of `go`; gives each lane's relative error.
    [[gnu::noinline]] V update_flows(M go, V relax, V& max_flow_change) {
        const int nj = system_.junction_count;
        V qsum{};
        V dqsum{};
        max_flow_change = V{};
        for (int i = nj; i < system_.node_count; ++i) {
            demand_[at(i)] = select(go, V{}, demand_[at(i)]);
        }
        for (int k = 0; k < system_.link_count; ++k) {
            const auto kk = at(k);
            const int n1 = system_.from[kk];
            const int n2 = system_.to[kk];
            const V dh = head_[at(n1)] - head_[at(n2)];
            V dq = (y_[kk] - p_[kk] * dh) * relax;
            const V before = flow_[kk];
            if (system_.type[kk] == LinkType::Pump &&
                system_.pumps[at(system_.pump_index[kk])].kind == PumpCurveKind::ConstantPower) {
                dq = select(dq > before, before / 2.0, dq);
            }
            const V flow = before - dq;
            flow_[kk] = select(go, flow, before);
            qsum += abs(flow);
            dqsum += abs(dq);
            const V adq = abs(dq);
            max_flow_change = select(max_flow_change < adq, adq, max_flow_change);
            if (n1 >= nj || n2 >= nj) {
                const M act = ~closed_lanes(k) & go;
                if (n1 >= nj)
                    demand_[at(n1)] = select(act, demand_[at(n1)] - flow, demand_[at(n1)]);
                if (n2 >= nj)
                    demand_[at(n2)] = select(act, demand_[at(n2)] + flow, demand_[at(n2)]);
            }
        }
        return select(qsum > system_.accuracy, dqsum / qsum, dqsum);
    }

    // One pass of the loop of HydraulicSolver::solve in every busy lane.
    void iterate() {
        const int nj = system_.junction_count;
        // The coefficients at the current flows and statuses: those computed for the test of
        // convergence in the last pass (kept up to date through the status changes since),
        // else computed now.
        if (!coefficients_current_) coefficients();
        coefficients_current_ = false;
        assemble();
        int bad[W];
        factorize(bad);
        substitute();

        M go{};
        for (int l = 0; l < W; ++l) {
            Lane& ln = lanes_[l];
            if (!ln.busy) continue;
            ln.error_node = bad[l];
            if (bad[l] >= 0) {
                // An active control valve that makes the equations singular is fixed in
                // place and the trial repeated; otherwise the solve ends.
                const int k = solver_.valve_at(bad[l]);
                const auto fixed =
                    k == kNoIndex ? std::nullopt : solver_.fixed_valve_state(k, lane_status(k, l));
                if (fixed) {
                    lane_status(k, l) = *fixed;
                } else {
                    ln.ended = true;
                }
                continue;
            }
            go[l] = -1;
        }
        for (int i = 0; i < nj; ++i) head_[at(i)] = select(go, rhs_[at(i)], head_[at(i)]);
        V relax{};
        for (int l = 0; l < W; ++l) relax[l] = lanes_[l].relax;
        V max_flow_change;
        const V relative_error = update_flows(go, relax, max_flow_change);

        bool need_check = false;
        bool valve_change[W] = {};
        for (int l = 0; l < W; ++l) {
            if (!go[l]) continue;
            Lane& ln = lanes_[l];
            ln.relative_error = relative_error[l];
            ln.max_flow_change = max_flow_change[l];
            ln.relax = 1.0;
            if (system_.damp_limit > 0.0) {
                if (ln.relative_error <= system_.damp_limit) {
                    ln.relax = 0.6;
                    valve_change[l] = check_valve_states(l);
                }
            } else {
                valve_change[l] = check_valve_states(l);
            }
            if (ln.relative_error <= system_.accuracy) need_check = true;
        }

        // HydraulicSolver::has_converged: the largest head-loss error over open links.
        V max_head_error{};
        if (need_check) {
            coefficients();
            coefficients_current_ = true;
            for (int k = 0; k < system_.link_count; ++k) {
                const auto kk = at(k);
                const M counted = ~closed_lanes(k) & (p_[kk] != 0.0);
                const V dh = head_[at(system_.from[kk])] - head_[at(system_.to[kk])];
                const V error = abs(dh - y_[kk] / p_[kk]);
                max_head_error = select(counted & (max_head_error < error), error, max_head_error);
            }
        }

        for (int l = 0; l < W; ++l) {
            if (!go[l]) continue;
            Lane& ln = lanes_[l];
            bool converged = false;
            if (ln.relative_error <= system_.accuracy) {
                ln.max_head_error = max_head_error[l];
                converged = true;
                if (system_.head_error_limit > 0.0 && ln.max_head_error > system_.head_error_limit)
                    converged = false;
                if (converged && system_.flow_change_limit > 0.0 &&
                    ln.max_flow_change > system_.flow_change_limit)
                    converged = false;
            }
            if (converged) {
                if (ln.iter > system_.max_iter) {
                    ln.ended = true;
                    continue;
                }
                bool status_change = valve_change[l];
                if (check_link_states(l)) status_change = true;
                if (apply_pressure_controls(l)) status_change = true;
                if (!status_change) {
                    ln.ended = true;
                    continue;
                }
                ln.next_check = static_cast<int>(static_cast<std::uint32_t>(ln.iter) +
                                                 static_cast<std::uint32_t>(system_.check_freq));
            } else if (ln.iter <= system_.max_check && ln.iter == ln.next_check) {
                check_link_states(l);
                ln.next_check = static_cast<int>(static_cast<std::uint32_t>(ln.next_check) +
                                                 static_cast<std::uint32_t>(system_.check_freq));
            }
            ++ln.iter;
            if (ln.iter > max_trials_) ln.ended = true;
        }
    }

    [[gnu::noinline]] bool check_valve_states(int l) {
        bool change = false;
        for (const int k : system_.valves) {
            const auto kk = at(k);
            LinkState& s = lane_status(k, l);
            const LinkState before = s;
            s = solver_.checked_valve_state(
                k, before, lane(flow_, kk, l), lane(head_, at(system_.from[kk]), l),
                lane(head_, at(system_.to[kk]), l), lane(setting_, kk, l));
            if (s != before) change = true;
        }
        return change;
    }

    // The coefficients of link k in lane l after a change of its status or setting (the same
    // law as the vector form).
    void refresh(int k, int l) {
        const auto kk = at(k);
        const LinkCoefficients c = solver_.link_coefficients(
            k, lane(flow_, kk, l), lane_status(k, l), lane(setting_, kk, l), lane(y_, kk, l));
        lane(p_, kk, l) = c.p;
        lane(y_, kk, l) = c.y;
    }

    [[gnu::noinline]] bool check_link_states(int l) {
        bool change = false;
        for (const int k : *checked_links_) {
            const auto kk = at(k);
            LinkState& s = lane_status(k, l);
            const LinkState before = s;
            if (!solver_.link_state_may_change(k, before)) continue;
            s = solver_.checked_link_state(k, before, lane(head_, at(system_.from[kk]), l),
                                           lane(head_, at(system_.to[kk]), l), lane(flow_, kk, l),
                                           lane(setting_, kk, l));
            if (s != before) {
                change = true;
                refresh(k, l);
            }
        }
        return change;
    }

    bool apply_pressure_controls(int l) {
        bool any = false;
        for (const ControlData& c : system_.controls) {
            if (!solver_.is_pressure_control(c)) continue;
            if (solver_.apply_pressure_control(c, lane(head_, at(c.node), l),
                                               lane_status(c.link, l),
                                               lane(setting_, at(c.link), l))) {
                any = true;
                refresh(c.link, l);
            }
        }
        return any;
    }

    const Network& network_;
    const HydraulicSystem& system_;
    const HydraulicSolver& solver_;
    const SparseCholesky::Structure matrix_;
    int max_trials_ = 0;
    const HydraulicState* start_ = nullptr;
    Lane lanes_[W];
    HydraulicState scratch_;
    bool coefficients_current_ = false;
    std::vector<double> start_p_, start_y_;

    std::vector<unsigned char> vector_law_;  // by link: its law is computed as a vector
    std::vector<int> slot_;
    // The links that check_link_states looks at: state_links_, or all_links_ when a pipe
    // between junctions starts in a state that the checks change.
    std::vector<int> state_links_, all_links_;
    const std::vector<int>* checked_links_ = &state_links_;
    LaneVector<V> head_, demand_, demand_flow_, flow_, setting_;
    std::vector<LinkState> status_;  // link by link, W lanes each
    LaneVector<V> p_, y_, diagonal_, off_diagonal_, rhs_, xflow_;
    LaneVector<V> factor_, pivot_, work_;
};

// Whether the lanes hold everything of this network's solve.
inline bool lanes_hold(const HydraulicSystem& system) {
    if (system.demand_model != DemandModel::DemandDriven) return false;
    for (const double k : system.emitter_k) {
        if (k != 0.0) return false;
    }
    return true;
}

}  // namespace
}  // namespace hydrosk::toolkit
