#include "analysis/fire_flow_run.h"

#include <chrono>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/available_flow_search.h"
#include "analysis/design_flow_search.h"
#include "analysis/extended_period_search.h"
#include "analysis/junction_pool.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "analysis/steady_state_search.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/record_layout.h"
#include "files/settings_file.h"
#include "network/net_load.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// Scratch files of the toolkit, relative to the current directory.
constexpr const char* kReportFile = "rep.dat";
constexpr const char* kOutputFile = "out.dat";
constexpr const char* kTrialReportFile = "out.txt";

// Toolkit codes for a report or output file that cannot be created.
constexpr int kReportFileError = 303;
constexpr int kOutputFileError = 304;

struct CommonNumbers {
    float minimal_pressure = 0;  // network pressure units
    float maximal_flow = 0;      // network flow units
    float flow_interval = 0;     // network flow units
};

void Refuse(std::string_view message) {
    throw RunEnded(MessageKind::Refusal, message);
}

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
    if (!(numbers.flow_interval > 0)) Refuse(messages::kFlowIntervalPositive);
    if (!TrialFlowsEnd(numbers.maximal_flow, numbers.flow_interval)) {
        Refuse(messages::kFlowIntervalTooSmall);
    }
    return numbers;
}

struct Constraints {
    std::vector<files::JunctionPressure> min_pressures;
    std::vector<std::string> excluded_ids;
};

Constraints ReadConstraints(const RunInputs& inputs) {
    const std::filesystem::path directory(inputs.inp_directory);
    try {
        return {files::ReadJunctionMinPressures(directory / files::kJunctionMinPressuresFileName),
                files::ReadExcludedJunctions(directory / files::kExcludedJunctionsFileName)};
    } catch (const files::FileError& error) {
        throw RunEnded(MessageKind::Failure, error.what());
    }
}

// Opens the INP file and catalogues it. Scratch files that cannot be created do not stop the
// run: the file is then opened without them.
void OpenCatalogue(network::NetworkCatalogue& catalogue, toolkit::Project& project,
                   const std::string& inp_path) {
    network::ResetNetwork(catalogue);
    int code = network::OpenNetwork(catalogue, project, inp_path, kReportFile, kOutputFile);
    if (code == kReportFileError || code == kOutputFileError) {
        project.close();
        network::ResetNetwork(catalogue);
        code = network::OpenNetwork(catalogue, project, inp_path, "", "");
    }
    if (code != 0) Refuse(messages::kCouldNotOpenInp);
}

// The trials' report file is left in the current directory, as the toolkit leaves it; the
// trials themselves never read the INP file again, so it stays empty.
void LeaveTrialReportFile() {
    std::ofstream scratch(kTrialReportFile, std::ios::trunc);  // failure is of no concern
}

