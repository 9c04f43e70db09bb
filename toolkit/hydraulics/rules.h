// Rule-based controls ([RULES]) evaluated as EPANET 2.2 does while it steps
// through a hydraulic time step in rule time steps, and the two ways a control
// changes a link (EPANET's status and setting changes, shared with simple
// controls and pump speed patterns).
#pragma once

#include <vector>

#include "toolkit/hydraulics/solver.h"
#include "toolkit/hydraulics/system.h"

namespace hydrosk::toolkit {

// Opens (`open` true) or closes a link: pumps get speed 1 or 0, control valves
// lose their setting.
void set_link_open(const HydraulicSystem& system, HydraulicState& state, int link, bool open);

// Gives a pump a speed or a valve a setting (internal units), opening or
// closing it where EPANET does.
void set_link_setting(const HydraulicSystem& system, HydraulicState& state, int link, double value);

// A constant-power pump that restarts begins again from its initial flow.
void reset_pump_flow(const HydraulicSystem& system, HydraulicState& state, int link);

class RuleEvaluator {
public:
    RuleEvaluator(const Network& network, const HydraulicSystem& system);

    struct Clock {
        long time = 0;               // s, end of the interval being checked
        long interval = 0;           // s, its length
        long start_clock = 0;        // s after midnight at time 0
        double system_demand = 0.0;  // cfs, sum of positive junction demands
    };

    // Evaluates every rule at `clock.time`; takes the actions of the rules
    // whose premises hold (or the ELSE actions of those that do not), one per
    // link, the higher priority winning. Returns the number of links changed.
    int check(HydraulicState& state, const Clock& clock);

private:
    bool premise_holds(const RulePremise& p, const HydraulicState& state, const Clock& clock) const;
    void add_actions(int rule, const std::vector<RuleAction>& actions);

    const Network& network_;
    const HydraulicSystem& system_;
    struct Pending {
        int rule;
        const RuleAction* action;
    };
    std::vector<Pending> pending_;
};

}  // namespace hydrosk::toolkit
