// The reference reader and the comparison rules, on hand-written records and on the files the
// EPANET 2.2 oracle generated (fixture conformance_reference). Needs no toolkit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <ostream>
#include <sstream>

#include "conformance_check.h"
#include "reference_file.h"

namespace hydrosk::conformance {
namespace {

namespace fs = std::filesystem;

const fs::path reference_dir{HYDROSK_CONFORMANCE_REFERENCE};

NetworkReference parse(const std::string& text) {
    std::istringstream in(text);
    return parse_reference(in);
}

// Two nodes (one Latin-1 ID), one pump, two steps 30 min apart, the second at the report step.
const std::string small_reference =
    "oracle epanet-js 0.9.0 engine v2.2 version 20200\n"
    "network tiny\n"
    "open 0\n"
    "flowunits 5\n"
    "counts 2 1 1 1 0 2 0\n"
    "times 3600 1800 300 3600 0 3600 0 360 43200\n"
    "node 1 0 4ac9\n"
    "node 2 1 52\n"
    "link 1 2 2 1 5031\n"
    "pattern 1 31\n"
    "demand 1 2.5 1\n"
    "openH 0\n"
    "initH 0 0\n"
    "step 0 0\n"
    "p 10.5 0\n"
    "next 1800 0\n"
    "step 1800 6\n"
    "p -1e+06 nan\n"
    "next 1800 0\n"
    "step 3600 0\n"
    "p 11 -inf\n"
    "next 0 0\n"
    "end 3 0\n"
    "solveH 6\n"
    "sp 11 0\n"
    "done\n";

TEST(ReferenceFile, ReadsEveryRecordOfASimulatedNetwork) {
    const NetworkReference ref = parse(small_reference);
    EXPECT_EQ(ref.network, "tiny");
    EXPECT_EQ(ref.open_code, 0);
    EXPECT_FALSE(ref.refused());
    EXPECT_EQ(ref.flow_units, 5);
    EXPECT_EQ(ref.count(CountKind::nodes), 2);
    EXPECT_EQ(ref.count(CountKind::controls), 2);
    EXPECT_EQ(ref.times[1], 1800);
    EXPECT_EQ(ref.times[8], 43200);
    EXPECT_EQ(ref.report_step(), 3600);
    ASSERT_EQ(ref.nodes.size(), 2u);
    EXPECT_EQ(ref.nodes[0].id, "J\xC9");
    EXPECT_EQ(ref.nodes[1].type, 1);
    ASSERT_EQ(ref.links.size(), 1u);
    EXPECT_EQ(ref.links[0].type, 2);
    EXPECT_EQ(ref.links[0].from, 2);
    EXPECT_EQ(ref.links[0].to, 1);
    EXPECT_EQ(ref.links[0].id, "P1");
    EXPECT_EQ(ref.patterns, std::vector<std::string>{"1"});
    ASSERT_EQ(ref.demands.size(), 1u);
    EXPECT_DOUBLE_EQ(ref.demands[0].base, 2.5);
    EXPECT_EQ(ref.demands[0].pattern, 1);
    EXPECT_EQ(ref.init_h_code, 0);
    ASSERT_EQ(ref.steps.size(), 3u);
    EXPECT_EQ(ref.steps[1].time, 1800);
    EXPECT_EQ(ref.steps[1].code, 6);
    EXPECT_DOUBLE_EQ(ref.steps[1].pressures[0], -1e6);
    EXPECT_TRUE(std::isnan(ref.steps[1].pressures[1]));
    EXPECT_EQ(ref.steps[2].pressures[1], -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ref.steps[2].next, 0);
    EXPECT_FALSE(ref.capped);
    EXPECT_EQ(ref.solve_h_code, 6);
    EXPECT_EQ(ref.solve_h_pressures, (std::vector<double>{11, 0}));
}

TEST(ReferenceFile, ReadsARefusedNetwork) {
    const NetworkReference ref = parse(
        "oracle epanet-js 0.9.0 engine v2.2 version 20200\n"
        "network bad\nopen 200\nerror 200\nrpterror 201\nrpterror 200\ndone\n");
    EXPECT_TRUE(ref.refused());
    EXPECT_EQ(ref.report_errors, (std::vector<int>{201, 200}));
    EXPECT_TRUE(ref.steps.empty());
    EXPECT_FALSE(ref.solve_h_code.has_value());
}

// Each broken file names the line at fault.
struct BrokenReference {
    const char* what;
    std::string from;  // a line of small_reference ...
    std::string to;    // ... replaced by this
    const char* message;
};

void PrintTo(const BrokenReference& broken, std::ostream* out) {
    *out << broken.what;
}

class BrokenReferenceTest : public ::testing::TestWithParam<BrokenReference> {};

TEST_P(BrokenReferenceTest, IsRefusedWithTheLine) {
    std::string text = small_reference;
    const std::size_t at = text.find(GetParam().from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, GetParam().from.size(), GetParam().to);
    try {
        parse(text);
        FAIL() << "accepted: " << GetParam().what;
    } catch (const ReferenceFormatError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenReferenceTest,
    ::testing::Values(
        BrokenReference{"cut off", "done\n", "", "no `done` record"},
        BrokenReference{"text after done", "done\n", "done\nopen 0\n", "line 27: text after"},
        BrokenReference{"wrong header", "oracle", "oracles", "line 1: the first record"},
        BrokenReference{"odd hex", "node 1 0 4ac9", "node 1 0 4ac", "line 7: odd number"},
        BrokenReference{"non-hex", "node 2 1 52", "node 2 1 5x", "line 8: not a hex ID"},
        BrokenReference{"node order", "node 2 1 52", "node 3 1 52", "line 8: index out of order"},
        BrokenReference{"missing pressure", "p 10.5 0", "p 10.5", "line 15: 1 pressures for 2"},
        BrokenReference{"bad number", "p 11 -inf", "p 11 1,5", "line 21: not a number: `1,5`"},
        BrokenReference{"few counts", "counts 2 1 1 1 0 2 0", "counts 2 1 1",
                        "line 5: `counts` needs"},
        BrokenReference{"unknown record", "openH 0", "openQ 0", "line 12: unknown record `openQ`"},
        BrokenReference{"pressures first", "step 0 0\n", "", "line 14: `p` before any `step`"},
        BrokenReference{"counts disagree", "pattern 1 31\n", "", "do not match `counts`"}),
    [](const ::testing::TestParamInfo<BrokenReference>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(ReferenceFile, HexKeepsEveryByte) {
    std::string all_bytes;
    for (int byte = 1; byte < 256; ++byte) all_bytes.push_back(static_cast<char>(byte));
    EXPECT_EQ(decode_hex(encode_hex(all_bytes)), all_bytes);
    EXPECT_EQ(encode_hex("12\xC3\x99"), "3132c399");
    EXPECT_EQ(decode_hex("3132C399"), "12\xC3\x99");
    EXPECT_EQ(decode_hex(""), "");
}

TEST(ReferenceFile, MissingFileIsAnError) {
    EXPECT_THROW(read_reference(fs::path(reference_dir) / "no such network.ref"),
                 ReferenceFormatError);
}

// --- comparison rules ---

struct WithinCase {
    double expected;
    double actual;
    bool agrees;
};

void PrintTo(const WithinCase& c, std::ostream* out) {
    *out << c.expected << " vs " << c.actual;
}

class WithinTest : public ::testing::TestWithParam<WithinCase> {};

TEST_P(WithinTest, AppliesAbsoluteAndRelativeTolerance) {
    EXPECT_EQ(within(GetParam().expected, GetParam().actual, Tolerance{}), GetParam().agrees)
        << GetParam().expected << " vs " << GetParam().actual;
}

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_value = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, WithinTest,
    ::testing::Values(WithinCase{100.0, 100.0009, true}, WithinCase{100.0, 99.9985, false},
                      WithinCase{0.0, -0.001, true}, WithinCase{-1.2e7, -1.2e7 + 12.0, true},
                      WithinCase{-1.2e7, -1.2e7 - 12.0, true},
                      WithinCase{-1.2e7, -1.2e7 + 12.1, false},
                      WithinCase{nan_value, nan_value, true}, WithinCase{nan_value, 0.0, false},
                      WithinCase{0.0, nan_value, false}, WithinCase{inf_value, inf_value, true},
                      WithinCase{inf_value, 1e300, false}));

std::vector<SimulatedStep> as_simulated(const NetworkReference& ref) {
    std::vector<SimulatedStep> steps;
    for (const ReferenceStep& step : ref.steps)
        steps.push_back({step.time, step.code, step.pressures});
    return steps;
}

TEST(CompareSteps, AgreeingRunHasNoDifference) {
    const NetworkReference ref = parse(small_reference);
    EXPECT_EQ(summarize(compare_steps(ref, as_simulated(ref), ComparisonPolicy{})), "");
}

TEST(CompareSteps, NamesTheNodeTimeAndTolerance) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual[0].pressures[0] += 0.0015;
    const auto differences = compare_steps(ref, actual, ComparisonPolicy{});
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0],
              "t=0 s: pressure of node 'hex 4ac9' expected 10.5, got 10.5015 (tolerance "
              "0.0010105)");
}

TEST(CompareSteps, ReportsCodesAndStopsAtAShiftedTime) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual[1].code = 0;
    actual[2].time = 3000;
    actual[2].pressures[0] = 0.0;  // after the shift: not reported
    const auto differences = compare_steps(ref, actual, ComparisonPolicy{});
    ASSERT_EQ(differences.size(), 2u) << summarize(differences);
    EXPECT_EQ(differences[0], "t=1800 s: ENrunH code expected 6, got 0");
    EXPECT_EQ(differences[1], "step 2: time expected 3600 s, got 3000 s");
}

