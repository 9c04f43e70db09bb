#include "toolkit/project.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>

#include "toolkit/codes.h"
#include "toolkit/destroy_apart.h"
#include "toolkit/hydraulics/simulation.h"
#include "toolkit/input/reader.h"

namespace hydrosk::toolkit {

namespace {

using namespace codes;

// EPANET compares the names without regard to letter case; the file system is
// asked as well, so that another spelling of the same file (./rep.dat, a link)
// is caught before a report file overwrites the input.
bool same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    const bool same_name =
        a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
        });
    std::error_code ignored;
    return same_name || std::filesystem::equivalent(a, b, ignored);
}

int find_index(const std::unordered_map<std::string, int>& map, std::string_view id) {
    const auto it = map.find(std::string(id));
    return it == map.end() ? 0 : it->second + 1;
}

// The project's own copy of a parsed network, whose values its functions change. Its nodes and
// links are copied a block at a time, watching the stop request; its ID tables stay empty, as
// the IDs never change: they are looked up in the parsed network. Every other member is copied
// whole (a member added to Network is added here; the compiler warns of one left out).
std::unique_ptr<Network> working_copy(const Network& from, StopRequest stop) {
    auto copy = std::make_unique<Network>(Network{from.title,
                                                  from.title_lines,
                                                  {},
                                                  {},
                                                  from.patterns,
                                                  from.curves,
                                                  from.controls,
                                                  from.rules,
                                                  from.options,
                                                  from.times,
                                                  from.energy,
                                                  from.report,
                                                  from.units,
                                                  from.junction_count,
                                                  from.tank_count,
                                                  {},
                                                  {},
                                                  {},
                                                  {}});
    try {
        CopyInto(from.nodes, copy->nodes, stop);
        CopyInto(from.links, copy->links, stop);
    } catch (const SolveStopped&) {
        DestroyApart(std::move(copy));  // what was copied so far
        throw;
    }
    return copy;
}

// A link's EN_VELOCITY in a solved state, in the network's units: 0 for pumps and closed
// links, as EPANET gives it.
double reported_velocity(const Network& network, const HydraulicSystem& system,
                         const HydraulicState& state, int link) {
    if (is_closed(state.status[static_cast<std::size_t>(link)])) return 0.0;
    return link_velocity(system, state, link) * network.units.velocity;
}

}  // namespace

Project::Project() = default;
Project::~Project() = default;

int Project::open(const std::string& inpFile, const std::string& reportFile,
                  const std::string& outFile) {
    (void)close();  // closing always succeeds
    if (same_file(inpFile, reportFile) || same_file(inpFile, outFile) ||
        same_file(reportFile, outFile)) {
        return kIdenticalFileNames;
    }
    try {
        InputResult input = read_inp_file(inpFile, stop_);
        // A missing input file is refused before the report file is created.
        if (input.code == kCannotOpenInput) return input.code;
        if (!reportFile.empty()) {
            std::ofstream report(reportFile, std::ios::binary | std::ios::trunc);
            if (!report) return kCannotOpenReport;
            write_input_report(report, input);
            report.close();
            if (!report) return kCannotWriteReport;
        }
        if (input.code != 0) {
            input_errors_ = std::move(input.errors);
            return input.code;
        }
        return open(std::shared_ptr<const Network>(std::move(input.network)));
    } catch (const std::bad_alloc&) {
        (void)close();  // closing always succeeds
        return kInsufficientMemory;
    } catch (const std::length_error&) {  // a size no allocation could serve
        (void)close();                    // closing always succeeds
        return kInsufficientMemory;
    }
}

int Project::open(std::shared_ptr<const Network> parsed) {
    (void)close();  // closing always succeeds
    if (!parsed) return kNotOpen;
    try {
        network_ = std::move(*working_copy(*parsed, stop_));
    } catch (const std::bad_alloc&) {
        (void)close();  // closing always succeeds
        return kInsufficientMemory;
    }
    parsed_ = std::move(parsed);
    return 0;
}

int Project::close() {
    simulation_.reset();
    parsed_.reset();
    input_errors_.clear();
    network_ = Network{};
    hydraulics_open_ = false;
    hydraulics_initialized_ = false;
    return 0;
}

