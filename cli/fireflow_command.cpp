#include "cli/fireflow_command.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>

#include "analysis/fire_flow_run.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "cli/interrupt_watch.h"
#include "cli/output_check.h"

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
    ConsoleObserver(std::ostream& err, bool progress_bar, const InterruptWatch& interrupts)
        : err_(err), progress_bar_(progress_bar), interrupts_(interrupts) {}

    ~ConsoleObserver() override { EndBar(); }

    void ShowMessage(analysis::MessageKind, const std::string& text) override {
        EndBar();
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
            throw analysis::RunEnded(analysis::MessageKind::Failure,
                                     analysis::messages::kRunInterrupted);
        }
    }

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
    bool bar_shown_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
    Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_;
};

std::string DirectoryOf(const std::string& inp) {
    std::string directory = std::filesystem::path(inp).parent_path().string();
    if (!directory.empty() && directory.back() != std::filesystem::path::preferred_separator) {
        directory += std::filesystem::path::preferred_separator;
    }
    return directory;
}

}  // namespace

CLI::App* AddFireflowCommand(CLI::App& app, FireflowOptions& options) {
    auto* command = app.add_subcommand(
        "fireflow", "Fire-flow analysis of every junction, results beside the INP file");
    command->add_option("INP", options.inp, "EPANET input file")->required();
    command->add_option("--mode", options.mode, "the question asked; see \"Which mode\" below")
        ->check(CLI::IsMember({"steady", "available", "design", "duration", "flow"}))
        ->capture_default_str();
    command
        ->add_option("--search", options.search,
                     "how the steady and flow modes find the failing trial flow: linear tries "
                     "them from 0 upwards; bisection needs about log2 of their number, with the "
                     "same rows where pressures fall as the flow rises (see README)")
        ->check(CLI::IsMember({"linear", "bisection"}))
        ->capture_default_str();
    command
        ->add_option("--min-pressure", options.min_pressure,
                     "default minimal pressure of every junction")
        ->capture_default_str();
    command
        ->add_option("--max-flow", options.max_flow,
                     "largest trial flow (steady, available and flow modes); in steps, it is "
                     "tried when the steps reach it exactly")
        ->capture_default_str();
    command
        ->add_option("--flow-interval", options.flow_interval,
                     "step of the trial flows, greater than 0 (steady and flow modes)")
        ->capture_default_str();
    command
        ->add_option("--required-flow", options.required_flow,
                     "constant flow drawn at each junction (duration and design modes)")
        ->capture_default_str();
    command->add_option("--tolerance", options.tolerance,
                        "how close the available flow comes to the largest flow that passes "
                        "(available mode; default: maximal flow / 1000)");
    command
        ->add_option("--required-time", options.required_time,
                     "hours the flow must be drawn for, greater than 0 (flow mode)")
        ->capture_default_str();
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
        ->check(CLI::PositiveNumber);
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
        "steady, available and design need an INP duration of 0; duration and flow a longer "
        "one.\n\n"
        "The results go to the INP path with the extension appended (town.inp.TXT), one row per "
        "junction. Junctions listed in NoCheck.txt beside the INP file are never tested; "
        "MinPressures.txt beside it gives junctions a minimal pressure of their own. Numbers are "
        "read in the user's number format and in the network's own units (its pressure and flow "
        "units; times in hours). No settings file is written and nothing is asked. A progress "
        "bar (junctions done, rate, time left) is shown on standard error when it is a "
        "terminal. Ctrl+C or SIGTERM ends the run within a second; the rows finished before "
        "it are kept.\n\n"
        "Exit status: 0 done (the results path is printed on standard output), 1 the run was "
        "refused or failed (the message is printed on standard error), 2 bad arguments, 130 "
        "or 143 ended by Ctrl+C or SIGTERM.");
    return command;
}

analysis::RunInputs FireflowInputs(const FireflowOptions& options) {
    analysis::RunInputs inputs;
    inputs.inp_path = options.inp;
    inputs.minimal_pressure = options.min_pressure;
    inputs.maximal_flow = options.max_flow;
    inputs.flow_interval = options.flow_interval;
    inputs.required_flow = options.required_flow;
    inputs.required_time = options.required_time;
    inputs.tolerance = options.tolerance;
    const bool extended_period = options.mode == "duration" || options.mode == "flow";
    inputs.page = extended_period ? analysis::AnalysisPage::ExtendedPeriod
                                  : analysis::AnalysisPage::SteadyState;
    inputs.option = options.mode == "flow" ? analysis::ExtendedPeriodOption::FindFlow
                                           : analysis::ExtendedPeriodOption::FindDuration;
    inputs.steady_option =
        options.mode == "available" ? analysis::SteadyStateOption::FindAvailableFlow
        : options.mode == "design"  ? analysis::SteadyStateOption::CheckDesignFlow
                                    : analysis::SteadyStateOption::FindFailingFlow;
    inputs.search = options.search == "bisection" ? analysis::SearchMethod::Bisection
                                                  : analysis::SearchMethod::Linear;
    inputs.inp_directory = DirectoryOf(options.inp);
    inputs.output_file = options.inp + "." + options.extension;
    inputs.settings_directory = std::nullopt;
    inputs.report_file = options.report;
    inputs.report_required = !options.report.empty();
    inputs.trial_report_file.clear();
    inputs.parallelism.threads = options.threads;
    return inputs;
}

int RunFireflow(const FireflowOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar, analysis::SharedWork* shared,
                const InterruptWatch* outer_interrupts) {
    analysis::RunInputs inputs = FireflowInputs(options);
    inputs.parallelism.shared = shared;

    std::optional<InterruptWatch> own_interrupts;
    if (outer_interrupts == nullptr) own_interrupts.emplace();
    const InterruptWatch& interrupts = outer_interrupts ? *outer_interrupts : *own_interrupts;
    ConsoleObserver observer(err, progress_bar, interrupts);
    const auto result = analysis::RunFireFlow(inputs, observer);
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
    out << inputs.output_file.string() << '\n';
    if (CheckWritten(out, "the standard output", err) != 0) return 1;
    // Notices that could not be shown make it a failure too, without words left to say so.
    return err.flush() ? 0 : 1;
}

}  // namespace hydrosk::cli
