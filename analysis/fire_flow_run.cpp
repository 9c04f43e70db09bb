#include "analysis/fire_flow_run.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "analysis/available_flow_search.h"
#include "analysis/design_flow_search.h"
#include "analysis/extended_period_search.h"
#include "analysis/fire_groups.h"
#include "analysis/ordered_rows.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "analysis/steady_state_search.h"
#include "analysis/stop_poll.h"
#include "analysis/trial_grid.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/record_layout.h"
#include "files/results_schema.h"
#include "files/settings_file.h"
#include "network/id_map.h"
#include "network/net_load.h"
#include "network/network_map.h"
#include "toolkit/codes.h"
#include "toolkit/destroy_apart.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

// The binary output file that goes with a report file, relative to the current directory; the
// toolkit writes none, but refuses an INP file of that name.
constexpr const char* kOutputFile = "out.dat";

void Refuse(std::string_view message) {
    throw RunEnded(MessageKind::Refusal, message);
}

// The refusal of an INP file that the toolkit could not open, with its input errors.
class InpRefused : public RunEnded {
public:
    InpRefused(int code, std::vector<toolkit::InputError> errors, std::string_view hint)
        : RunEnded(MessageKind::Refusal, messages::CouldNotOpenInp(code, errors, hint)),
          code_(code),
          errors_(std::move(errors)) {}
    int code() const noexcept { return code_; }
    const std::vector<toolkit::InputError>& errors() const noexcept { return errors_; }

private:
    int code_;
    std::vector<toolkit::InputError> errors_;
};

// A front end's refusal of one of its texts, shown where the run comes to that text.
void RefuseInputAt(const RunSettings& settings, RefusalPoint point) {
    if (settings.refusal && settings.refusal->at == point) Refuse(settings.refusal->message);
}

// The trial flows of the stepped searches must get from 0 to the maximal flow.
void CheckTrialFlows(float maximal_flow, float flow_interval) {
    if (!(flow_interval > 0)) Refuse(messages::kFlowIntervalPositive);
    if (!TrialFlowsEnd(maximal_flow, flow_interval)) Refuse(messages::kFlowIntervalTooSmall);
}

void CheckNumbers(const RunSettings& settings) {
    if (const auto* steady = std::get_if<SteadyRun>(&settings.mode)) {
        CheckTrialFlows(steady->maximal_flow, steady->flow_interval);
    } else if (const auto* flow = std::get_if<FlowRun>(&settings.mode)) {
        CheckTrialFlows(flow->maximal_flow, flow->flow_interval);
    }
}

struct Constraints {
    std::vector<files::JunctionPressure> min_pressures;
    std::vector<std::string> excluded_ids;
};

Constraints ReadConstraints(const RunSettings& settings) {
    if (settings.constraints) {
        return {settings.constraints->min_pressures, settings.constraints->excluded_ids};
    }
    const std::filesystem::path& directory = settings.constraints_directory;
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
                   const std::string& inp_path, const RunSettings& settings,
                   toolkit::StopRequest stop) {
    const std::string& report = settings.report_file;
    network::ResetNetwork(catalogue);
    int code = network::OpenNetwork(catalogue, project, inp_path, report,
                                    report.empty() ? "" : kOutputFile, stop);
    const bool scratch_failed = code == toolkit::codes::kCannotOpenReport ||
                                code == toolkit::codes::kCannotOpenOutput ||
                                code == toolkit::codes::kCannotWriteReport;
    if (scratch_failed && settings.report_required) {
        throw RunEnded(MessageKind::Failure, messages::ReportFileFailure(report, code));
    }
    if (scratch_failed) {
        (void)project.close();  // closing a project that failed to open has nothing to report
        network::ResetNetwork(catalogue);
        code = network::OpenNetwork(catalogue, project, inp_path, "", "", stop);
    }
    if (code == toolkit::codes::kInsufficientMemory) throw std::bad_alloc();
    if (code != 0) throw InpRefused(code, project.input_errors(), messages::InpFileHint(inp_path));
}

