#include "analysis/fire_flow_run.h"

#include <chrono>
#include <fstream>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/available_flow_search.h"
#include "analysis/design_flow_search.h"
#include "analysis/extended_period_search.h"
#include "analysis/ordered_rows.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "analysis/steady_state_search.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/record_layout.h"
#include "files/settings_file.h"
#include "network/net_load.h"
#include "network/network_map.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// The binary output file that goes with a report file, relative to the current directory; the
// toolkit writes none, but refuses an INP file of that name.
constexpr const char* kOutputFile = "out.dat";

// Toolkit codes for memory that ran out, and for a report or output file that cannot be
// created or written.
constexpr int kInsufficientMemory = 101;
constexpr int kReportFileError = 303;
constexpr int kOutputFileError = 304;
constexpr int kReportWriteError = 309;

struct CommonNumbers {
    float minimal_pressure = 0;  // network pressure units
    float maximal_flow = 0;      // network flow units
    float flow_interval = 0;     // network flow units
};

void Refuse(std::string_view message) {
    throw RunEnded(MessageKind::Refusal, message);
}

// The refusal of an INP file that the toolkit could not open, with its input errors.
class InpRefused : public RunEnded {
public:
    InpRefused(int code, std::vector<toolkit::InputError> errors)
        : RunEnded(MessageKind::Refusal, messages::CouldNotOpenInp(code, errors)),
          code_(code),
          errors_(std::move(errors)) {}
    int code() const noexcept { return code_; }
    const std::vector<toolkit::InputError>& errors() const noexcept { return errors_; }

private:
    int code_;
    std::vector<toolkit::InputError> errors_;
};

void CheckPresence(const RunInputs& inputs) {
    // A text of blanks is present; only an empty one is missing.
    if (inputs.inp_path.empty()) Refuse(messages::kEnterInpFile);
    if (inputs.minimal_pressure.empty()) Refuse(messages::kEnterMinimalPressure);
    if (inputs.maximal_flow.empty()) Refuse(messages::kEnterMaximalFlow);
    if (inputs.flow_interval.empty()) Refuse(messages::kEnterFlowInterval);
}

float NumberOrRefuse(const std::string& text, const std::locale& locale, std::string_view refusal) {
    const auto value = files::ParseLocaleNumber(text, locale);
    if (!value) Refuse(refusal);
    return *value;
}

CommonNumbers ReadCommonNumbers(const RunInputs& inputs) {
    CommonNumbers numbers;
    numbers.minimal_pressure =
        NumberOrRefuse(inputs.minimal_pressure, inputs.locale, messages::kMinimalPressureNumber);
    numbers.maximal_flow =
        NumberOrRefuse(inputs.maximal_flow, inputs.locale, messages::kMaximalFlowNumber);
    numbers.flow_interval =
        NumberOrRefuse(inputs.flow_interval, inputs.locale, messages::kFlowIntervalNumber);
    // Only the searches that raise a trial flow step by step need an interval that gets them to
    // the maximal flow; the duration search keeps these two numbers for the settings file only.
    const bool steps_trial_flows =
        inputs.page == AnalysisPage::SteadyState || inputs.option == ExtendedPeriodOption::FindFlow;
    if (steps_trial_flows) {
        if (!(numbers.flow_interval > 0)) Refuse(messages::kFlowIntervalPositive);
        if (!TrialFlowsEnd(numbers.maximal_flow, numbers.flow_interval)) {
            Refuse(messages::kFlowIntervalTooSmall);
        }
    }
    return numbers;
}

struct Constraints {
    std::vector<files::JunctionPressure> min_pressures;
    std::vector<std::string> excluded_ids;
};

Constraints ReadConstraints(const RunInputs& inputs) {
    if (inputs.constraints) {
        return {inputs.constraints->min_pressures, inputs.constraints->excluded_ids};
    }
    const std::filesystem::path directory(inputs.inp_directory);
    try {
        return {files::ReadJunctionMinPressures(directory / files::kJunctionMinPressuresFileName),
                files::ReadExcludedJunctions(directory / files::kExcludedJunctionsFileName)};
    } catch (const files::FileError& error) {
        throw RunEnded(MessageKind::Failure, error.what());
    }
}

// Opens the INP file and catalogues it. Scratch files that cannot be created do not stop the
// run unless the report was asked for: the file is then opened without them.
void OpenCatalogue(network::NetworkCatalogue& catalogue, toolkit::Project& project,
                   const std::string& inp_path, const RunInputs& inputs) {
    const std::string& report = inputs.report_file;
    network::ResetNetwork(catalogue);
    int code = network::OpenNetwork(catalogue, project, inp_path, report,
                                    report.empty() ? "" : kOutputFile);
    const bool scratch_failed =
        code == kReportFileError || code == kOutputFileError || code == kReportWriteError;
    if (scratch_failed && inputs.report_required) {
        throw RunEnded(MessageKind::Failure, messages::ReportFileFailure(report, code));
    }
    if (scratch_failed) {
        project.close();
        network::ResetNetwork(catalogue);
        code = network::OpenNetwork(catalogue, project, inp_path, "", "");
    }
    if (code == kInsufficientMemory) throw std::bad_alloc();
    if (code != 0) throw InpRefused(code, project.input_errors());
}

