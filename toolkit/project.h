// One toolkit project: an opened network, its working copy that the set
// functions change, and its hydraulic simulation. Projects are independent of
// each other, so several can be used on different threads at once; one project
// is not meant to be shared between threads.
//
// The member functions mirror EPANET 2.2's EN_... project functions: 1-based
// indices, values in the network's own units, and EPANET's integer codes
// (0 success, 1-6 warnings, above 100 errors). No exception leaves them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/input/reader.h"
#include "toolkit/network.h"
#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {

class HydraulicSimulation;
struct HydraulicSnapshot;
struct HydraulicState;
struct HydraulicSystem;

// One solved steady trial of Project::solve_trials.
class SolvedTrial {
public:
    SolvedTrial(const Network& network, const HydraulicSystem& system, const HydraulicState& state,
                int code, int iterations)
        : network_(network), system_(system), state_(state), code_(code), iterations_(iterations) {}
    // What solve_h would have returned, and the solve's iterations (EN_ITERATIONS).
    [[nodiscard]] int code() const { return code_; }
    int iterations() const { return iterations_; }
    // A node's EN_PRESSURE, as get_node_value gives it after solve_h.
    [[nodiscard]] int get_node_pressure(int index, double& value) const;
    // A link's EN_VELOCITY, as get_link_value gives it after solve_h.
    [[nodiscard]] int get_link_velocity(int index, double& value) const;

private:
    const Network& network_;
    const HydraulicSystem& system_;
    const HydraulicState& state_;
    int code_;
    int iterations_;
};

// A trial of Project::solve_trials: a junction (node index) and its base demand (flow units),
// which replaces its first demand's (set_node_value EN_BASEDEMAND, with EN_PATTERN 0), or with
// `added` is a demand of its own without a pattern after its own ones (add_demand).
struct TrialDemand {
    int index = 0;
    double base_demand = 0.0;
    bool added = false;
    // Further junctions (node indexes, none twice) that draw the same base demand in the same
    // way in the same trial.
    std::span<const int> also = {};
};

// The hydraulics of a project saved between two time steps (Project::save_hydraulics).
class SavedHydraulics {
public:
    SavedHydraulics();
    ~SavedHydraulics();
    SavedHydraulics(SavedHydraulics&&) noexcept;
    SavedHydraulics& operator=(SavedHydraulics&&) noexcept;

    bool empty() const { return snapshot_ == nullptr; }

private:
    friend class Project;
    std::unique_ptr<HydraulicSnapshot> snapshot_;
};

class Project {
public:
    Project();
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // Every call that can fail returns EPANET's code (toolkit/codes.h): 0, a warning 1 to 6, or
    // an error above them. The callers handle it, or discard it saying why.

    // Reads an INP file. Input errors are written to the report file (none when
    // reportFile is empty) and kept for input_errors(). The output file name is
    // accepted for compatibility: no binary output file is written. Names that
    // denote the INP file itself, in any spelling (another case, a relative
    // path, a link), are refused with 301 before anything is written. A path
    // that is not a regular file (a directory, a FIFO, a device) gives 302.
    [[nodiscard]] int open(const std::string& inpFile, const std::string& reportFile,
                           const std::string& outFile);
    // Opens a network that was parsed before (see parsed_network), without
    // reading the file again; the result is the same as a fresh open.
    [[nodiscard]] int open(std::shared_ptr<const Network> parsed);
    [[nodiscard]] int close();
    bool is_open() const { return parsed_ != nullptr; }

    // The network as read from the file, unchanged by the set functions.
    std::shared_ptr<const Network> parsed_network() const { return parsed_; }
    // The input errors of the last open of a file, in the order EPANET's report
    // gives them; empty after a successful open.
    const std::vector<InputError>& input_errors() const { return input_errors_; }