int Project::node_in_range(int index) const {
    if (!is_open()) return kNotOpen;
    if (index < 1 || index > static_cast<int>(network_.nodes.size())) return kUndefinedNode;
    return 0;
}

int Project::link_in_range(int index) const {
    if (!is_open()) return kNotOpen;
    if (index < 1 || index > static_cast<int>(network_.links.size())) return kUndefinedLink;
    return 0;
}

int Project::get_count(int code, int& count) const {
    count = 0;
    if (!is_open()) return kNotOpen;
    switch (code) {
        case EN_NODECOUNT:
            count = static_cast<int>(network_.nodes.size());
            break;
        case EN_TANKCOUNT:
            count = network_.tank_count;
            break;
        case EN_LINKCOUNT:
            count = static_cast<int>(network_.links.size());
            break;
        case EN_PATCOUNT:
            count = static_cast<int>(network_.patterns.size());
            break;
        case EN_CURVECOUNT:
            count = static_cast<int>(network_.curves.size());
            break;
        case EN_CONTROLCOUNT:
            count = static_cast<int>(network_.controls.size());
            break;
        case EN_RULECOUNT:
            count = static_cast<int>(network_.rules.size());
            break;
        default:
            return kBadParameter;
    }
    return 0;
}

int Project::get_node_index(std::string_view id, int& index) const {
    index = 0;
    if (!is_open()) return kNotOpen;
    index = find_index(parsed_->node_index, id);
    return index == 0 ? kUndefinedNode : 0;
}

int Project::get_node_id(int index, std::string& id) const {
    id.clear();
    if (int rc = node_in_range(index)) return rc;
    id = network_.nodes[static_cast<size_t>(index - 1)].id;
    return 0;
}

int Project::get_node_type(int index, int& type) const {
    type = 0;
    if (int rc = node_in_range(index)) return rc;
    type = static_cast<int>(network_.nodes[static_cast<size_t>(index - 1)].type);
    return 0;
}

int Project::get_link_index(std::string_view id, int& index) const {
    index = 0;
    if (!is_open()) return kNotOpen;
    index = find_index(parsed_->link_index, id);
    return index == 0 ? kUndefinedLink : 0;
}

int Project::get_link_id(int index, std::string& id) const {
    id.clear();
    if (int rc = link_in_range(index)) return rc;
    id = network_.links[static_cast<size_t>(index - 1)].id;
    return 0;
}

int Project::get_link_type(int index, int& type) const {
    type = 0;
    if (int rc = link_in_range(index)) return rc;
    type = static_cast<int>(network_.links[static_cast<size_t>(index - 1)].type);
    return 0;
}

int Project::get_link_nodes(int index, int& node1, int& node2) const {
    node1 = node2 = 0;
    if (int rc = link_in_range(index)) return rc;
    const Link& link = network_.links[static_cast<size_t>(index - 1)];
    node1 = link.from + 1;
    node2 = link.to + 1;
    return 0;
}

int Project::get_pattern_index(std::string_view id, int& index) const {
    index = 0;
    if (!is_open()) return kNotOpen;
    index = find_index(parsed_->pattern_index, id);
    return index == 0 ? kUndefinedPattern : 0;
}

int Project::get_pattern_id(int index, std::string& id) const {
    id.clear();
    if (!is_open()) return kNotOpen;
    if (index < 1 || index > static_cast<int>(network_.patterns.size())) return kUndefinedPattern;
    id = network_.patterns[static_cast<size_t>(index - 1)].id;
    return 0;
}

int Project::get_time_param(int param, long& value) const {
    value = 0;
    if (!is_open()) return kNotOpen;
    const Times& t = network_.times;
    switch (param) {
        case EN_DURATION:
            value = t.duration;
            break;
        case EN_HYDSTEP:
            value = t.hydraulic_step;
            break;
        case EN_QUALSTEP:
            value = t.quality_step;
            break;
        case EN_PATTERNSTEP:
            value = t.pattern_step;
            break;
        case EN_PATTERNSTART:
            value = t.pattern_start;
            break;
        case EN_REPORTSTEP:
            value = t.report_step;
            break;
        case EN_REPORTSTART:
            value = t.report_start;
            break;
        case EN_RULESTEP:
            value = t.rule_step;
            break;
        case EN_STARTTIME:
            value = t.start_clock;
            break;
        case EN_HTIME:
            value = simulation_ ? simulation_->time() : 0;
            break;
        case EN_STATISTIC:
        case EN_PERIODS:
        case EN_QTIME:
        case EN_HALTFLAG:
        case EN_NEXTEVENT:
        case EN_NEXTEVENTTANK:
            break;
        default:
            return kBadParameter;
    }
    return 0;
}

