#include "cli/fireflow_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <ostream>

#include "analysis/fire_flow_run.h"
#include "cli/output_check.h"

namespace hydrosk::cli {
namespace {

constexpr int kBarWidth = 40;  // characters

// Messages and a progress bar on the error stream; the completion question is answered No.
class ConsoleObserver : public analysis::RunObserver {
public:
    ConsoleObserver(std::ostream& err, bool progress_bar)
        : err_(err), progress_bar_(progress_bar) {}

    ~ConsoleObserver() override { EndBar(); }

    void ShowMessage(analysis::MessageKind, const std::string& text) override {
        EndBar();
        err_ << text << '\n';
    }

    void SetProgressRange(int minimum, int maximum) override {
        minimum_ = minimum;
        maximum_ = maximum;
    }

    void SetProgressValue(int value) override {
        if (!progress_bar_ || maximum_ <= minimum_) return;
        const int done = (value - minimum_) * kBarWidth / (maximum_ - minimum_);
        err_ << "\r[" << std::string(static_cast<std::size_t>(done), '#')
             << std::string(static_cast<std::size_t>(kBarWidth - done), ' ') << "] junction "
             << value << " of " << maximum_ << std::flush;
        bar_shown_ = true;
    }

    void EndBar() {
        if (!bar_shown_) return;
        err_ << '\n';
        bar_shown_ = false;
    }

private:
    std::ostream& err_;
    bool progress_bar_;
    bool bar_shown_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
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
    command
        ->add_option("--mode", options.mode,
                     "steady: the first fire flow, in steps of the flow interval from 0, at which "
                     "some junction falls below its minimal pressure (the INP duration must be "
                     "0); duration: how long (hours) each junction can draw the required flow "
                     "in the extended-period simulation; flow: the largest flow each junction "
                     "can draw for the required time")
        ->check(CLI::IsMember({"steady", "duration", "flow"}))
        ->capture_default_str();
    command
        ->add_option("--min-pressure", options.min_pressure,
                     "default minimal pressure of every junction")
        ->capture_default_str();
    command
        ->add_option("--max-flow", options.max_flow,
                     "largest trial flow (steady and flow modes); it is tried when the steps "
                     "reach it exactly")
        ->capture_default_str();
    command
        ->add_option("--flow-interval", options.flow_interval,
                     "step of the trial flows, greater than 0 (steady and flow modes)")
        ->capture_default_str();
    command
        ->add_option("--required-flow", options.required_flow,
                     "constant flow drawn at each junction (duration mode)")
        ->capture_default_str();
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
        ->add_option("--report", options.report,
                     "write the toolkit's report of opening the INP file (its input errors, "
                     "as EPANET reports them) to FILE; without it no scratch file is written")
        ->option_text("FILE");
    command->footer(
        "The results go to the INP path with the extension appended (town.inp.TXT), one row per "
        "junction. Junctions listed in NoCheck.txt beside the INP file are never tested; "
        "MinPressures.txt beside it gives junctions a minimal pressure of their own. Numbers are "
        "read in the user's number format and in the network's own units (its pressure and flow "
        "units; times in hours). No settings file is written and nothing is asked. A progress "
        "bar is shown on standard error when it is a terminal.\n\n"
        "Exit status: 0 done (the results path is printed on standard output), 1 the run was "
        "refused or failed (the message is printed on standard error), 2 bad arguments.");
    return command;
}

int RunFireflow(const FireflowOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar) {
    analysis::RunInputs inputs;
    inputs.inp_path = options.inp;
    inputs.minimal_pressure = options.min_pressure;
    inputs.maximal_flow = options.max_flow;
    inputs.flow_interval = options.flow_interval;
    inputs.required_flow = options.required_flow;
    inputs.required_time = options.required_time;
    inputs.page = options.mode == "steady" ? analysis::AnalysisPage::SteadyState
                                           : analysis::AnalysisPage::ExtendedPeriod;
    inputs.option = options.mode == "flow" ? analysis::ExtendedPeriodOption::FindFlow
                                           : analysis::ExtendedPeriodOption::FindDuration;
    inputs.inp_directory = DirectoryOf(options.inp);
    inputs.output_file = options.inp + "." + options.extension;
    inputs.settings_directory = std::nullopt;
    inputs.report_file = options.report;
    inputs.report_required = !options.report.empty();
    inputs.trial_report_file.clear();

    ConsoleObserver observer(err, progress_bar);
    const auto result = analysis::RunFireFlow(inputs, observer);
    observer.EndBar();
    if (result.status != analysis::RunStatus::Completed) return 1;
    out << inputs.output_file.string() << '\n';
    if (CheckWritten(out, "the standard output", err) != 0) return 1;
    // Notices that could not be shown make it a failure too, without words left to say so.
    return err.flush() ? 0 : 1;
}

}  // namespace hydrosk::cli
