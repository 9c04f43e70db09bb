#include "analysis/available_flow_search.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/ordered_rows.h"
#include "files/number_text.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// Beyond this many multiples a flow is no longer exact in single precision.
constexpr double kMostMultiples = 16777216.0;  // 2^24

// The exponent of the head-loss law that a hydrant curve follows: the pressure falls roughly
// with the flow to this power.
constexpr double kCurveExponent = 1.85;
// Trials of the search on the hydrant curve before it gives up and bisects cold.
constexpr int kMostCurveTrials = 48;

// The pressure test of one solved state, read through `pressure(node, value)`: the
// lowest-positioned failing junction, the check junction's pressure, and by position each
// junction's margin above its minimum (below 0 exactly where it fails; +infinity where it is
// not tested).
template <typename Pressure>
TrialPressures TestPressures(const JunctionLimits& limits, int check_node, Pressure&& pressure,
                             std::vector<double>& margins) {
    TrialPressures tested;
    margins.assign(static_cast<std::size_t>(limits.count()) + 1, INFINITY);
    for (int k = 1; k <= limits.count(); ++k) {
        const auto position = static_cast<std::size_t>(k);
        if (limits.excluded[position] != 0) continue;
        double value = 0.0;
        // Position k is a junction's node index, so the reading cannot fail.
        (void)pressure(k, value);
        const auto single = static_cast<float>(value);  // as the legacy functions give it
        const float minimum = limits.minimum[position];
        if (!tested.violation && FailsMinimum(single, minimum)) {
            tested.violation = Violation{k, single};
        }
        const double above = std::isnan(single)
                                 ? -INFINITY
                                 : static_cast<double>(single) - static_cast<double>(minimum);
        margins[position] = above;
    }
    double value = 0.0;
    (void)pressure(check_node, value);  // a junction of the network
    tested.check_pressure = static_cast<float>(value);
    return tested;
}

// The steady trials of a junction on projects of the worker's own: the search's trials, each
// from the solution of the one before (a warm start), and the cold trials that rows rest on,
// several side by side in the lanes of vector registers.
class SteadyTrials {
public:
    SteadyTrials(const std::shared_ptr<const toolkit::Network>& network, SolveCount* solves,
                 int lanes, const std::atomic<bool>* stop)
        : solves_(solves), lanes_(lanes), stop_(stop) {
        RequireTrialOpen(warm_.open(network));
        // The first time step of an extended-period simulation is the steady solve of the
        // network with a duration of 0, which the lanes solve.
        auto steady = network;
        if (network->times.duration != 0) {
            auto copy = std::make_shared<toolkit::Network>(*network);
            copy->times.duration = 0;
            steady = std::move(copy);
        }
        RequireTrialOpen(cold_.open(steady));
        warm_.set_stop_request(stop);
        cold_.set_stop_request(stop);
    }

    // Whether the warm trials can be solved here: the network's simulation starts.
    bool usable() { return warm_.open_h() == 0; }

    // The margins of every junction at its own demand, from a cold start.
    void WithoutFire(const JunctionLimits& limits, std::vector<double>& margins) {
        if (node_ != 0) (void)warm_.restore_node_demands(node_);
        node_ = 0;
        (void)warm_.open_h();
        (void)warm_.init_h(EN_NOSAVE);
        long time = 0;
        (void)warm_.run_h(time);  // the search alone starts from it
        CountSolve(solves_, warm_);
        // Open and initialised: the state can always be saved, or else the search starts from
        // the maximal flow's.
        (void)warm_.save_hydraulics(without_fire_);
        (void)TestPressures(
            limits, 1,
            [this](int k, double& value) { return warm_.get_node_value(k, EN_PRESSURE, value); },
            margins);
    }

    // The next warm trial starts from the solution without any fire flow (which is nearer to
    // a pass than the failing maximal flow's).
    void FromWithoutFire() {
        if (!without_fire_.empty()) (void)warm_.restore_hydraulics(without_fire_);
    }

    // The junction at node index `node` becomes the check junction, the last one gets its own
    // demands back exactly.
    void Check(int node) {
        unsolved_ = {};
        // Junctions of the open project: their demands can always be set.
        if (node_ != 0) (void)warm_.restore_node_demands(node_);
        node_ = node;
        (void)warm_.set_node_value(node_, EN_PATTERN, 0.0);
    }

