#include "analysis/available_flow_search.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <numbers>
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
// Junctions whose steady searches a worker runs together, their cold trials side by side.
constexpr int kJunctionsAtOnce = 16;
// A junction at least this far above its minimum without any fire flow (in the network's
// pressure units), and whose links could carry the maximal flow to it slower than this
// velocity (ft/s, about 3 m/s), tries the maximal flow cold first.
constexpr double kMaximalFirstMargin = 20.0;
constexpr double kNarrowVelocity = 10.0;

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

// A cold steady trial: the junction at node index `node` draws `flow` in place of its demand.
struct ColdTrial {
    int node = 0;
    double flow = 0;
};

// The steady trials of junctions on projects of the worker's own: the search's trials, each
// from the solution of the one before (a warm start), and the cold trials that rows rest on,
// several side by side in the lanes of vector registers, of one junction or of several.
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
        // Open and initialised: the state can always be saved.
        (void)warm_.save_hydraulics(without_fire_);
        (void)TestPressures(
            limits, 1,
            [this](int k, double& value) { return warm_.get_node_value(k, EN_PRESSURE, value); },
            margins);
    }

    // The next warm trial starts from the solution without any fire flow.
    void FromWithoutFire() { (void)warm_.restore_hydraulics(without_fire_); }

    // The junction at node index `node` becomes the check junction of the warm trials, the
    // last one gets its own demands back exactly.
    void Check(int node) {
        // Junctions of the open project: their demands can always be set.
        if (node_ != 0) (void)warm_.restore_node_demands(node_);
        node_ = node;
        (void)warm_.set_node_value(node_, EN_PATTERN, 0.0);
    }

    // A trial from the last trial's solution. A solve that failed or did not converge leaves
    // pressures that are tested as they are; no row rests on them.
    TrialPressures Warm(double flow, const JunctionLimits& limits, std::vector<double>& margins) {
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
        if (IsUnsolved(code)) tested.solved = false;
        return tested;
    }

    // Cold trials, as a solve from EN_solveH's starting flows gives them, side by side; each
    // trial's junction at its own demand again afterwards. `done(i, tested, code, margins)`
    // gets the test of trials[i] and the solve's code.
    using ColdDone = std::function<void(std::size_t, const TrialPressures&, int code,
                                        const std::vector<double>& margins)>;
    void Cold(std::span<const ColdTrial> trials, const JunctionLimits& limits,
              const ColdDone& done) {
        if (trials.empty()) return;
        // Three or four trials fill the 4 lanes of AVX2 better than the 8 of AVX-512, and one
        // alone is solved the scalar way.
        int lanes = lanes_;
        if (trials.size() == 1) {
            lanes = 1;
        } else if (trials.size() <= 4 && (lanes == 0 || lanes > 4)) {
            lanes = 4;
        }
        std::size_t next = 0;
        const int code = cold_.solve_trials(
            lanes,
            [&]() -> std::optional<toolkit::TrialDemand> {
                ThrowIfStopped(stop_);
                if (next == trials.size()) return std::nullopt;
                const ColdTrial& trial = trials[next++];
                return toolkit::TrialDemand{trial.node, trial.flow};
            },
            [&](std::size_t rank, const toolkit::SolvedTrial& solved) {
                if (solves_ != nullptr) solves_->Add(solved.iterations());
                TrialPressures tested = TestPressures(
                    limits, trials[rank].node,
                    [&solved](int k, double& value) { return solved.get_node_pressure(k, value); },
                    margins_);
                if (IsUnsolved(solved.code())) tested.solved = false;
                done(rank, tested, solved.code(), margins_);
            });
        // The network's simulation started in usable() and every trial is a junction's.
        if (code != 0) throw std::logic_error("cold trials refused");
    }

private:
    toolkit::Project warm_;
    toolkit::Project cold_;
    SolveCount* solves_;
    int lanes_;
    const std::atomic<bool>* stop_;
    int node_ = 0;
    std::vector<double> margins_;  // of the last cold trial
    toolkit::SavedHydraulics without_fire_;
};

