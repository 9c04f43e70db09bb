// What the three searches share: the per-junction pressure limits of a run, the pressure test
// of one solved state, the trial flows, and the way a search ends the run early.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/run_observer.h"
#include "files/constraint_files.h"
#include "files/record_layout.h"
#include "toolkit/codes.h"

namespace hydrosk::network {
struct NetworkCatalogue;
}
namespace hydrosk::toolkit {
class Project;
class SolvedTrial;
}  // namespace hydrosk::toolkit

namespace hydrosk::analysis {

// A solve whose results no row may rest on: it failed, or it did not converge (whether the INP
// says Unbalanced STOP or CONTINUE).
inline bool IsUnsolved(int code) {
    return toolkit::codes::IsError(code) || code == toolkit::codes::kUnbalanced;
}

// Ends a run with a message (a refusal or a failure); thrown by the run's steps and by the
// searches, caught once by the run, which shows it and then takes its end steps.
class RunEnded : public std::runtime_error {
public:
    RunEnded(MessageKind kind, std::string_view message)
        : std::runtime_error(std::string(message)), kind_(kind) {}
    MessageKind kind() const noexcept { return kind_; }

private:
    MessageKind kind_;
};

// Ends a run that was stopped from outside before its end: interrupted (Ctrl+C, SIGTERM, a
// stop request), a process of its cluster lost or refused, memory exhausted. The results file
// then keeps its previous content, and the rows finished go to the file beside it that
// PartialResultsFile names.
class RunStopped : public RunEnded {
public:
    explicit RunStopped(std::string_view message) : RunEnded(MessageKind::Failure, message) {}
};

// A toolkit call that failed ends the run with its code and the check junction; memory that ran
// out (the toolkit's 101) throws std::bad_alloc instead.
[[noreturn]] void ThrowToolkitFailure(int code, std::string_view check_junction);

// The open of a trial's project: memory that ran out (the toolkit's 101) throws std::bad_alloc,
// any other failure ends the run with "Problem in INP file!".
void RequireTrialOpen(int code);

// Where a stopped run leaves its rows: "<results file>.partial".
std::filesystem::path PartialResultsFile(const std::filesystem::path& results_file);

// The pressure limits of one run, by junction position 1 to JunctionCount (entry 0 unused).
// Position k is also the junction's toolkit node index.
struct JunctionLimits {
    std::vector<float> minimum;           // network pressure units
    std::vector<unsigned char> excluded;  // 1: the pressure is never tested

    int count() const { return static_cast<int>(minimum.size()) - 1; }
};

// Constraint IDs that name no junction of the network, in file order without repeats.
struct UnknownConstraintIds {
    std::vector<std::string> min_pressure;
    std::vector<std::string> excluded;

    bool empty() const { return min_pressure.empty() && excluded.empty(); }
};

// The default minimum at every position, then each override of "MinPressures.txt" in file
// order (a later record for the same junction wins; IDs are used as read), then the
// exclusions of "NoCheck.txt" (IDs trimmed of blanks). IDs are found without regard to letter
// case; those that are not junctions are skipped and listed in `unknown`.
JunctionLimits MakeJunctionLimits(const network::NetworkCatalogue& catalogue, float default_minimum,
                                  std::span<const files::JunctionPressure> overrides,
                                  std::span<const std::string> excluded_ids,
                                  UnknownConstraintIds& unknown);

// A pressure below its minimum, strictly, or not a number fails; one equal to it passes.
bool FailsMinimum(float pressure, float minimum);

struct Violation {
    int position = 0;    // the lowest-positioned failing junction
    float pressure = 0;  // its pressure, as the single-precision toolkit value
};

// What a failed pressure reading does: the steady-state search uses the value as it comes;
// the extended-period searches end the run.
enum class PressureReadFailure { UseValue, EndRun };

// Tests the junctions of the project's current solution in position order, skipping excluded
// ones, and gives the first whose pressure fails its minimum. With EndRun, a failed reading
// throws RunEnded naming the toolkit's code and the check junction.
std::optional<Violation> FindViolation(const toolkit::Project& project,
                                       const JunctionLimits& limits, PressureReadFailure on_failure,
                                       std::string_view check_junction);
// The same test of a trial solved side by side with others (Project::solve_trials).
std::optional<Violation> FindViolation(const toolkit::SolvedTrial& trial,
                                       const JunctionLimits& limits, PressureReadFailure on_failure,
                                       std::string_view check_junction);

// Whether the trial flows 0, interval, 2 interval, ... (each a single-precision sum) pass the
// maximal flow in the end: false when a sum stops growing before that. An interval of 0 or
// less never gets there either.
bool TrialFlowsEnd(float maximal_flow, float interval);

// The pressure field of a steady-state row: the number, or for a value the layout cannot
// carry the text NaN, Infinity or -Infinity.
files::FieldValue PressureField(float pressure);

}  // namespace hydrosk::analysis