    // The first trial of a junction, cold (from EN_solveH's starting flows); the warm trials
    // start from its solution. `margins` as TestPressures gives them.
    TrialPressures Start(double flow, const JunctionLimits& limits, std::vector<double>& margins) {
        // Opened once in usable(): opening again only resets the starting flows, and the
        // initialisation the links' states.
        (void)warm_.open_h();
        (void)warm_.init_h(EN_NOSAVE);
        return Warm(flow, limits, margins, true);
    }

    // A trial from the last trial's solution (the first one after Check is cold). A solve
    // that failed or did not converge leaves pressures that are tested as they are.
    TrialPressures Warm(double flow, const JunctionLimits& limits, std::vector<double>& margins,
                        bool cold = false) {
        ThrowIfStopped(stop_);
        (void)warm_.set_node_value(node_, EN_BASEDEMAND, flow);  // a junction's demand
        // The flows and the links' states of the last solve stay: the time step is solved
        // again with the new demand.
        long time = 0;
        const int code = warm_.run_h(time);
        CountSolve(solves_, warm_);
        TrialPressures tested = TestPressures(
            limits, node_,
            [this](int k, double& value) { return warm_.get_node_value(k, EN_PRESSURE, value); },
            margins);
        if (IsUnsolved(code)) {
            tested.solved = false;
            // Only the cold trials count: the rows rest on them alone.
            if (cold) Unsolved(code);
        }
        return tested;
    }

    // Cold trials, as a solve from EN_solveH's starting flows gives them; `done(i, tested)`
    // gets the test of flows[i].
    void Cold(std::span<const double> flows, const JunctionLimits& limits,
              const std::function<void(std::size_t, const TrialPressures&)>& done) {
        // Three or four trials fill the 4 lanes of AVX2 better than the 8 of AVX-512, and one
        // alone is solved the scalar way.
        int lanes = lanes_;
        if (flows.size() == 1) {
            lanes = 1;
        } else if (flows.size() <= 4 && (lanes == 0 || lanes > 4)) {
            lanes = 4;
        }
        std::size_t next = 0;
        const int code = cold_.solve_trials(
            lanes,
            [&]() -> std::optional<toolkit::TrialDemand> {
                ThrowIfStopped(stop_);
                if (next == flows.size()) return std::nullopt;
                return toolkit::TrialDemand{node_, flows[next++]};
            },
            [&](std::size_t rank, const toolkit::SolvedTrial& solved) {
                if (solves_ != nullptr) solves_->Add(solved.iterations());
                TrialPressures tested = TestPressures(
                    limits, node_,
                    [&solved](int k, double& value) { return solved.get_node_pressure(k, value); },
                    margins_);
                if (IsUnsolved(solved.code())) {
                    tested.solved = false;
                    Unsolved(solved.code());
                }
                done(rank, tested);
            });
        // The network's simulation started in usable() and every trial is a junction's.
        if (code != 0) throw std::logic_error("cold trials refused");
    }

    const UnsolvedTrials& unsolved() const { return unsolved_; }

private:
    void Unsolved(int code) {
        if (unsolved_.count++ == 0) unsolved_.first_code = code;
    }

    toolkit::Project warm_;
    toolkit::Project cold_;
    SolveCount* solves_;
    int lanes_;
    const std::atomic<bool>* stop_;
    int node_ = 0;
    UnsolvedTrials unsolved_;
    std::vector<double> margins_;  // of the last cold trial, unused
    toolkit::SavedHydraulics without_fire_;
};

// Whether a study's trials are single steady solves whose pressures alone decide them.
bool SteadyPressuresOnly(const FireStudy& study) {
    return study.demand_time == 0 && study.fire_duration == 0 &&
           study.fire_demand == FireDemand::Replace && !study.max_velocity;
}

class AvailableFlowWorker final : public JunctionWorker {
public:
    AvailableFlowWorker(std::shared_ptr<const toolkit::Network> network,
                        const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                        const AvailableFlowSettings& settings, const AvailableFlowGrid& grid,
                        const std::atomic<bool>* stop)
        : trials_(network, catalogue, settings.study, settings.solves, stop),
          catalogue_(catalogue),
          limits_(limits),
          settings_(settings),
          grid_(grid),
          stop_(stop) {
        if (settings.warm_starts && SteadyPressuresOnly(settings.study)) {
            steady_ =
                std::make_unique<SteadyTrials>(network, settings.solves, settings.lanes, stop);
            if (!steady_->usable()) steady_.reset();
        }
    }

