// The trial of a fire-flow study: a set of check junctions drawing a total flow Q (each Q / |S|)
// during a fire that starts at the first time step at or after the demand time of the INP's
// extended-period simulation and lasts the fire duration. Every junction not in the set draws
// its own demand. The steps before the fire do not depend on Q: a worker simulates them once
// and every trial starts from a copy of that state, which gives what a replay from the start
// gives. At a demand time and duration of 0 a trial is one cold steady-state solve, whatever
// the INP's duration: the available-flow and design-flow searches.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/junction_pool.h"
#include "analysis/search_common.h"
#include "analysis/solve_count.h"
#include "toolkit/project.h"

namespace hydrosk::network {
struct NetworkCatalogue;
}

namespace hydrosk::analysis {

// How the fire flow meets a check junction's own demand.
enum class FireDemand {
    Replace,  // the base demand becomes the fire flow and the pattern is cleared
    Add,      // a demand of the fire flow without a pattern is added; the own demand stays
};

// When and how long the fire burns, and what a time step is tested for.
struct FireStudy {
    double demand_time = 0;    // hours from the start of the simulation
    double fire_duration = 0;  // hours
    FireDemand fire_demand = FireDemand::Replace;
    std::optional<float> max_velocity;  // pipes' |velocity| limit (ft/s or m/s); none: untested
};

// A row whose trial has several junctions draw the flow together: the row's name (its
// Check_Node) and the members' junction positions, in the group's order.
struct TrialGroup {
    std::string name;
    std::vector<int> positions;
};

// A pipe whose velocity is above the limit, or the fastest pipe.
struct PipeVelocity {
    int index = 0;       // toolkit link index
    float velocity = 0;  // |velocity|, single precision
};

// The pipe fields of a study row: the pipe's ID and its velocity, both empty without a pipe.
std::pair<files::FieldValue, files::FieldValue> PipeFields(const toolkit::Project& project,
                                                           const std::optional<PipeVelocity>& pipe);

// What the test of the trial's steps found.
struct TrialPressures {
    // At the first failing step: the lowest-positioned tested junction below its minimum and
    // the lowest-indexed pipe above the velocity limit (each absent when none of its kind fails).
    std::optional<Violation> violation;
    std::optional<PipeVelocity> pipe;
    // The check junctions' lowest pressure over the tested steps (up to the failing one).
    float check_pressure = 0;
    bool solved = true;  // false: some step's solve failed or did not converge (IsUnsolved)

    // Over every tested step (a trial asked to go through the whole fire): the tested junction
    // with the smallest margin above its minimum (position 0 when none is tested) and the
    // fastest pipe (index 0 without a velocity limit).
    struct Lowest {
        int position = 0;
        float pressure = 0;
        double margin = 0;
    } lowest;
    PipeVelocity fastest;

    bool failed() const { return violation.has_value() || pipe.has_value(); }
};

// Whether the trial stops at its first failing step or goes through the whole fire.
enum class TrialEnd { FirstFailure, WholeFire };

class StudyTrials {
public:
    // A project of its own, opened from the parsed network, its simulation stepped up to the
    // fire. Throws RunEnded with "Problem in INP file!" when it cannot be opened, and with the
    // toolkit's code when the simulation cannot be started.
    // `stop`: the pool's stop request, which the solves look at (see toolkit/stop_request.h).
    StudyTrials(std::shared_ptr<const toolkit::Network> network,
                const network::NetworkCatalogue& catalogue, const FireStudy& study,
                SolveCount* solves, const std::atomic<bool>* stop = nullptr);

    // Makes the junctions at `positions` the check junctions: the previous ones get their own
    // demands back exactly; with Replace the new ones' patterns are cleared, with Add each gets
    // a demand of its own for the fire (RunEnded when that fails). The count of unsolved trials
    // starts from 0.
    void Check(std::span<const int> positions);
    void Check(int position) { Check(std::span<const int>(&position, 1)); }

    // One trial with the check junctions drawing `flow` in all (each flow / count, in double
    // precision) from the saved state before the fire. Pressures of a step whose solve failed
    // or did not converge are tested as they are; the trial is marked unsolved and counted.
    TrialPressures Solve(double flow, const JunctionLimits& limits,
                         TrialEnd end = TrialEnd::FirstFailure);

    // Trials of their check junctions (their positions and flow) solved side by side in the
    // lanes of vector registers, at most `lanes` at a time (0: as many as the processor has),
    // each as Check(positions) and Solve(flow, limits, end) give it; their unsolved trials are
    // not counted here (the pressures tell which are). Empty when they cannot be solved so: the
    // fire lasts more than one time step, the simulation ended before it, or the toolkit
    // solves one at a time. Leaves no check junction.
    struct SteadyTrial {
        int position = 0;
        double flow = 0;
        // Several check junctions: their positions, in the group's order (`position` unused).
        std::span<const int> positions = {};
    };
    struct SideBySideOutcome {
        TrialPressures pressures;
        int code = 0;  // the solve's
    };
    std::vector<SideBySideOutcome> SolveSideBySide(std::span<const SteadyTrial> trials,
                                                   const JunctionLimits& limits, int lanes,
                                                   TrialEnd end = TrialEnd::FirstFailure);
    // Whether SolveSideBySide may solve trials for `lanes` (the toolkit may still refuse).
    bool SideBySidePossible(int lanes) const;

    // The network at the first step of the fire without any fire flow: every tested junction
    // below its minimum and every pipe above the velocity limit. Takes no check junctions.
    struct Baseline {
        std::vector<int> junctions;  // positions, in order
        std::vector<int> pipes;      // link indexes, in order
        // Every junction's pressure, excluded or not: position k at pressures[k - 1].
        std::vector<float> pressures;
        bool solved = true;
    };
    Baseline WithoutFire(const JunctionLimits& limits);

    const UnsolvedTrials& unsolved() const { return unsolved_; }
    const toolkit::Project& project() const { return project_; }

private:
    // A node's EN_PRESSURE and a link's EN_VELOCITY by its index.
    using PressureOf = std::function<double(int node)>;
    using VelocityOf = std::function<double(int link)>;
    void TestStep(const JunctionLimits& limits, bool whole_fire, TrialPressures& pressures,
                  bool first_step) const;
    void TestStep(const JunctionLimits& limits, bool whole_fire, TrialPressures& pressures,
                  bool first_step, const PressureOf& pressure_of, const VelocityOf& velocity_of,
                  std::span<const int> nodes) const;

    // The constructor's work: the project opened on `network`, the steps before the fire.
    void Start(std::shared_ptr<const toolkit::Network> network, const std::atomic<bool>* stop);

    // On the heap, so that a stop can hand it to another thread to be freed.
    std::unique_ptr<toolkit::Project> owned_project_ = std::make_unique<toolkit::Project>();
    toolkit::Project& project_ = *owned_project_;
    const network::NetworkCatalogue& catalogue_;
    const FireStudy& study_;
    SolveCount* solves_;
    toolkit::SavedHydraulics before_fire_;
    int before_fire_code_ = 0;  // the first unsolved code of the steps before the fire, or 0
    bool fire_reached_ = true;  // false: the simulation ended before the demand time
    std::vector<int> pipes_;    // link indexes of the pipes, when velocities are tested
    std::vector<int> nodes_;    // the check junctions' node indexes
    std::vector<int> added_;    // with Add: the index of each one's fire demand
    UnsolvedTrials unsolved_;
    bool side_by_side_refused_ = false;  // the toolkit solves this network one at a time
};

}  // namespace hydrosk::analysis
