#include "analysis/design_flow_search.h"

#include <memory>
#include <string>

#include "analysis/ordered_rows.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
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

    files::Record Row(int position) override {
        trials_.Check(position);
        const auto at = static_cast<std::size_t>(position);
        const auto& own = settings_.required_flows;
        const float flow = at < own.size() && own[at] ? *own[at] : settings_.required_flow;
        const TrialPressures pressures = trials_.Solve(flow, limits_, TrialEnd::WholeFire);
        const auto& lowest = pressures.lowest;
        const std::string& id = catalogue_.JunctionIDs[at];
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

    UnsolvedTrials LastUnsolved() const override { return trials_.unsolved(); }

private:
    StudyTrials trials_;
    const network::NetworkCatalogue& catalogue_;
    const JunctionLimits& limits_;
    const DesignFlowSettings& settings_;
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