    // The rows of the cold search are searched together: the trials of consecutive junctions
    // or groups side by side.
    int PositionsAtOnce() const override {
        if ((steady_ != nullptr && settings_.groups.empty()) ||
            !trials_.SideBySidePossible(settings_.lanes)) {
            return 1;
        }
        return settings_.lanes > 0 ? settings_.lanes : toolkit::widest_trial_lanes();
    }

    // The members of a group's row, or none for a junction's.
    std::span<const int> Members(int position) const {
        if (settings_.groups.empty()) return {};
        return settings_.groups[static_cast<std::size_t>(position - 1)].positions;
    }
    // Whether the row of `position` is searched by the steady search.
    bool SteadyRowOf(int position) const {
        return steady_ != nullptr && (settings_.groups.empty() || Members(position).size() == 1);
    }

    // Each junction's cold search is run until it asks for a trial not solved yet; the next
    // trial of every junction is then solved side by side, and the searches run again from the
    // start, until each ends on trials solved before. Every junction gets the trials its search
    // alone would solve, in the same order.
    void SolveAhead(std::span<const int> positions) override {
        ahead_.clear();
        steady_row_ = false;  // the rows searched here are the cold search's
        struct Probe {
            int position = 0;
            Ahead ahead;
            bool done = false;
        };
        std::vector<Probe> probes;
        for (const int position : positions) {
            // The steady search's rows are searched by Row.
            if (!SteadyRowOf(position)) probes.push_back({position, {}, false});
        }
        std::vector<StudyTrials::SteadyTrial> trials;
        std::vector<std::size_t> owners;  // the probe of each trial
        // The probe's results become the worker's for its search, and back.
        const auto swap_results = [this](Probe& probe) {
            std::swap(solved_, probe.ahead.solved);
            std::swap(off_grid_, probe.ahead.off_grid);
            key_ = probe.position;
        };
        struct Probing {
            bool& flag;
            explicit Probing(bool& f) : flag(f) { flag = true; }
            ~Probing() { flag = false; }
        } probing(probing_);
        for (;;) {
            trials.clear();
            owners.clear();
            for (std::size_t i = 0; i < probes.size(); ++i) {
                Probe& probe = probes[i];
                if (probe.done) continue;
                ThrowIfStopped(stop_);
                swap_results(probe);
                try {
                    (void)ColdRow(std::string());
                    probe.done = true;
                } catch (const TrialMissing& missing) {
                    trials.push_back({probe.position, missing.flow, Members(probe.position)});
                    owners.push_back(i);
                }
                swap_results(probe);
            }
            if (trials.empty()) break;
            auto outcomes = trials_.SolveSideBySide(trials, limits_, settings_.lanes);
            if (outcomes.empty()) return;  // Row searches each junction alone
            for (std::size_t t = 0; t < outcomes.size(); ++t) {
                Probe& probe = probes[owners[t]];
                const auto& [pressures, code] = outcomes[t];
                UnsolvedTrials& unsolved = probe.ahead.unsolved;
                if (!pressures.solved && unsolved.count++ == 0) unsolved.first_code = code;
                swap_results(probe);
                (void)Store(trials[t].flow, pressures);
                swap_results(probe);
            }
        }
        for (Probe& probe : probes) ahead_.insert_or_assign(probe.position, std::move(probe.ahead));
    }

