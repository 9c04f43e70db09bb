// `hydrosk-cli fireflow`: one fire-flow run of an INP file, as the window's RUN does it, for
// batch work. It keeps no settings file and asks nothing.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "analysis/run_settings.h"
#include "cli/fire_group_options.h"

namespace CLI {
class App;
}

namespace hydrosk::cli {

struct FireflowOptions {
    std::string inp;
    analysis::RunMode mode = analysis::RunMode::Steady;
    analysis::SearchMethod search = analysis::SearchMethod::Linear;  // steady and flow modes
    // Numbers as given on the command line, with a period as the decimal separator whatever
    // the locale, in the network's units (pressure units, flow units; the required time in
    // hours).
    float min_pressure = 110;
    float max_flow = 1000;
    float flow_interval = 10;
    float required_flow = 100;
    float required_time = 1.5f;
    std::optional<float> tolerance;  // available mode; nullopt for the maximal flow / 1000
    // A fire-flow study (available and design modes): hours, the fire demand, the pipes'
    // velocity limit, and the files of required flows and of the check junctions (any mode).
    double demand_time = 0;
    double fire_duration = 0;
    analysis::FireDemand fire_demand = analysis::FireDemand::Replace;
    std::optional<float> max_velocity;
    std::string required_flows;     // empty: none
    std::string hydrants;           // empty: every junction
    FireGroupOptions groups;        // available and design modes, never with hydrants
    bool study_given = false;       // one of the study's options appears
    std::string extension = "TXT";  // TXT, CSV or DAT
    int threads = 0;                // worker threads; 0 for every hardware thread
    int lanes = 0;                  // steady trials side by side; 0 for the processor's widest
    // The toolkit's report of opening the INP file; empty: no scratch file is written at all.
    std::string report;
    bool stats = false;  // solves, iterations and seconds on the error stream
};

// Adds the subcommand and its options to the application; the parsed values go to `options`.
CLI::App* AddFireflowCommand(CLI::App& app, FireflowOptions& options);

// The run's settings as the options give them: the INP file's directory for the constraint
// files, the results beside the INP file, no settings file.
analysis::RunSettings FireflowSettings(const FireflowOptions& options);

// `hydrosk-cli baseline`: the junctions below their minimal pressure at the demand time
// without any fire flow, in the NoCheck.txt layout on standard output.
struct BaselineOptions {
    std::string inp;
    float min_pressure = 110;
    double demand_time = 0;
    std::optional<float> max_velocity;
};
CLI::App* AddBaselineCommand(CLI::App& app, BaselineOptions& options);
// Exit status 0 when listed (an empty list included), 1 when the run was refused or failed.
int RunBaseline(const BaselineOptions& options, std::ostream& out, std::ostream& err);

// Performs the run. Messages go to `err` with the program's texts; with `progress_bar` a bar
// on `err` follows the junctions; with `stats` the line "hydraulic solves: N, iterations: M,
// seconds: S" ends `err` whatever became of the run. The results file's path goes to `out` at
// the end of a completed run. Returns the exit status: 0 for a completed run, 1 for a run
// ended by a refusal or a failure, or whose output could not be written, and 128 + the
// signal's number for a run ended by Ctrl+C or SIGTERM (the rows finished before it are kept,
// as a failure keeps them).
// `shared`: other processes of a cluster that take part in the search (nullptr for none).
// `interrupts`: a watch made before any other thread of the process was started (nullptr: the
// run makes its own).
class InterruptWatch;
int RunFireflow(const FireflowOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar, analysis::SharedWork* shared = nullptr,
                const InterruptWatch* interrupts = nullptr);

}  // namespace hydrosk::cli
