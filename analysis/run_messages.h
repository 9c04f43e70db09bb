// The texts a run shows, in one place so that the window, the command line and the tests use
// the same words.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace hydrosk::analysis::messages {

// Presence checks, in the order they are made.
inline constexpr std::string_view kEnterInpFile = "You must enter an INP file";
inline constexpr std::string_view kEnterMinimalPressure = "You must enter a minimal pressure";
inline constexpr std::string_view kEnterMaximalFlow = "You must enter a maximal flow";
inline constexpr std::string_view kEnterFlowInterval = "You must enter a flow interval";

// Texts that are present but are not numbers, and intervals that cannot step the trial flow.
inline constexpr std::string_view kMinimalPressureNumber =
    "You must enter a number as the minimal pressure";
inline constexpr std::string_view kMaximalFlowNumber =
    "You must enter a number as the maximal flow";
inline constexpr std::string_view kFlowIntervalNumber =
    "You must enter a number as the flow interval";
inline constexpr std::string_view kFlowIntervalPositive =
    "You must enter a flow interval greater than zero";
inline constexpr std::string_view kFlowIntervalTooSmall =
    "You must enter a flow interval large enough to raise the trial flow up to the maximal flow";

// The network.
inline constexpr std::string_view kCouldNotOpenInp = "Could not open INP file - OpenFile";
inline constexpr std::string_view kNoJunctions =
    "You must enter an INP file whose network has at least one junction";
inline constexpr std::string_view kSteadyStateDuration =
    "The duration of the INP file must be set to zero";
inline constexpr std::string_view kExtendedPeriodDuration =
    "Duration must be greater then zero for an EPS run";

// The extended-period inputs.
inline constexpr std::string_view kEnterRequiredFlow = "You must enter a required flow value";
inline constexpr std::string_view kRequiredFlowNumber =
    "You must enter a number as the required flow value";
inline constexpr std::string_view kEnterRequiredTime =
    "You must enter a required time value greater then zero";
inline constexpr std::string_view kRequiredTimeNumber =
    "You must enter a number as the required time value";

// The available flow.
inline constexpr std::string_view kMaximalFlowNotNegative =
    "You must enter a maximal flow of zero or more";
inline constexpr std::string_view kToleranceNumber = "You must enter a number as the tolerance";
inline constexpr std::string_view kTolerancePositive =
    "You must enter a tolerance greater than zero";
inline constexpr std::string_view kToleranceTooSmall =
    "You must enter a larger tolerance: the available flows could not be written exactly";

// A trial whose network could not be opened.
inline constexpr std::string_view kProblemInInp = "Problem in INP file!";

// The command line's run ended by Ctrl+C or SIGTERM.
inline constexpr std::string_view kRunInterrupted =
    "The run was interrupted; the rows of the junctions finished before it are kept";

// The completion question, lines separated by CR LF.
std::string CompletionQuestion(const std::filesystem::path& results_file);

// A toolkit call failed: its code and EPANET's text for it, and the junction being checked.
std::string ToolkitFailure(int code, std::string_view check_junction);

// IDs of the two constraint files that name no junction of the network; each list in file
// order without repeats. Empty when both lists are empty.
std::string UnknownConstraintIds(std::span<const std::string> min_pressure_ids,
                                 std::span<const std::string> excluded_ids);

}  // namespace hydrosk::analysis::messages
