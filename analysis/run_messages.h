// The texts a run shows, in one place so that the window, the command line and the tests use
// the same words.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/input/reader.h"

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
// A negative report time step makes the hydraulic step negative, and the simulation would
// then step backwards for ever.
inline constexpr std::string_view kExtendedPeriodStep =
    "The hydraulic time step of the INP file must be greater than zero for an EPS run";

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
// The same with the default tolerance, which the maximal flow gives.
inline constexpr std::string_view kMaximalFlowTooLarge =
    "You must enter a smaller maximal flow (or a tolerance): the available flows up to it could "
    "not be written exactly";

// A required time beyond the simulation: the trials end at its end.
std::string RequiredTimeCapped(float required_hours, long duration_seconds);

// A trial whose network could not be opened.
inline constexpr std::string_view kProblemInInp = "Problem in INP file!";

// A run ended by Ctrl+C, SIGTERM or a stop request.
inline constexpr std::string_view kRunInterrupted = "The run was interrupted";

// Where the rows of a stopped run went, the results file left as it was.
std::string RowsKeptApart(int rows, const std::filesystem::path& partial_file,
                          const std::filesystem::path& results_file);
// Bisection on a network whose configuration can change with the fire flow.
inline constexpr std::string_view kBisectionMayDiffer =
    "Notice: the network has pressure controls, rules, valves or controlled pumps, so the "
    "pressures may not fall steadily as the flow rises; bisection then reports a failing trial "
    "right above a passing one, which may lie above the linear search's first failure "
    "(see \"The searches\" in the README; --search linear tries every flow)";
// An allocation failed: the run, or the command line, ends with this.
inline constexpr std::string_view kOutOfMemory = "out of memory";
// What the worker threads of a search took of the memory: the heap each took once all had
// started, or else what they had taken between them when one could not start. Zero: unknown.
struct WorkerMemory {
    std::size_t each = 0;
    std::size_t taken_at_failure = 0;
};
// The same during a search of `workers` worker threads, each with a network of its own.
std::string OutOfMemory(int workers, const WorkerMemory& memory = {});
// A worker thread that the system would not start (`started` of `workers` were).
std::string ThreadNotStarted(int started, int workers, std::string_view reason);

// Why the toolkit refused to open an INP file, as EPANET's report gives it: the lines of each
// input error (its code and text, the section, then the line itself), of at most `limit` of
// them, and a last line with the code of the open ("Error 200: one or more errors in input
// file"). Line ends are removed and bytes that are not printable escaped. An unconnected node
// (233) is named in the words EPANET means, where its report prints them garbled.
std::vector<std::string> InputErrorLines(int code, std::span<const toolkit::InputError> errors,
                                         std::size_t limit);

// kCouldNotOpenInp followed by every line of InputErrorLines, each indented, and the hint of
// InpFileHint when there is one.
std::string CouldNotOpenInp(int code, std::span<const toolkit::InputError> errors,
                            std::string_view hint = {});

// What makes an INP file unreadable to EPANET before any of its sections counts: a UTF-8
// byte-order mark at its start, or lines that end in CR alone. Empty when neither is the case
// (or the file cannot be read).
std::string InpFileHint(const std::filesystem::path& inp_file);

// A report file that was asked for and cannot be written.
std::string ReportFileFailure(const std::string& report_file, int code);

// The completion question, lines separated by CR LF.
std::string CompletionQuestion(const std::filesystem::path& results_file);

// A toolkit call failed: its code and EPANET's text for it, and the junction being checked.
std::string ToolkitFailure(int code, std::string_view check_junction);

// Trials whose hydraulic solve failed or did not converge, told once after the search: how
// many, the code and text of the first of them, and the junctions they belong to (the first
// `kUnsolvedJunctionsShown` of them named, the rest counted). `halted`: the trials were
// simulations that "Unbalanced STOP" ended at their first step that did not converge.
// `groups`: the trials are fire groups', which `junctions` names.
inline constexpr std::size_t kUnsolvedJunctionsShown = 5;
std::string UnsolvedTrials(int trials, int code, std::span<const std::string> junctions,
                           bool halted = false, bool groups = false);

// IDs of the two constraint files that name no junction of the network; each list in file
// order without repeats. Empty when both lists are empty. At most kListedUnknownIds IDs are
// listed, shared between the two lists, each list saying how many of its IDs are left out;
// bytes that are not printable are escaped.
inline constexpr std::size_t kListedUnknownIds = 20;
std::string UnknownConstraintIds(std::span<const std::string> min_pressure_ids,
                                 std::span<const std::string> excluded_ids);

// The same for any lists of junction IDs read from files, each named by its file.
struct UnknownIdList {
    std::string file;
    std::vector<std::string> ids;
};
std::string UnknownJunctionIds(std::span<const UnknownIdList> lists);

// Fire groups: the rows of the available and design modes alone, never with hydrants, and
// at least one group (FormFireGroups).
inline constexpr std::string_view kFireGroupsModes =
    "Fire groups are tested in the available and design modes only";
inline constexpr std::string_view kFireGroupsWithHydrants =
    "Fire groups and hydrants cannot be given together: each row is a group's";

// A fire-flow study's times: neither may be negative, and the fire must end within the
// INP's simulation, whose duration (s) the message gives.
inline constexpr std::string_view kStudyTimesNotNegative =
    "The demand time and the fire duration must not be negative";
std::string FireAfterDuration(long duration_seconds);
inline constexpr std::string_view kMaxVelocityPositive =
    "The maximal velocity must be greater than zero";

// Tested junctions below their minimum (and pipes above the velocity limit) at the demand
// time without any fire flow: they fail every trial. The first kBaselineIdsShown of each.
inline constexpr std::size_t kBaselineIdsShown = 20;
std::string BaselineFailures(std::span<const std::string> junctions,
                             std::span<const std::string> pipes);

}  // namespace hydrosk::analysis::messages
