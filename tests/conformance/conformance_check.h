// How closely a simulation must follow EPANET 2.2's reference, network by network, and the
// comparisons themselves. Each comparison returns one line per disagreement (empty: agreed).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reference_file.h"

namespace hydrosk::conformance {

enum class StepComparison {
    // Same step times and codes; every pressure at every step.
    every_step,
    // Same times, codes and pressures at the multiples of the report step only; the steps in
    // between (tanks filling, controls acting) may fall a few seconds apart, so only their
    // times are compared, loosely. Two EPANET 2.2 builds agree no closer on Net6.
    reporting_times,
    // The network is degenerate (no source can serve the demands): pressures are absurd and
    // differ between EPANET builds, so only the codes at the reporting times are compared.
    codes_only,
};

struct Tolerance {
    double absolute = 0.001;  // user pressure units (psi or m)
    double relative = 1e-6;   // covers the 1e6-1e7 values of parts cut off from every source
};

struct ComparisonPolicy {
    StepComparison steps = StepComparison::every_step;
    Tolerance pressure;
    long step_time_slack = 0;  // s, for the steps between reporting times
    int unmatched_steps = 0;   // steps between reporting times allowed without a partner
    bool compare_solve_code = true;
};

// The policy of a network (file name without .inp). The looser ones describe how closely two
// builds of EPANET 2.2 agree on Net6 and Anytown; our toolkit is held to every_step everywhere.
ComparisonPolicy policy_for(std::string_view network);

bool within(double expected, double actual, const Tolerance& tolerance);

// A step of the simulation under test: ENrunH's time and code, then every node's pressure.
struct SimulatedStep {
    long time = 0;
    int code = 0;
    std::vector<double> pressures;
};

// `where` starts each line ("t=3600 s"); nodes are named by their reference ID.
std::vector<std::string> compare_pressures(const NetworkReference& ref, std::string_view where,
                                           const std::vector<double>& expected,
                                           const std::vector<double>& actual,
                                           const Tolerance& tolerance);

// The whole run of ENrunH/ENnextH steps against the reference's, as the policy says.
std::vector<std::string> compare_steps(const NetworkReference& ref,
                                       const std::vector<SimulatedStep>& actual,
                                       const ComparisonPolicy& policy);

// The first `limit` lines and how many more there were, for a test failure message.
std::string summarize(const std::vector<std::string>& differences, std::size_t limit = 20);

}  // namespace hydrosk::conformance