// The trials' report file is left in the current directory, as the toolkit leaves it; the
// trials themselves never read the INP file again, so it stays empty. The toolkit refuses a
// report file that is the INP file (EPANET's 301), which ends the run as a trial that cannot
// open its network.
void LeaveTrialReportFile(const RunInputs& inputs) {
    const std::string& name = inputs.trial_report_file;
    if (name.empty()) return;
    const std::string inp_path(files::TrimBlanks(inputs.inp_path));
    std::error_code ignored;
    if (name == inp_path || std::filesystem::equivalent(name, inp_path, ignored)) {
        Refuse(messages::kProblemInInp);
    }
    std::ofstream scratch(name, std::ios::trunc);  // failure is of no concern
}

// Runs a search into the results file (none for an empty path) and the observer. When the
// search ends the run early, the rows it completed are kept: the file then holds the header
// and every completed row.
template <typename Search>
void WriteResults(const std::filesystem::path& file, RunObserver& observer, Search&& search) {
    try {
        std::optional<files::RecordFileWriter> results;
        if (!file.empty()) results.emplace(file);
        const RecordWrite write = [&](const files::Record& record) {
            if (results) results->Write(record);
            observer.ResultsRecord(record);
        };
        try {
            std::forward<Search>(search)(write);
        } catch (const RunEnded& ended) {
            try {
                if (results) results->Commit();
            } catch (const files::FileError& error) {
                throw RunEnded(ended.kind(), std::string(ended.what()) + "\n" + error.what());
            }
            throw;
        }
        if (results) results->Commit();
    } catch (const files::FileError& error) {
        throw RunEnded(MessageKind::Failure, error.what());
    }
}

float RequiredFlow(const RunInputs& inputs) {
    if (inputs.required_flow.empty()) Refuse(messages::kEnterRequiredFlow);
    return NumberOrRefuse(inputs.required_flow, inputs.locale, messages::kRequiredFlowNumber);
}

// The available flow's settings: a tolerance that the flows can be written at.
AvailableFlowSettings AvailableFlowInputs(const RunInputs& inputs, const CommonNumbers& numbers) {
    if (numbers.maximal_flow < 0) Refuse(messages::kMaximalFlowNotNegative);
    // A thousandth of the maximal flow, formed in double precision; with a maximal flow of 0
    // only the flow 0 is tried, and any tolerance serves.
    double tolerance = numbers.maximal_flow > 0 ? numbers.maximal_flow / 1000.0 : 1.0;
    if (!inputs.tolerance.empty()) {
        tolerance = NumberOrRefuse(inputs.tolerance, inputs.locale, messages::kToleranceNumber);
        if (!(tolerance > 0)) Refuse(messages::kTolerancePositive);
    }
    if (!AvailableFlowGrid::Make(numbers.maximal_flow, tolerance)) {
        Refuse(messages::kToleranceTooSmall);
    }
    return {numbers.maximal_flow, tolerance};
}

void PrepareSteadyState(const RunInputs& inputs, const CommonNumbers& numbers,
                        PreparedSearch& search, SolveCount* solves) {
    const auto network = search.project.parsed_network();
    switch (inputs.steady_option) {
        case SteadyStateOption::FindFailingFlow:
            search.steady = {numbers.maximal_flow, numbers.flow_interval, inputs.search, solves};
            search.header = SteadyStateHeader();
            search.workers =
                SteadyStateWorkers(network, search.catalogue, search.limits, search.steady);
            return;
        case SteadyStateOption::FindAvailableFlow:
            search.available = AvailableFlowInputs(inputs, numbers);
            search.available.solves = solves;
            search.header = AvailableFlowHeader();
            search.workers =
                AvailableFlowWorkers(network, search.catalogue, search.limits, search.available);
            return;
        case SteadyStateOption::CheckDesignFlow:
            search.design = {RequiredFlow(inputs), solves};
            search.header = DesignFlowHeader();
            search.workers =
                DesignFlowWorkers(network, search.catalogue, search.limits, search.design);
            return;
    }
}

// The search's own settings, once the mode's inputs are checked, and its workers.
void PrepareSearchOfMode(const RunInputs& inputs, const CommonNumbers& numbers,
                         PreparedSearch& search, SolveCount* solves) {
    const network::NetworkCatalogue& catalogue = search.catalogue;
    if (inputs.page == AnalysisPage::SteadyState) {
        if (catalogue.DurationHours > 0) Refuse(messages::kSteadyStateDuration);
        PrepareSteadyState(inputs, numbers, search, solves);
        return;
    }

    if (catalogue.DurationHours == 0) Refuse(messages::kExtendedPeriodDuration);
    if (catalogue.HydraulicStep <= 0) Refuse(messages::kExtendedPeriodStep);
    search.trials.emplace(
        TrialContext{search.project.parsed_network(), catalogue, search.limits, nullptr, solves});
    if (inputs.option == ExtendedPeriodOption::FindDuration) {
        const float required_flow = RequiredFlow(inputs);
        LeaveTrialReportFile(inputs);
        search.header = DurationHeader();
        search.workers = DurationWorkers(*search.trials, required_flow);
        return;
    }

    if (inputs.required_time.empty() || !(files::LeadingNumberValue(inputs.required_time) > 0)) {
        Refuse(messages::kEnterRequiredTime);
    }
    const float required_time =
        NumberOrRefuse(inputs.required_time, inputs.locale, messages::kRequiredTimeNumber);
    if (!(required_time > 0)) Refuse(messages::kEnterRequiredTime);
    search.flow = {required_time, numbers.maximal_flow, numbers.flow_interval, inputs.search};
    LeaveTrialReportFile(inputs);
    search.header = FlowHeader();
    search.workers = FlowWorkers(*search.trials, search.flow);
}

