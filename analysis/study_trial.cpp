#include "analysis/study_trial.h"

#include <cmath>
#include <new>

#include "analysis/run_messages.h"
#include "network/net_load.h"
#include "toolkit/codes.h"
#include "toolkit/destroy_apart.h"

namespace hydrosk::analysis {
namespace {

// Seconds of simulation time for hours given in double precision.
double Seconds(double hours) {
    return hours * 3600.0;
}

// The lower of two pressures; one that is not a number stays, since it fails every minimum.
float LowerPressure(float current, float pressure) {
    if (std::isnan(current)) return current;
    return std::isnan(pressure) || pressure < current ? pressure : current;
}

}  // namespace

StudyTrials::StudyTrials(std::shared_ptr<const toolkit::Network> network,
                         const network::NetworkCatalogue& catalogue, const FireStudy& study,
                         SolveCount* solves, const std::atomic<bool>* stop)
    : catalogue_(catalogue), study_(study), solves_(solves) {
    try {
        Start(std::move(network), stop);
    } catch (const toolkit::SolveStopped&) {
        // The copy of a large network is freed apart, so that the stop ends the trials at once.
        toolkit::DestroyApart(std::move(owned_project_));
        throw;
    }
}

void StudyTrials::Start(std::shared_ptr<const toolkit::Network> network,
                        const std::atomic<bool>* stop) {
    RequireTrialOpen(project_.open(std::move(network)));
    project_.set_stop_request(stop);
    if (study_.max_velocity) {
        int links = 0;
        // The project is open, so its counts and its links' types can always be read.
        (void)project_.get_count(EN_LINKCOUNT, links);
        for (int k = 1; k <= links; ++k) {
            int type = 0;
            (void)project_.get_link_type(k, type);
            if (type == EN_CVPIPE || type == EN_PIPE) pipes_.push_back(k);
        }
    }
    // A network the simulation cannot start on leaves every trial unsolved with the code, as
    // a solve of it would.
    int started = project_.open_h();
    if (started == 0) started = project_.init_h(EN_NOSAVE);
    if (started == toolkit::codes::kInsufficientMemory) throw std::bad_alloc();
    if (started != 0) {
        before_fire_code_ = started;
        fire_reached_ = false;
        return;
    }
    // The steps before the fire, with every junction drawing its own demand.
    const double fire_start = Seconds(study_.demand_time);
    long time = 0;  // s, of the next step
    while (static_cast<double>(time) < fire_start) {
        long now = 0;
        // Not counted among the solves: they are the same for every trial, and a run's count
        // is that of its trials.
        const int code = project_.run_h(now);
        if (IsUnsolved(code) && before_fire_code_ == 0) before_fire_code_ = code;
        long step = 0;
        // The simulation is open and initialised, so the next step can always be found.
        (void)project_.next_h(step);
        if (step == 0) {
            fire_reached_ = false;
            break;
        }
        time = now + step;
    }
    if (const int code = project_.save_hydraulics(before_fire_); code != 0) {
        ThrowToolkitFailure(code, "");
    }
}

void StudyTrials::Check(std::span<const int> positions) {
    unsolved_ = {};
    // The last check junctions are junctions of the open project, so their demands can always
    // be given back.
    for (const int node : nodes_) (void)project_.restore_node_demands(node);
    nodes_.clear();
    added_.clear();
    for (const int position : positions) {
        const int node = catalogue_.Junctions.index_at(position).value_or(position);
        nodes_.push_back(node);
        int code = 0;
        if (study_.fire_demand == FireDemand::Replace) {
            code = project_.set_node_value(node, EN_PATTERN, 0.0);
        } else {
            code = project_.add_demand(node, 0.0, 0);
            int count = 0;
            if (code == 0) code = project_.get_demand_count(node, count);
            added_.push_back(count);
        }
        if (code != 0) {
            const std::string& id = catalogue_.JunctionIDs[static_cast<std::size_t>(position)];
            ThrowToolkitFailure(code, id);
        }
    }
}

void StudyTrials::TestStep(const JunctionLimits& limits, bool whole_fire, TrialPressures& pressures,
                           bool first_step) const {
    TestStep(
        limits, whole_fire, pressures, first_step,
        [this](int node) {
            double value = 0.0;
            // A junction's node index, so the reading cannot fail.
            (void)project_.get_node_value(node, EN_PRESSURE, value);
            return value;
        },
        [this](int link) {
            double value = 0.0;
            (void)project_.get_link_value(link, EN_VELOCITY, value);  // a pipe's index
            return value;
        },
        nodes_);
}

void StudyTrials::TestStep(const JunctionLimits& limits, bool whole_fire, TrialPressures& pressures,
                           bool first_step, const PressureOf& pressure_of,
                           const VelocityOf& velocity_of, std::span<const int> nodes) const {
    const bool seen_failure = pressures.failed();
    for (int k = 1; k <= limits.count(); ++k) {
        const auto position = static_cast<std::size_t>(k);
        if (limits.excluded[position] != 0) continue;
        // as the legacy functions give it
        const auto pressure = static_cast<float>(pressure_of(k));
        if (!seen_failure && !pressures.violation &&
            FailsMinimum(pressure, limits.minimum[position])) {
            pressures.violation = Violation{k, pressure};
            if (!whole_fire) break;
        }
        if (whole_fire) {
            const double margin =
                std::isnan(pressure)
                    ? -INFINITY
                    : static_cast<double>(pressure) - static_cast<double>(limits.minimum[position]);
            auto& lowest = pressures.lowest;
            if (lowest.position == 0 || margin < lowest.margin ||
                (margin == lowest.margin && k < lowest.position)) {
                lowest = {k, pressure, margin};
            }
        }
    }
    if (study_.max_velocity) {
        const float limit = *study_.max_velocity;
        for (const int k : pipes_) {
            const auto velocity = static_cast<float>(std::fabs(velocity_of(k)));
            if (!seen_failure && !pressures.pipe && (velocity > limit || std::isnan(velocity))) {
                pressures.pipe = PipeVelocity{k, velocity};
                if (!whole_fire) break;
            }
            auto& fastest = pressures.fastest;
            // The highest velocity over every step; the lowest index on ties.
            if (whole_fire && (fastest.index == 0 || velocity > fastest.velocity ||
                               (velocity == fastest.velocity && k < fastest.index) ||
                               (std::isnan(velocity) && !std::isnan(fastest.velocity)))) {
                fastest = {k, velocity};
            }
        }
    }
    for (const int node : nodes) {
        const auto pressure = static_cast<float>(pressure_of(node));  // a check junction
        pressures.check_pressure = first_step && node == nodes.front()
                                       ? pressure
                                       : LowerPressure(pressures.check_pressure, pressure);
    }
}

TrialPressures StudyTrials::Solve(double flow, const JunctionLimits& limits, TrialEnd end) {
    const double each = nodes_.empty() ? 0.0 : flow / static_cast<double>(nodes_.size());
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        // The check junctions are junctions of the network, so the demand can always be set.
        if (study_.fire_demand == FireDemand::Replace) {
            (void)project_.set_node_value(nodes_[i], EN_BASEDEMAND, each);
        } else {
            (void)project_.set_base_demand(nodes_[i], added_[i], each);
        }
    }
    TrialPressures pressures;
    const auto unsolved = [&](int code) {
        if (!pressures.solved) return;
        pressures.solved = false;
        if (unsolved_.count++ == 0) unsolved_.first_code = code;
    };
    // The point before the fire was saved from this open simulation, so it can always be
    // given back.
    (void)project_.restore_hydraulics(before_fire_);
    const bool whole_fire = end == TrialEnd::WholeFire;
    if (before_fire_code_ != 0) unsolved(before_fire_code_);
    if (!fire_reached_) {
        // Stopped before the fire (Unbalanced STOP) or never started: the pressures are
        // tested as the project holds them, and no row may rest on them.
        unsolved(toolkit::codes::kUnbalanced);
        TestStep(limits, whole_fire, pressures, true);
        return pressures;
    }
    const double fire_end = Seconds(study_.demand_time + study_.fire_duration);
    for (bool first = true;; first = false) {
        long time = 0;
        const int code = project_.run_h(time);
        CountSolve(solves_, project_);
        if (IsUnsolved(code)) unsolved(code);
        TestStep(limits, whole_fire, pressures, first);
        if ((pressures.failed() && !whole_fire) || static_cast<double>(time) >= fire_end) break;
        long step = 0;
        (void)project_.next_h(step);  // the simulation is open and initialised
        if (step == 0 || static_cast<double>(time + step) > fire_end) break;
    }
    return pressures;
}