TEST(CompareSteps, ReportsAMissingStep) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual.pop_back();
    const auto differences = compare_steps(ref, actual, ComparisonPolicy{});
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0], "expected 3 steps, got 2");
}

TEST(CompareSteps, ReportsAMissingPressure) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual[0].pressures.pop_back();
    const auto differences = compare_steps(ref, actual, ComparisonPolicy{});
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0], "t=0 s: expected 2 pressures, got 1");
}

// How closely two EPANET 2.2 builds agree on Net6 (networks README).
ComparisonPolicy loose_policy() {
    ComparisonPolicy policy;
    policy.steps = StepComparison::reporting_times;
    policy.pressure.absolute = 0.005;
    policy.step_time_slack = 2;
    policy.unmatched_steps = 2;
    policy.compare_solve_code = false;
    return policy;
}

TEST(CompareReportingTimes, ToleratesStepsBetweenReportsAFewSecondsApart) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual[1].time += loose_policy().step_time_slack;
    actual[1].code = 0;                // warnings between reports are not compared
    actual[1].pressures[0] = 55.0;     // nor pressures
    actual[0].pressures[0] += 0.0045;  // reporting times are, within 0.005
    EXPECT_EQ(summarize(compare_steps(ref, actual, loose_policy())), "");
}

