#include "analysis/available_flow_search.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/ordered_rows.h"
#include "files/number_text.h"
#include "files/results_schema.h"
#include "network/net_load.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// Beyond this many multiples a flow is no longer exact in single precision.
constexpr double kMostMultiples = 16777216.0;  // 2^24

class AvailableFlowWorker final : public JunctionWorker {
public:
    AvailableFlowWorker(std::shared_ptr<const toolkit::Network> network,
                        const network::NetworkCatalogue& catalogue, const JunctionLimits& limits,
                        const AvailableFlowSettings& settings, const AvailableFlowGrid& grid,
                        const std::atomic<bool>* stop)
        : trials_(std::move(network), catalogue, settings.study, settings.solves, stop),
          catalogue_(catalogue),
          limits_(limits),
          settings_(settings),
          grid_(grid),
          stop_(stop) {}

    files::Record Row(int position) override {
        trials_.Check(position);
        solved_.clear();
        const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];

        // A row rests on the solves it names; one of them unsolved, the row is not certified.
        const TrialPressures& zero = Solved(0);
        if (zero.failed()) {
            if (!zero.solved) return UnsolvedRow(id, position);
            return Certified(id, position, 0, zero, zero.check_pressure);
        }
        const long top = grid_.top();
        if (top == 0 || !Solved(top).failed()) {
            if (!Solved(top).solved) return UnsolvedRow(id, position);
            return MaximalFlowRow(id, position);
        }

        // Every solve is cold, so a flow of the grid has one result; warm starts from an
        // earlier solution save a sixth of the iterations but need the certificate solved
        // again, which costs as much.
        long pass = 0;    // a flow of the grid that passes
        long fail = top;  // one above it that fails
        for (;;) {
            while (fail - pass > 1) {
                const long middle = pass + (fail - pass) / 2;
                (Solved(middle).failed() ? fail : pass) = middle;
            }
            const double flow = grid_.at(pass);
            const double above =
                std::min(flow + settings_.tolerance, static_cast<double>(settings_.maximal_flow));
            const long above_index = grid_.index_below(above);
            const TrialPressures above_pressures =
                grid_.at(above_index) == above ? Solved(above_index) : Solve(above);
            const float check_pressure = Solved(pass).check_pressure;
            if (above_pressures.failed()) {
                if (!above_pressures.solved || !Solved(pass).solved) {
                    return UnsolvedRow(id, position);
                }
                return Certified(id, position, flow, above_pressures, check_pressure);
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
                    return UnsolvedRow(id, position);
                }
                return Certified(id, position, flow, Solved(first_failure), check_pressure);
            }
            pass = next;
            fail = LowestFailureAbove(pass);
        }
    }

    UnsolvedTrials LastUnsolved() const override { return trials_.unsolved(); }

private:
    files::Record UnsolvedRow(const std::string& id, int position) const {
        return TextRow(id, position, files::kUnsolvedText, std::string());
    }

    files::Record MaximalFlowRow(const std::string& id, int position) const {
        return TextRow(id, position, files::kMaximalFlowReachedText,
                       ResultField(position, settings_.maximal_flow));
    }

    // A row whose answer is a text: the study layout's trial fields stay empty, the
    // requirement and `result` are kept.
    files::Record TextRow(const std::string& id, int position, std::string_view text,
                          files::FieldValue result) const {
        if (!settings_.study_layout) return {id, std::string(text)};
        files::Record row(files::LayoutOf(files::ResultsKind::AvailableFlow, true).columns.size(),
                          std::string());
        row[0] = id;
        row[1] = std::string(text);
        row[row.size() - 2] = RequiredField(position);
        row[row.size() - 1] = std::move(result);
        return row;
    }

    std::optional<float> Required(int position) const {
        const auto& flows = settings_.required_flows;
        const auto at = static_cast<std::size_t>(position);
        return at < flows.size() ? flows[at] : std::nullopt;
    }
    files::FieldValue RequiredField(int position) const {
        if (const auto required = Required(position)) return *required;
        return std::string();
    }
    // Whether the flow the junction can give meets its requirement; empty without one.
    files::FieldValue ResultField(int position, double flow) const {
        const auto required = Required(position);
        if (!required) return std::string();
        return std::string(flow >= static_cast<double>(*required) ? files::kPassText
                                                                  : files::kFailText);
    }

    TrialPressures Solve(double flow) {
        ThrowIfStopped(stop_);
        return trials_.Solve(flow, limits_);
    }

    // The result at a flow of the grid, solved once per junction.
    const TrialPressures& Solved(long index) {
        auto found = solved_.find(index);
        if (found == solved_.end()) found = solved_.emplace(index, Solve(grid_.at(index))).first;
        return found->second;
    }

    long LowestFailureAbove(long index) const {
        for (const auto& [i, pressures] : solved_) {
            if (i > index && pressures.failed()) return i;
        }
        return grid_.top();  // the maximal flow fails
    }

    // The row of a flow that passes, with what fails in the trial above it.
    files::Record Certified(const std::string& id, int position, double flow,
                            const TrialPressures& failing, float check_pressure) const {
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
                RequiredField(position),
                ResultField(position, flow)};
    }

    StudyTrials trials_;
    const network::NetworkCatalogue& catalogue_;
    const JunctionLimits& limits_;
    const AvailableFlowSettings& settings_;
    const AvailableFlowGrid& grid_;
    const std::atomic<bool>* stop_;
    std::map<long, TrialPressures> solved_;  // by index of the grid, for the current junction
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
