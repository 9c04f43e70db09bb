#include "conformance_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace hydrosk::conformance {
namespace {

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// IDs are compared as bytes; a readable one is shown as text, another as hex.
std::string node_name(const NetworkReference& ref, std::size_t position) {
    if (position >= ref.nodes.size()) return "#" + std::to_string(position + 1);
    const std::string& id = ref.nodes[position].id;
    const bool printable =
        std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 127; });
    return "'" + (printable ? id : "hex " + encode_hex(id)) + "'";
}

std::string at_time(long t) {
    return "t=" + std::to_string(t) + " s";
}

bool is_reporting_time(const NetworkReference& ref, long t) {
    const long step = ref.report_step();
    return step <= 0 || t % step == 0;
}

// Times of `from` that have no time of `to` within `slack`; both sorted.
std::vector<long> unmatched_times(const std::vector<long>& from, const std::vector<long>& to,
                                  long slack) {
    std::vector<long> missing;
    for (const long t : from) {
        const auto nearest = std::lower_bound(to.begin(), to.end(), t - slack);
        if (nearest == to.end() || *nearest > t + slack) missing.push_back(t);
    }
    return missing;
}

std::string list_times(const std::vector<long>& times) {
    std::string text;
    for (std::size_t k = 0; k < times.size() && k < 10; ++k) text += " " + std::to_string(times[k]);
    if (times.size() > 10) text += " ...";
    return text;
}

void append(std::vector<std::string>& to, std::vector<std::string> more) {
    to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

void compare_code(std::vector<std::string>& differences, long t, int expected, int actual) {
    if (expected != actual) {
        differences.push_back(at_time(t) + ": ENrunH code expected " + std::to_string(expected) +
                              ", got " + std::to_string(actual));
    }
}

std::vector<std::string> compare_every_step(const NetworkReference& ref,
                                            const std::vector<SimulatedStep>& actual,
                                            const ComparisonPolicy& policy) {
    std::vector<std::string> differences;
    if (ref.steps.size() != actual.size()) {
        differences.push_back("expected " + std::to_string(ref.steps.size()) + " steps, got " +
                              std::to_string(actual.size()));
    }
    const std::size_t common = std::min(ref.steps.size(), actual.size());
    for (std::size_t k = 0; k < common; ++k) {
        const ReferenceStep& expected = ref.steps[k];
        if (expected.time != actual[k].time) {
            // Later steps are out of step with the reference: comparing them says nothing more.
            differences.push_back("step " + std::to_string(k) + ": time expected " +
                                  std::to_string(expected.time) + " s, got " +
                                  std::to_string(actual[k].time) + " s");
            break;
        }
        compare_code(differences, expected.time, expected.code, actual[k].code);
        if (!expected.pressures.empty()) {
            append(differences, compare_pressures(ref, at_time(expected.time), expected.pressures,
                                                  actual[k].pressures, policy.pressure));
        }
    }
    return differences;
}

std::vector<std::string> compare_reporting_times(const NetworkReference& ref,
                                                 const std::vector<SimulatedStep>& actual,
                                                 const ComparisonPolicy& policy) {
    std::vector<std::string> differences;
    std::map<long, const SimulatedStep*> by_time;
    std::vector<long> actual_between;
    for (const SimulatedStep& step : actual) {
        by_time.emplace(step.time, &step);
        if (!is_reporting_time(ref, step.time)) actual_between.push_back(step.time);
    }
    std::vector<long> expected_between;
    const bool with_pressures = policy.steps == StepComparison::reporting_times;
    for (const ReferenceStep& expected : ref.steps) {
        if (!is_reporting_time(ref, expected.time)) {
            expected_between.push_back(expected.time);
            continue;
        }
        const auto found = by_time.find(expected.time);
        if (found == by_time.end()) {
            differences.push_back(at_time(expected.time) + ": no step at this reporting time");
            continue;
        }
        compare_code(differences, expected.time, expected.code, found->second->code);
        if (with_pressures && !expected.pressures.empty()) {
            append(differences, compare_pressures(ref, at_time(expected.time), expected.pressures,
                                                  found->second->pressures, policy.pressure));
        }
    }
    if (!with_pressures) return differences;

    std::sort(actual_between.begin(), actual_between.end());
    const auto missing = unmatched_times(expected_between, actual_between, policy.step_time_slack);
    const auto extra = unmatched_times(actual_between, expected_between, policy.step_time_slack);
    const auto slack = " within " + std::to_string(policy.step_time_slack) + " s:";
    if (static_cast<int>(missing.size()) > policy.unmatched_steps) {
        differences.push_back(std::to_string(missing.size()) +
                              " reference steps between reporting times have no step" + slack +
                              list_times(missing));
    }
    if (static_cast<int>(extra.size()) > policy.unmatched_steps) {
        differences.push_back(std::to_string(extra.size()) +
                              " steps between reporting times have no reference step" + slack +
                              list_times(extra));
    }
    return differences;
}

}  // namespace

ComparisonPolicy policy_for(std::string_view network) {
    // Every shared network is held to the strict policy: with EPANET's node ordering, order of
    // additions and portable maths routines, our toolkit rounds as the WebAssembly build of
    // EPANET 2.2 does, even on Net6 and the degenerate Anytown, where two EPANET builds differ.
    (void)network;
    return ComparisonPolicy{};
}

bool within(double expected, double actual, const Tolerance& tolerance) {
    if (std::isnan(expected) || std::isnan(actual))
        return std::isnan(expected) && std::isnan(actual);
    if (!std::isfinite(expected) || !std::isfinite(actual)) return expected == actual;
    return std::fabs(actual - expected) <=
           tolerance.absolute + tolerance.relative * std::fabs(expected);
}

std::vector<std::string> compare_pressures(const NetworkReference& ref, std::string_view where,
                                           const std::vector<double>& expected,
                                           const std::vector<double>& actual,
                                           const Tolerance& tolerance) {
    if (expected.size() != actual.size()) {
        return {std::string(where) + ": expected " + std::to_string(expected.size()) +
                " pressures, got " + std::to_string(actual.size())};
    }
    std::vector<std::string> differences;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (within(expected[k], actual[k], tolerance)) continue;
        const double allowed = tolerance.absolute + tolerance.relative * std::fabs(expected[k]);
        differences.push_back(std::string(where) + ": pressure of node " + node_name(ref, k) +
                              " expected " + number_text(expected[k]) + ", got " +
                              number_text(actual[k]) + " (tolerance " + number_text(allowed) + ")");
    }
    return differences;
}

std::vector<std::string> compare_steps(const NetworkReference& ref,
                                       const std::vector<SimulatedStep>& actual,
                                       const ComparisonPolicy& policy) {
    if (policy.steps == StepComparison::every_step) return compare_every_step(ref, actual, policy);
    return compare_reporting_times(ref, actual, policy);
}

std::string summarize(const std::vector<std::string>& differences, std::size_t limit) {
    std::string text;
    for (std::size_t k = 0; k < differences.size() && k < limit; ++k) text += differences[k] + "\n";
    if (differences.size() > limit) {
        text += "... and " + std::to_string(differences.size() - limit) + " more differences\n";
    }
    return text;
}

}  // namespace hydrosk::conformance
