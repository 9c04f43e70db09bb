#include "cli/fireflow_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <locale>
#include <map>
#include <optional>
#include <ostream>
#include <type_traits>
#include <utility>

#include "analysis/fire_flow_run.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "cli/fire_group_options.h"
#include "cli/interrupt_watch.h"
#include "cli/number_option.h"
#include "cli/output_check.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/record_layout.h"

namespace hydrosk::cli {
namespace {

constexpr int kBarWidth = 40;  // characters
constexpr std::chrono::milliseconds kBarRedraw{100};

// Minutes and seconds, or hours, minutes and seconds.
std::string ClockText(double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    }
    return text;
}

// Messages and a progress bar on the error stream; the completion question is answered No.
// A signal caught by the watch ends the run at its next chance to serve events.
class ConsoleObserver : public analysis::RunObserver {
public:
    ConsoleObserver(std::ostream& err, bool progress_bar, const InterruptWatch& interrupts,
                    std::string inp_path)
        : err_(err),
          progress_bar_(progress_bar),
          interrupts_(interrupts),
          inp_path_(std::move(inp_path)) {}

    ~ConsoleObserver() override { EndBar(); }

    void ShowMessage(analysis::MessageKind, const std::string& text) override {
        EndBar();
        // An INP file that cannot be opened is named first, as a file's problems are.
        if (text.starts_with(analysis::messages::kCouldNotOpenInp)) err_ << inp_path_ << ": ";
        err_ << text << '\n';
    }

    void SetProgressRange(int minimum, int maximum) override {
        minimum_ = minimum;
        maximum_ = maximum;
        started_ = Clock::now();
    }

    // `value` junctions are done: the bar, the rate and the time left, redrawn at most ten
    // times a second.
    void SetProgressValue(int value) override {
        if (!progress_bar_ || maximum_ <= minimum_) return;
        const auto now = Clock::now();
        if (value < maximum_ && bar_shown_ && now - drawn_ < kBarRedraw) return;
        drawn_ = now;
        const int done = value - minimum_;
        const int total = maximum_ - minimum_;
        const int filled = done * kBarWidth / total;
        const double seconds = std::chrono::duration<double>(now - started_).count();
        const double rate = seconds > 0 ? done / seconds : 0.0;  // junctions per second
        char figures[64];
        std::snprintf(figures, sizeof figures, "%.1f/s", rate);
        err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << done
             << "/" << total << " junctions, " << figures;
        if (rate > 0 && done < total) err_ << ", " << ClockText((total - done) / rate) << " left";
        err_ << "   " << std::flush;
        bar_shown_ = true;
    }

    void ServeEvents() override {
        if (interrupts_.received() != 0) {
            throw analysis::RunStopped(analysis::messages::kRunInterrupted);
        }
    }

    bool StopRequested() override { return interrupts_.received() != 0; }

    void EndBar() {
        if (!bar_shown_) return;
        err_ << '\n';
        bar_shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    std::ostream& err_;
    bool progress_bar_;
    const InterruptWatch& interrupts_;
    std::string inp_path_;
    bool bar_shown_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
    Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_;
};

analysis::StudyOptions StudyOf(const FireflowOptions& options) {
    analysis::StudyOptions study;
    study.fire.demand_time = options.demand_time;
    study.fire.fire_duration = options.fire_duration;
    study.fire.fire_demand = options.fire_demand;
    study.fire.max_velocity = options.max_velocity;
    return study;
}

// A file the user named must be there; the constraint files' readers take a missing one as
// an empty list.
void RequireFile(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) throw files::FileError(file, "does not exist");
}

}  // namespace