    // `position`: the junction's, or with groups the group's row. A group of one member is
    // searched as that junction alone, under the group's name.
    files::Record Row(int position) override {
        solved_.clear();
        off_grid_.clear();
        key_ = position;
        ahead_unsolved_.reset();
        if (auto found = ahead_.find(position); found != ahead_.end()) {
            // Every trial of the search is solved.
            solved_ = std::move(found->second.solved);
            off_grid_ = std::move(found->second.off_grid);
            ahead_unsolved_ = found->second.unsolved;
            ahead_.erase(found);
            steady_row_ = false;
            if (!settings_.groups.empty()) {
                const TrialGroup& group = settings_.groups[static_cast<std::size_t>(position - 1)];
                trials_.Check(group.positions);
                return ColdRow(group.name);
            }
            trials_.Check(position);
            return ColdRow(catalogue_.JunctionIDs[static_cast<std::size_t>(position)]);
        }
        if (!settings_.groups.empty()) {
            const TrialGroup& group = settings_.groups[static_cast<std::size_t>(position - 1)];
            trials_.Check(group.positions);
            steady_row_ = steady_ != nullptr && group.positions.size() == 1;
            if (steady_row_) return SteadyRow(group.name, group.positions.front());
            return ColdRow(group.name);
        }
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
        trials_.Check(position);
        steady_row_ = steady_ != nullptr;
        if (steady_row_) return SteadyRow(id, position);
        return ColdRow(id);
    }

    UnsolvedTrials LastUnsolved() const override {
        if (ahead_unsolved_) return *ahead_unsolved_;
        if (!steady_row_) return trials_.unsolved();
        // The warm search's cold trial at 0 comes first.
        UnsolvedTrials both = steady_->unsolved();
        if (both.count == 0) both.first_code = trials_.unsolved().first_code;
        both.count += trials_.unsolved().count;
        return both;
    }

private:
    // The row of a junction whose flow 0 passes, by bisection over the whole grid, every flow
    // solved cold: a flow of the grid has one result, whichever flows were solved before.
    files::Record FromEnds(const std::string& id) {
        const long top = grid_.top();
        if (top == 0 || !Solved(top).failed()) {
            if (!Solved(top).solved) return UnsolvedRow(id);
            return MaximalFlowRow(id);
        }
        return Between(id, 0, top);
    }

    // The row from a flow of the grid that passes, `pass`, and one above it that fails.
    files::Record Between(const std::string& id, long pass, long fail) {
        const long top = grid_.top();
        for (;;) {
            while (fail - pass > 1) {
                const long middle = pass + (fail - pass) / 2;
                (Solved(middle).failed() ? fail : pass) = middle;
            }
            const double flow = grid_.at(pass);
            const double above = Above(pass);
            const long above_index = grid_.index_below(above);
            const TrialPressures above_pressures =
                grid_.at(above_index) == above ? Solved(above_index) : SolvedAt(above);
            const float check_pressure = Solved(pass).check_pressure;
            if (above_pressures.failed()) {
                if (!above_pressures.solved || !Solved(pass).solved) {
                    return UnsolvedRow(id);
                }
                return Certified(id, flow, above_pressures, check_pressure);
            }
            // The pressures rise again above the failure: the search goes on from the first
            // flow of the grid at or below `above` that passes, up to the next failure.
            long next = above_index;
            while (next < top && Solved(next).failed()) ++next;
            if (next == top) {
                // Every flow of the grid above fails, yet `above` passes: no flow of the grid
                // can be certified above this one, whose row names the first failure above.
                const long first_failure = std::min(above_index + 1, top);
                if (!Solved(first_failure).solved || !Solved(pass).solved) {
                    return UnsolvedRow(id);
                }
                return Certified(id, flow, Solved(first_failure), check_pressure);
            }
            pass = next;
            fail = LowestFailureAbove(pass);
        }
    }

    // The flow a tolerance above a flow of the grid, at most the maximal flow.
    double Above(long index) const {
        return std::min(grid_.at(index) + settings_.tolerance,
                        static_cast<double>(settings_.maximal_flow));
    }