// Runs a search into the results file. When the search ends the run early, the rows it
// completed are kept: the file then holds the header and every completed row.
template <typename Search>
void WriteResults(const std::filesystem::path& file, Search&& search) {
    try {
        files::RecordFileWriter results(file);
        try {
            std::forward<Search>(search)(results);
        } catch (const RunEnded& ended) {
            try {
                results.Commit();
            } catch (const files::FileError& error) {
                throw RunEnded(ended.kind(), std::string(ended.what()) + "\n" + error.what());
            }
            throw;
        }
        results.Commit();
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

void RunSteadyState(const RunInputs& inputs, const CommonNumbers& numbers,
                    const network::NetworkCatalogue& catalogue, toolkit::Project& project,
                    const JunctionLimits& limits, int threads, SolveCount& solves,
                    RunObserver& observer) {
    switch (inputs.steady_option) {
        case SteadyStateOption::FindFailingFlow: {
            const SteadyStateSettings settings{numbers.maximal_flow, numbers.flow_interval,
                                               inputs.search, &solves};
            WriteResults(inputs.output_file, [&](files::RecordFileWriter& results) {
                SteadyStateSearch(project, catalogue, limits, settings, threads, results, observer);
            });
            break;
        }
        case SteadyStateOption::FindAvailableFlow: {
            AvailableFlowSettings settings = AvailableFlowInputs(inputs, numbers);
            settings.solves = &solves;
            WriteResults(inputs.output_file, [&](files::RecordFileWriter& results) {
                AvailableFlowSearch(project, catalogue, limits, settings, threads, results,
                                    observer);
            });
            break;
        }
        case SteadyStateOption::CheckDesignFlow: {
            const DesignFlowSettings settings{RequiredFlow(inputs), &solves};
            WriteResults(inputs.output_file, [&](files::RecordFileWriter& results) {
                DesignFlowSearch(project, catalogue, limits, settings, threads, results, observer);
            });
            break;
        }
    }
    project.close();
}

void RunSearch(const RunInputs& inputs, const CommonNumbers& numbers,
               const network::NetworkCatalogue& catalogue, toolkit::Project& project,
               const JunctionLimits& limits, SolveCount& solves, RunObserver& observer) {
    const int threads = WorkerThreadCount(inputs.threads);
    if (inputs.page == AnalysisPage::SteadyState) {
        if (catalogue.DurationHours > 0) Refuse(messages::kSteadyStateDuration);
        RunSteadyState(inputs, numbers, catalogue, project, limits, threads, solves, observer);
        return;
    }

    if (catalogue.DurationHours == 0) Refuse(messages::kExtendedPeriodDuration);
    const TrialContext context{project.parsed_network(), catalogue, limits, nullptr, &solves};
    if (inputs.option == ExtendedPeriodOption::FindDuration) {
        const float required_flow = RequiredFlow(inputs);
        LeaveTrialReportFile();
        WriteResults(inputs.output_file, [&](files::RecordFileWriter& results) {
            DurationSearch(context, required_flow, threads, results, observer);
        });
        return;
    }

    if (inputs.required_time.empty() || !(files::LeadingNumberValue(inputs.required_time) > 0)) {
        Refuse(messages::kEnterRequiredTime);
    }
    const float required_time =
        NumberOrRefuse(inputs.required_time, inputs.locale, messages::kRequiredTimeNumber);
    if (!(required_time > 0)) Refuse(messages::kEnterRequiredTime);
    const FlowSearchSettings settings{required_time, numbers.maximal_flow, numbers.flow_interval,
                                      inputs.search};
    LeaveTrialReportFile();
    WriteResults(inputs.output_file, [&](files::RecordFileWriter& results) {
        FlowSearch(context, settings, threads, results, observer);
    });
}

void Run(const RunInputs& inputs, SolveCount& solves, RunObserver& observer) {
    CheckPresence(inputs);
    observer.SetBusy(true);
    const CommonNumbers numbers = ReadCommonNumbers(inputs);
    const Constraints constraints = ReadConstraints(inputs);

    network::NetworkCatalogue catalogue;
    toolkit::Project project;
    OpenCatalogue(catalogue, project, std::string(files::TrimBlanks(inputs.inp_path)));
    if (catalogue.JunctionCount < 1) Refuse(messages::kNoJunctions);

    UnknownConstraintIds unknown;
    const JunctionLimits limits =
        MakeJunctionLimits(catalogue, numbers.minimal_pressure, constraints.min_pressures,
                           constraints.excluded_ids, unknown);
    if (!unknown.empty()) {
        observer.ShowMessage(MessageKind::Notice, messages::UnknownConstraintIds(
                                                      unknown.min_pressure, unknown.excluded));
    }
    observer.SetProgressRange(0, catalogue.JunctionCount);

    RunSearch(inputs, numbers, catalogue, project, limits, solves, observer);

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

RunResult Ended(MessageKind kind, std::string message, RunObserver& observer) {
    observer.ShowMessage(kind, message);
    return {kind == MessageKind::Refusal ? RunStatus::Refused : RunStatus::Failed,
            std::move(message)};
}

}  // namespace

RunResult RunFireFlow(const RunInputs& inputs, RunObserver& observer) {
    const auto started = std::chrono::steady_clock::now();
    SolveCount solves;
    RunResult result;
    try {
        Run(inputs, solves, observer);
    } catch (const RunEnded& ended) {
        result = Ended(ended.kind(), ended.what(), observer);
    } catch (const std::exception& error) {
        result = Ended(MessageKind::Failure, error.what(), observer);
    }
    observer.SetBusy(false);
    result.solves = solves.solves();
    result.iterations = solves.iterations();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace hydrosk::analysis