// Where the search on the hydrant curve ended.
struct CurveEnds {
    enum Outcome {
        Neighbours,   // a pass and a failure next to each other on the grid
        PassesAtTop,  // the warm trial at the maximal flow passes
        GaveUp,       // too many trials
    } outcome = GaveUp;
    long pass = 0;
    long fail = 0;
};

// The cold trials of one junction (or group) and where its search on the hydrant curve
// ended.
struct JunctionTrials {
    // The cold results: at flows of the grid by index, and elsewhere.
    std::map<long, TrialPressures> solved;
    std::map<double, TrialPressures> off_grid;
    UnsolvedTrials unsolved;          // among the cold trials of the steady search
    std::vector<double> top_margins;  // of the cold failure at the maximal flow
    std::optional<CurveEnds> curve;

    // The cold result at a flow solved before, or nullptr.
    const TrialPressures* Find(const AvailableFlowGrid& grid, double flow) const {
        const long index = grid.index_below(flow);
        if (grid.at(index) == flow) {
            const auto found = solved.find(index);
            return found == solved.end() ? nullptr : &found->second;
        }
        const auto found = off_grid.find(flow);
        return found == off_grid.end() ? nullptr : &found->second;
    }
    const TrialPressures& Store(const AvailableFlowGrid& grid, double flow,
                                const TrialPressures& tested) {
        const long index = grid.index_below(flow);
        if (grid.at(index) == flow) return solved.insert_or_assign(index, tested).first->second;
        return off_grid.insert_or_assign(flow, tested).first->second;
    }
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
            if (steady_ != nullptr) narrow_ = NarrowJunctions(*network, settings.maximal_flow);
        }
    }

    // Rows come several at a time where their trials can share the lanes: the steady searches
    // of single junctions, or else the cold searches of junctions or groups.
    int PositionsAtOnce() const override {
        if (steady_ != nullptr && settings_.groups.empty()) {
            if (settings_.lanes == 1) return 1;
            const int lanes = settings_.lanes > 0 ? settings_.lanes : toolkit::widest_trial_lanes();
            return lanes < 4 ? 1 : kJunctionsAtOnce;
        }
        if (!trials_.SideBySidePossible(settings_.lanes)) return 1;
        return settings_.lanes > 0 ? settings_.lanes : toolkit::widest_trial_lanes();
    }

    void SolveAhead(std::span<const int> positions) override {
        ahead_.clear();
        if (steady_ != nullptr && settings_.groups.empty()) {
            SteadyAhead(positions);
        } else {
            ColdAhead(positions);
        }
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

    // Runs the rows' steady searches up to their certificates, the cold trials of all of them
    // side by side: first the maximal flows, then the trials that certify each row. Row
    // finds them solved and goes through the same steps, so the rows are those of one
    // junction at a time.
    void SteadyAhead(std::span<const int> positions) {
        if (steady_ == nullptr || grid_.top() == 0) return;
        const long top = grid_.top();
        if (without_fire_.empty()) steady_->WithoutFire(limits_, without_fire_);
        std::vector<int> searched;
        std::vector<ColdTrial> trials;
        std::vector<int> owners;
        const auto ask = [&](int position, double flow) {
            if (ahead_[position].Find(grid_, flow) != nullptr) return;
            for (std::size_t i = 0; i < trials.size(); ++i) {
                if (owners[i] == position && trials[i].flow == flow) return;
            }
            trials.push_back({NodeOf(position), flow});
            owners.push_back(position);
        };
        const auto solve = [&] {
            steady_->Cold(trials, limits_,
                          [&](std::size_t i, const TrialPressures& tested, int code,
                              const std::vector<double>& margins) {
                              Keep(ahead_[owners[i]], trials[i].flow, tested, code, margins);
                          });
            trials.clear();
            owners.clear();
        };
        for (const int position : positions) {
            if (!OnCurve(position)) continue;
            searched.push_back(position);
            if (MaximalFirst(position)) ask(position, grid_.at(top));
        }
        solve();
        for (const int position : searched) {
            JunctionTrials& junction = ahead_[position];
            const TrialPressures* maximal = junction.Find(grid_, grid_.at(top));
            if (maximal != nullptr && !maximal->failed()) continue;  // the row
            steady_->Check(NodeOf(position));
            junction.curve = SearchCurve(junction);
            const CurveEnds& ends = *junction.curve;
            if (ends.outcome == CurveEnds::PassesAtTop) {
                ask(position, grid_.at(top));
            } else if (ends.outcome == CurveEnds::Neighbours) {
                ask(position, grid_.at(ends.pass));
                ask(position, grid_.at(ends.fail));
            }
        }
        solve();
        // A tolerance above the passes that the cold trials confirm.
        for (const int position : searched) {
            const JunctionTrials& junction = ahead_[position];
            if (!junction.curve || junction.curve->outcome != CurveEnds::Neighbours) continue;
            const TrialPressures* pass = junction.Find(grid_, grid_.at(junction.curve->pass));
            const TrialPressures* fail = junction.Find(grid_, grid_.at(junction.curve->fail));
            if (pass != nullptr && fail != nullptr && !pass->failed() && fail->failed()) {
                ask(position, Above(junction.curve->pass));
            }
        }
        solve();
    }

    // Each junction's cold search is run until it asks for a trial not solved yet; the next
    // trial of every junction is then solved side by side, and the searches run again from the
    // start, until each ends on trials solved before. Every junction gets the trials its search
    // alone would solve, in the same order.
    void ColdAhead(std::span<const int> positions) {
        steady_row_ = false;  // the rows searched here are the cold search's
        struct Probe {
            int position = 0;
            JunctionTrials ahead;
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
            std::swap(current_, probe.ahead);
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
                (void)current_.Store(grid_, trials[t].flow, pressures);
                swap_results(probe);
            }
        }
        for (Probe& probe : probes) ahead_.insert_or_assign(probe.position, std::move(probe.ahead));
    }

    // `position`: the junction's, or with groups the group's row. A group of one member is
    // searched as that junction alone, under the group's name.
    files::Record Row(int position) override {
        current_ = {};
        key_ = position;
        ahead_unsolved_.reset();
        const bool steady = SteadyRowOf(position);
        if (auto found = ahead_.find(position); found != ahead_.end()) {
            current_ = std::move(found->second);
            ahead_.erase(found);
            // A cold search solved ahead has every trial solved, and counted there.
            if (!steady) ahead_unsolved_ = current_.unsolved;
        }
        steady_row_ = steady;
        if (!settings_.groups.empty()) {
            const TrialGroup& group = settings_.groups[static_cast<std::size_t>(position - 1)];
            trials_.Check(group.positions);
            if (steady_row_) return SteadyRow(group.name, group.positions.front());
            return ColdRow(group.name);
        }
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
        trials_.Check(position);
        if (steady_row_) return SteadyRow(id, position);
        return ColdRow(id);
    }

    UnsolvedTrials LastUnsolved() const override {
        if (ahead_unsolved_) return *ahead_unsolved_;
        if (!steady_row_) return trials_.unsolved();
        UnsolvedTrials both = current_.unsolved;
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

    // The junction's node index.
    int NodeOf(int position) const {
        return catalogue_.Junctions.index_at(position).value_or(position);
    }

    // Whether the row of the junction at `position` is searched on the hydrant curve: a
    // junction other than this one that fails without any fire flow fails at 0 too, most
    // likely, so the cold trial at 0 comes first there, as in the bisection.
    bool OnCurve(int position) const {
        if (grid_.top() == 0) return false;
        for (std::size_t k = 1; k < without_fire_.size(); ++k) {
            if (static_cast<int>(k) != position && !(without_fire_[k] >= 0)) return false;
        }
        return true;
    }

    // Whether the cold trial at the maximal flow comes first: where it passes it is the row,
    // and where it fails the search needs no cold trial there, a warm one bounds it. Most
    // likely it fails at a junction near its minimum without any fire flow, and at one that
    // the maximal flow would reach through all its links together faster than
    // kNarrowVelocity.
    bool MaximalFirst(int position) const {
        const auto node = static_cast<std::size_t>(NodeOf(position));
        return without_fire_[static_cast<std::size_t>(position)] >= kMaximalFirstMargin &&
               (node >= narrow_.size() || narrow_[node] == 0);
    }

    // The junctions (by node index) that the maximal flow would reach through all their links
    // together faster than kNarrowVelocity; none beside a pump.
    static std::vector<char> NarrowJunctions(const toolkit::Network& network, float maximal_flow) {
        const std::size_t nodes = network.nodes.size();
        std::vector<double> area(nodes + 1, 0.0);  // ft^2
        std::vector<char> pumped(nodes + 1, 0);
        for (const toolkit::Link& link : network.links) {
            for (const int end : {link.from, link.to}) {
                if (end < 0 || static_cast<std::size_t>(end) >= nodes) continue;
                const auto node = static_cast<std::size_t>(end) + 1;
                if (link.type == toolkit::LinkType::Pump) pumped[node] = 1;
                area[node] += std::numbers::pi * link.diameter * link.diameter / 4.0;
            }
        }
        const double flow = static_cast<double>(maximal_flow) / network.units.flow;  // cfs
        std::vector<char> narrow(nodes + 1, 0);
        for (std::size_t node = 1; node <= nodes; ++node) {
            narrow[node] = pumped[node] == 0 && flow > kNarrowVelocity * area[node] ? 1 : 0;
        }
        return narrow;
    }

    // The search on the hydrant curve with warm trials, from the network without any fire
    // flow (taken to pass at 0) up to the cold failure at the maximal flow when it was solved,
    // or else a warm trial there; the warm check junction is the junction's.
    CurveEnds SearchCurve(const JunctionTrials& junction) {
        const long top = grid_.top();
        std::vector<double>& fail_margins = margins_[0];
        std::vector<double>& pass_margins = margins_[1];
        std::vector<double>& margins = margins_[2];
        if (!junction.top_margins.empty()) {
            fail_margins = junction.top_margins;
        } else {
            steady_->FromWithoutFire();
            const bool passes = !steady_->Warm(grid_.at(top), limits_, fail_margins).failed();
            if (passes) {
                return {CurveEnds::PassesAtTop};
            }
        }
        // The margins at the flow 0 are nearly those of the network without any fire flow:
        // the trials start from its solution, which is nearer to a pass than the failing
        // maximal flow's.
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
        if (fail - pass > 1) return {CurveEnds::GaveUp};
        return {CurveEnds::Neighbours, pass, fail};
    }

    // The row of a steady network: the flows of the grid are searched on the hydrant curve
    // with warm trials, and the row is then certified cold exactly as the cold bisection
    // certifies it. Where the pressures fall as the flow rises, the pass and the failure that
    // the warm trials end on, confirmed cold, are the ones the bisection ends on, so the row is
    // its row; where the cold trials do not confirm them, the bisection runs.
    files::Record SteadyRow(const std::string& id, int position) {
        const long top = grid_.top();
        if (without_fire_.empty()) steady_->WithoutFire(limits_, without_fire_);
        steady_node_ = NodeOf(position);
        steady_->Check(steady_node_);
        if (!OnCurve(position)) return ColdRow(id);
        // Where the pressures fall as the flow rises, a pass at the maximal flow is the row
        // whatever the flow 0 gives.
        if (MaximalFirst(position)) {
            const TrialPressures& maximal = Solved(top);
            if (!maximal.failed()) return maximal.solved ? MaximalFlowRow(id) : UnsolvedRow(id);
        }
        if (!current_.curve) current_.curve = SearchCurve(current_);
        if (current_.curve->outcome == CurveEnds::PassesAtTop) {
            const TrialPressures& maximal = Solved(top);
            if (!maximal.failed()) return maximal.solved ? MaximalFlowRow(id) : UnsolvedRow(id);
            // Failing cold only: the search again, up to the cold failure.
            current_.curve = SearchCurve(current_);
        }
        if (current_.curve->outcome != CurveEnds::Neighbours) return ColdRow(id);
        long pass = current_.curve->pass;
        long fail = current_.curve->fail;
        // The trials that certify the row, cold and side by side: the pass and the failure
        // right above it; a tolerance above the pass once they agree with the warm ones.
        SolveCold({pass, fail});
        // Where the cold trials disagree with the warm ones, the cold pass and failure next
        // to each other are sought outwards, in steps that double, one trial at a time: the
        // flow a tolerance above is solved for the pass they end on alone.
        for (long step = 1; Solved(pass).failed() && pass > 0; step *= 2) {
            fail = pass;
            pass = std::max(0L, pass - step);
        }
        for (long step = 1; !Solved(fail).failed() && fail < top; step *= 2) {
            pass = fail;
            fail = std::min(top, fail + step);
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

    // Solves cold, side by side, the flows of the grid at `indexes` that are not solved yet.
    void SolveCold(std::initializer_list<long> indexes) {
        std::vector<double> flows;
        const auto add = [&](double flow) {
            if (current_.Find(grid_, flow) == nullptr &&
                std::find(flows.begin(), flows.end(), flow) == flows.end()) {
                flows.push_back(flow);
            }
        };
        for (const long index : indexes) add(grid_.at(index));
        if (flows.empty()) return;
        if (!steady_row_) {
            for (const double flow : flows) (void)SolvedAt(flow);
            return;
        }
        SolveSteady(flows);
    }

    // Solves cold, side by side, the current junction's trials at `flows`.
    void SolveSteady(std::span<const double> flows) {
        std::vector<ColdTrial> trials;
        for (const double flow : flows) trials.push_back({steady_node_, flow});
        steady_->Cold(trials, limits_,
                      [&](std::size_t i, const TrialPressures& tested, int code,
                          const std::vector<double>& margins) {
                          Keep(current_, flows[i], tested, code, margins);
                      });
    }

    // Keeps a cold result of `junction`, counts it when it is unsolved, and keeps the margins
    // of a failure at the maximal flow, where the search starts from.
    void Keep(JunctionTrials& junction, double flow, const TrialPressures& tested, int code,
              const std::vector<double>& margins) const {
        junction.Store(grid_, flow, tested);
        if (!tested.solved && junction.unsolved.count++ == 0) junction.unsolved.first_code = code;
        if (flow == grid_.at(grid_.top()) && tested.failed()) junction.top_margins = margins;
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

    // The cold result at a flow, solved once per junction.
    const TrialPressures& SolvedAt(double flow) {
        if (const TrialPressures* found = current_.Find(grid_, flow)) return *found;
        if (probing_) throw TrialMissing{flow};
        if (steady_row_) {
            const double flows[] = {flow};
            SolveSteady(flows);
            return *current_.Find(grid_, flow);
        }
        ThrowIfStopped(stop_);
        return current_.Store(grid_, flow, trials_.Solve(flow, limits_));
    }
    const TrialPressures& Solved(long index) { return SolvedAt(grid_.at(index)); }

    long LowestFailureAbove(long index) const {
        for (const auto& [i, pressures] : current_.solved) {
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
    int steady_node_ = 0;      // the node index of the current steady row's junction
    int key_ = 0;              // the current row's junction position, or its row with groups
    // The margins of the search's pass and failure and of its last trial.
    std::vector<double> margins_[3];
    std::vector<double> without_fire_;     // the margins without any fire flow, once solved
    std::vector<char> narrow_;             // by node index, see NarrowJunctions
    JunctionTrials current_;               // the current row's trials
    std::map<int, JunctionTrials> ahead_;  // by position, those solved ahead
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