    // The row of a steady network: the flows of the grid are searched on the hydrant curve
    // with warm trials, and the row is then certified cold exactly as the cold bisection
    // certifies it. Where the pressures fall as the flow rises, the pass and the failure that
    // the warm trials end on, confirmed cold, are the ones the bisection ends on, so the row is
    // its row; where the cold trials do not confirm them, the bisection runs.
    files::Record SteadyRow(const std::string& id, int position) {
        const long top = grid_.top();
        if (without_fire_.empty()) steady_->WithoutFire(limits_, without_fire_);
        steady_->Check(catalogue_.Junctions.index_at(position).value_or(position));
        if (top == 0) return ColdRow(id);
        // A junction other than this one that fails without any fire flow fails at 0 too,
        // most likely: the cold trial at 0 comes first, as in the bisection.
        for (std::size_t k = 1; k < without_fire_.size(); ++k) {
            if (static_cast<int>(k) != position && !(without_fire_[k] >= 0)) {
                return ColdRow(id);
            }
        }
        // The maximal flow first, cold: where the pressures fall as the flow rises, a pass
        // there is the row whatever the flow 0 gives, and a failure bounds the search.
        std::vector<double>& fail_margins = margins_[0];
        std::vector<double>& pass_margins = margins_[1];
        std::vector<double>& margins = margins_[2];
        const TrialPressures& maximal =
            Store(grid_.at(top), steady_->Start(grid_.at(top), limits_, fail_margins));
        if (!maximal.failed()) {
            if (!maximal.solved) return UnsolvedRow(id);
            return MaximalFlowRow(id);
        }
        // The margins at the flow 0 are nearly those of the network without any fire flow,
        // solved once by the worker: the search starts from them, and the trials that certify
        // the row go down to 0 where the flows above it fail.
        pass_margins = without_fire_;
        steady_->FromWithoutFire();

        // A junction's margin above its minimum falls roughly as the flow to the power 1.85:
        // on that scale the flow where the margin of the junction that fails worst at the
        // failure reaches 0 lies between the pass and the failure by linear interpolation
        // (regula falsi); an end that stays put has its margin halved each time (the Illinois
        // rule), so that the other end comes to it.
        long pass = 0;
        long fail = top;
        double pass_weight = 1.0;
        double fail_weight = 1.0;
        std::optional<bool> last_passed;
        for (int trial = 0; trial < kMostCurveTrials && fail - pass > 1; ++trial) {
            const long index =
                NextOnCurve(pass, pass_margins, pass_weight, fail, fail_margins, fail_weight);
            const bool passed = !steady_->Warm(grid_.at(index), limits_, margins).failed();
            (passed ? pass : fail) = index;
            std::swap(passed ? pass_margins : fail_margins, margins);
            (passed ? pass_weight : fail_weight) = 1.0;
            if (last_passed == passed) (passed ? fail_weight : pass_weight) *= 0.5;
            last_passed = passed;
        }
        if (fail - pass > 1) return ColdRow(id);
        // The trials that certify the row, cold and side by side: the pass, the failure right
        // above it, and a tolerance above the pass.
        SolveCold({pass, fail});
        // Where the cold trials disagree with the warm ones, the cold pass and failure next
        // to each other are sought outwards, in steps that double.
        for (long step = 1; Solved(pass).failed() && pass > 0; step *= 2) {
            fail = pass;
            pass = std::max(0L, pass - step);
            SolveCold({pass});
        }
        for (long step = 1; !Solved(fail).failed() && fail < top; step *= 2) {
            pass = fail;
            fail = std::min(top, fail + step);
            SolveCold({fail});
        }
        if (Solved(pass).failed() || !Solved(fail).failed()) return ColdRow(id);
        while (fail - pass > 1) {
            const long middle = pass + (fail - pass) / 2;
            (Solved(middle).failed() ? fail : pass) = middle;
        }
        return Between(id, pass, fail);
    }

    // The next flow of the grid to try strictly between a pass and a failure, from each
    // junction's margins there.
    long NextOnCurve(long pass, const std::vector<double>& pass_margins, double pass_weight,
                     long fail, const std::vector<double>& fail_margins, double fail_weight) const {
        long index = pass + (fail - pass) / 2;
        // The junction that fails worst at the failure (the lowest position on ties).
        std::size_t worst = 0;
        for (std::size_t k = 1; k < fail_margins.size(); ++k) {
            if (worst == 0 || fail_margins[k] < fail_margins[worst]) worst = k;
        }
        const double above = worst == 0 ? NAN : pass_margins[worst] * pass_weight;
        const double below = worst == 0 ? NAN : fail_margins[worst] * fail_weight;
        if (std::isfinite(above) && std::isfinite(below) && above > below) {
            const double low = std::pow(grid_.at(pass), kCurveExponent);
            const double high = std::pow(grid_.at(fail), kCurveExponent);
            const double zero = low + (high - low) * (above / (above - below));
            const double flow = std::pow(zero, 1.0 / kCurveExponent);
            if (std::isfinite(flow)) index = grid_.index_below(flow);
        }
        return std::clamp(index, pass + 1, fail - 1);
    }

