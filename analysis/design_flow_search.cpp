#include "analysis/design_flow_search.h"

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/ordered_rows.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/hydraulics/lane_solver.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

class DesignFlowWorker final : public JunctionWorker {
public:
    DesignFlowWorker(std::shared_ptr<const toolkit::Network> network,
                     const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                     const DesignFlowSettings& settings, const std::atomic<bool>* stop)
        : trials_(std::move(network), catalogue, settings.study, settings.solves, stop),
          catalogue_(catalogue),
          limits_(limits),
          settings_(settings) {}

    int PositionsAtOnce() const override {
        if (!trials_.SideBySidePossible(settings_.lanes)) return 1;
        return settings_.lanes > 0 ? settings_.lanes : toolkit::widest_trial_lanes();
    }

    void SolveAhead(std::span<const int> positions) override {
        ahead_.clear();
        std::vector<StudyTrials::SteadyTrial> trials;
        trials.reserve(positions.size());
        for (const int position : positions) {
            std::span<const int> members;
            if (!settings_.groups.empty()) {
                members = settings_.groups[static_cast<std::size_t>(position - 1)].positions;
            }
            trials.push_back({position, Flow(position), members});
        }
        auto solved =
            trials_.SolveSideBySide(trials, limits_, settings_.lanes, TrialEnd::WholeFire);
        for (std::size_t i = 0; i < solved.size(); ++i) {
            ahead_.emplace(positions[i], std::move(solved[i]));
        }
    }

    // `position`: the junction's, or with groups the group's row.
    files::Record Row(int position) override {
        const float flow = Flow(position);
        TrialPressures pressures;
        const TrialGroup* group = nullptr;
        if (!settings_.groups.empty()) {
            group = &settings_.groups[static_cast<std::size_t>(position - 1)];
        }
        if (auto found = ahead_.find(position); found != ahead_.end()) {
            pressures = found->second.pressures;
            unsolved_ = {};
            if (!pressures.solved) unsolved_ = {1, found->second.code};
            ahead_.erase(found);
        } else {
            if (group != nullptr) {
                trials_.Check(group->positions);
            } else {
                trials_.Check(position);
            }
            pressures = trials_.Solve(flow, limits_, TrialEnd::WholeFire);
            unsolved_ = trials_.unsolved();
        }
        const auto& lowest = pressures.lowest;
        const std::string& id = group != nullptr
                                    ? group->name
                                    : catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
        // A solve that failed or did not converge neither passes nor fails.
        const std::string result(files::VerdictText(!pressures.solved    ? files::Outcome::Unsolved
                                                    : pressures.failed() ? files::Outcome::Failed
                                                                         : files::Outcome::Passed));
        files::FieldValue lowest_node = std::string();
        files::FieldValue lowest_pressure = std::string();
        if (lowest.position != 0) {
            lowest_node = catalogue_.JunctionIDs[static_cast<std::size_t>(lowest.position)];
            lowest_pressure = PressureField(lowest.pressure);
        }
        if (!settings_.study_layout) {
            return {
                id,    flow, PressureField(pressures.check_pressure), lowest_node, lowest_pressure,
                result};
        }
        // Index 0: no pipe was tested.
        auto [pipe, velocity] =
            PipeFields(trials_.project(), pressures.fastest.index != 0
                                              ? std::optional<PipeVelocity>(pressures.fastest)
                                              : std::nullopt);
        return {id,
                flow,
                PressureField(pressures.check_pressure),
                lowest_node,
                lowest_pressure,
                pipe,
                velocity,
                result};
    }

    UnsolvedTrials LastUnsolved() const override { return unsolved_; }

private:
    float Flow(int position) const {
        const auto at = static_cast<std::size_t>(position);
        const auto& own = settings_.required_flows;
        return at < own.size() && own[at] ? *own[at] : settings_.required_flow;
    }

    StudyTrials trials_;
    const network::NetworkCatalogue& catalogue_;
    const JunctionLimits& limits_;
    const DesignFlowSettings& settings_;
    std::map<int, StudyTrials::SideBySideOutcome> ahead_;  // by position
    UnsolvedTrials unsolved_;
};

}  // namespace

WorkerFactory DesignFlowWorkers(std::shared_ptr<const toolkit::Network> network,
                                const network::NetworkCatalogue& catalogue,
                                const JunctionLimits& limits, const DesignFlowSettings& settings) {
    return [network = std::move(network), &catalogue, &limits,
            &settings](const std::atomic<bool>* stop) {
        return std::make_unique<DesignFlowWorker>(network, catalogue, limits, settings, stop);
    };
}

}  // namespace hydrosk::analysis