    [[nodiscard]] int get_count(int code, int& count) const;
    [[nodiscard]] int get_node_index(std::string_view id, int& index) const;
    [[nodiscard]] int get_node_id(int index, std::string& id) const;
    [[nodiscard]] int get_node_type(int index, int& type) const;
    [[nodiscard]] int get_link_index(std::string_view id, int& index) const;
    [[nodiscard]] int get_link_id(int index, std::string& id) const;
    [[nodiscard]] int get_link_type(int index, int& type) const;
    [[nodiscard]] int get_link_nodes(int index, int& node1, int& node2) const;
    [[nodiscard]] int get_pattern_index(std::string_view id, int& index) const;
    [[nodiscard]] int get_pattern_id(int index, std::string& id) const;
    [[nodiscard]] int get_time_param(int param, long& value) const;
    [[nodiscard]] int get_flow_units(int& units) const;
    [[nodiscard]] int get_node_value(int index, int property, double& value) const;
    [[nodiscard]] int set_node_value(int index, int property, double value);
    // Gives a junction back the demands it was read with (base demands and patterns) exactly,
    // which setting EN_BASEDEMAND to a value read before may miss by the last bit, since the
    // value goes through the flow units and back. Not an EPANET function.
    [[nodiscard]] int restore_node_demands(int index);
    // Adds a demand category to a junction (EN_adddemand without a name): `base` in flow
    // units, `pattern` a pattern index, 0 for none.
    [[nodiscard]] int add_demand(int index, double base, int pattern);
    // The base demand of a junction's demand category `demand` (1 to its count), as
    // EN_setbasedemand sets it.
    [[nodiscard]] int set_base_demand(int index, int demand, double base);
    [[nodiscard]] int get_demand_count(int index, int& count) const;
    [[nodiscard]] int get_link_value(int index, int property, double& value) const;
    // Iterations, relative error and the other figures of the last solve.
    [[nodiscard]] int get_statistic(int type, double& value) const;

    [[nodiscard]] int solve_h();
    // Steady trials, several side by side in the lanes of vector registers (not an EPANET
    // function): each trial that `next` gives (nullopt: no more) is solved as solve_h solves
    // it after set_node_value(index, EN_BASEDEMAND, base_demand) and EN_PATTERN 0, from the
    // project as it is, and handed to `done` with its rank in `next`'s order; trials finish in
    // any order. `lanes`: at most this many side by side (0: the widest the processor has; 1:
    // one at a time). Only for a duration of 0; returns 0, or the code that open_h gives or
    // kBadParameter (then no trial is solved), or kUndefinedNode when a trial's node is not a
    // junction (the trials after it are not solved). The project's own results are those of no
    // solve afterwards.
    [[nodiscard]] int solve_trials(
        int lanes, const std::function<std::optional<TrialDemand>()>& next,
        const std::function<void(std::size_t, const SolvedTrial&)>& done);
    // The same at the point an open, initialised simulation has reached between two time
    // steps, whatever the duration: each trial is solved as run_h solves that time step after
    // the trial's demand change, from the state the simulation holds. The simulation stays at
    // its point. Returns 0, kHydraulicsNotOpen, kHydraulicsNotInitialized, or kUndefinedNode as
    // solve_trials does.
    [[nodiscard]] int solve_trials_here(
        int lanes, const std::function<std::optional<TrialDemand>()>& next,
        const std::function<void(std::size_t, const SolvedTrial&)>& done);
    [[nodiscard]] int open_h();
    [[nodiscard]] int init_h(int flag);
    [[nodiscard]] int run_h(long& time);
    [[nodiscard]] int next_h(long& step);
    [[nodiscard]] int close_h();

    // A stop request that open looks at while it reads the INP file, open_h while it orders
    // the matrix, and solve_h and run_h while they solve (see stop_request.h): once it is set
    // they throw SolveStopped. nullptr, the default: never stopped.
    void set_stop_request(StopRequest stop);

    // The point an open, initialized simulation has reached between two time steps, and a
    // return to it, after which EN_runH / EN_nextH go on exactly as they went on from there
    // the first time, with the demands the junctions have then. Not EPANET functions; they
    // spare replaying the steps up to a point that many runs start from.
    [[nodiscard]] int save_hydraulics(SavedHydraulics& saved) const;
    [[nodiscard]] int restore_hydraulics(const SavedHydraulics& saved);

private:
    int node_in_range(int index) const;
    int link_in_range(int index) const;
    // The trials of solve_trials and solve_trials_here at the simulation's point.
    int trials_at_point(int lanes, const std::function<std::optional<TrialDemand>()>& next,
                        const std::function<void(std::size_t, const SolvedTrial&)>& done);

    std::shared_ptr<const Network> parsed_;
    std::vector<InputError> input_errors_;
    Network network_;  // working copy: what the set functions change
    std::unique_ptr<HydraulicSimulation> simulation_;
    bool hydraulics_open_ = false;
    bool hydraulics_initialized_ = false;
    StopRequest stop_ = nullptr;
};

}  // namespace hydrosk::toolkit