    // The row by the cold bisection alone.
    files::Record ColdRow(const std::string& id) {
        // A row rests on the solves it names; one of them unsolved, the row is not certified.
        const TrialPressures& zero = Solved(0);
        if (zero.failed()) {
            if (!zero.solved) return UnsolvedRow(id);
            return Certified(id, 0, zero, zero.check_pressure);
        }
        return FromEnds(id);
    }

    // Solves cold, side by side, the flows of the grid at `indexes` and a tolerance above each
    // that are not solved yet.
    void SolveCold(std::initializer_list<long> indexes) {
        std::vector<double> flows;
        const auto add = [&](double flow) {
            if (Find(flow) == nullptr &&
                std::find(flows.begin(), flows.end(), flow) == flows.end()) {
                flows.push_back(flow);
            }
        };
        for (const long index : indexes) add(grid_.at(index));
        add(Above(*indexes.begin()));
        if (flows.empty()) return;
        if (!steady_row_) {
            for (const double flow : flows) (void)SolvedAt(flow);
            return;
        }
        steady_->Cold(flows, limits_, [&](std::size_t i, const TrialPressures& tested) {
            Store(flows[i], tested);
        });
    }

    files::Record UnsolvedRow(const std::string& id) const {
        return TextRow(id, files::kUnsolvedText, std::string());
    }

    files::Record MaximalFlowRow(const std::string& id) const {
        return TextRow(id, files::kMaximalFlowReachedText, ResultField(settings_.maximal_flow));
    }

    // A row whose answer is a text: the study layout's trial fields stay empty, the
    // requirement and `result` are kept.
    files::Record TextRow(const std::string& id, std::string_view text,
                          files::FieldValue result) const {
        if (!settings_.study_layout) return {id, std::string(text)};
        files::Record row(files::LayoutOf(files::ResultsKind::AvailableFlow, true).columns.size(),
                          std::string());
        row[0] = id;
        row[1] = std::string(text);
        row[row.size() - 2] = RequiredField();
        row[row.size() - 1] = std::move(result);
        return row;
    }

    std::optional<float> Required() const {
        const auto& flows = settings_.required_flows;
        const auto at = static_cast<std::size_t>(key_);
        return at < flows.size() ? flows[at] : std::nullopt;
    }
    files::FieldValue RequiredField() const {
        if (const auto required = Required()) return *required;
        return std::string();
    }
    // Whether the flow the junction can give meets its requirement; empty without one.
    files::FieldValue ResultField(double flow) const {
        const auto required = Required();
        if (!required) return std::string();
        return std::string(flow >= static_cast<double>(*required) ? files::kPassText
                                                                  : files::kFailText);
    }

    // The cold result at a flow solved before for the current junction, or nullptr.
    const TrialPressures* Find(double flow) const {
        const long index = grid_.index_below(flow);
        if (grid_.at(index) == flow) {
            const auto found = solved_.find(index);
            return found == solved_.end() ? nullptr : &found->second;
        }
        const auto found = off_grid_.find(flow);
        return found == off_grid_.end() ? nullptr : &found->second;
    }
    const TrialPressures& Store(double flow, const TrialPressures& tested) {
        const long index = grid_.index_below(flow);
        if (grid_.at(index) == flow) return solved_.insert_or_assign(index, tested).first->second;
        return off_grid_.insert_or_assign(flow, tested).first->second;
    }

    // The cold result at a flow, solved once per junction.
    const TrialPressures& SolvedAt(double flow) {
        if (const TrialPressures* found = Find(flow)) return *found;
        if (probing_) throw TrialMissing{flow};
        if (steady_row_) {
            const double flows[] = {flow};
            steady_->Cold(flows, limits_,
                          [&](std::size_t, const TrialPressures& tested) { Store(flow, tested); });
            return *Find(flow);
        }
        ThrowIfStopped(stop_);
        return Store(flow, trials_.Solve(flow, limits_));
    }
    const TrialPressures& Solved(long index) { return SolvedAt(grid_.at(index)); }

    long LowestFailureAbove(long index) const {
        for (const auto& [i, pressures] : solved_) {
            if (i > index && pressures.failed()) return i;
        }
        return grid_.top();  // the maximal flow fails
    }