int Project::get_flow_units(int& units) const {
    units = 0;
    if (!is_open()) return kNotOpen;
    units = static_cast<int>(network_.options.flow_units);
    return 0;
}

int Project::get_node_value(int index, int property, double& value) const {
    value = 0.0;
    if (int rc = node_in_range(index)) return rc;
    const int i = index - 1;
    const Node& node = network_.nodes[static_cast<size_t>(i)];
    const bool junction = node.type == NodeType::Junction;
    // Heads are 0 until the first solve, as in EPANET.
    const double head = simulation_ ? simulation_->head(i) : 0.0;
    switch (property) {
        case EN_ELEVATION:
            value = node.elevation * network_.units.elevation;
            break;
        case EN_BASEDEMAND:
            if (junction && !node.demands.empty())
                value = node.demands.front().base * network_.units.flow;
            break;
        case EN_PATTERN:
            if (junction) {
                if (!node.demands.empty()) value = node.demands.front().pattern + 1;
            } else {
                value = node.head_pattern + 1;
            }
            break;
        case EN_DEMAND:
            value = simulation_ ? simulation_->demand(i) * network_.units.flow : 0.0;
            break;
        case EN_HEAD:
            value = head * network_.units.head;
            break;
        case EN_PRESSURE:
            value = (head - node.elevation) * network_.units.pressure;
            break;
        case EN_TANKLEVEL:
            if (!junction) value = node.initial_level * network_.units.elevation;
            break;
        case EN_MINLEVEL:
            if (!junction) value = node.min_level * network_.units.elevation;
            break;
        case EN_MAXLEVEL:
            if (!junction) value = node.max_level * network_.units.elevation;
            break;
        case EN_TANKDIAM:
            if (!junction) value = node.diameter * network_.units.elevation;
            break;
        default:
            if (property < EN_ELEVATION || property > EN_DEMANDDEFICIT) return kBadParameter;
            break;
    }
    return 0;
}

int Project::set_node_value(int index, int property, double value) {
    if (int rc = node_in_range(index)) return rc;
    Node& node = network_.nodes[static_cast<size_t>(index - 1)];
    const bool junction = node.type == NodeType::Junction;
    switch (property) {
        case EN_BASEDEMAND:
            if (junction && !node.demands.empty())
                node.demands.front().base = value / network_.units.flow;
            return 0;
        case EN_PATTERN: {
            const long pattern = std::lround(value);
            if (pattern < 0 || pattern > static_cast<long>(network_.patterns.size())) {
                return kUndefinedPattern;
            }
            const int stored = static_cast<int>(pattern) - 1;  // 0 = no pattern
            if (junction) {
                if (!node.demands.empty()) node.demands.front().pattern = stored;
            } else {
                node.head_pattern = stored;
            }
            return 0;
        }
        default:
            // Other properties are not needed by the program yet.
            return kBadParameter;
    }
}

int Project::restore_node_demands(int index) {
    if (int rc = node_in_range(index)) return rc;
    const auto i = static_cast<size_t>(index - 1);
    network_.nodes[i].demands = parsed_->nodes[i].demands;
    return 0;
}

int Project::add_demand(int index, double base, int pattern) {
    if (int rc = node_in_range(index)) return rc;
    Node& node = network_.nodes[static_cast<size_t>(index - 1)];
    if (node.type != NodeType::Junction) return 0;  // EPANET ignores other nodes
    if (pattern < 0 || pattern > static_cast<int>(network_.patterns.size())) {
        return kUndefinedPattern;
    }
    node.demands.push_back(Demand{base / network_.units.flow, pattern - 1, {}});
    return 0;
}