bool StudyTrials::SideBySidePossible(int lanes) const {
    return lanes != 1 && !side_by_side_refused_ && study_.fire_duration == 0 && fire_reached_;
}

std::vector<StudyTrials::SideBySideOutcome> StudyTrials::SolveSideBySide(
    std::span<const SteadyTrial> trials, const JunctionLimits& limits, int lanes, TrialEnd end) {
    if (trials.empty() || !SideBySidePossible(lanes)) return {};
    // The trials start from the network's own demands at the saved point before the fire,
    // which was saved from this open simulation, so it can always be given back.
    Check(std::span<const int>());
    (void)project_.restore_hydraulics(before_fire_);
    const bool added = study_.fire_demand == FireDemand::Add;
    // Each trial's check junctions' node indexes.
    std::vector<std::vector<int>> nodes(trials.size());
    for (std::size_t t = 0; t < trials.size(); ++t) {
        const SteadyTrial& trial = trials[t];
        const std::span<const int> positions =
            trial.positions.empty() ? std::span<const int>(&trial.position, 1) : trial.positions;
        for (const int position : positions) {
            nodes[t].push_back(catalogue_.Junctions.index_at(position).value_or(position));
        }
    }
    std::vector<SideBySideOutcome> solved(trials.size());
    std::vector<bool> done_ones(trials.size(), false);
    std::size_t next = 0;
    const int code = project_.solve_trials_here(
        lanes,
        [&]() -> std::optional<toolkit::TrialDemand> {
            if (next == trials.size()) return std::nullopt;
            const std::vector<int>& check = nodes[next];
            // Each check junction draws flow / count, as Solve gives it.
            const double each = trials[next++].flow / static_cast<double>(check.size());
            return toolkit::TrialDemand{check.front(), each, added,
                                        std::span<const int>(check).subspan(1)};
        },
        [&](std::size_t rank, const toolkit::SolvedTrial& trial) {
            if (solves_ != nullptr) solves_->Add(trial.iterations());
            // As Solve counts it: the steps before the fire first.
            solved[rank].code = before_fire_code_ != 0 ? before_fire_code_ : trial.code();
            TrialPressures& pressures = solved[rank].pressures;
            pressures.solved = before_fire_code_ == 0 && !IsUnsolved(trial.code());
            TestStep(
                limits, end == TrialEnd::WholeFire, pressures, true,
                [&trial](int index) {
                    double value = 0.0;
                    (void)trial.get_node_pressure(index, value);  // a junction's index
                    return value;
                },
                [&trial](int index) {
                    double value = 0.0;
                    (void)trial.get_link_velocity(index, value);  // a pipe's index
                    return value;
                },
                nodes[rank]);
            done_ones[rank] = true;
        });
    if (code != 0) {
        side_by_side_refused_ = true;
        return {};
    }
    for (const bool done : done_ones) {
        if (!done) return {};
    }
    return solved;
}

