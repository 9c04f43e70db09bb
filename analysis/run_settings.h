// One fire-flow run as every front end describes it: the question asked (one alternative per
// mode, its numbers as the searches use them, in the network's own units), where the files
// are, and how the work is spread. The window, the command line and the ranks of a cluster
// each fill it in from their own input; the run reads nothing else.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/fire_groups.h"
#include "analysis/junction_pool.h"
#include "analysis/study_trial.h"
#include "analysis/trial_grid.h"
#include "files/constraint_files.h"

namespace hydrosk::analysis {

// The question of a run; the order is that of the alternatives of ModeSettings.
enum class RunMode {
    Steady,     // the first trial flow, in steps from 0, at which some junction fails
    Available,  // the largest flow that passes, to within a tolerance, certified
    Design,     // pass or fail of every junction drawing the required flow
    Duration,   // how long the required flow can be drawn (extended period)
    Flow,       // the last trial flow that holds for the required time (extended period)
};

// Steady state: trial flows 0, interval, interval + interval, ... up to the maximal flow.
struct SteadyRun {
    float maximal_flow = 1000;  // network flow units; below 0 no trial is made
    float flow_interval = 10;   // network flow units
    SearchMethod search = SearchMethod::Linear;
};

// A fire-flow study of the available and design modes: the fire at the demand time of the
// INP's extended-period simulation for the fire duration, its flow replacing the junction's
// demand or added to it, pipes' velocities tested against a limit, and junctions' required
// flows. The defaults are a steady-state solve of the network as it is at time 0.
struct StudyOptions {
    FireStudy fire;
    // "ID",flow records (the MinPressures.txt layout), network flow units; nullopt for none.
    std::optional<std::vector<files::JunctionPressure>> required_flows;

    // Whether the results need the study's layout: anything but today's trial asked for.
    bool needs_study_layout() const {
        return fire.demand_time != 0 || fire.fire_duration != 0 ||
               fire.fire_demand != FireDemand::Replace || fire.max_velocity.has_value() ||
               required_flows.has_value();
    }
};

// The available flow of every junction, with its certificate.
struct AvailableFlowRun {
    float maximal_flow = 1000;                      // network flow units, at least 0
    std::optional<float> tolerance = std::nullopt;  // network flow units; nullopt: max. flow / 1000
    StudyOptions study = {};
    // Steady trials: the search from warm starts on the hydrant curve, certified cold; false:
    // every trial cold (the bisection alone), for comparison. The rows are the same where the
    // pressures fall as the flow rises.
    bool warm_starts = true;
};

// One solve per junction at the required flow: Pass or Fail.
struct DesignFlowRun {
    float required_flow = 100;  // network flow units; junctions without their own
    StudyOptions study = {};
};

// Extended period: how long each junction can draw the required flow.
struct DurationRun {
    float required_flow = 100;  // network flow units
};

// Extended period: the last trial flow, in steps, that holds for the required time.
struct FlowRun {
    float required_time = 1.5f;  // hours
    float maximal_flow = 1000;   // network flow units; below 0 no trial is made
    float flow_interval = 10;    // network flow units
    SearchMethod search = SearchMethod::Linear;
};

// The names the command line and the Python module give the modes and search methods.
inline const std::map<std::string, RunMode>& RunModeNames() {
    static const std::map<std::string, RunMode> names{{"steady", RunMode::Steady},
                                                      {"available", RunMode::Available},
                                                      {"design", RunMode::Design},
                                                      {"duration", RunMode::Duration},
                                                      {"flow", RunMode::Flow}};
    return names;
}
inline const std::map<std::string, SearchMethod>& SearchMethodNames() {
    static const std::map<std::string, SearchMethod> names{{"linear", SearchMethod::Linear},
                                                           {"bisection", SearchMethod::Bisection}};
    return names;
}

using ModeSettings = std::variant<SteadyRun, AvailableFlowRun, DesignFlowRun, DurationRun, FlowRun>;

inline RunMode ModeOf(const ModeSettings& mode) {
    return static_cast<RunMode>(mode.index());
}

// The steady-state search needs an INP duration of 0, extended-period ones a longer duration;
// the available and design searches take any (their fire is at the demand time).
inline bool IsExtendedPeriod(RunMode mode) {
    return mode == RunMode::Duration || mode == RunMode::Flow;
}

inline const std::map<std::string, FireDemand>& FireDemandNames() {
    static const std::map<std::string, FireDemand> names{{"replace", FireDemand::Replace},
                                                         {"add", FireDemand::Add}};
    return names;
}

// What the window keeps in "HydroskSettings.txt" after a completed run, besides the INP
// directory and the minimal pressure: its other boxes, whatever mode was run.
struct KeptSettings {
    std::filesystem::path directory;  // where "HydroskSettings.txt" is written
    std::string inp_directory;        // as shown to the file dialog, ending in a separator
    float maximal_flow = 0;
    float flow_interval = 0;
    // The boxes' texts; each is kept as its leading-number value when that is above 0.
    std::string required_flow;
    std::string required_time;
};

// Where the run shows a front end's refusal of one of its texts (RunSettings::refusal).
enum class RefusalPoint {
    Start,       // before anything else, the pointer still the default one
    Numbers,     // once the run is under way, before the numbers are checked
    ModeInputs,  // once the network is checked for the mode, where the mode's numbers are read
};

struct InputRefusal {
    RefusalPoint at = RefusalPoint::Start;
    std::string message;
};

struct RunSettings {
    std::filesystem::path inp_file;
    float minimal_pressure = 110;  // network pressure units, every junction's default minimum
    ModeSettings mode;

    // The folder of "NoCheck.txt" and "MinPressures.txt"; empty for the current directory.
    std::filesystem::path constraints_directory;
    // The junction constraints given directly (the Python module), in place of the files in
    // `constraints_directory`: the run then reads neither file.
    struct Constraints {
        std::vector<files::JunctionPressure> min_pressures;
        std::vector<std::string> excluded_ids;
    };
    std::optional<Constraints> constraints;
    // The check junctions (IDs as in NoCheck.txt), nullopt for every junction: only they get
    // rows, in catalogue order, each the row the full run gives it.
    std::optional<std::vector<std::string>> hydrants;
    // The available and design modes only, never with `hydrants`: each group's trial has its
    // members draw the flow together (each Q / |S|), one row a group named by the group, in
    // the groups' order. nullopt: one trial a junction.
    std::optional<FireGroupSource> fire_groups;
    // The results file; empty for none: the records then reach the observer alone.
    std::filesystem::path output_file;
    // The window's settings file, written at the end of a completed run; nullopt for none.
    std::optional<KeptSettings> kept_settings;

    // Worker threads of the search (0 for every hardware thread) and, on a cluster, the other
    // processes that share it. The results do not depend on them.
    Parallelism parallelism;

    // The toolkit's scratch files, relative names resolving against the current directory; an
    // empty name writes none. The report of opening the INP file (its input errors) is written
    // when possible, and must be when `report_required`; the report of the extended-period
    // trials stays empty. Neither may be the INP file itself, in any spelling.
    std::string report_file = "rep.dat";
    bool report_required = false;
    std::string trial_report_file = "out.txt";

    // The command line: a notice when the flow mode's required time lies beyond the INP
    // file's duration (the trials then end at the simulation's end, as the window's do).
    bool notice_capped_time = false;

    // A front end that refuses one of its texts where the window's run reads it (the mode's
    // numbers only once the network has been checked for the mode) gives the refusal here; the
    // run then ends with it at that point. nullopt when every input was read.
    std::optional<InputRefusal> refusal;
};

}  // namespace hydrosk::analysis
