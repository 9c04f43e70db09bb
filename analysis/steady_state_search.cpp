#include "analysis/steady_state_search.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/run_messages.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// A value as the legacy toolkit functions hand it out. The searches read only the demand and
// pattern of junctions of the catalogue, which cannot fail.
float SingleValue(const toolkit::Project& project, int index, int property) {
    double value = 0.0;
    (void)project.get_node_value(index, property, value);
    return static_cast<float>(value);
}

int NodeIndex(const network::NetworkCatalogue& catalogue, int position) {
    return catalogue.Junctions.index_at(position).value_or(position);
}

// A worker's own project. Junction i is solved with junctions 1 to i-1 holding what their set
// back left and i+1 onwards their own demands; a worker that skips junctions (another worker
// had them) gives each of them that set back before it goes on.
class SteadyStateWorker final : public JunctionWorker {
public:
    SteadyStateWorker(std::shared_ptr<const toolkit::Network> network,
                      const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                      const SteadyStateSettings& settings, std::span<const float> flows,
                      const std::atomic<bool>* stop)
        : catalogue_(catalogue), limits_(limits), settings_(settings), flows_(flows), stop_(stop) {
        RequireTrialOpen(project_.open(std::move(network)));
        project_.set_stop_request(stop);
    }

    UnsolvedTrials LastUnsolved() const override { return unsolved_; }

    files::Record Row(int position) override {
        for (; done_ + 1 < position; ++done_) SetBackDemand(project_, catalogue_, done_ + 1);
        unsolved_ = {};
        files::Record row = SteadyStateJunction(project_, catalogue_, limits_, settings_, flows_,
                                                position, stop_, &unsolved_, &failed_at_zero_);
        done_ = position;
        return row;
    }

private:
    toolkit::Project project_;
    const network::NetworkCatalogue& catalogue_;
    const JunctionLimits& limits_;
    const SteadyStateSettings& settings_;
    std::span<const float> flows_;
    const std::atomic<bool>* stop_;
    int done_ = 0;  // the last position whose demand is set back
    UnsolvedTrials unsolved_;
    bool failed_at_zero_ = false;  // the last junction's first trial failed
};

}  // namespace

