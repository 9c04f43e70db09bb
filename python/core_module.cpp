// hydrosk._core: the fire-flow run and the hydraulic simulation for Python. Each runs on a
// thread of its own while the calling Python thread waits without the interpreter lock,
// serving the progress callback and Ctrl+C. The Python package (hydrosk/__init__.py) checks
// the arguments and turns what is returned here into DataFrames and exceptions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/fire_flow_run.h"
#include "analysis/fire_groups.h"
#include "analysis/results_geojson.h"
#include "analysis/run_messages.h"
#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/record_layout.h"
#include "files/results_file.h"
#include "network/network_map.h"
#include "toolkit/codes.h"
#include "toolkit/error_messages.h"
#include "toolkit/project.h"

namespace py = pybind11;

namespace hydrosk::python {
namespace {

using Clock = std::chrono::steady_clock;

// How often the waiting Python thread looks at Ctrl+C, and the shortest time between two
// calls of the progress callback.
constexpr std::chrono::milliseconds kPoll{50};
constexpr std::chrono::milliseconds kProgressInterval{100};

// What the waiting Python thread and the work on its own thread share.
class WorkControl {
public:
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    std::atomic<int> total{0};

    void Finish() {
        {
            const std::lock_guard lock(mutex_);
            finished_ = true;
        }
        finished_changed_.notify_all();
    }