    // The row of a flow that passes, with what fails in the trial above it.
    files::Record Certified(const std::string& id, double flow, const TrialPressures& failing,
                            float check_pressure) const {
        const auto& limiting = failing.violation;
        files::FieldValue node = std::string();
        files::FieldValue pressure = std::string();
        if (limiting) {
            node = catalogue_.JunctionIDs[static_cast<std::size_t>(limiting->position)];
            pressure = PressureField(limiting->pressure);
        }
        if (!settings_.study_layout)
            return {id, flow, node, pressure, PressureField(check_pressure)};
        auto [pipe, velocity] = PipeFields(trials_.project(), failing.pipe);
        return {id,
                flow,
                node,
                pressure,
                PressureField(check_pressure),
                pipe,
                velocity,
                RequiredField(),
                ResultField(flow)};
    }

    StudyTrials trials_;
    const network::NetworkCatalogue& catalogue_;
    const JunctionLimits& limits_;
    const AvailableFlowSettings& settings_;
    const AvailableFlowGrid& grid_;
    const std::atomic<bool>* stop_;
    std::unique_ptr<SteadyTrials> steady_;  // a steady study's trials; null: the study's own
    bool steady_row_ = false;  // the current row is searched by `steady_` (one junction)
    int key_ = 0;              // the current row's junction position, or its row with groups
    // The margins of the search's pass and failure and of its last trial.
    std::vector<double> margins_[3];
    std::vector<double> without_fire_;  // the margins without any fire flow, once solved
    // The cold results of the current junction: at flows of the grid by index, and elsewhere.
    std::map<long, TrialPressures> solved_;
    std::map<double, TrialPressures> off_grid_;

    // The trials of junctions searched ahead (SolveAhead), and their unsolved ones.
    struct Ahead {
        std::map<long, TrialPressures> solved;
        std::map<double, TrialPressures> off_grid;
        UnsolvedTrials unsolved;
    };
    std::map<int, Ahead> ahead_;                    // by position
    std::optional<UnsolvedTrials> ahead_unsolved_;  // the current row's, searched ahead
    // While searching ahead: a trial not solved yet ends the search with TrialMissing.
    bool probing_ = false;
    struct TrialMissing {
        double flow = 0;
    };
};

}  // namespace

std::optional<AvailableFlowGrid> AvailableFlowGrid::Make(float maximal_flow, double tolerance) {
    AvailableFlowGrid grid;
    const double t = tolerance;
    double step = 1;
    if (t >= 1) {
        while (step * 10 <= t) step *= 10;
    } else {
        while (step > t) step /= 2;
    }
    grid.step_ = step;
    grid.maximal_ = maximal_flow;
    const double whole = std::floor(grid.maximal_ / step);
    if (!(whole < kMostMultiples)) return std::nullopt;
    grid.count_ = static_cast<long>(whole);
    if (grid.count_ * step < grid.maximal_) ++grid.count_;
    if (grid.count_ > 0) {
        // The largest multiple has the most digits of all; exact there, exact everywhere.
        const double largest = (grid.count_ - 1) * step;
        if (static_cast<double>(static_cast<float>(largest)) != largest) return std::nullopt;
        if (files::ParseFieldNumber(files::FormatDouble(largest)) != largest) return std::nullopt;
    }
    return grid;
}

long AvailableFlowGrid::index_below(double flow) const {
    if (flow >= maximal_) return count_;
    if (count_ == 0 || flow < step_) return 0;
    long index = std::min(static_cast<long>(flow / step_), count_ - 1);
    while (index > 0 && at(index) > flow) --index;
    while (index + 1 < count_ && at(index + 1) <= flow) ++index;
    return index;
}

WorkerFactory AvailableFlowWorkers(std::shared_ptr<const toolkit::Network> network,
                                   const network::NetworkCatalogue& catalogue,
                                   const JunctionLimits& limits,
                                   const AvailableFlowSettings& settings) {
    const AvailableFlowGrid grid =
        AvailableFlowGrid::Make(settings.maximal_flow, settings.tolerance).value();
    return [network = std::move(network), grid, &catalogue, &limits,
            &settings](const std::atomic<bool>* stop) {
        return std::make_unique<AvailableFlowWorker>(network, catalogue, limits, settings, grid,
                                                     stop);
    };
}

}  // namespace hydrosk::analysis