TEST(CompareReportingTimes, ToleratesALimitedNumberOfUnmatchedSteps) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual.erase(actual.begin() + 1);
    EXPECT_EQ(summarize(compare_steps(ref, actual, loose_policy())), "");

    ComparisonPolicy strict = loose_policy();
    strict.unmatched_steps = 0;
    const auto differences = compare_steps(ref, actual, strict);
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0],
              "1 reference steps between reporting times have no step within 2 s: 1800");
}

TEST(CompareReportingTimes, NeedsEveryReportingTimeWithItsPressures) {
    const NetworkReference ref = parse(small_reference);
    auto actual = as_simulated(ref);
    actual[0].pressures[0] += 0.006;
    actual[2].time = 3599;
    ComparisonPolicy strict = loose_policy();
    strict.unmatched_steps = 0;
    const auto differences = compare_steps(ref, actual, strict);
    ASSERT_EQ(differences.size(), 3u) << summarize(differences);
    EXPECT_NE(differences[0].find("t=0 s: pressure of node"), std::string::npos);
    EXPECT_EQ(differences[1], "t=3600 s: no step at this reporting time");
    EXPECT_EQ(differences[2],
              "1 steps between reporting times have no reference step within 2 s: 3599");
}

TEST(CompareCodesOnly, IgnoresPressuresButNotCodes) {
    const NetworkReference ref = parse(small_reference);
    ComparisonPolicy policy;
    policy.steps = StepComparison::codes_only;
    auto actual = as_simulated(ref);
    for (auto& step : actual) {
        for (double& p : step.pressures) p = -1.4e25;
    }
    EXPECT_EQ(summarize(compare_steps(ref, actual, policy)), "");
    actual[2].code = 6;
    EXPECT_EQ(summarize(compare_steps(ref, actual, policy)),
              "t=3600 s: ENrunH code expected 0, got 6\n");
}

TEST(Policy, EveryNetworkIsHeldToEveryStep) {
    for (const char* network : {"Net1", "Net6", "Anytown", "ky10"}) {
        const ComparisonPolicy policy = policy_for(network);
        EXPECT_EQ(policy.steps, StepComparison::every_step) << network;
        EXPECT_EQ(policy.pressure.absolute, 0.001) << network;
        EXPECT_EQ(policy.pressure.relative, 1e-6) << network;
        EXPECT_EQ(policy.step_time_slack, 0) << network;
        EXPECT_TRUE(policy.compare_solve_code) << network;
    }
}