files::Record SteadyStateJunction(toolkit::Project& project,
                                  const network::NetworkCatalogue& catalogue,
                                  const JunctionLimits& limits, const SteadyStateSettings& settings,
                                  std::span<const float> flows, int position,
                                  const std::atomic<bool>* stop, UnsolvedTrials* unsolved,
                                  bool* failed_at_zero) {
    const std::string& id = catalogue.JunctionIDs[static_cast<std::size_t>(position)];
    const int node = NodeIndex(catalogue, position);

    // Saved in single precision, so that setting them back rounds them as the legacy
    // functions do; the later junctions are solved with the rounded values.
    const float saved_base_demand = SingleValue(project, node, EN_BASEDEMAND);
    const float saved_pattern = SingleValue(project, node, EN_PATTERN);
    if (const int code = project.set_node_value(node, EN_PATTERN, 0.0); code != 0) {
        ThrowToolkitFailure(code, id);
    }

    // The demands of the other junctions stay as they are during the trials and every solve
    // starts cold, so a trial depends on its flow alone, whichever trials came before it.
    const auto count_unsolved = [&](int code) {
        if (IsUnsolved(code) && unsolved != nullptr) {
            if (unsolved->count++ == 0) unsolved->first_code = code;
        }
    };
    // One trial solved alone: its pressure test and the solve's code.
    const auto solve_alone = [&](float q) {
        ThrowIfStopped(stop);
        // The node's pattern could be cleared above, so its demand can be set too.
        (void)project.set_node_value(node, EN_BASEDEMAND, q);
        // A failed solve leaves pressures that are tested as they are.
        const int code = project.solve_h();
        CountSolve(settings.solves, project);
        return std::make_pair(FindViolation(project, limits, PressureReadFailure::UseValue, id),
                              code);
    };
    const auto trial = [&](float q) {
        auto [violation, code] = solve_alone(q);
        count_unsolved(code);
        return violation;
    };
    // The same trials side by side, where the toolkit can (a duration of 0): asked with no
    // trial.
    const bool side_by_side =
        settings.lanes != 1 &&
        project.solve_trials(
            settings.lanes, [] { return std::optional<toolkit::TrialDemand>(); },
            [](std::size_t, const toolkit::SolvedTrial&) {}) == 0;
    std::optional<FailedTrial<Violation>> failed;
    if (!side_by_side) {
        failed = FindFailedTrial<Violation>(flows, settings.method, trial);
    } else {
        // Every trial's test and code by index of the trial flows.
        std::map<std::size_t, std::pair<std::optional<Violation>, int>> solved;
        const auto first = [&](float q) {
            auto outcome = solve_alone(q);
            solved.insert_or_assign(0, outcome);
            return outcome.first;
        };
        const SideBySideTrials<Violation> solve_side_by_side = [&](const auto& next,
                                                                   const auto& done) {
            std::vector<std::size_t> index_of;  // by the toolkit's rank of the trial
            const int code = project.solve_trials(
                settings.lanes,
                [&]() -> std::optional<toolkit::TrialDemand> {
                    ThrowIfStopped(stop);
                    const auto index = next();
                    if (!index) return std::nullopt;
                    index_of.push_back(*index);
                    return toolkit::TrialDemand{node, flows[*index]};
                },
                [&](std::size_t rank, const toolkit::SolvedTrial& trial_solved) {
                    if (settings.solves != nullptr) {
                        settings.solves->Add(trial_solved.iterations());
                    }
                    auto violation =
                        FindViolation(trial_solved, limits, PressureReadFailure::UseValue, id);
                    solved.insert_or_assign(index_of[rank],
                                            std::make_pair(violation, trial_solved.code()));
                    done(index_of[rank], std::move(violation));
                });
            if (code != 0) throw std::logic_error("trials side by side refused");
        };
        const int width = settings.lanes > 0 ? settings.lanes : toolkit::widest_trial_lanes();
        failed = FindFailedTrialSideBySide<Violation>(flows, settings.method, width, first,
                                                      solve_side_by_side,
                                                      failed_at_zero == nullptr || *failed_at_zero);
        // The unsolved trials are those among the ones that the search one at a time solves,
        // in its order: it is replayed on the outcomes.
        const auto replayed = FindFailedTrial<Violation>(flows, settings.method, [&](float q) {
            const auto index = static_cast<std::size_t>(
                std::lower_bound(flows.begin(), flows.end(), q) - flows.begin());
            const auto& [violation, code] = solved.at(index);
            count_unsolved(code);
            return violation;
        });
        if (replayed.has_value() != failed.has_value() ||
            (failed && replayed->index != failed->index)) {
            throw std::logic_error("trials side by side found another failing trial");
        }
    }
    if (failed_at_zero != nullptr) *failed_at_zero = failed && failed->index == 0;
    files::Record row;
    if (failed) {
        const Violation& violation = failed->outcome;
        row = {id, flows[failed->index],
               catalogue.JunctionIDs[static_cast<std::size_t>(violation.position)],
               PressureField(violation.pressure)};
    } else {
        row = {id, std::string(files::kMaximalFlowReachedText)};
    }

    // Values read from the same node a moment before: setting them back cannot fail.
    (void)project.set_node_value(node, EN_BASEDEMAND, saved_base_demand);
    (void)project.set_node_value(node, EN_PATTERN, saved_pattern);
    return row;
}

void SetBackDemand(toolkit::Project& project, const network::NetworkCatalogue& catalogue,
                   int position) {
    const int node = NodeIndex(catalogue, position);
    const float base_demand = SingleValue(project, node, EN_BASEDEMAND);
    const float pattern = SingleValue(project, node, EN_PATTERN);
    // Values read from the same node a moment before: setting them back cannot fail.
    (void)project.set_node_value(node, EN_BASEDEMAND, base_demand);
    (void)project.set_node_value(node, EN_PATTERN, pattern);
}

WorkerFactory SteadyStateWorkers(std::shared_ptr<const toolkit::Network> network,
                                 const network::NetworkCatalogue& catalogue,
                                 const JunctionLimits& limits,
                                 const SteadyStateSettings& settings) {
    auto flows = std::make_shared<const std::vector<float>>(
        TrialFlows(settings.maximal_flow, settings.flow_interval));
    return [network = std::move(network), flows, &catalogue, &limits,
            &settings](const std::atomic<bool>* stop) {
        return std::make_unique<SteadyStateWorker>(network, catalogue, limits, settings, *flows,
                                                   stop);
    };
}

}  // namespace hydrosk::analysis
