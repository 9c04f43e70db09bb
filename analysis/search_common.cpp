#include "analysis/search_common.h"

#include <cmath>
#include <new>
#include <unordered_set>

#include "analysis/run_messages.h"
#include "files/number_text.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {

void ThrowToolkitFailure(int code, std::string_view check_junction) {
    if (code == toolkit::codes::kInsufficientMemory) throw std::bad_alloc();
    throw RunEnded(MessageKind::Failure, messages::ToolkitFailure(code, check_junction));
}

void RequireTrialOpen(int code) {
    if (code == toolkit::codes::kInsufficientMemory) throw std::bad_alloc();
    if (code != 0) throw RunEnded(MessageKind::Failure, messages::kProblemInInp);
}

std::filesystem::path PartialResultsFile(const std::filesystem::path& results_file) {
    std::filesystem::path partial = results_file;
    partial += ".partial";
    return partial;
}
namespace {

// A list in file order without repeats, built in linear time: files with tens of thousands of
// IDs that are not junctions (another network's constraints) are met in practice.
class OnceList {
public:
    explicit OnceList(std::vector<std::string>& list)
        : list_(list), seen_(list.begin(), list.end()) {}
    void Add(const std::string& id) {
        if (seen_.insert(id).second) list_.push_back(id);
    }

private:
    std::vector<std::string>& list_;
    std::unordered_set<std::string> seen_;
};

}  // namespace

JunctionLimits MakeJunctionLimits(const network::NetworkCatalogue& catalogue, float default_minimum,
                                  std::span<const files::JunctionPressure> overrides,
                                  std::span<const std::string> excluded_ids,
                                  UnknownConstraintIds& unknown) {
    const auto size = static_cast<std::size_t>(catalogue.JunctionCount) + 1;
    JunctionLimits limits{std::vector<float>(size, default_minimum),
                          std::vector<unsigned char>(size, 0)};
    limits.minimum[0] = 0;
    OnceList unknown_min_pressure(unknown.min_pressure);
    for (const auto& entry : overrides) {
        if (const auto index = catalogue.Junctions.find(entry.id)) {
            limits.minimum[static_cast<std::size_t>(*index)] = entry.pressure;
        } else {
            unknown_min_pressure.Add(entry.id);
        }
    }
    OnceList unknown_excluded(unknown.excluded);
    for (const auto& id : excluded_ids) {
        const std::string trimmed(files::TrimBlanks(id));
        if (const auto index = catalogue.Junctions.find(trimmed)) {
            limits.excluded[static_cast<std::size_t>(*index)] = 1;
        } else {
            unknown_excluded.Add(trimmed);
        }
    }
    return limits;
}

bool FailsMinimum(float pressure, float minimum) {
    return pressure < minimum || std::isnan(pressure);
}

namespace {

// The test of FindViolation with the pressures that `read(index, value)` gives (a toolkit code).
template <typename Read>
std::optional<Violation> FirstViolation(const Read& read, const JunctionLimits& limits,
                                        PressureReadFailure on_failure,
                                        std::string_view check_junction) {
    for (int k = 1; k <= limits.count(); ++k) {
        const auto position = static_cast<std::size_t>(k);
        if (limits.excluded[position] != 0) continue;
        double value = 0.0;
        const int code = read(k, value);
        if (code != 0 && on_failure == PressureReadFailure::EndRun) {
            ThrowToolkitFailure(code, check_junction);
        }
        // The toolkit's legacy functions hand out single precision.
        const auto pressure = static_cast<float>(value);
        if (FailsMinimum(pressure, limits.minimum[position])) return Violation{k, pressure};
    }
    return std::nullopt;
}

}  // namespace

std::optional<Violation> FindViolation(const toolkit::Project& project,
                                       const JunctionLimits& limits, PressureReadFailure on_failure,
                                       std::string_view check_junction) {
    return FirstViolation(
        [&project](int k, double& value) { return project.get_node_value(k, EN_PRESSURE, value); },
        limits, on_failure, check_junction);
}

std::optional<Violation> FindViolation(const toolkit::SolvedTrial& trial,
                                       const JunctionLimits& limits, PressureReadFailure on_failure,
                                       std::string_view check_junction) {
    return FirstViolation(
        [&trial](int k, double& value) { return trial.get_node_pressure(k, value); }, limits,
        on_failure, check_junction);
}

bool TrialFlowsEnd(float maximal_flow, float interval) {
    if (!(interval > 0)) return maximal_flow < 0;
    float q = 0;
    while (q <= maximal_flow) {
        const float next = q + interval;
        if (next == q) return false;
        q = next;
    }
    return true;
}

files::FieldValue PressureField(float pressure) {
    if (std::isnan(pressure)) return std::string("NaN");
    if (std::isinf(pressure)) return std::string(pressure > 0 ? "Infinity" : "-Infinity");
    return pressure;
}

}  // namespace hydrosk::analysis