StudyTrials::Baseline StudyTrials::WithoutFire(const JunctionLimits& limits) {
    Check(std::span<const int>());
    // The point before the fire was saved from this open simulation, so it can always be
    // given back.
    (void)project_.restore_hydraulics(before_fire_);
    Baseline baseline;
    long time = 0;
    const int code = fire_reached_ ? project_.run_h(time) : toolkit::codes::kUnbalanced;
    CountSolve(solves_, project_);
    baseline.solved = before_fire_code_ == 0 && !IsUnsolved(code);
    baseline.pressures.reserve(static_cast<std::size_t>(limits.count()));
    for (int k = 1; k <= limits.count(); ++k) {
        const auto position = static_cast<std::size_t>(k);
        double value = 0.0;
        // Position k is a junction's node index, so the reading cannot fail.
        (void)project_.get_node_value(k, EN_PRESSURE, value);
        baseline.pressures.push_back(static_cast<float>(value));
        if (limits.excluded[position] != 0) continue;
        if (FailsMinimum(static_cast<float>(value), limits.minimum[position])) {
            baseline.junctions.push_back(k);
        }
    }
    if (study_.max_velocity) {
        for (const int k : pipes_) {
            double value = 0.0;
            (void)project_.get_link_value(k, EN_VELOCITY, value);  // a pipe's index: cannot fail
            const auto velocity = static_cast<float>(std::fabs(value));
            if (velocity > *study_.max_velocity || std::isnan(velocity))
                baseline.pipes.push_back(k);
        }
    }
    return baseline;
}

std::pair<files::FieldValue, files::FieldValue> PipeFields(
    const toolkit::Project& project, const std::optional<PipeVelocity>& pipe) {
    if (!pipe) return {std::string(), std::string()};
    std::string id;
    (void)project.get_link_id(pipe->index, id);  // the index of a pipe of the network
    return {id, PressureField(pipe->velocity)};
}

}  // namespace hydrosk::analysis