    bool WaitFinished(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return finished_changed_.wait_for(lock, timeout, [this] { return finished_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_changed_;
    bool finished_ = false;
};

// Thrown inside a simulation that was asked to stop.
class WorkStopped : public std::exception {
public:
    const char* what() const noexcept override { return "stopped"; }
};

// Runs `work` on a thread of its own. The calling thread holds the interpreter lock only
// between waits: for Ctrl+C (PyErr_CheckSignals, effective on Python's main thread) and for
// `progress(done, total)`, called at most once per kProgressInterval and once more at the end
// of completed work. A Python exception (KeyboardInterrupt, or one raised by the callback)
// stops the work and is raised once the work has ended; so is an exception of the work.
template <typename Work>
void RunBesidePython(WorkControl& control, const py::object& progress, Work&& work) {
    std::exception_ptr work_failure;
    std::thread thread([&] {
        try {
            work();
        } catch (...) {
            work_failure = std::current_exception();
        }
        control.Finish();
    });
    // The thread is joined on every path, the lock released meanwhile.
    struct Joiner {
        WorkControl& control;
        std::thread& thread;
        ~Joiner() {
            if (!thread.joinable()) return;
            control.stop.store(true);
            const py::gil_scoped_release release;
            thread.join();
        }
    } joiner{control, thread};

    std::optional<py::error_already_set> python_error;
    auto last_call = Clock::now() - kProgressInterval;
    int last_done = -1;
    for (;;) {
        bool finished = false;
        {
            const py::gil_scoped_release release;
            finished = control.WaitFinished(kPoll);
        }
        if (finished) break;
        if (python_error) continue;  // waiting for the work to notice the stop
        if (PyErr_CheckSignals() != 0) {
            python_error.emplace();
            control.stop.store(true);
            continue;
        }
        // Nothing is told before the run knows its number of junctions.
        const int done = control.done.load();
        const int total = control.total.load();
        if (!progress.is_none() && total > 0 && done != last_done &&
            Clock::now() - last_call >= kProgressInterval) {
            try {
                progress(done, total);
            } catch (py::error_already_set& error) {
                python_error = std::move(error);
                control.stop.store(true);
            }
            last_call = Clock::now();
            last_done = done;
        }
    }
    {
        const py::gil_scoped_release release;
        thread.join();
    }
    if (python_error) throw std::move(*python_error);
    if (work_failure) std::rethrow_exception(work_failure);
    const int total = control.total.load();
    if (!progress.is_none() && total > 0 && control.done.load() == total && last_done != total) {
        const auto wait = kProgressInterval - (Clock::now() - last_call);
        if (wait > Clock::duration::zero()) {
            const py::gil_scoped_release release;
            std::this_thread::sleep_for(wait);
        }
        progress(total, total);
    }
}

// The run's messages, progress and records, kept for the Python thread. Every call comes from
// the run's thread; the Python thread reads the progress atomics during the run and the rest
// after it.
class ModuleObserver final : public analysis::RunObserver {
public:
    explicit ModuleObserver(WorkControl& control) : control_(control) {}

    void ShowMessage(analysis::MessageKind kind, const std::string& text) override {
        if (kind == analysis::MessageKind::Notice) notices.push_back(text);
    }
    void SetProgressRange(int minimum, int maximum) override {
        minimum_ = minimum;
        control_.total.store(maximum - minimum);
    }
    void SetProgressValue(int value) override { control_.done.store(value - minimum_); }
    void ServeEvents() override {
        if (control_.stop.load()) {
            throw analysis::RunStopped(analysis::messages::kRunInterrupted);
        }
    }
    bool StopRequested() override { return control_.stop.load(); }
    void ResultsRecord(const files::Record& record) override {
        records += files::FormatRecord(record);
    }

    std::vector<std::string> notices;
    std::string records;  // in the results file's layout

private:
    WorkControl& control_;
    int minimum_ = 0;
};

// A fire-flow run as the Python package asks for it: numbers as numbers, the mode and the
// search method by name (checked by the package), the constraints as lists.
struct FireFlowRequest {
    std::string inp;
    std::string mode;  // steady, available, design, duration or flow
    double min_pressure = 0;
    double max_flow = 0;
    double flow_interval = 0;
    double required_flow = 0;
    double required_time = 0;
    std::optional<double> tolerance;
    std::string search;  // linear or bisection
    int threads = 0;     // 0: every hardware thread
    std::vector<std::string> no_check;
    std::vector<std::pair<std::string, double>> min_pressures;
    std::string results_path;  // empty: no results file
    // A fire-flow study (available and design modes); hours, "replace" or "add".
    double demand_time = 0;
    double fire_duration = 0;
    std::string fire_demand = "replace";
    std::optional<double> max_velocity;
    std::optional<std::vector<std::pair<std::string, double>>> required_flows;
    std::optional<std::vector<std::string>> hydrants;  // every mode
    // Fire groups (available and design modes, never with hydrants): a groups file, or every
    // junction with its nearest junctions within a distance in map units, up to a group size.
    std::optional<std::string> fire_groups;
    std::optional<double> fire_groups_near;
    int group_size = analysis::kDefaultGroupSize;
};

analysis::StudyOptions StudyOf(const FireFlowRequest& request) {
    analysis::StudyOptions study;
    study.fire.demand_time = request.demand_time;
    study.fire.fire_duration = request.fire_duration;
    // The package has checked the name against its FIRE_DEMANDS.
    study.fire.fire_demand = analysis::FireDemandNames().at(request.fire_demand);
    if (request.max_velocity) study.fire.max_velocity = static_cast<float>(*request.max_velocity);
    if (request.required_flows) {
        study.required_flows.emplace();
        for (const auto& [id, flow] : *request.required_flows) {
            study.required_flows->push_back({id, static_cast<float>(flow)});
        }
    }
    return study;
}

// Where fire groups come from: a groups file or the map; the package has checked that at most
// one source is given, a distance above 0 and a size of at least 1.
std::optional<analysis::FireGroupSource> GroupSourceOf(const std::optional<std::string>& file,
                                                       std::optional<double> near, int size) {
    if (file) return analysis::FireGroupSource(std::filesystem::path(*file));
    if (near) return analysis::FireGroupSource(analysis::NearGroups{*near, size});
    return std::nullopt;
}

// The one place where the request becomes the run's settings: no file is read beside the INP
// file, no scratch file and no settings file are written.
analysis::RunSettings SettingsOf(const FireFlowRequest& request) {
    analysis::RunSettings settings;
    settings.inp_file = request.inp;
    settings.minimal_pressure = static_cast<float>(request.min_pressure);
    const float max_flow = static_cast<float>(request.max_flow);
    const float interval = static_cast<float>(request.flow_interval);
    // The package has checked both names against its MODES and SEARCHES.
    const analysis::SearchMethod search = analysis::SearchMethodNames().at(request.search);
    switch (analysis::RunModeNames().at(request.mode)) {
        case analysis::RunMode::Steady:
            settings.mode = analysis::SteadyRun{max_flow, interval, search};
            break;
        case analysis::RunMode::Available: {
            analysis::AvailableFlowRun run{max_flow};
            if (request.tolerance) run.tolerance = static_cast<float>(*request.tolerance);
            run.study = StudyOf(request);
            settings.mode = run;
            break;
        }
        case analysis::RunMode::Design:
            settings.mode = analysis::DesignFlowRun{static_cast<float>(request.required_flow),
                                                    StudyOf(request)};
            break;
        case analysis::RunMode::Duration:
            settings.mode = analysis::DurationRun{static_cast<float>(request.required_flow)};
            break;
        case analysis::RunMode::Flow:
            settings.mode = analysis::FlowRun{static_cast<float>(request.required_time), max_flow,
                                              interval, search};
            break;
    }
    analysis::RunSettings::Constraints constraints;
    constraints.excluded_ids = request.no_check;
    for (const auto& [id, pressure] : request.min_pressures) {
        constraints.min_pressures.push_back({id, static_cast<float>(pressure)});
    }
    settings.constraints = std::move(constraints);
    settings.output_file = request.results_path;
    settings.report_file.clear();
    settings.report_required = false;
    settings.trial_report_file.clear();
    settings.parallelism.threads = request.threads;
    settings.hydrants = request.hydrants;
    settings.fire_groups =
        GroupSourceOf(request.fire_groups, request.fire_groups_near, request.group_size);
    return settings;
}

const char* QuantityName(files::Quantity quantity) {
    switch (quantity) {
        case files::Quantity::NodeId:
            return "node";
        case files::Quantity::Flow:
            return "flow";
        case files::Quantity::Pressure:
            return "pressure";
        case files::Quantity::Hours:
            return "hours";
        case files::Quantity::LinkId:
            return "link";
        case files::Quantity::Velocity:
            return "velocity";
        case files::Quantity::Text:
            break;
    }
    return "text";
}

const char* OutcomeName(files::Outcome outcome) {
    switch (outcome) {
        case files::Outcome::Failed:
            return "failed";
        case files::Outcome::MaximalFlowReached:
            return "maximal_flow_reached";
        case files::Outcome::EndOfSimulationReached:
            return "end_of_simulation_reached";
        case files::Outcome::Unsolved:
            return "unsolved";
        case files::Outcome::Passed:
            break;
    }
    return "passed";
}

// Each input error of a refused INP file: its code, section, line number and line, and what
// EPANET's report says of it.
py::list InputErrorsOf(int code, const std::vector<toolkit::InputError>& errors) {
    py::list list;
    for (const toolkit::InputError& error : errors) {
        std::vector<std::string> lines = analysis::messages::InputErrorLines(code, {&error, 1}, 1);
        lines.pop_back();  // the open's own "Error 200: ..." line
        std::string message;
        for (const std::string& line : lines) message += (message.empty() ? "" : "\n") + line;
        list.append(py::dict(py::arg("code") = error.code, py::arg("section") = error.section,
                             py::arg("line") = error.line, py::arg("text") = error.text,
                             py::arg("message") = message));
    }
    return list;
}

// The run's outcome for the package: "status" (completed, refused, failed), "message", the
// input errors of a refused INP file, the notices, the units and, when completed, the results
// as the one results reader reads them.
py::dict RunFireFlow(const FireFlowRequest& request, const py::object& progress) {
    const analysis::RunSettings settings = SettingsOf(request);
    WorkControl control;
    ModuleObserver observer(control);
    analysis::RunResult result;
    RunBesidePython(control, progress, [&] { result = analysis::RunFireFlow(settings, observer); });

    py::dict out;
    out["status"] = result.status == analysis::RunStatus::Completed ? "completed"
                    : result.status == analysis::RunStatus::Refused ? "refused"
                                                                    : "failed";
    out["message"] = result.message;
    out["inp_code"] = result.inp_code;
    out["input_errors"] = InputErrorsOf(result.inp_code, result.input_errors);
    out["notices"] = observer.notices;
    out["flow_units"] = result.flow_units;
    out["pressure_units"] = result.pressure_units;
    out["solves"] = result.solves;
    out["seconds"] = result.seconds;
    if (result.status != analysis::RunStatus::Completed) return out;

    const files::ResultsTable table = files::ParseResults(observer.records);
    const files::UnitNames units{result.flow_units, result.pressure_units};
    py::list columns;
    for (const files::ResultsColumn& column : table.columns) {
        columns.append(py::make_tuple(column.name, QuantityName(column.quantity),
                                      files::UnitOf(column.quantity, units)));
    }
    py::list rows;
    py::list outcomes;
    for (const files::ResultsRow& row : table.rows) {
        py::list cells;
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            const files::ResultsCell& cell = row.cells[i];
            const files::Quantity quantity = table.columns[i].quantity;
            if (quantity == files::Quantity::NodeId || quantity == files::Quantity::Text ||
                quantity == files::Quantity::LinkId) {
                cells.append(cell.text.empty() ? py::object(py::none()) : py::str(cell.text));
            } else {
                cells.append(cell.number ? py::object(py::float_(*cell.number)) : py::none());
            }
        }
        rows.append(std::move(cells));
        outcomes.append(OutcomeName(row.outcome));
    }
    out["columns"] = std::move(columns);
    out["rows"] = std::move(rows);
    out["outcomes"] = std::move(outcomes);
    out["answer_column"] = table.answer_column;
    return out;
}

// Pressures of every node at every hydraulic step, as `hydrosk-cli simulate` gives them.
struct Simulation {
    int refused_code = 0;  // the INP file's open, when refused
    std::vector<toolkit::InputError> input_errors;
    std::string failure;  // a hydraulic error that ended the simulation
    std::vector<std::string> warnings;
    std::vector<std::string> node_ids;
    std::vector<long> times;       // s
    std::vector<double> pressure;  // by time, then node; the network's pressure units
    network::UnitNames units;
};

std::string ToolkitError(int code) {
    return "Error " + std::to_string(code) + ": " + std::string(toolkit::error_message(code));
}

void Simulate(const std::string& inp, WorkControl& control, Simulation& simulation) {
    toolkit::Project project;
    if (const int code = project.open(inp, "", ""); code != 0) {
        simulation.refused_code = code;
        simulation.input_errors = project.input_errors();
        return;
    }
    simulation.units = network::UnitNamesOf(*project.parsed_network());
    // The count of an open project, the IDs of the nodes within it and its duration cannot fail.
    int nodes = 0;
    (void)project.get_count(EN_NODECOUNT, nodes);
    simulation.node_ids.resize(static_cast<std::size_t>(nodes));
    for (int i = 1; i <= nodes; ++i) {
        (void)project.get_node_id(i, simulation.node_ids[static_cast<std::size_t>(i - 1)]);
    }
    long duration = 0;
    (void)project.get_time_param(EN_DURATION, duration);
    control.total.store(static_cast<int>(std::min<long>(duration, 1L << 30)));

    const auto fail = [&](int code) { simulation.failure = ToolkitError(code); };
    if (const int code = project.open_h(); toolkit::codes::IsError(code)) return fail(code);
    if (const int code = project.init_h(EN_NOSAVE); toolkit::codes::IsError(code))
        return fail(code);
    long step = 0;
    do {
        if (control.stop.load()) throw WorkStopped();
        long time = 0;
        const int code = project.run_h(time);
        if (toolkit::codes::IsError(code)) return fail(code);
        if (code > 0) {
            simulation.warnings.push_back("Warning " + std::to_string(code) + " at " +
                                          std::to_string(time) +
                                          " s: " + std::string(toolkit::warning_message(code)));
        }
        simulation.times.push_back(time);
        for (int i = 1; i <= nodes; ++i) {
            double value = 0.0;
            (void)project.get_node_value(i, EN_PRESSURE, value);  // a node of the count
            simulation.pressure.push_back(value);
        }
        control.done.store(static_cast<int>(std::min<long>(time, control.total.load())));
        if (const int next = project.next_h(step); toolkit::codes::IsError(next)) return fail(next);
    } while (step > 0);
    (void)project.close_h();  // every step is kept; closing has nothing to add
    control.done.store(control.total.load());
}

py::dict RunSimulate(const std::string& inp, const py::object& progress) {
    WorkControl control;
    Simulation simulation;
    RunBesidePython(control, progress, [&] { Simulate(inp, control, simulation); });

    py::dict out;
    out["inp_code"] = simulation.refused_code;
    if (simulation.refused_code != 0) {
        std::string message;
        for (const std::string& line :
             analysis::messages::InputErrorLines(simulation.refused_code, simulation.input_errors,
                                                 simulation.input_errors.size())) {
            message += (message.empty() ? "" : "\n") + line;
        }
        out["message"] = message;
        out["input_errors"] = InputErrorsOf(simulation.refused_code, simulation.input_errors);
        return out;
    }
    out["failure"] = simulation.failure;
    out["warnings"] = simulation.warnings;
    out["node_ids"] = simulation.node_ids;
    out["times"] = simulation.times;
    const auto steps = static_cast<py::ssize_t>(simulation.times.size());
    const auto nodes = static_cast<py::ssize_t>(simulation.node_ids.size());
    py::array_t<double> pressure({steps, nodes});
    if (!simulation.pressure.empty()) {
        std::memcpy(pressure.mutable_data(), simulation.pressure.data(),
                    simulation.pressure.size() * sizeof(double));
    }
    out["pressure"] = std::move(pressure);
    out["pressure_units"] = simulation.units.pressure;
    out["flow_units"] = simulation.units.flow;
    return out;
}

// The results file as GeoJSON, by the command line's exporter; an empty `inp` names the
// network the results file belongs to, and the rows of fire groups become their members.
// Gives the warning on rows that do not belong to the network (empty when all do).
std::string ExportGeoJson(const std::string& results, const std::string& inp,
                          const std::string& geojson, const std::optional<std::string>& fire_groups,
                          std::optional<double> fire_groups_near, int group_size) {
    const py::gil_scoped_release release;
    return analysis::ExportResultsGeoJson(
        results, inp.empty() ? analysis::NetworkOfResults(results) : std::filesystem::path(inp),
        geojson, nullptr, GroupSourceOf(fire_groups, fire_groups_near, group_size));
}

}  // namespace
}  // namespace hydrosk::python

PYBIND11_MODULE(_core, module) {
    using namespace hydrosk::python;
    module.doc() = "The compiled core of hydrosk; use the functions of the hydrosk package.";

    py::class_<FireFlowRequest>(module, "FireFlowRequest")
        .def(py::init<>())
        .def_readwrite("inp", &FireFlowRequest::inp)
        .def_readwrite("mode", &FireFlowRequest::mode)
        .def_readwrite("min_pressure", &FireFlowRequest::min_pressure)
        .def_readwrite("max_flow", &FireFlowRequest::max_flow)
        .def_readwrite("flow_interval", &FireFlowRequest::flow_interval)
        .def_readwrite("required_flow", &FireFlowRequest::required_flow)
        .def_readwrite("required_time", &FireFlowRequest::required_time)
        .def_readwrite("tolerance", &FireFlowRequest::tolerance)
        .def_readwrite("search", &FireFlowRequest::search)
        .def_readwrite("threads", &FireFlowRequest::threads)
        .def_readwrite("no_check", &FireFlowRequest::no_check)
        .def_readwrite("min_pressures", &FireFlowRequest::min_pressures)
        .def_readwrite("results_path", &FireFlowRequest::results_path)
        .def_readwrite("demand_time", &FireFlowRequest::demand_time)
        .def_readwrite("fire_duration", &FireFlowRequest::fire_duration)
        .def_readwrite("fire_demand", &FireFlowRequest::fire_demand)
        .def_readwrite("max_velocity", &FireFlowRequest::max_velocity)
        .def_readwrite("required_flows", &FireFlowRequest::required_flows)
        .def_readwrite("hydrants", &FireFlowRequest::hydrants)
        .def_readwrite("fire_groups", &FireFlowRequest::fire_groups)
        .def_readwrite("fire_groups_near", &FireFlowRequest::fire_groups_near)
        .def_readwrite("group_size", &FireFlowRequest::group_size);

    module.def("run_fire_flow", &RunFireFlow, py::arg("request"), py::arg("progress"));
    module.def("simulate", &RunSimulate, py::arg("inp"), py::arg("progress"));
    module.def(
        "read_no_check",
        [](const std::string& path) { return hydrosk::files::ReadExcludedJunctions(path); },
        py::arg("path"));
    module.def(
        "read_min_pressures",
        [](const std::string& path) {
            std::vector<std::pair<std::string, double>> pressures;
            for (const auto& entry : hydrosk::files::ReadJunctionMinPressures(path)) {
                pressures.emplace_back(entry.id, entry.pressure);
            }
            return pressures;
        },
        py::arg("path"));
    module.def("export_geojson", &ExportGeoJson, py::arg("results"), py::arg("inp"),
               py::arg("geojson"), py::arg("fire_groups") = py::none(),
               py::arg("fire_groups_near") = py::none(),
               py::arg("group_size") = hydrosk::analysis::kDefaultGroupSize);

    // Failures of the project's own files and networks become OSError and ValueError.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const hydrosk::files::FileError& error) {
            PyErr_SetString(PyExc_OSError, error.what());
        } catch (const hydrosk::network::NetworkMapError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });
}