// The trials' report file is left in the current directory, as the toolkit leaves it; the
// trials themselves never read the INP file again, so it stays empty. The toolkit refuses a
// report file that is the INP file (EPANET's 301), which ends the run as a trial that cannot
// open its network.
void LeaveTrialReportFile(const RunSettings& settings) {
    const std::string& name = settings.trial_report_file;
    if (name.empty()) return;
    const std::string inp_path = settings.inp_file.string();
    std::error_code ignored;
    if (name == inp_path || std::filesystem::equivalent(name, inp_path, ignored)) {
        Refuse(messages::kProblemInInp);
    }
    std::ofstream scratch(name, std::ios::trunc);  // failure is of no concern
}

// Runs a search into the results file (none for an empty path) and the observer. When the
// search ends the run early with a failure of its own, the rows it completed are kept: the file
// then holds the header and every completed row. When the run is stopped from outside (or
// memory runs out), the results file stays as it was and those rows go beside it.
template <typename Search>
void WriteResults(const std::filesystem::path& file, RunObserver& observer,
                  std::string_view out_of_memory, Search&& search) {
    std::optional<files::RecordFileWriter> results;
    int rows = -1;  // the header is not a row
    const auto stopped = [&](std::string_view message) {
        std::string text(message);
        if (results) {
            const std::filesystem::path partial = PartialResultsFile(file);
            try {
                results->CommitAs(partial);
                text += "\n" + messages::RowsKeptApart(std::max(rows, 0), partial, file);
            } catch (const files::FileError& error) {
                text += std::string("\n") + error.what();
            }
        }
        return RunStopped(text);
    };
    try {
        if (!file.empty()) results.emplace(file);
        const RecordWrite write = [&](const files::Record& record) {
            if (results) results->Write(record);
            ++rows;
            observer.ResultsRecord(record);
        };
        try {
            std::forward<Search>(search)(write);
        } catch (const RunStopped& ended) {
            throw stopped(ended.what());
        } catch (const std::bad_alloc&) {
            throw stopped(out_of_memory);
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

// The available flow's settings: a tolerance that the flows can be written at.
AvailableFlowSettings AvailableFlowInputs(const AvailableFlowRun& run) {
    if (run.maximal_flow < 0) Refuse(messages::kMaximalFlowNotNegative);
    // A thousandth of the maximal flow, formed in double precision; with a maximal flow of 0
    // only the flow 0 is tried, and any tolerance serves.
    double tolerance = run.maximal_flow > 0 ? run.maximal_flow / 1000.0 : 1.0;
    if (run.tolerance) {
        tolerance = *run.tolerance;
        if (!(tolerance > 0)) Refuse(messages::kTolerancePositive);
    }
    if (!AvailableFlowGrid::Make(run.maximal_flow, tolerance)) {
        Refuse(run.tolerance ? messages::kToleranceTooSmall : messages::kMaximalFlowTooLarge);
    }
    AvailableFlowSettings settings;
    settings.maximal_flow = run.maximal_flow;
    settings.tolerance = tolerance;
    return settings;
}

// A junction's ID as a list gives it: blanks trimmed, as NoCheck.txt's.
std::string ListedId(const std::string& id) {
    return std::string(files::TrimBlanks(id));
}

// The study's times and limit, checked against the INP's duration.
void CheckStudy(const StudyOptions& study, const toolkit::Project& project,
                const network::NetworkCatalogue& catalogue) {
    const FireStudy& fire = study.fire;
    if (!(fire.demand_time >= 0) || !(fire.fire_duration >= 0)) {
        Refuse(messages::kStudyTimesNotNegative);
    }
    if (fire.max_velocity && !(*fire.max_velocity > 0)) Refuse(messages::kMaxVelocityPositive);
    long duration = 0;                                    // s
    (void)project.get_time_param(EN_DURATION, duration);  // the project is open
    if ((fire.demand_time + fire.fire_duration) * 3600.0 > static_cast<double>(duration)) {
        Refuse(messages::FireAfterDuration(duration));
    }
    if (fire.demand_time + fire.fire_duration > 0 && catalogue.HydraulicStep <= 0) {
        Refuse(messages::kExtendedPeriodStep);
    }
}

// Each junction's required flow by position, from "ID",flow records; IDs that are not
// junctions go to `unknown`.
std::vector<std::optional<float>> RequiredFlowsByPosition(
    const network::NetworkCatalogue& catalogue, const StudyOptions& study,
    std::vector<std::string>& unknown) {
    if (!study.required_flows) return {};
    std::vector<std::optional<float>> flows(static_cast<std::size_t>(catalogue.JunctionCount) + 1);
    for (const auto& entry : *study.required_flows) {
        const std::string id = ListedId(entry.id);
        if (const auto index = catalogue.Junctions.find(id)) {
            flows[static_cast<std::size_t>(*index)] = entry.pressure;
        } else if (std::find(unknown.begin(), unknown.end(), id) == unknown.end()) {
            unknown.push_back(id);
        }
    }
    return flows;
}

// Each group's required flow by row, from "NAME",flow records (a later record for the same
// group wins, as for junctions); names that are no group's go to `unknown`.
std::vector<std::optional<float>> RequiredFlowsByGroup(std::span<const TrialGroup> groups,
                                                       const StudyOptions& study,
                                                       std::vector<std::string>& unknown) {
    if (!study.required_flows) return {};
    network::IdMap names;
    for (std::size_t row = 1; row <= groups.size(); ++row) {
        names.add(ListedId(groups[row - 1].name), static_cast<int>(row));
    }
    std::vector<std::optional<float>> flows(groups.size() + 1);
    for (const auto& entry : *study.required_flows) {
        const std::string id = ListedId(entry.id);
        if (const auto row = names.find(id)) {
            flows[static_cast<std::size_t>(*row)] = entry.pressure;
        } else if (std::find(unknown.begin(), unknown.end(), id) == unknown.end()) {
            unknown.push_back(id);
        }
    }
    return flows;
}

// The run's fire groups with their members' positions; a groups file that cannot be taken
// refuses the run.
std::vector<TrialGroup> TrialGroups(const RunSettings& settings, const PreparedSearch& search,
                                    RunObserver& observer) {
    FormedGroups formed;
    try {
        formed = FormFireGroups(*settings.fire_groups, *search.project.parsed_network());
    } catch (const files::FileError& error) {
        Refuse(error.what());
    }
    if (const std::string notice = WithoutCoordinatesNotice(formed); !notice.empty()) {
        observer.ShowMessage(MessageKind::Notice, notice);
    }
    std::vector<TrialGroup> groups;
    groups.reserve(formed.groups.size());
    for (files::FireGroup& group : formed.groups) {
        TrialGroup trial{std::move(group.name), {}};
        // Every member was found a junction of the network.
        for (const std::string& member : group.members) {
            trial.positions.push_back(search.catalogue.Junctions.find(member).value_or(0));
        }
        groups.push_back(std::move(trial));
    }
    return groups;
}

// The search of a steady-state mode: its settings, header and workers.
struct SteadyStatePreparer {
    PreparedSearch& search;
    SolveCount* solves;
    int lanes;
    std::vector<std::optional<float>> required_flows;

    void operator()(const SteadyRun& run) const {
        auto& settings = search.settings.emplace<SteadyStateSettings>(
            SteadyStateSettings{run.maximal_flow, run.flow_interval, run.search, solves, lanes});
        search.header = files::HeaderRecord(files::ResultsKind::SteadyState);
        search.workers = SteadyStateWorkers(search.project.parsed_network(), search.catalogue,
                                            search.limits, settings);
    }
    void operator()(const AvailableFlowRun& run) const {
        auto& settings = search.settings.emplace<AvailableFlowSettings>(AvailableFlowInputs(run));
        settings.solves = solves;
        settings.study = run.study.fire;
        settings.study_layout = run.study.needs_study_layout();
        settings.required_flows = required_flows;
        settings.lanes = lanes;
        settings.warm_starts = run.warm_starts;
        settings.groups = search.groups;
        search.study = run.study.fire;
        search.header =
            files::HeaderRecord(files::ResultsKind::AvailableFlow, settings.study_layout);
        search.workers = AvailableFlowWorkers(search.project.parsed_network(), search.catalogue,
                                              search.limits, settings);
    }
    void operator()(const DesignFlowRun& run) const {
        auto& settings = search.settings.emplace<DesignFlowSettings>(DesignFlowSettings{
            run.required_flow, solves, run.study.fire, run.study.needs_study_layout(),
            required_flows, lanes, search.groups});
        search.study = run.study.fire;
        search.header = files::HeaderRecord(files::ResultsKind::DesignFlow, settings.study_layout);
        search.workers = DesignFlowWorkers(search.project.parsed_network(), search.catalogue,
                                           search.limits, settings);
    }
    void operator()(const DurationRun&) const {}
    void operator()(const FlowRun&) const {}
};

// Bisection's rows are the linear search's only where pressures fall steadily with the flow.
void NoticeBisection(const RunSettings& settings, const PreparedSearch& search,
                     RunObserver& observer) {
    SearchMethod method = SearchMethod::Linear;
    if (const auto* steady = std::get_if<SteadyRun>(&settings.mode)) method = steady->search;
    if (const auto* flow = std::get_if<FlowRun>(&settings.mode)) method = flow->search;
    if (method == SearchMethod::Bisection &&
        ConfigurationCanChangeWithFlow(*search.project.parsed_network())) {
        observer.ShowMessage(MessageKind::Notice, std::string(messages::kBisectionMayDiffer));
    }
}

// The search's own settings, once the network is checked for the mode, and its workers.
void PrepareSearchOfMode(const RunSettings& settings, PreparedSearch& search, SolveCount* solves,
                         std::vector<std::optional<float>> required_flows, RunObserver& observer) {
    const network::NetworkCatalogue& catalogue = search.catalogue;
    if (!IsExtendedPeriod(ModeOf(settings.mode))) {
        const StudyOptions* study = nullptr;
        if (const auto* available = std::get_if<AvailableFlowRun>(&settings.mode)) {
            study = &available->study;
        } else if (const auto* design = std::get_if<DesignFlowRun>(&settings.mode)) {
            study = &design->study;
        }
        if (study == nullptr && catalogue.DurationHours > 0) {
            Refuse(messages::kSteadyStateDuration);
        }
        if (study != nullptr) CheckStudy(*study, search.project, catalogue);
        RefuseInputAt(settings, RefusalPoint::ModeInputs);
        std::visit(SteadyStatePreparer{search, solves, settings.parallelism.lanes,
                                       std::move(required_flows)},
                   settings.mode);
        return;
    }

    if (catalogue.DurationHours == 0) Refuse(messages::kExtendedPeriodDuration);
    if (catalogue.HydraulicStep <= 0) Refuse(messages::kExtendedPeriodStep);
    search.trials.emplace(
        TrialContext{search.project.parsed_network(), catalogue, search.limits, nullptr, solves});
    RefuseInputAt(settings, RefusalPoint::ModeInputs);
    if (const auto* duration = std::get_if<DurationRun>(&settings.mode)) {
        LeaveTrialReportFile(settings);
        search.header = files::HeaderRecord(files::ResultsKind::Duration);
        search.workers = DurationWorkers(*search.trials, duration->required_flow);
        return;
    }

    const auto& run = std::get<FlowRun>(settings.mode);
    if (!(run.required_time > 0)) Refuse(messages::kEnterRequiredTime);
    const long duration = search.project.parsed_network()->times.duration;
    if (settings.notice_capped_time && run.required_time * 3600.0F > static_cast<float>(duration)) {
        observer.ShowMessage(MessageKind::Notice,
                             messages::RequiredTimeCapped(run.required_time, duration));
    }
    auto& flow = search.settings.emplace<FlowSearchSettings>(
        FlowSearchSettings{run.required_time, run.maximal_flow, run.flow_interval, run.search});
    LeaveTrialReportFile(settings);
    search.header = files::HeaderRecord(files::ResultsKind::Flow);
    search.workers = FlowWorkers(*search.trials, flow);
}

// A stop asked for while the search is prepared ends the run before its search.
void StopIfRequested(RunObserver& observer) {
    if (observer.StopRequested()) throw RunStopped(messages::kRunInterrupted);
}

// `stop` is looked at inside the reading of the INP file and every solve of the project; it
// must outlive the search's project, or be taken from it before it ends.
void Prepare(const RunSettings& settings, RunObserver& observer, PreparedSearch& search,
             SolveCount* solves, toolkit::StopRequest stop, RunResult* result = nullptr) {
    RefuseInputAt(settings, RefusalPoint::Start);
    if (settings.inp_file.empty()) Refuse(messages::kEnterInpFile);
    observer.SetBusy(true);
    RefuseInputAt(settings, RefusalPoint::Numbers);
    CheckNumbers(settings);
    if (settings.fire_groups) {
        const RunMode mode = ModeOf(settings.mode);
        if (mode != RunMode::Available && mode != RunMode::Design) {
            Refuse(messages::kFireGroupsModes);
        }
        if (settings.hydrants) Refuse(messages::kFireGroupsWithHydrants);
    }
    const Constraints constraints = ReadConstraints(settings);
    StopIfRequested(observer);

    search.project.set_stop_request(stop);
    OpenCatalogue(search.catalogue, search.project, settings.inp_file.string(), settings, stop);
    StopIfRequested(observer);
    if (result != nullptr) {
        const network::UnitNames units = network::UnitNamesOf(*search.project.parsed_network());
        result->flow_units = units.flow;
        result->pressure_units = units.pressure;
    }
    if (search.catalogue.JunctionCount < 1) Refuse(messages::kNoJunctions);

    UnknownConstraintIds unknown;
    search.limits =
        MakeJunctionLimits(search.catalogue, settings.minimal_pressure, constraints.min_pressures,
                           constraints.excluded_ids, unknown);

    // The check junctions: the hydrants given, in catalogue order, or every junction.
    std::vector<std::string> unknown_hydrants;
    const int count = search.catalogue.JunctionCount;
    if (settings.hydrants) {
        std::vector<unsigned char> listed(static_cast<std::size_t>(count) + 1, 0);
        for (const std::string& entry : *settings.hydrants) {
            const std::string id = ListedId(entry);
            if (const auto position = search.catalogue.Junctions.find(id)) {
                listed[static_cast<std::size_t>(*position)] = 1;
            } else if (std::find(unknown_hydrants.begin(), unknown_hydrants.end(), id) ==
                       unknown_hydrants.end()) {
                unknown_hydrants.push_back(id);
            }
        }
        for (int k = 1; k <= count; ++k) {
            if (listed[static_cast<std::size_t>(k)] != 0) search.row_positions.push_back(k);
        }
    } else if (settings.fire_groups) {
        search.groups = TrialGroups(settings, search, observer);
    } else {
        for (int k = 1; k <= count; ++k) search.row_positions.push_back(k);
    }
    search.rows =
        static_cast<int>(settings.fire_groups ? search.groups.size() : search.row_positions.size());

    std::vector<std::string> unknown_required;
    std::vector<std::optional<float>> required_flows;
    const StudyOptions* study = nullptr;
    if (const auto* available = std::get_if<AvailableFlowRun>(&settings.mode)) {
        study = &available->study;
    } else if (const auto* design = std::get_if<DesignFlowRun>(&settings.mode)) {
        study = &design->study;
    }
    if (study != nullptr) {
        required_flows = settings.fire_groups
                             ? RequiredFlowsByGroup(search.groups, *study, unknown_required)
                             : RequiredFlowsByPosition(search.catalogue, *study, unknown_required);
    }
    if (unknown_hydrants.empty() && unknown_required.empty()) {
        if (!unknown.empty()) {
            observer.ShowMessage(MessageKind::Notice, messages::UnknownConstraintIds(
                                                          unknown.min_pressure, unknown.excluded));
        }
    } else {
        const std::vector<messages::UnknownIdList> lists{
            {std::string(files::kJunctionMinPressuresFileName), unknown.min_pressure},
            {std::string(files::kExcludedJunctionsFileName), unknown.excluded},
            {"hydrants", unknown_hydrants},
            {settings.fire_groups ? "required flows (names of no fire group)" : "required flows",
             unknown_required}};
        observer.ShowMessage(MessageKind::Notice, messages::UnknownJunctionIds(lists));
    }
    StopIfRequested(observer);
    observer.SetProgressRange(0, search.rows);
    PrepareSearchOfMode(settings, search, solves, std::move(required_flows), observer);
    if (settings.hydrants) search.workers = SelectedRows(search.workers, search.row_positions);
    NoticeBisection(settings, search, observer);
    StopIfRequested(observer);
}

// The junctions (and pipes) of a study that fail without any fire, by ID.
void SolveBaseline(const PreparedSearch& search, SolveCount* solves, toolkit::StopRequest stop,
                   std::vector<std::string>& junctions, std::vector<std::string>& pipes,
                   std::vector<float>* pressures = nullptr) {
    StudyTrials trials(search.project.parsed_network(), search.catalogue, *search.study, solves,
                       stop);
    StudyTrials::Baseline baseline = trials.WithoutFire(search.limits);
    if (pressures) *pressures = std::move(baseline.pressures);
    for (const int position : baseline.junctions) {
        junctions.push_back(search.catalogue.JunctionIDs[static_cast<std::size_t>(position)]);
    }
    for (const int index : baseline.pipes) {
        std::string id;
        (void)search.project.get_link_id(index, id);  // a pipe of the open project
        pipes.push_back(id);
    }
}

// Before the first trial of a study: the junctions (and pipes) that fail without any fire.
void ShowBaseline(const PreparedSearch& search, RunObserver& observer, SolveCount* solves,
                  toolkit::StopRequest stop) {
    if (!search.study) return;
    std::vector<std::string> junctions;
    std::vector<std::string> pipes;
    SolveBaseline(search, solves, stop, junctions, pipes);
    if (junctions.empty() && pipes.empty()) return;
    observer.ShowMessage(MessageKind::Notice, messages::BaselineFailures(junctions, pipes));
}

void RunSearch(const RunSettings& settings, SolveCount& solves, RunObserver& observer,
               RunResult& result, toolkit::StopRequest stop, PreparedSearch& search) {
    try {
        Prepare(settings, observer, search, &solves, stop, &result);
        ShowBaseline(search, observer, &solves, stop);
    } catch (const toolkit::SolveStopped&) {
        throw RunStopped(messages::kRunInterrupted);
    }
    StopIfRequested(observer);
    UnsolvedSummary unsolved;
    const int workers = WorkerThreadCount(settings.parallelism.threads, search.rows);
    const std::string out_of_memory = messages::OutOfMemory(workers);
    WriteResults(settings.output_file, observer, out_of_memory, [&](const RecordWrite& write) {
        write(search.header);
        unsolved =
            WriteRowsInOrder(search.rows, settings.parallelism, search.workers, write, observer);
    });
    // Under "Unbalanced STOP" the toolkit ends an extended-period simulation at a step that
    // does not converge: the searches over time and a study's steps up to and during the fire.
    const bool over_time =
        search.trials.has_value() ||
        (search.study && (search.study->demand_time > 0 || search.study->fire_duration > 0));
    const bool halted =
        over_time && search.project.parsed_network()->options.unbalanced_extra_trials == -1;
    (void)search.project.close();  // the results are written; a close has nothing to report
    if (unsolved.trials > 0) {
        std::vector<std::string> ids;
        const bool groups = !search.groups.empty();
        for (const int row : unsolved.positions) {
            const auto at = static_cast<std::size_t>(row - 1);
            if (groups) {
                ids.push_back(search.groups[at].name);
                continue;
            }
            const int position = search.row_positions[at];
            ids.push_back(search.catalogue.JunctionIDs[static_cast<std::size_t>(position)]);
        }
        observer.ShowMessage(
            MessageKind::Notice,
            messages::UnsolvedTrials(unsolved.trials, unsolved.first_code, ids, halted, groups));
    }

    if (observer.AskYesNo(messages::CompletionQuestion(settings.output_file))) {
        observer.OpenViewer(settings.output_file);
    }
    if (const auto& kept = settings.kept_settings) {
        try {
            files::WriteSettings(kept->directory, kept->inp_directory, settings.minimal_pressure,
                                 kept->maximal_flow, kept->flow_interval, kept->required_flow,
                                 kept->required_time);
        } catch (const files::FileError& error) {
            throw RunEnded(MessageKind::Failure, error.what());
        }
    }
}

void Run(const RunSettings& settings, SolveCount& solves, RunObserver& observer,
         RunResult& result) {
    const StopPoll stop(observer);
    auto search = std::make_unique<PreparedSearch>();
    try {
        RunSearch(settings, solves, observer, result, stop.request(), *search);
    } catch (const RunStopped&) {
        // A stopped run ends without waiting for its network's memory to be freed.
        toolkit::DestroyApart(std::move(search));
        throw;
    }
}

RunResult Ended(MessageKind kind, std::string message, RunObserver& observer, RunResult result) {
    observer.ShowMessage(kind, message);
    result.status = kind == MessageKind::Refusal ? RunStatus::Refused : RunStatus::Failed;
    result.message = std::move(message);
    return result;
}

}  // namespace

std::unique_ptr<PreparedSearch> PrepareSearch(const RunSettings& settings, RunObserver& observer) {
    auto search = std::make_unique<PreparedSearch>();
    {
        const StopPoll stop(observer);
        try {
            Prepare(settings, observer, *search, &search->solves, stop.request());
        } catch (const toolkit::SolveStopped&) {
            throw RunStopped(messages::kRunInterrupted);
        }
        search->project.set_stop_request(nullptr);  // the poll ends here
    }
    return search;
}

BaselineResult FindBaseline(const RunSettings& settings, RunObserver& observer) {
    BaselineResult baseline;
    try {
        const StopPoll stop(observer);
        PreparedSearch search;
        try {
            Prepare(settings, observer, search, nullptr, stop.request(), &baseline.run);
            if (!search.study) throw RunEnded(MessageKind::Refusal, "no fire-flow study");
            SolveBaseline(search, nullptr, stop.request(), baseline.junctions, baseline.pipes,
                          &baseline.pressures);
        } catch (const toolkit::SolveStopped&) {
            throw RunStopped(messages::kRunInterrupted);
        }
    } catch (const RunEnded& ended) {
        baseline.run = Ended(ended.kind(), ended.what(), observer, std::move(baseline.run));
    } catch (const std::exception& error) {
        baseline.run = Ended(MessageKind::Failure, error.what(), observer, std::move(baseline.run));
    }
    observer.SetBusy(false);
    return baseline;
}

RunResult RunFireFlow(const RunSettings& settings, RunObserver& observer) {
    const auto started = std::chrono::steady_clock::now();
    SolveCount solves;
    RunResult result;
    try {
        Run(settings, solves, observer, result);
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