TEST(Summarize, CutsLongListsShort) {
    const std::vector<std::string> lines(25, "x");
    const std::string text = summarize(lines, 3);
    EXPECT_EQ(text, "x\nx\nx\n... and 22 more differences\n");
}

// --- the files the oracle generated ---

std::vector<fs::path> generated_references() {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(reference_dir, error)) {
        if (entry.path().extension() == ".ref") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

const char* const no_reference_message =
    "no EPANET 2.2 reference files (they need node, npm and the shared networks; "
    "ctest's fixture conformance_reference or `make reference` writes them)";

TEST(GeneratedReferences, AreCompleteAndAgreeWithThemselves) {
    const auto files = generated_references();
    if (files.empty()) GTEST_SKIP() << no_reference_message;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        NetworkReference ref;
        ASSERT_NO_THROW(ref = read_reference(file));
        EXPECT_EQ(ref.network, file.stem().string());
        if (ref.refused()) continue;
        ASSERT_FALSE(ref.steps.empty());
        EXPECT_EQ(ref.steps.front().time, 0);
        EXPECT_FALSE(ref.capped);
        EXPECT_EQ(ref.steps.back().time, ref.times[0]) << "the run stops at the duration";
        for (std::size_t k = 1; k < ref.steps.size(); ++k) {
            ASSERT_EQ(ref.steps[k].time,
                      ref.steps[k - 1].time + ref.steps[k - 1].next.value_or(-1));
        }
        const ComparisonPolicy policy = policy_for(ref.network);
        EXPECT_EQ(summarize(compare_steps(ref, as_simulated(ref), policy)), "");
        // ENsolveH leaves the pressures of the last step.
        ASSERT_TRUE(ref.solve_h_code.has_value());
        if (policy.steps != StepComparison::codes_only) {
            EXPECT_EQ(summarize(compare_pressures(ref, "solveH", ref.steps.back().pressures,
                                                  ref.solve_h_pressures, policy.pressure)),
                      "");
        }
    }
}

std::optional<NetworkReference> generated(const std::string& network) {
    const fs::path file = reference_dir / (network + ".ref");
    if (!fs::exists(file)) return std::nullopt;
    return read_reference(file);
}

TEST(GeneratedReferences, Net1StartsWithEpanetsKnownPressures) {
    const auto ref = generated("Net1");
    if (!ref) GTEST_SKIP() << no_reference_message;
    ASSERT_EQ(ref->open_code, 0);
    EXPECT_EQ(ref->flow_units, 1);  // GPM
    EXPECT_EQ(ref->count(CountKind::nodes), 11);
    EXPECT_EQ(ref->count(CountKind::tanks), 2);
    EXPECT_EQ(ref->steps.size(), 27u);  // 25 hours and two tank or control events
    ASSERT_EQ(ref->nodes[0].id, "10");
    EXPECT_NEAR(ref->steps[0].pressures[0], 127.54, 0.01);  // psi, EPANET's Net1 report
    EXPECT_EQ(ref->nodes[9].type, 1);                       // reservoir 9
    EXPECT_EQ(ref->steps[0].pressures[9], 0.0);
}

TEST(GeneratedReferences, RefusedNetworksCarryEpanetsErrorCodes) {
    const struct {
        const char* network;
        int open_code;
        std::vector<int> report_errors;
    } cases[] = {{"bad_syntax", 200, {201, 200}},
                 {"bad_values", 200, {203, 200}},
                 {"cv_controls", 223, {223}}};
    int found = 0;
    for (const auto& c : cases) {
        const auto ref = generated(c.network);
        if (!ref) continue;
        ++found;
        EXPECT_EQ(ref->open_code, c.open_code) << c.network;
        EXPECT_EQ(ref->report_errors, c.report_errors) << c.network;
    }
    if (found == 0) GTEST_SKIP() << no_reference_message;
}

TEST(GeneratedReferences, Latin1IdsKeepTheirBytes) {
    const auto ref = generated("latin1");
    if (!ref) GTEST_SKIP() << no_reference_message;
    ASSERT_GE(ref->links.size(), 3u);
    EXPECT_EQ(ref->links[2].id, "12\xC3\x99");  // the file is UTF-8 encoded despite its name
}

}  // namespace
}  // namespace hydrosk::conformance