CLI::App* AddFireflowCommand(CLI::App& app, FireflowOptions& options) {
    auto* command = app.add_subcommand(
        "fireflow", "Fire-flow analysis of every junction, results beside the INP file");
    command->add_option("INP", options.inp, "EPANET input file")->required();
    command->add_option("--mode", options.mode, "the question asked; see \"Which mode\" below")
        ->transform(CLI::CheckedTransformer(analysis::RunModeNames()))
        ->default_str("steady");
    command
        ->add_option("--search", options.search,
                     "how the steady and flow modes find the failing trial flow: linear tries "
                     "them from 0 upwards; bisection needs about log2 of their number, with the "
                     "same rows where pressures fall as the flow rises; where they may not "
                     "(pressure controls, rules, valves, controlled pumps) a notice says so. "
                     "Exactness, network by network: README.md, \"The searches: linear or "
                     "bisection\"")
        ->transform(CLI::CheckedTransformer(analysis::SearchMethodNames()))
        ->default_str("linear");
    AddNumber(*command, "--min-pressure", options.min_pressure,
              "default minimal pressure of every junction");
    AddNumber(*command, "--max-flow", options.max_flow,
              "largest trial flow (steady, available and flow modes); in steps, it is tried "
              "when the steps reach it exactly; 0 or more",
              Sign::NotNegative);
    AddNumber(*command, "--flow-interval", options.flow_interval,
              "step of the trial flows, greater than 0 (steady and flow modes)", Sign::Positive);
    AddNumber(*command, "--required-flow", options.required_flow,
              "constant flow drawn at each junction, 0 or more (duration and design modes)",
              Sign::NotNegative);
    AddNumber<float>(
        *command, "--tolerance", [&options](float tolerance) { options.tolerance = tolerance; },
        "how close the available flow comes to the largest flow that passes (available mode; "
        "default: maximal flow / 1000)",
        Sign::Positive);
    AddNumber(*command, "--required-time", options.required_time,
              "hours the flow must be drawn for, greater than 0 (flow mode); beyond the INP "
              "file's duration the trials end at its end, and a notice says so",
              Sign::Positive);
    AddNumber<double>(
        *command, "--demand-time",
        [&options](double hours) {
            options.demand_time = hours;
            options.study_given = true;
        },
        "hours into the INP's extended-period simulation at which the fire starts: the first "
        "time step at or after it (available and design modes; default 0)")
        ->default_str("0");
    AddNumber<double>(
        *command, "--fire-duration",
        [&options](double hours) {
            options.fire_duration = hours;
            options.study_given = true;
        },
        "hours the fire lasts; every time step up to its end is tested (available and design "
        "modes; default 0)")
        ->default_str("0");
    command
        ->add_option_function<analysis::FireDemand>(
            "--fire-demand",
            [&options](analysis::FireDemand demand) {
                options.fire_demand = demand;
                options.study_given = true;
            },
            "replace: the fire flow replaces the junction's demand; add: it is drawn besides it "
            "(available and design modes)")
        ->transform(CLI::CheckedTransformer(analysis::FireDemandNames()))
        ->default_str("replace");
    AddNumber<float>(
        *command, "--max-velocity",
        [&options](float velocity) {
            options.max_velocity = velocity;
            options.study_given = true;
        },
        "a pipe whose velocity (ft/s, or m/s in SI units) is above it fails the trial as a low "
        "pressure does (available and design modes)",
        Sign::Positive);
    command
        ->add_option("--hydrants", options.hydrants,
                     "the check junctions, one ID a line as in NoCheck.txt: only they get rows, "
                     "each the row of the full run (every mode)")
        ->option_text("FILE");
    AddFireGroupOptions(*command, options.groups);
    command
        ->add_option_function<std::string>(
            "--required-flows",
            [&options](const std::string& file) {
                options.required_flows = file;
                options.study_given = true;
            },
            "\"ID\",flow a line (the MinPressures.txt layout): each junction's own fire flow "
            "(design mode; --required-flow for the others) or requirement for the Result column "
            "(available mode); with fire groups, each group's by its name")
        ->option_text("FILE");
    command
        ->add_option("--extension", options.extension,
                     "extension appended to the INP path for the results file; the content "
                     "is the same for all three")
        ->transform(CLI::IsMember({"TXT", "CSV", "DAT"}, CLI::ignore_case))
        ->capture_default_str();
    command
        ->add_option("--threads", options.threads,
                     "worker threads (default: every hardware thread; 1 runs the junctions one "
                     "after the other); the results file is the same for every count")
        ->check(kWholeNumberAtLeastOne);
    command
        ->add_option("--lanes", options.lanes,
                     "steady trials solved side by side in the vector registers of each thread "
                     "(default: as many as the processor has, 8 with AVX-512, 4 with AVX2; 1 "
                     "solves them one at a time); the results file is the same for every count")
        ->check(kWholeNumberAtLeastOne);
    command
        ->add_option("--report", options.report,
                     "write the toolkit's report of opening the INP file (its input errors, "
                     "as EPANET reports them) to FILE; without it no scratch file is written")
        ->option_text("FILE");
    command->add_flag("--stats", options.stats,
                      "at the end, print \"hydraulic solves: N, iterations: M, seconds: S\" on "
                      "standard error");
    command->footer(
        "Which mode do I want?\n"
        "  steady     the first flow, in steps from 0, at which some junction falls below its "
        "minimum\n"
        "  available  the largest flow each junction can draw with every junction at its "
        "minimum, certified\n"
        "  design     can each junction draw the required flow with every junction at its "
        "minimum? Pass or Fail\n"
        "  duration   how long each junction can draw the required flow (extended period)\n"
        "  flow       the largest flow, in steps, each junction can draw for the required time "
        "(extended period)\n"
        "steady needs an INP duration of 0; duration and flow a longer one; available and design "
        "take any.\n\n"
        "A fire-flow study (available and design modes): the fire starts at the first time step "
        "at or after --demand-time hours of the INP's simulation and every step up to the end of "
        "--fire-duration is tested; a pressure below its minimum or, with --max-velocity, a pipe "
        "faster than the limit fails the trial. Example on the town, at its peak hour, a 2 h "
        "fire added to the demand:\n"
        "  hydrosk-cli fireflow examples/town.inp --mode available --min-pressure 20 --max-flow "
        "3000 --demand-time 18 --fire-duration 2 --fire-demand add --max-velocity 10 --hydrants "
        "hydrants.txt --required-flows required.txt\n"
        "gives rows such as \"J21\",1826,\"J21\",19.91073,20.03612,\"\",\"\",2000,\"Fail\" "
        "(Available_Flow, Limiting_Node and its pressure, Check_Pressure, Limiting_Pipe and its "
        "velocity, Required_Flow, Result). Junctions already below their minimum without any "
        "fire are named on standard error; \"hydrosk-cli baseline INP --min-pressure P "
        "--demand-time H > NoCheck.txt\" excludes them. See README, walkthrough step 7.\n\n"
        "Fire groups (available and design modes, not with --hydrants): with --fire-groups "
        "FILE, one group a line \"NAME\",\"J1\",\"J2\",..., each group's trial has its "
        "members draw the flow Q together, each Q / members; its row names the group in "
        "Check_Node, its Check_Pressure is the lowest of its members', and in design its "
        "flow is its --required-flows entry by name or --required-flow. Rows come in the "
        "file's order. --fire-groups-near D forms a group for every junction: itself and its "
        "nearest junctions within D map units ([COORDINATES] read as a flat plane), up to "
        "--group-size members (default 3), named by the junction.\n\n"
        "The results go to the INP path with the extension appended (town.inp.TXT), one row per "
        "junction. Junctions listed in NoCheck.txt beside the INP file are never tested; "
        "MinPressures.txt beside it gives junctions a minimal pressure of their own. Numbers are "
        "written with a period as the decimal separator (1.5), whatever the locale, and are in "
        "the network's own units (its pressure and flow units; times in hours). No settings "
        "file is written and nothing is asked. A progress "
        "bar (junctions done, rate, time left) is shown on standard error when it is a "
        "terminal. Ctrl+C or SIGTERM ends the run within a second; the rows finished before "
        "it are kept. Trials whose solve fails or does not converge are counted in one notice "
        "on standard error at the end; available and design rows that would rest on one say "
        "\"Unsolved\". In duration and flow a solve that fails ends the run, and one that does "
        "not converge is counted (under \"Unbalanced STOP\" its simulation ends there).\n\n"
        "Exit status: 0 done (the results path is printed on standard output), 1 the run was "
        "refused or failed (the message is printed on standard error), 2 bad arguments, 130 "
        "or 143 ended by Ctrl+C or SIGTERM.");
    return command;
}

