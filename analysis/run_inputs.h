// What one fire-flow run is given: the texts of the main window's boxes, the chosen
// analysis, and where its files are. The run reads nothing else of the window.
#pragma once

#include <filesystem>
#include <locale>
#include <optional>
#include <string>
#include <vector>

#include "analysis/junction_pool.h"
#include "analysis/trial_grid.h"
#include "files/constraint_files.h"
#include "files/number_text.h"

namespace hydrosk::analysis {

// The page of the window's tab control: the steady state (tab index 0) or the extended period
// (any other index).
enum class AnalysisPage { SteadyState, ExtendedPeriod };

// The option of the extended-period page; exactly one is selected.
enum class ExtendedPeriodOption { FindDuration, FindFlow };

// The question asked of a steady-state network. The window asks only the first.
enum class SteadyStateOption {
    FindFailingFlow,    // the first trial flow, in steps from 0, that fails
    FindAvailableFlow,  // the largest flow that passes, to within a tolerance, certified
    CheckDesignFlow,    // pass or fail of every junction drawing the required flow
};

struct RunInputs {
    // The INP file as the window shows it; blanks around it are removed before it is opened.
    std::string inp_path;

    // The five input texts, as typed: numbers in the user's number format (see `locale`) and in
    // the network's units (pressure units, flow units; the required time in hours).
    std::string minimal_pressure;
    std::string maximal_flow;
    std::string flow_interval;
    std::string required_flow;
    std::string required_time;

    AnalysisPage page = AnalysisPage::SteadyState;
    ExtendedPeriodOption option = ExtendedPeriodOption::FindDuration;
    SteadyStateOption steady_option = SteadyStateOption::FindFailingFlow;

    // How the stepped searches (steady state, extended-period flow) find the failing trial.
    SearchMethod search = SearchMethod::Linear;

    // The available flow's tolerance, in the network's flow units and the user's number
    // format; empty for a thousandth of the maximal flow.
    std::string tolerance;

    // The INP file's directory (InpDir, ending in a separator): "NoCheck.txt" and
    // "MinPressures.txt" are read from it, and it is stored in the settings file.
    std::string inp_directory;

    // The junction constraints given directly (the Python module), in place of the files in
    // `inp_directory`: the run then reads neither file.
    struct Constraints {
        std::vector<files::JunctionPressure> min_pressures;
        std::vector<std::string> excluded_ids;
    };
    std::optional<Constraints> constraints;

    // Where the results file is written: the INP path, a period and the chosen extension.
    // Empty for none: the records then reach the observer alone.
    std::filesystem::path output_file;

    // The directory of "HydroskSettings.txt", written at the end of a completed run; nullopt
    // for a run that keeps no settings (the command line).
    std::optional<std::filesystem::path> settings_directory;

    // Worker threads of the search (0 for every hardware thread) and, on a cluster, the other
    // processes that share it. The results do not depend on them.
    Parallelism parallelism;
    // The toolkit's scratch files, relative names resolving against the current directory; an
    // empty name writes none. The report of opening the INP file (its input errors) is written
    // when possible, and must be when `report_required`; the report of the extended-period
    // trials stays empty. The window keeps both; the command line writes a report only when
    // asked. Neither may be the INP file itself, in any spelling.
    std::string report_file = "rep.dat";
    bool report_required = false;
    std::string trial_report_file = "out.txt";

    // The number format in which the five texts are read (the user's by default).
    std::locale locale = files::UserLocale();
};

}  // namespace hydrosk::analysis