int Project::set_base_demand(int index, int demand, double base) {
    if (int rc = node_in_range(index)) return rc;
    Node& node = network_.nodes[static_cast<size_t>(index - 1)];
    if (node.type != NodeType::Junction) return 0;
    if (demand < 1 || demand > static_cast<int>(node.demands.size())) return kUndefinedDemand;
    node.demands[static_cast<size_t>(demand - 1)].base = base / network_.units.flow;
    return 0;
}

int Project::get_demand_count(int index, int& count) const {
    count = 0;
    if (int rc = node_in_range(index)) return rc;
    const Node& node = network_.nodes[static_cast<size_t>(index - 1)];
    if (node.type == NodeType::Junction) count = static_cast<int>(node.demands.size());
    return 0;
}

int Project::get_link_value(int index, int property, double& value) const {
    value = 0.0;
    if (int rc = link_in_range(index)) return rc;
    const int i = index - 1;
    switch (property) {
        case EN_FLOW:
            // A closed link reports no flow, whatever small flow the solver keeps in it.
            if (simulation_ && !is_closed(simulation_->link_state(i))) {
                value = simulation_->flow(i) * network_.units.flow;
            }
            break;
        case EN_VELOCITY:
            if (simulation_) {
                value = reported_velocity(network_, simulation_->system(), simulation_->state(), i);
            }
            break;
        default:
            return kBadParameter;
    }
    return 0;
}

int Project::get_statistic(int type, double& value) const {
    value = 0.0;
    if (!is_open()) return kNotOpen;
    if (!simulation_) return 0;
    const SolveResult& last = simulation_->last_solve();
    switch (type) {
        case EN_ITERATIONS:
            value = last.iterations;
            break;
        case EN_RELATIVEERROR:
            value = last.relative_error;
            break;
        case EN_MAXHEADERROR:
            value = last.max_head_error * network_.units.head;
            break;
        case EN_MAXFLOWCHANGE:
            value = last.max_flow_change * network_.units.flow;
            break;
        case EN_MASSBALANCE:
            break;  // water quality is not simulated
        case EN_DEFICIENTNODES:
            value = last.deficient_nodes;
            break;
        case EN_DEMANDREDUCTION:
            value = last.demand_reduction;
            break;
        default:
            return kBadParameter;
    }
    return 0;
}

int Project::solve_h() {
    int code = open_h();
    if (code == 0) {
        code = init_h(EN_SAVE);
        long step = 0;
        if (code == 0) {
            do {
                long time = 0;
                step = 0;
                int rc = run_h(time);
                if (!IsError(code)) code = IsError(rc) ? rc : std::max(code, rc);
                if (IsError(rc)) break;
                rc = next_h(step);
                if (IsError(rc)) {
                    code = rc;
                    break;
                }
            } while (step > 0);
        }
    }
    (void)close_h();  // the code of the solve is what counts; closing adds nothing to it
    return code;
}

int SolvedTrial::get_node_pressure(int index, double& value) const {
    value = 0.0;
    if (index < 1 || index > static_cast<int>(network_.nodes.size())) return kUndefinedNode;
    const auto i = static_cast<std::size_t>(index - 1);
    value = (state_.head[i] - network_.nodes[i].elevation) * network_.units.pressure;
    return 0;
}

int SolvedTrial::get_link_velocity(int index, double& value) const {
    value = 0.0;
    if (index < 1 || index > static_cast<int>(network_.links.size())) return kUndefinedLink;
    value = reported_velocity(network_, system_, state_, index - 1);
    return 0;
}

int Project::solve_trials(int lanes, const std::function<std::optional<TrialDemand>()>& next,
                          const std::function<void(std::size_t, const SolvedTrial&)>& done) {
    if (is_open() && network_.times.duration != 0) return kBadParameter;
    if (const int code = open_h(); code != 0) return code;
    // What every steady solve starts from: EN_openH and EN_initH.
    (void)init_h(EN_NOSAVE);  // the simulation is open
    const int code = trials_at_point(lanes, next, done);
    (void)close_h();  // the trials' codes went to `done`; closing adds nothing to them
    return code;
}

