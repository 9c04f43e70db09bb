// One fire-flow run, from the RUN command to its end: the checks of the inputs, the per-junction
// limits from the constraint files, the network opened and catalogued, one of the three
// searches writing the results file, the completion question and the settings file.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/available_flow_search.h"
#include "analysis/design_flow_search.h"
#include "analysis/extended_period_search.h"
#include "analysis/junction_pool.h"
#include "analysis/run_observer.h"
#include "analysis/run_settings.h"
#include "analysis/search_common.h"
#include "analysis/steady_state_search.h"
#include "network/net_load.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {

enum class RunStatus {
    Completed,  // the results file is complete (and the settings file written, if kept)
    Refused,    // ended by a refusal of the inputs or of the network; nothing was written
    Failed,     // ended by a failure; a results file may hold the rows completed before it
};

struct RunResult {
    RunStatus status = RunStatus::Completed;
    std::string message;  // the refusal or failure that ended the run; empty when completed

    // The toolkit's code and input errors of an INP file that it refused to open (the message
    // lists them as text); 0 and empty otherwise.
    int inp_code = 0;
    std::vector<toolkit::InputError> input_errors;

    // The network's flow and pressure units ("GPM", "psi"), once it was opened.
    std::string flow_units;
    std::string pressure_units;

    // What the run cost: hydraulic solves (steady-state solves and extended-period time
    // steps), their iterations, and the run's wall-clock time in seconds.
    long solves = 0;
    long iterations = 0;
    double seconds = 0;
};

// A run up to the start of its search: the inputs checked, the network opened and catalogued,
// the limits made, and the search of the chosen mode as its header and the workers of its
// rows (which refer to the members here, so the object stays where it was made).
struct PreparedSearch {
    network::NetworkCatalogue catalogue;
    toolkit::Project project;
    JunctionLimits limits;
    // The chosen search's own settings (none for the duration search).
    std::variant<std::monostate, SteadyStateSettings, AvailableFlowSettings, DesignFlowSettings,
                 FlowSearchSettings>
        settings;
    SolveCount solves;                   // of a search prepared alone (PrepareSearch)
    std::optional<TrialContext> trials;  // the extended-period searches
    files::Record header;
    WorkerFactory workers;  // of rows 1 to `rows`
    // The junction position of each row (the check junctions); every junction when no
    // hydrants were given. Empty with fire groups.
    std::vector<int> row_positions;
    // The rows' fire groups, in the groups' order; empty: one row a junction.
    std::vector<TrialGroup> groups;
    int rows = 0;
    // The fire of the available and design searches, for the baseline.
    std::optional<FireStudy> study;
};

// The preparing steps of RunFireFlow, with the same messages through the observer; throws
// RunEnded where the run would end. Processes of a cluster that only compute rows use it.
std::unique_ptr<PreparedSearch> PrepareSearch(const RunSettings& settings, RunObserver& observer);

// The tested junctions below their minimum and the pipes above the velocity limit at the
// demand time of an available or design run's study, without any fire flow (IDs in catalogue
// and link order). The run's checks and messages are those of RunFireFlow up to its search;
// `run` says how they ended.
struct BaselineResult {
    RunResult run;
    std::vector<std::string> junctions;
    std::vector<std::string> pipes;
    // Every junction's pressure at that time, in catalogue order (network pressure units).
    std::vector<float> pressures;
};
BaselineResult FindBaseline(const RunSettings& settings, RunObserver& observer);

// Performs the run. Every message, the question, the progress and the pointer go through the
// observer; the message that ends a run early is also returned. Scratch files of the toolkit
// are those of the settings. Nothing is thrown; memory running out ends the run as a failure
// with messages::kOutOfMemory.
RunResult RunFireFlow(const RunSettings& settings, RunObserver& observer);

}  // namespace hydrosk::analysis