analysis::RunSettings FireflowSettings(const FireflowOptions& options) {
    analysis::RunSettings settings;
    settings.inp_file = options.inp;
    settings.minimal_pressure = options.min_pressure;
    switch (options.mode) {
        case analysis::RunMode::Steady:
            settings.mode =
                analysis::SteadyRun{options.max_flow, options.flow_interval, options.search};
            break;
        case analysis::RunMode::Available:
            settings.mode =
                analysis::AvailableFlowRun{options.max_flow, options.tolerance, StudyOf(options)};
            break;
        case analysis::RunMode::Design:
            settings.mode = analysis::DesignFlowRun{options.required_flow, StudyOf(options)};
            break;
        case analysis::RunMode::Duration:
            settings.mode = analysis::DurationRun{options.required_flow};
            break;
        case analysis::RunMode::Flow:
            settings.mode = analysis::FlowRun{options.required_time, options.max_flow,
                                              options.flow_interval, options.search};
            break;
    }
    settings.constraints_directory = std::filesystem::path(options.inp).parent_path();
    settings.output_file = options.inp + "." + options.extension;
    settings.report_file = options.report;
    settings.report_required = !options.report.empty();
    settings.trial_report_file.clear();
    settings.notice_capped_time = true;
    settings.parallelism.threads = options.threads;
    settings.parallelism.lanes = options.lanes;
    try {
        if (!options.hydrants.empty())
            settings.hydrants = files::ReadJunctionList(options.hydrants);
        const bool study_mode = options.mode == analysis::RunMode::Available ||
                                options.mode == analysis::RunMode::Design;
        if (options.study_given && !study_mode) {
            settings.refusal = analysis::InputRefusal{
                analysis::RefusalPoint::Start,
                "--demand-time, --fire-duration, --fire-demand, --max-velocity and "
                "--required-flows are options of the available and design modes"};
        } else if (!options.required_flows.empty()) {
            RequireFile(options.required_flows);
            auto& study = settings.mode.index() == 1
                              ? std::get<analysis::AvailableFlowRun>(settings.mode).study
                              : std::get<analysis::DesignFlowRun>(settings.mode).study;
            study.required_flows = files::ReadJunctionMinPressures(options.required_flows);
        }
        if (!settings.refusal && NamesFireGroups(options.groups)) {
            if (!study_mode) {
                settings.refusal = analysis::InputRefusal{
                    analysis::RefusalPoint::Start,
                    "--fire-groups, --fire-groups-near and --group-size are options of the "
                    "available and design modes"};
            } else if (!options.hydrants.empty()) {
                settings.refusal = analysis::InputRefusal{
                    analysis::RefusalPoint::Start,
                    "--fire-groups and --fire-groups-near cannot be given with --hydrants: the "
                    "rows are then the groups', not the junctions'"};
            } else {
                settings.fire_groups = FireGroupSourceOf(options.groups);
            }
        }
    } catch (const files::FileError& error) {
        settings.refusal = analysis::InputRefusal{analysis::RefusalPoint::Start, error.what()};
    } catch (const FireGroupOptionsRefused& refused) {
        settings.refusal = analysis::InputRefusal{analysis::RefusalPoint::Start, refused.what()};
    }
    return settings;
}