int Project::solve_trials_here(int lanes, const std::function<std::optional<TrialDemand>()>& next,
                               const std::function<void(std::size_t, const SolvedTrial&)>& done) {
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    if (!hydraulics_initialized_) return kHydraulicsNotInitialized;
    return trials_at_point(lanes, next, done);
}

int Project::trials_at_point(int lanes, const std::function<std::optional<TrialDemand>()>& next,
                             const std::function<void(std::size_t, const SolvedTrial&)>& done) {
    const auto node_count = static_cast<int>(network_.nodes.size());
    std::vector<int> nodes;  // the current trial's, 0-based
    const auto demand_trial = [&]() -> std::optional<HydraulicSimulation::TrialFlow> {
        const auto trial = next();
        if (!trial) return std::nullopt;
        nodes.clear();
        const auto add = [&](int index) {
            if (index < 1 || index > node_count ||
                network_.nodes[static_cast<std::size_t>(index - 1)].type != NodeType::Junction) {
                throw std::invalid_argument("a trial's node is not a junction");
            }
            nodes.push_back(index - 1);
        };
        add(trial->index);
        for (const int index : trial->also) add(index);
        // As set_node_value and add_demand store a base demand.
        return HydraulicSimulation::TrialFlow{nodes, trial->base_demand / network_.units.flow,
                                              trial->added};
    };
    try {
        simulation_->solve_demand_trials(
            lanes, demand_trial,
            [&](std::size_t ticket, int code, const SolveResult& result,
                const HydraulicState& state) {
                done(ticket,
                     SolvedTrial(network_, simulation_->system(), state, code, result.iterations));
            });
    } catch (const std::invalid_argument&) {
        return kUndefinedNode;
    }
    return 0;
}

SavedHydraulics::SavedHydraulics() = default;
SavedHydraulics::~SavedHydraulics() = default;
SavedHydraulics::SavedHydraulics(SavedHydraulics&&) noexcept = default;
SavedHydraulics& SavedHydraulics::operator=(SavedHydraulics&&) noexcept = default;

int Project::save_hydraulics(SavedHydraulics& saved) const {
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    if (!hydraulics_initialized_) return kHydraulicsNotInitialized;
    try {
        saved.snapshot_ = std::make_unique<HydraulicSnapshot>(simulation_->snapshot());
    } catch (const std::bad_alloc&) {
        return kInsufficientMemory;
    }
    return 0;
}

int Project::restore_hydraulics(const SavedHydraulics& saved) {
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    if (!hydraulics_initialized_ || saved.empty()) return kHydraulicsNotInitialized;
    simulation_->restore(*saved.snapshot_);
    return 0;
}

int Project::open_h() {
    hydraulics_open_ = false;
    hydraulics_initialized_ = false;
    if (!is_open()) return kNotOpen;
    // The compact arrays and the matrix ordering are built once per project;
    // every later open only resets the starting flows.
    if (!simulation_) {
        try {
            simulation_ = std::make_unique<HydraulicSimulation>(network_, stop_);
        } catch (const std::invalid_argument&) {
            return kCannotSolve;
        } catch (const std::bad_alloc&) {
            return kInsufficientMemory;
        }
    }
    if (const int code = simulation_->open(); code != 0) return code;
    hydraulics_open_ = true;
    return 0;
}

void Project::set_stop_request(StopRequest stop) {
    stop_ = stop;
    if (simulation_) simulation_->set_stop_request(stop);
}

int Project::init_h(int flag) {
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    simulation_->initialize(flag);
    hydraulics_initialized_ = true;
    return 0;
}

int Project::run_h(long& time) {
    time = 0;
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    if (!hydraulics_initialized_) return kHydraulicsNotInitialized;
    return simulation_->run(time);
}

int Project::next_h(long& step) {
    step = 0;
    if (!hydraulics_open_) return kHydraulicsNotOpen;
    if (!hydraulics_initialized_) return kHydraulicsNotInitialized;
    return simulation_->next(step);
}

int Project::close_h() {
    if (!is_open()) return kNotOpen;
    // The results of the last solve stay readable, as in EPANET.
    hydraulics_open_ = false;
    hydraulics_initialized_ = false;
    return 0;
}

}  // namespace hydrosk::toolkit