CommonNumbers Prepare(const RunInputs& inputs, RunObserver& observer, PreparedSearch& search,
                      SolveCount* solves, RunResult* result = nullptr) {
    CheckPresence(inputs);
    observer.SetBusy(true);
    const CommonNumbers numbers = ReadCommonNumbers(inputs);
    const Constraints constraints = ReadConstraints(inputs);

    OpenCatalogue(search.catalogue, search.project, std::string(files::TrimBlanks(inputs.inp_path)),
                  inputs);
    if (result != nullptr) {
        const network::UnitNames units = network::UnitNamesOf(*search.project.parsed_network());
        result->flow_units = units.flow;
        result->pressure_units = units.pressure;
    }
    if (search.catalogue.JunctionCount < 1) Refuse(messages::kNoJunctions);

    UnknownConstraintIds unknown;
    search.limits =
        MakeJunctionLimits(search.catalogue, numbers.minimal_pressure, constraints.min_pressures,
                           constraints.excluded_ids, unknown);
    if (!unknown.empty()) {
        observer.ShowMessage(MessageKind::Notice, messages::UnknownConstraintIds(
                                                      unknown.min_pressure, unknown.excluded));
    }
    observer.SetProgressRange(0, search.catalogue.JunctionCount);
    PrepareSearchOfMode(inputs, numbers, search, solves);
    return numbers;
}

void Run(const RunInputs& inputs, SolveCount& solves, RunObserver& observer, RunResult& result) {
    PreparedSearch search;
    const CommonNumbers numbers = Prepare(inputs, observer, search, &solves, &result);
    UnsolvedSummary unsolved;
    WriteResults(inputs.output_file, observer, [&](const RecordWrite& write) {
        write(search.header);
        unsolved = WriteRowsInOrder(search.catalogue.JunctionCount, inputs.parallelism,
                                    search.workers, write, observer);
    });
    search.project.close();
    if (unsolved.trials > 0) {
        std::vector<std::string> ids;
        for (const int position : unsolved.positions) {
            ids.push_back(search.catalogue.JunctionIDs[static_cast<std::size_t>(position)]);
        }
        observer.ShowMessage(MessageKind::Notice,
                             messages::UnsolvedTrials(unsolved.trials, unsolved.first_code, ids));
    }

    if (observer.AskYesNo(messages::CompletionQuestion(inputs.output_file))) {
        observer.OpenViewer(inputs.output_file);
    }
    if (inputs.settings_directory) {
        try {
            files::WriteSettings(*inputs.settings_directory, inputs.inp_directory,
                                 numbers.minimal_pressure, numbers.maximal_flow,
                                 numbers.flow_interval, inputs.required_flow, inputs.required_time);
        } catch (const files::FileError& error) {
            throw RunEnded(MessageKind::Failure, error.what());
        }
    }
}

RunResult Ended(MessageKind kind, std::string message, RunObserver& observer, RunResult result) {
    observer.ShowMessage(kind, message);
    result.status = kind == MessageKind::Refusal ? RunStatus::Refused : RunStatus::Failed;
    result.message = std::move(message);
    return result;
}

}  // namespace

std::unique_ptr<PreparedSearch> PrepareSearch(const RunInputs& inputs, RunObserver& observer) {
    auto search = std::make_unique<PreparedSearch>();
    Prepare(inputs, observer, *search, &search->solves);
    return search;
}

RunResult RunFireFlow(const RunInputs& inputs, RunObserver& observer) {
    const auto started = std::chrono::steady_clock::now();
    SolveCount solves;
    RunResult result;
    try {
        Run(inputs, solves, observer, result);
    } catch (const InpRefused& refused) {
        result.inp_code = refused.code();
        result.input_errors = refused.errors();
        result = Ended(refused.kind(), refused.what(), observer, std::move(result));
    } catch (const RunEnded& ended) {
        result = Ended(ended.kind(), ended.what(), observer, std::move(result));
    } catch (const std::bad_alloc&) {
        result = Ended(MessageKind::Failure, std::string(messages::kOutOfMemory), observer,
                       std::move(result));
    } catch (const std::exception& error) {
        result = Ended(MessageKind::Failure, error.what(), observer, std::move(result));
    }
    observer.SetBusy(false);
    result.solves = solves.solves();
    result.iterations = solves.iterations();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace hydrosk::analysis