CLI::App* AddBaselineCommand(CLI::App& app, BaselineOptions& options) {
    auto* command = app.add_subcommand(
        "baseline",
        "List the junctions below their minimal pressure at the demand time without any fire "
        "flow, in the NoCheck.txt layout (> NoCheck.txt excludes them from the test)");
    command->add_option("INP", options.inp, "EPANET input file")->required();
    AddNumber(*command, "--min-pressure", options.min_pressure,
              "default minimal pressure of every junction (MinPressures.txt and NoCheck.txt "
              "beside the INP file apply as in a run)");
    AddNumber<double>(
        *command, "--demand-time", [&options](double hours) { options.demand_time = hours; },
        "hours into the INP's extended-period simulation: the first time step at or after it")
        ->default_str("0");
    AddNumber<float>(
        *command, "--max-velocity", [&options](float velocity) { options.max_velocity = velocity; },
        "also name, on standard error, the pipes whose velocity is above it", Sign::Positive);
    return command;
}

int RunBaseline(const BaselineOptions& options, std::ostream& out, std::ostream& err) {
    analysis::RunSettings settings;
    settings.inp_file = options.inp;
    settings.minimal_pressure = options.min_pressure;
    analysis::DesignFlowRun design;
    design.study.fire.demand_time = options.demand_time;
    design.study.fire.max_velocity = options.max_velocity;
    settings.mode = design;
    settings.constraints_directory = std::filesystem::path(options.inp).parent_path();
    settings.report_file.clear();
    settings.trial_report_file.clear();
    const InterruptWatch interrupts;
    ConsoleObserver observer(err, false, interrupts, options.inp);
    const analysis::BaselineResult baseline = analysis::FindBaseline(settings, observer);
    if (baseline.run.status != analysis::RunStatus::Completed) return 1;
    for (const std::string& id : baseline.junctions) out << files::FormatRecord(files::Record{id});
    if (!baseline.pipes.empty()) {
        err << baseline.pipes.size() << " pipes are above the maximal velocity:";
        for (std::size_t i = 0; i < baseline.pipes.size(); ++i) {
            err << (i == 0 ? " " : ", ") << baseline.pipes[i];
        }
        err << '\n';
    }
    if (CheckWritten(out, "the standard output", err) != 0) return 1;
    return err.flush() ? 0 : 1;
}

int RunFireflow(const FireflowOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar, analysis::SharedWork* shared,
                const InterruptWatch* outer_interrupts) {
    analysis::RunSettings settings = FireflowSettings(options);
    settings.parallelism.shared = shared;

    std::optional<InterruptWatch> own_interrupts;
    if (outer_interrupts == nullptr) own_interrupts.emplace();
    const InterruptWatch& interrupts = outer_interrupts ? *outer_interrupts : *own_interrupts;
    ConsoleObserver observer(err, progress_bar, interrupts, options.inp);
    const auto result = analysis::RunFireFlow(settings, observer);
    observer.EndBar();
    if (options.stats) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", result.seconds);
        err << "hydraulic solves: " << result.solves << ", iterations: " << result.iterations
            << ", seconds: " << seconds << '\n';
    }
    if (interrupts.received() != 0 && result.status != analysis::RunStatus::Completed) {
        return ExitStatusForSignal(interrupts.received());
    }
    if (result.status != analysis::RunStatus::Completed) return 1;
    out << settings.output_file.string() << '\n';
    if (CheckWritten(out, "the standard output", err) != 0) return 1;
    // Notices that could not be shown make it a failure too, without words left to say so.
    return err.flush() ? 0 : 1;
}

}  // namespace hydrosk::cli
