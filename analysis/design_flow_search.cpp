#include "analysis/design_flow_search.h"

#include <cmath>
#include <memory>
#include <string>

#include "analysis/ordered_rows.h"
#include "analysis/replaced_demand.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

struct Lowest {
    int position = 0;  // 0: no junction is tested
    float pressure = 0;
    double margin = 0;
};

// The tested junction with the smallest margin; a pressure that is not a number fails the test
// whatever the minimum, so it counts as the smallest margin of all.
Lowest LowestMargin(const toolkit::Project& project, const JunctionLimits& limits) {
    Lowest lowest;
    for (int k = 1; k <= limits.count(); ++k) {
        const auto position = static_cast<std::size_t>(k);
        if (limits.excluded[position] != 0) continue;
        double value = 0;
        // Position k is a junction's node index, so the reading cannot fail.
        (void)project.get_node_value(k, EN_PRESSURE, value);
        const auto pressure = static_cast<float>(value);
        const double margin =
            std::isnan(pressure)
                ? -INFINITY
                : static_cast<double>(pressure) - static_cast<double>(limits.minimum[position]);
        if (lowest.position == 0 || margin < lowest.margin) lowest = {k, pressure, margin};
    }
    return lowest;
}

class DesignFlowWorker final : public JunctionWorker {
public:
    DesignFlowWorker(std::shared_ptr<const toolkit::Network> network,
                     const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                     const DesignFlowSettings& settings, const std::atomic<bool>* stop)
        : trials_(std::move(network), catalogue, settings.solves, stop),
          catalogue_(catalogue),
          limits_(limits),
          settings_(settings) {}

    files::Record Row(int position) override {
        trials_.Check(position);
        const TrialPressures pressures = trials_.Solve(settings_.required_flow, limits_);
        const Lowest lowest = LowestMargin(trials_.project(), limits_);
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
        // A solve that failed or did not converge neither passes nor fails.
        const std::string result(files::VerdictText(!pressures.solved ? files::Outcome::Unsolved
                                                    : pressures.violation
                                                        ? files::Outcome::Failed
                                                        : files::Outcome::Passed));
        if (lowest.position == 0) {
            return {id,
                    settings_.required_flow,
                    PressureField(pressures.check_pressure),
                    std::string(),
                    std::string(),
                    result};
        }
        return {id,
                settings_.required_flow,
                PressureField(pressures.check_pressure),
                catalogue_.JunctionIDs[static_cast<std::size_t>(lowest.position)],
                PressureField(lowest.pressure),
                result};
    }

    UnsolvedTrials LastUnsolved() const override { return trials_.unsolved(); }

private:
    ReplacedDemandTrials trials_;
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
