// Tests of the INP reader. Expected codes, lines, tokens and report texts are
// EPANET 2.2's own (checked against its WebAssembly build); expected values
// follow EPANET's load-time formulas.
#include "toolkit/input/reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "toolkit/error_messages.h"
#include "toolkit/input/lexer.h"
#include "toolkit/units.h"

namespace hydrosk::toolkit {
namespace {

namespace fs = std::filesystem;

fs::path data_file(const std::string& name) {
    return fs::path{HYDROSK_TEST_DATA} / name;
}

std::string read_bytes(const fs::path& path) {
    std::ifstream in{path, std::ios::binary};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Insert {
    std::string heading;
    std::vector<std::string> lines;
};

// reader_base.inp with lines added right after the given headings.
std::string base_with(const std::vector<Insert>& inserts) {
    const std::string base = read_bytes(data_file("reader_base.inp"));
    std::istringstream in{base};
    std::string out;
    std::string line;
    while (std::getline(in, line)) {
        out += line + "\n";
        for (const Insert& insert : inserts) {
            if (line == insert.heading) {
                for (const std::string& added : insert.lines) out += added + "\n";
            }
        }
    }
    return out;
}

std::string report_of(const InputResult& result) {
    std::ostringstream report;
    write_input_report(report, result);
    return report.str();
}

int index_of(const std::unordered_map<std::string, int>& map, const std::string& id) {
    const auto it = map.find(id);
    return it == map.end() ? kNoIndex : it->second;
}

// --- The shared public networks ------------------------------------------

struct SharedCase {
    const char* file;
    int code;
    int nodes, tanks, links, patterns, curves, controls;
};

const SharedCase kShared[] = {
    {"Anytown.inp", 0, 25, 3, 46, 4, 2, 0},
    {"Anytown_multipointcurves.inp", 0, 25, 3, 46, 4, 3, 0},
    {"Awumah_layout1.inp", 0, 12, 1, 12, 0, 0, 0},
    {"CCWI17-HermanMahmoud.inp", 0, 7, 1, 8, 0, 0, 0},
    {"Net1.inp", 0, 11, 2, 13, 1, 1, 2},
    {"Net2.inp", 0, 36, 1, 40, 3, 0, 0},
    {"Net3.inp", 0, 97, 5, 119, 5, 2, 18},
    {"Net6.inp", 0, 3356, 33, 3892, 3, 60, 124},
    {"Todini_Fig2_solA_CMH.inp", 0, 7, 1, 8, 0, 0, 0},
    {"bad_syntax.inp", 200, 0, 0, 0, 0, 0, 0},
    {"bad_times.inp", 0, 3, 1, 2, 2, 0, 0},
    {"bad_values.inp", 200, 0, 0, 0, 0, 0, 0},
    {"conditional_controls_1.inp", 0, 3, 2, 2, 2, 1, 1},
    {"conditional_controls_2.inp", 0, 5, 2, 4, 1, 1, 1},
    {"control_comb.inp", 0, 3, 2, 2, 2, 1, 1},
    {"cv_controls.inp", 223, 0, 0, 0, 0, 0, 0},
    {"fcv_open_no_downstream_sources.inp", 0, 8, 2, 8, 1, 1, 0},
    {"io.inp", 0, 5, 1, 6, 2, 2, 6},
    {"ky10.inp", 0, 935, 15, 1061, 4, 0, 6},
    {"latin1.inp", 0, 11, 2, 13, 1, 1, 2},
    {"prv_open_no_upstream_sources.inp", 0, 8, 2, 8, 1, 1, 0},
    {"psv_open_no_downstream_sources.inp", 0, 8, 2, 8, 1, 1, 0},
    {"tank_controls_1.inp", 0, 3, 1, 2, 2, 1, 0},
    {"tank_controls_2.inp", 0, 4, 2, 3, 2, 1, 1},
    {"time_controls.inp", 0, 3, 1, 2, 2, 0, 2},
};

fs::path shared_networks() {
    return fs::path{HYDROSK_SHARED_NETWORKS};
}

TEST(InpReaderShared, EveryNetworkReadsWithEpanetsCodeAndCounts) {
    if (!fs::is_directory(shared_networks())) GTEST_SKIP() << "no shared networks folder";
    for (const SharedCase& c : kShared) {
        SCOPED_TRACE(c.file);
        const InputResult result = read_inp_file(shared_networks() / c.file);
        ASSERT_EQ(result.code, c.code);
        if (c.code != 0) {
            EXPECT_EQ(result.network, nullptr);
            continue;
        }
        ASSERT_NE(result.network, nullptr);
        const Network& net = *result.network;
        EXPECT_EQ(static_cast<int>(net.nodes.size()), c.nodes);
        EXPECT_EQ(net.tank_count, c.tanks);
        EXPECT_EQ(net.junction_count + net.tank_count, c.nodes);
        EXPECT_EQ(static_cast<int>(net.links.size()), c.links);
        EXPECT_EQ(static_cast<int>(net.patterns.size()), c.patterns);
        EXPECT_EQ(static_cast<int>(net.curves.size()), c.curves);
        EXPECT_EQ(static_cast<int>(net.controls.size()), c.controls);
        EXPECT_TRUE(result.errors.empty());
        // Junctions first, and every ID maps back to its index.
        for (int i = 0; i < static_cast<int>(net.nodes.size()); ++i) {
            const Node& node = net.nodes[static_cast<std::size_t>(i)];
            EXPECT_EQ(node.type == NodeType::Junction, i < net.junction_count) << node.id;
            EXPECT_EQ(index_of(net.node_index, node.id), i);
        }
        for (int k = 0; k < static_cast<int>(net.links.size()); ++k) {
            EXPECT_EQ(index_of(net.link_index, net.links[static_cast<std::size_t>(k)].id), k);
        }
    }
}

TEST(InpReaderShared, BadFilesReportEpanetsLineErrors) {
    if (!fs::is_directory(shared_networks())) GTEST_SKIP() << "no shared networks folder";
    const InputResult syntax = read_inp_file(shared_networks() / "bad_syntax.inp");
    ASSERT_EQ(syntax.errors.size(), 1u);
    EXPECT_EQ(syntax.errors[0].code, 201);
    EXPECT_EQ(syntax.errors[0].line, 330);
    EXPECT_EQ(syntax.errors[0].section, "[TIMES]");
    EXPECT_EQ(syntax.errors[0].text, "[FOO]");
    EXPECT_EQ(report_of(syntax),
              "\n  Error 201: syntax error  in [TIMES] section:\n  [FOO]\n"
              "\n  Error 200: one or more errors in input file");

    const InputResult values = read_inp_file(shared_networks() / "bad_values.inp");
    ASSERT_EQ(values.errors.size(), 1u);
    EXPECT_EQ(values.errors[0].code, 203);
    EXPECT_EQ(values.errors[0].line, 56);
    EXPECT_EQ(values.errors[0].section, "[PIPES]");
    EXPECT_EQ(values.errors[0].token, "node1");
}

TEST(InpReaderShared, Net1ValuesInInternalUnits) {
    if (!fs::is_directory(shared_networks())) GTEST_SKIP() << "no shared networks folder";
    const InputResult result = read_inp_file(shared_networks() / "Net1.inp");
    ASSERT_EQ(result.code, 0);
    const Network& net = *result.network;
    const Node& j11 = net.nodes[static_cast<std::size_t>(index_of(net.node_index, "11"))];
    EXPECT_DOUBLE_EQ(j11.elevation, 710.0);
    ASSERT_EQ(j11.demands.size(), 1u);
    EXPECT_DOUBLE_EQ(j11.demands[0].base, 150.0 / units::kGpmPerCfs);
    EXPECT_EQ(j11.demands[0].pattern, 0);  // default pattern "1"
    const Node& tank = net.nodes[static_cast<std::size_t>(index_of(net.node_index, "2"))];
    EXPECT_EQ(tank.type, NodeType::Tank);
    EXPECT_DOUBLE_EQ(tank.initial_head, 850.0 + 120.0);
    EXPECT_DOUBLE_EQ(tank.area, std::numbers::pi * 50.5 * 50.5 / 4.0);
    const Link& pump = net.links[static_cast<std::size_t>(index_of(net.link_index, "9"))];
    EXPECT_EQ(pump.pump_kind, PumpKind::PowerFunction);
    // One-point curve (1500 gpm, 250 ft): shutoff 1.33334 h1, no head at 2 q1.
    EXPECT_DOUBLE_EQ(pump.h0, 1.33334 * 250.0);
    EXPECT_DOUBLE_EQ(pump.n, std::log(1.33334 / 0.33334) / std::log(2.0));
    EXPECT_EQ(net.controls.size(), 2u);
    EXPECT_EQ(net.controls[0].kind, Control::Kind::LowLevel);
    EXPECT_DOUBLE_EQ(net.controls[0].grade, 850.0 + 110.0);
    EXPECT_DOUBLE_EQ(net.controls[0].setting, 1.0);  // pump OPEN
}

// --- Input errors, one table row per case ---------------------------------

struct ErrorCase {
    const char* name;
    std::vector<Insert> inserts;
    int code;    // result code
    int errors;  // number of errors kept
    int first;   // code of the first error (0: none)
    long line;   // its line (0 for errors found after reading)
    const char* section;
    const char* token;
};

const std::vector<ErrorCase>& error_cases() {
    static const std::vector<ErrorCase> cases{
        // clang-format off
    {"junction: missing elevation",
     {{"[JUNCTIONS]", {"J9"}}},
     200, 1, 201, 5, "[JUNCTIONS]", ""},
    {"junction: elevation not a number",
     {{"[JUNCTIONS]", {"J9 abc"}}},
     200, 1, 202, 5, "[JUNCTIONS]", "abc"},
    {"junction: undefined pattern",
     {{"[JUNCTIONS]", {"J9 10 5 NOPAT"}}},
     200, 1, 205, 5, "[JUNCTIONS]", "NOPAT"},
    {"junction: duplicate ID",
     {{"[JUNCTIONS]", {"J1 10"}}},
     200, 1, 215, 6, "[JUNCTIONS]", "J1"},
    {"junction: 32-character ID",
     {{"[JUNCTIONS]", {"Jxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx 10"}}},
     200, 1, 252, 5, "[JUNCTIONS]", "Jxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
    {"junction: unconnected",
     {{"[JUNCTIONS]", {"J9 10"}}},
     200, 1, 233, 0, "", ""},
    {"junction: 31-character ID unconnected",
     {{"[JUNCTIONS]", {"Jxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx 10"}}},
     200, 1, 233, 0, "", ""},
    {"tank: too few values",
     {{"[TANKS]", {"T9 10 1 2"}}},
     200, 1, 201, 13, "[TANKS]", ""},
    {"tank: level not a number",
     {{"[TANKS]", {"T9 10 1 0 x 40"}}},
     200, 1, 202, 13, "[TANKS]", "x"},
    {"tank: undefined volume curve",
     {{"[TANKS]", {"T9 10 1 0 5 40 0 NOCURVE"}}},
     200, 1, 206, 13, "[TANKS]", "NOCURVE"},
    {"tank: bad overflow flag",
     {{"[TANKS]", {"T9 10 1 0 5 40 0 * MAYBE"}}},
     200, 1, 213, 13, "[TANKS]", "MAYBE"},
    {"tank: negative level",
     {{"[TANKS]", {"T9 10 -1 0 5 40"}}},
     200, 1, 209, 13, "[TANKS]", "-1"},
    {"tank: initial above maximum",
     {{"[TANKS]", {"T9 10 6 0 5 40"}}},
     200, 1, 225, 0, "", ""},
    {"tank: levels outside volume curve",
     {{"[TANKS]", {"T9 10 1 0 5 40 0 C1"}}},
     200, 1, 225, 0, "", ""},
    {"reservoir: undefined pattern",
     {{"[RESERVOIRS]", {"R9 10 NOPAT"}}},
     200, 1, 205, 10, "[RESERVOIRS]", "NOPAT"},
    {"pipe: too few values",
     {{"[PIPES]", {"P9 J1 J2 100 10"}}},
     200, 1, 201, 16, "[PIPES]", ""},
    {"pipe: undefined node",
     {{"[PIPES]", {"P9 J1 JX 100 10 100"}}},
     200, 1, 203, 16, "[PIPES]", "JX"},
    {"pipe: same end nodes",
     {{"[PIPES]", {"P9 J1 J1 100 10 100"}}},
     200, 1, 222, 16, "[PIPES]", "P9"},
    {"pipe: zero length",
     {{"[PIPES]", {"P9 J1 J2 0 10 100"}}},
     200, 1, 211, 16, "[PIPES]", "0"},
    {"pipe: negative minor loss",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 -1"}}},
     200, 1, 211, 16, "[PIPES]", "-1"},
    {"pipe: bad status",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 0 shut"}}},
     200, 1, 213, 16, "[PIPES]", "shut"},
    {"pipe: zero roughness is accepted",
     {{"[PIPES]", {"P9 J1 J2 10 10 0"}}},
     0, 0, 0, 0, "", ""},
    {"pipe: tokens past the eighth are ignored",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 0 closed extra"}}},
     0, 0, 0, 0, "", ""},
    {"pump: too few values",
     {{"[PUMPS]", {"PU1 J1"}}},
     200, 1, 201, 22, "[PUMPS]", ""},
    {"pump: no curve or power",
     {{"[PUMPS]", {"PU1 J1 J2"}}},
     200, 1, 226, 0, "", ""},
    {"pump: undefined curve",
     {{"[PUMPS]", {"PU1 J1 J2 HEAD NOC"}}},
     200, 1, 206, 22, "[PUMPS]", "NOC"},
    {"pump: undefined speed pattern",
     {{"[PUMPS]", {"PU1 J1 J2 HEAD C1 PATTERN NOPAT"}}},
     200, 1, 205, 22, "[PUMPS]", "NOPAT"},
    {"pump: non-positive power",
     {{"[PUMPS]", {"PU1 J1 J2 POWER -5"}}},
     200, 1, 202, 22, "[PUMPS]", "-5"},
    {"pump: negative speed",
     {{"[PUMPS]", {"PU1 J1 J2 HEAD C1 SPEED -1"}}},
     200, 1, 211, 22, "[PUMPS]", "-1"},
    {"pump: unknown keyword",
     {{"[PUMPS]", {"PU1 J1 J2 FOO 1"}}},
     200, 1, 201, 22, "[PUMPS]", ""},
    {"pump: rising head curve",
     {{"[PUMPS]", {"PU1 J1 J2 HEAD C2"}}, {"[CURVES]", {"C2 0 100", "C2 500 120"}}},
     200, 1, 227, 0, "", ""},
    {"pump: old format, two numbers",
     {{"[PUMPS]", {"PU1 J1 J2 120 100 1000"}}},
     200, 1, 202, 22, "[PUMPS]", ""},
    {"pump: old format, no power curve fits",
     {{"[PUMPS]", {"PU1 J1 J2 100 100 1000 150 2000"}}},
     200, 1, 206, 22, "[PUMPS]", ""},
    {"valve: too few values",
     {{"[VALVES]", {"V1 J1 J2 10 PRV"}}},
     200, 1, 201, 24, "[VALVES]", ""},
    {"valve: unknown type",
     {{"[VALVES]", {"V1 J1 J2 10 XYZ 5"}}},
     200, 1, 213, 24, "[VALVES]", "XYZ"},
    {"valve: zero diameter",
     {{"[VALVES]", {"V1 J1 J2 0 PRV 5"}}},
     200, 1, 211, 24, "[VALVES]", "0"},
    {"valve: GPV undefined curve",
     {{"[VALVES]", {"V1 J1 J2 10 GPV NOC"}}},
     200, 1, 206, 24, "[VALVES]", "NOC"},
    {"valve: PRV at a tank",
     {{"[VALVES]", {"V1 T1 J2 10 PRV 5"}}},
     200, 1, 219, 24, "[VALVES]", "T1"},
    {"valve: two PRVs share a downstream node",
     {{"[VALVES]", {"V1 J1 J2 10 PRV 5", "V2 J3 J2 10 PRV 5"}}},
     200, 1, 220, 25, "[VALVES]", ""},
    {"valve: TCV at a tank is allowed",
     {{"[VALVES]", {"V1 T1 J2 10 TCV 5"}}},
     0, 0, 0, 0, "", ""},
    {"pattern: no factors",
     {{"[PATTERNS]", {"PAT2"}}},
     200, 1, 201, 26, "[PATTERNS]", ""},
    {"pattern: factor not a number",
     {{"[PATTERNS]", {"PAT2 1 x 3"}}},
     200, 1, 202, 26, "[PATTERNS]", "x"},
    {"pattern: 32-character ID",
     {{"[PATTERNS]", {"Pxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx 1"}}},
     252, 0, 0, 0, "", ""},
    {"curve: missing y",
     {{"[CURVES]", {"C2 1"}}},
     200, 1, 201, 29, "[CURVES]", ""},
    {"curve: 32-character ID",
     {{"[CURVES]", {"Cxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx 1 2"}}},
     252, 0, 0, 0, "", ""},
    {"demand: undefined node",
     {{"[DEMANDS]", {"JX 5"}}},
     200, 1, 203, 32, "[DEMANDS]", "JX"},
    {"demand: non-positive multiplier",
     {{"[DEMANDS]", {"MULTIPLY 0"}}},
     200, 1, 213, 32, "[DEMANDS]", "0"},
    {"demand: tank demand is ignored",
     {{"[DEMANDS]", {"T1 5"}}},
     0, 0, 0, 0, "", ""},
    {"status: undefined link",
     {{"[STATUS]", {"PX OPEN"}}},
     200, 1, 204, 34, "[STATUS]", "PX"},
    {"status: negative setting",
     {{"[STATUS]", {"P1 -1"}}},
     200, 1, 211, 34, "[STATUS]", "-1"},
    {"status: check valve",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 CV"}}, {"[STATUS]", {"P9 OPEN"}}},
     200, 1, 207, 35, "[STATUS]", "P9"},
    {"emitter: negative coefficient",
     {{"[EMITTERS]", {"J1 -1"}}},
     200, 1, 209, 36, "[EMITTERS]", "-1"},
    {"emitter: tank is ignored",
     {{"[EMITTERS]", {"T1 -1"}}},
     0, 0, 0, 0, "", ""},
    {"control: too few values",
     {{"[CONTROLS]", {"LINK P1 OPEN AT TIME"}}},
     200, 1, 201, 38, "[CONTROLS]", ""},
    {"control: undefined link",
     {{"[CONTROLS]", {"LINK PX OPEN AT TIME 5"}}},
     200, 1, 204, 38, "[CONTROLS]", "PX"},
    {"control: check valve",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 CV"}}, {"[CONTROLS]", {"LINK P9 OPEN AT TIME 5"}}},
     200, 1, 207, 39, "[CONTROLS]", "P9"},
    {"control: negative pipe setting",
     {{"[CONTROLS]", {"LINK P1 -1 AT TIME 5"}}},
     200, 1, 211, 38, "[CONTROLS]", "-1"},
    {"control: bad time",
     {{"[CONTROLS]", {"LINK P1 OPEN AT TIME xx"}}},
     200, 1, 213, 38, "[CONTROLS]", "xx"},
    {"control: undefined node",
     {{"[CONTROLS]", {"LINK P1 OPEN IF NODE JX ABOVE 5"}}},
     200, 1, 203, 38, "[CONTROLS]", "JX"},
    {"control: bad relation",
     {{"[CONTROLS]", {"LINK P1 OPEN IF NODE J1 OVER 5"}}},
     200, 1, 213, 38, "[CONTROLS]", "OVER"},
    {"energy: undefined pump",
     {{"[ENERGY]", {"PUMP P1 PRICE 5"}}},
     200, 1, 216, 42, "[ENERGY]", "P1"},
    {"energy: negative price",
     {{"[ENERGY]", {"GLOBAL PRICE -1"}}},
     200, 1, 217, 42, "[ENERGY]", "-1"},
    {"energy: unknown keyword",
     {{"[ENERGY]", {"FOO PRICE 1"}}},
     200, 1, 213, 42, "[ENERGY]", "FOO"},
    {"quality: negative value",
     {{"[QUALITY]", {"J1 -1"}}},
     200, 1, 209, 44, "[QUALITY]", "-1"},
    {"sources: unknown type",
     {{"[SOURCES]", {"J1 FOO 1"}}},
     200, 1, 213, 46, "[SOURCES]", "FOO"},
    {"reactions: wall order 2",
     {{"[REACTIONS]", {"ORDER WALL 2"}}},
     200, 1, 213, 48, "[REACTIONS]", "2"},
    {"mixing: unknown model",
     {{"[MIXING]", {"T1 FOO"}}},
     200, 1, 213, 50, "[MIXING]", "FOO"},
    {"times: unknown keyword",
     {{"[TIMES]", {"FOO 5"}}},
     200, 1, 213, 52, "[TIMES]", "FOO"},
    {"times: bad value",
     {{"[TIMES]", {"DURATION xx"}}},
     200, 1, 213, 52, "[TIMES]", "DURATION"},
    {"report: undefined node",
     {{"[REPORT]", {"NODES J1 JX"}}},
     200, 1, 203, 54, "[REPORT]", "JX"},
    {"report: page size above 255",
     {{"[REPORT]", {"PAGE 300"}}},
     200, 1, 213, 54, "[REPORT]", "300"},
    {"report: unknown keyword",
     {{"[REPORT]", {"FOO BAR"}}},
     200, 1, 201, 54, "[REPORT]", ""},
    {"options: unknown units",
     {{"[OPTIONS]", {"UNITS FOO"}}},
     200, 1, 213, 56, "[OPTIONS]", "FOO"},
    {"options: PRESSURE M is not METERS",
     {{"[OPTIONS]", {"PRESSURE M"}}},
     200, 1, 213, 56, "[OPTIONS]", "M"},
    {"options: value not a number",
     {{"[OPTIONS]", {"TRIALS x"}}},
     200, 1, 202, 56, "[OPTIONS]", "x"},
    {"options: unknown option with a value",
     {{"[OPTIONS]", {"FOO 5"}}},
     200, 1, 201, 56, "[OPTIONS]", ""},
    {"options: unknown option without value",
     {{"[OPTIONS]", {"FOO"}}},
     0, 0, 0, 0, "", ""},
    {"options: required below minimum pressure",
     {{"[OPTIONS]", {"MINIMUM PRESSURE 10", "REQUIRED PRESSURE 5"}}},
     200, 1, 208, 57, "[OPTIONS]", "5"},
    {"options: undefined trace node",
     {{"[OPTIONS]", {"QUALITY TRACE JX"}}},
     200, 1, 212, 56, "[OPTIONS]", "JX"},
    {"coordinates: undefined node",
     {{"[COORDINATES]", {"JX 1 2"}}},
     200, 1, 203, 59, "[COORDINATES]", "JX"},
    {"vertices: undefined link",
     {{"[VERTICES]", {"PX 1 2"}}},
     200, 1, 204, 61, "[VERTICES]", "PX"},
    {"rules: IF before RULE",
     {{"[RULES]", {"IF TANK T1 LEVEL > 5"}}},
     200, 1, 221, 40, "[RULES]", ""},
    {"rules: bad value",
     {{"[RULES]", {"RULE R1", "IF LINK P1 FLOW > x"}}},
     200, 1, 202, 41, "[RULES]", ""},
    {"rules: undefined node",
     {{"[RULES]", {"RULE R1", "IF NODE JX PRESSURE > 5"}}},
     200, 1, 203, 41, "[RULES]", ""},
    {"rules: undefined link",
     {{"[RULES]", {"RULE R1", "IF LINK PX FLOW > 5"}}},
     200, 1, 204, 41, "[RULES]", ""},
    {"rules: check valve action",
     {{"[PIPES]", {"P9 J1 J2 10 10 100 CV"}}, {"[RULES]", {"RULE R1", "IF LINK P1 FLOW > 5", "THEN LINK P9 STATUS IS OPEN"}}},
     200, 1, 207, 43, "[RULES]", ""},
    {"rules: later rules skipped after an error",
     {{"[RULES]", {"RULE R1", "FOO", "RULE R2", "BAR"}}},
     200, 1, 201, 41, "[RULES]", ""},
    {"rules: PRIORITY without value",
     {{"[RULES]", {"RULE R1", "IF LINK P1 FLOW > 5", "THEN LINK P1 STATUS IS OPEN", "PRIORITY"}}},
     0, 0, 0, 0, "", ""},
    {"sections: unknown heading",
     {{"[OPTIONS]", {"[FOO]"}}},
     200, 1, 201, 56, "[OPTIONS]", ""},
    {"sections: abbreviated heading",
     {{"[OPTIONS]", {"[COORD]"}}},
     200, 1, 201, 56, "[OPTIONS]", ""},
    {"sections: lower-case heading",
     {{"[OPTIONS]", {"[pipes]", "P9 J1 J2 10 10 100"}}},
     200, 1, 201, 58, "[PIPES]", ""},
    {"reading stops after ten errors",
     {{"[JUNCTIONS]", {"X0", "X1", "X2", "X3", "X4", "X5", "X6", "X7", "X8", "X9", "X10", "X11"}}},
     200, 10, 201, 5, "[JUNCTIONS]", ""},
    {"ten unconnected nodes are reported",
     {{"[JUNCTIONS]", {"Q0 10", "Q1 10", "Q2 10", "Q3 10", "Q4 10", "Q5 10", "Q6 10", "Q7 10", "Q8 10", "Q9 10", "Q10 10", "Q11 10"}}},
     200, 10, 233, 0, "", ""},
    {"semicolon ends the token",
     {{"[JUNCTIONS]", {"J9;10 20"}}},
     200, 1, 201, 5, "[JUNCTIONS]", ""},
    // EPANET's tokenizer reads on into older buffer contents after a
    // quoted token with a blank inside.
    {"quoted ID with a blank",
     {{"[JUNCTIONS]", {"\"J 9\" 10"}}},
     200, 1, 202, 5, "[JUNCTIONS]", "]"},

    // A number that is not finite gets the code EPANET gives a field that is not a number
    // (EPANET itself would take it).
    {"non-finite: junction elevation",
     {{"[JUNCTIONS]", {"J9 nan"}}},
     200, 1, 202, 5, "[JUNCTIONS]", "nan"},
    {"non-finite: demand beyond a double's range",
     {{"[JUNCTIONS]", {"J9 10 1e400"}}},
     200, 1, 202, 5, "[JUNCTIONS]", "1e400"},
    {"non-finite: tank diameter",
     {{"[TANKS]", {"T9 10 1 0 2 inf"}}},
     200, 1, 202, 13, "[TANKS]", "inf"},
    {"non-finite: pipe length",
     {{"[PIPES]", {"P9 J1 J2 -INFINITY 10 100"}}},
     200, 1, 202, 16, "[PIPES]", "-INFINITY"},
    {"non-finite: pump in the old numeric format",
     {{"[PUMPS]", {"PU9 J1 J2 inf"}}},
     200, 1, 202, 22, "[PUMPS]", "inf"},
    {"non-finite: pump power",
     {{"[PUMPS]", {"PU9 J1 J2 POWER nan"}}},
     200, 1, 202, 22, "[PUMPS]", "nan"},
    {"non-finite: pattern multiplier",
     {{"[PATTERNS]", {"PAT1 nan"}}},
     200, 1, 202, 26, "[PATTERNS]", "nan"},
    {"non-finite: control level",
     {{"[CONTROLS]", {"LINK P1 CLOSED IF NODE T1 ABOVE 1e999"}}},
     200, 1, 202, 38, "[CONTROLS]", "1e999"},
    {"non-finite: rule value",
     {{"[RULES]", {"RULE R1", "IF LINK P1 FLOW > inf"}}},
     200, 1, 202, 41, "[RULES]", ""},
    {"non-finite: pattern start",
     {{"[TIMES]", {"PATTERN START nan"}}},
     200, 1, 213, 52, "[TIMES]", "START"},
    {"non-finite: trials",
     {{"[OPTIONS]", {"TRIALS inf"}}},
     200, 1, 202, 56, "[OPTIONS]", "inf"},

        // clang-format on
    };
    return cases;
}

TEST(InpReaderErrors, EachCaseGivesEpanetsCodeLineAndToken) {
    for (const ErrorCase& c : error_cases()) {
        SCOPED_TRACE(c.name);
        const InputResult result = read_inp_text(base_with(c.inserts));
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.network != nullptr, c.code == 0);
        ASSERT_EQ(static_cast<int>(result.errors.size()), c.errors);
        if (c.errors == 0) continue;
        const InputError& e = result.errors.front();
        EXPECT_EQ(e.code, c.first);
        EXPECT_EQ(e.line, c.line);
        EXPECT_EQ(e.section, c.section);
        EXPECT_EQ(e.token, c.token);
        EXPECT_FALSE(e.report_lines.empty());
    }
}

TEST(InpReaderErrors, ErrorKeepsTheLineText) {
    const InputResult result =
        read_inp_text(base_with({{"[PIPES]", {"P9\tJ1 JX 100 10 100 ; note"}}}));
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].text, "P9\tJ1 JX 100 10 100 ; note");
}

TEST(InpReaderErrors, NotEnoughNodesAndNoTanksAreFoundWhileCounting) {
    EXPECT_EQ(read_inp_text("").code, 223);
    EXPECT_EQ(read_inp_text("[RESERVOIRS]\nR1 10\n").code, 223);
    const InputResult no_tank =
        read_inp_text("[JUNCTIONS]\nJ1 10\nJ2 10\n[PIPES]\nP1 J1 J2 1 1 1\n");
    EXPECT_EQ(no_tank.code, 224);
    EXPECT_TRUE(no_tank.errors.empty());
    EXPECT_EQ(report_of(no_tank), "\n  Error 224: no tanks or reservoirs in network");
}

TEST(InpReaderErrors, MissingFileIs302WithoutReport) {
    const InputResult result = read_inp_file(data_file("no_such_file.inp"));
    EXPECT_EQ(result.code, 302);
    EXPECT_EQ(result.network, nullptr);
    EXPECT_TRUE(input_report_lines(result).empty());
    EXPECT_EQ(read_inp_file(fs::path{HYDROSK_TEST_DATA}).code, 302);  // a folder
}

// --- Report text, as EPANET writes it --------------------------------------

TEST(InpReaderReport, LineErrorEchoesTheLine) {
    const InputResult result = read_inp_text(base_with({{"[JUNCTIONS]", {"J9 abc"}}}));
    EXPECT_EQ(report_of(result),
              "\n  Error 202: illegal numeric value abc in [JUNCTIONS] section:\n  J9 abc\n"
              "\n  Error 200: one or more errors in input file");
}

TEST(InpReaderReport, CrLfLineIsEchoedWithItsLineEnd) {
    std::string text = base_with({{"[JUNCTIONS]", {"J9 abc"}}});
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string{"\r\n"} : std::string(1, c);
    const InputResult result = read_inp_text(crlf);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].text, "J9 abc");
    EXPECT_EQ(result.errors[0].report_lines.back(), "J9 abc\r\n");
}

TEST(InpReaderReport, RuleErrorNamesTheRuleAndClause) {
    const InputResult result =
        read_inp_text(base_with({{"[RULES]", {"RULE R1", "IF   NODE JX\tPRESSURE > 5"}}}));
    EXPECT_EQ(report_of(result),
              "\n  Input Error 203: undefined node in following line of Rule R1:"
              "\n  IF NODE JX PRESSURE > 5"
              "\n  Error 200: one or more errors in input file  in [RULES] section:"
              "\n  IF   NODE JX\tPRESSURE > 5\n"
              "\n  Error 200: one or more errors in input file");
}

TEST(InpReaderReport, ErrorsFoundAfterReading) {
    EXPECT_EQ(report_of(read_inp_text(base_with({{"[TANKS]", {"T9 10 6 0 5 40"}}}))),
              "\n  Error 225: invalid lower/upper levels for tank node T9"
              "\n  Error 200: one or more errors in input file");
    EXPECT_EQ(report_of(read_inp_text(base_with({{"[PUMPS]", {"PU1 J1 J2"}}}))),
              "\n  Error 226: no head curve or power rating for pump PU1"
              "\n  Error 200: one or more errors in input file");
    // EPANET builds this message in the buffer that holds its text.
    EXPECT_EQ(report_of(read_inp_text(base_with({{"[JUNCTIONS]", {"J9 10"}}}))),
              "\n  Error 233: Error 233: Error 233: Error  J9"
              "\n  Error 200: one or more errors in input file");
}

TEST(InpReaderReport, MessagesNoDropsTheFinalLine) {
    const InputResult result =
        read_inp_text(base_with({{"[REPORT]", {"MESSAGES NO"}}, {"[OPTIONS]", {"UNITS FOO"}}}));
    EXPECT_EQ(result.code, 200);
    EXPECT_FALSE(result.report_messages);
    EXPECT_EQ(report_of(result),
              "\n  Error 213: invalid option value FOO in [OPTIONS] section:\n  UNITS FOO\n");
}

TEST(InpReaderReport, HeadingBeforeAnySectionAndDataBeforeAnySection) {
    const std::string base = read_bytes(data_file("reader_base.inp"));
    EXPECT_EQ(report_of(read_inp_text("[FOO]\n" + base)),
              "\n  Error 201: syntax error  in (null) section:\n  [FOO]\n"
              "\n  Error 200: one or more errors in input file");
    const InputResult data = read_inp_text("J0 10\n" + base);
    EXPECT_EQ(data.code, 200);
    ASSERT_EQ(data.errors.size(), 1u);
    EXPECT_EQ(data.errors[0].line, 1);
    EXPECT_EQ(report_of(data), "\n  Error 200: one or more errors in input file");
}

TEST(InpReaderReport, PageBreaksFollowReportPage) {
    std::string text = base_with({{"[JUNCTIONS]", {"X0", "X1", "X2"}}});
    text.replace(text.find("Reader test network\n"), 20, "Paged title\n[REPORT]\nPAGE 12\n");
    const InputResult result = read_inp_text(text);
    ReportPage page;
    std::ostringstream report;
    write_input_report(report, result, page);
    // The logo leaves the count at 9; the page is full after the third line.
    EXPECT_EQ(report.str(),
              "\n  Error 201: syntax error  in [JUNCTIONS] section:\n  X0\n"
              "\n  Error 201: syntax error  in [JUNCTIONS] section:"
              "\n\f\n  Page 2    " +
                  std::string(49, ' ') +
                  "Paged title\n"
                  "\n  X1\n"
                  "\n  Error 201: syntax error  in [JUNCTIONS] section:\n  X2\n"
                  "\n  Error 200: one or more errors in input file");
    EXPECT_EQ(page.page, 2);
    EXPECT_EQ(page.line, 7);
}

TEST(InpReaderReport, LongTokenRunsIntoTheMessageText) {
    const std::string token(300, 'x');
    const InputResult result = read_inp_text(base_with({{"[JUNCTIONS]", {"J9 " + token}}}));
    ASSERT_FALSE(result.errors.empty());
    EXPECT_EQ(result.errors[0].token, token);
    EXPECT_EQ(result.errors[0].report_lines[0],
              "Error 202: illegal numeric value " + std::string(256, 'x') +
                  "illegal numeric value in [JUNCTIONS] section:");
}

// --- Values in internal units ------------------------------------------------

class SiValues : public ::testing::Test {
protected:
    void SetUp() override {
        result_ = read_inp_file(data_file("reader_values_si.inp"));
        ASSERT_EQ(result_.code, 0) << report_of(result_);
        net_ = result_.network.get();
    }
    const Node& node(const std::string& id) const {
        return net_->nodes[static_cast<std::size_t>(index_of(net_->node_index, id))];
    }
    const Link& link(const std::string& id) const {
        return net_->links[static_cast<std::size_t>(index_of(net_->link_index, id))];
    }
    static constexpr double kFt = units::kMetresPerFoot;
    static constexpr double kLps = units::kLpsPerCfs;
    // kPa per ft of head at specific gravity 1.1.
    static constexpr double kKpa = units::kKpaPerPsi * units::kPsiPerFoot * 1.1;
    InputResult result_;
    const Network* net_ = nullptr;
};

TEST_F(SiValues, OptionsAndUnitFactors) {
    const Options& o = net_->options;
    EXPECT_EQ(o.flow_units, FlowUnits::LPS);
    EXPECT_EQ(o.unit_system, UnitSystem::SI);
    EXPECT_EQ(o.pressure_units, PressureUnits::KPA);
    EXPECT_EQ(o.headloss, HeadLossFormula::DarcyWeisbach);
    EXPECT_DOUBLE_EQ(o.headloss_exponent, 2.0);
    EXPECT_DOUBLE_EQ(o.viscosity, 2.0 * 1.1e-5);  // above 1e-3: a multiple of water's
    EXPECT_EQ(o.max_trials, 50);
    EXPECT_DOUBLE_EQ(o.accuracy, 0.005);
    EXPECT_EQ(o.unbalanced_extra_trials, 10);
    EXPECT_DOUBLE_EQ(o.demand_multiplier, 0.9);
    EXPECT_DOUBLE_EQ(o.emitter_exponent, 0.6);
    EXPECT_EQ(o.demand_model, DemandModel::PressureDriven);
    EXPECT_DOUBLE_EQ(o.minimum_pressure, 10.0 / kKpa);
    EXPECT_DOUBLE_EQ(o.required_pressure, 200.0 / kKpa);
    EXPECT_DOUBLE_EQ(o.pressure_exponent, 0.7);
    EXPECT_DOUBLE_EQ(o.head_error, 0.3048 / kFt);
    EXPECT_DOUBLE_EQ(o.flow_change, 2.8317 / kLps);
    EXPECT_EQ(o.check_frequency, 3);
    EXPECT_EQ(o.max_check, 8);
    EXPECT_DOUBLE_EQ(o.damp_limit, 0.01);
    EXPECT_EQ(o.default_pattern, index_of(net_->pattern_index, "1"));
    const UnitFactors& u = net_->units;
    EXPECT_DOUBLE_EQ(u.flow, kLps);
    EXPECT_DOUBLE_EQ(u.head, kFt);
    EXPECT_DOUBLE_EQ(u.pressure, kKpa);
    EXPECT_DOUBLE_EQ(u.diameter, 304.8);
    EXPECT_DOUBLE_EQ(u.power, units::kKwPerHp);
    EXPECT_DOUBLE_EQ(u.volume, kFt * kFt * kFt);
    EXPECT_DOUBLE_EQ(u.time, 1.0 / 3600.0);  // a 30-minute step still reports hours
}

TEST_F(SiValues, TimesAfterAdjustment) {
    const Times& t = net_->times;
    EXPECT_EQ(t.duration, 48 * 3600);
    EXPECT_EQ(t.hydraulic_step, 1800);
    EXPECT_EQ(t.pattern_step, 7200);
    EXPECT_EQ(t.report_step, 3600);
    EXPECT_EQ(t.quality_step, 180);  // a tenth of the hydraulic step
    EXPECT_EQ(t.rule_step, 180);
    EXPECT_EQ(t.start_clock, 6 * 3600);
    EXPECT_EQ(net_->title_lines,
              (std::vector<std::string>{"Values in SI units", "Second title line"}));
}

TEST_F(SiValues, NodeOrderAndJunctionDemands) {
    std::vector<std::string> ids;
    for (const Node& n : net_->nodes) ids.push_back(n.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"J1", "J2", "J3", "J4", "R1", "T1", "T2", "T3"}));
    EXPECT_EQ(net_->junction_count, 4);
    EXPECT_EQ(net_->tank_count, 4);
    EXPECT_EQ(node("T3").type, NodeType::Reservoir);  // a tank of zero diameter

    const int day = index_of(net_->pattern_index, "DAY");
    const int one = index_of(net_->pattern_index, "1");
    const Node& j1 = node("J1");
    EXPECT_DOUBLE_EQ(j1.elevation, 30.48 / kFt);
    ASSERT_EQ(j1.demands.size(), 2u);  // [DEMANDS] replaced the first, then added one
    EXPECT_DOUBLE_EQ(j1.demands[0].base, 56.634 / kLps);
    EXPECT_EQ(j1.demands[0].pattern, day);
    EXPECT_EQ(j1.demands[0].category, " Residential");
    EXPECT_DOUBLE_EQ(j1.demands[1].base, 1.0 / kLps);
    EXPECT_EQ(j1.demands[1].pattern, one);
    EXPECT_EQ(j1.demands[1].category, " Commercial");
    ASSERT_EQ(node("J3").demands.size(), 1u);
    EXPECT_EQ(node("J3").demands[0].base, 0.0);
    EXPECT_EQ(node("J3").demands[0].pattern, one);
    ASSERT_EQ(node("J4").demands.size(), 1u);
    EXPECT_DOUBLE_EQ(node("J4").demands[0].base, 2.0 / kLps);

    const double qexp = 1.0 / 0.6;
    const Node& j3 = node("J3");
    EXPECT_DOUBLE_EQ(j3.emitter_coeff_input, 0.5);
    EXPECT_DOUBLE_EQ(j3.emitter_resistance, std::pow(kLps, qexp) / kKpa / std::pow(0.5, qexp));
    EXPECT_NEAR(1.0 / std::pow(j3.emitter_coeff, qexp), j3.emitter_resistance,
                1e-12 * j3.emitter_resistance);
    EXPECT_TRUE(j1.has_coordinates);
    EXPECT_DOUBLE_EQ(j1.x, 1.5);
    EXPECT_FALSE(node("J2").has_coordinates);
}

TEST_F(SiValues, TanksAndReservoirs) {
    const Node& r1 = node("R1");
    EXPECT_DOUBLE_EQ(r1.elevation, 100.0 / kFt);
    EXPECT_EQ(r1.head_pattern, index_of(net_->pattern_index, "HEADPAT"));
    EXPECT_DOUBLE_EQ(r1.initial_head, r1.elevation);
    EXPECT_EQ(r1.area, 0.0);

    // Cylinder: volumes in user units first, then converted.
    const Node& t1 = node("T1");
    const double area_m2 = std::numbers::pi * 12.5 * 12.5 / 4.0;
    EXPECT_DOUBLE_EQ(t1.initial_level, 3.0 / kFt);
    EXPECT_DOUBLE_EQ(t1.initial_head, 50.0 / kFt + 3.0 / kFt);
    EXPECT_DOUBLE_EQ(t1.min_head, 50.0 / kFt + 1.0 / kFt);
    EXPECT_DOUBLE_EQ(t1.max_head, 50.0 / kFt + 6.0 / kFt);
    EXPECT_DOUBLE_EQ(t1.diameter, 12.5 / kFt);
    EXPECT_DOUBLE_EQ(t1.area, std::numbers::pi * (12.5 / kFt) * (12.5 / kFt) / 4.0);
    EXPECT_DOUBLE_EQ(t1.min_volume, area_m2 * 1.0 / (kFt * kFt * kFt));
    EXPECT_DOUBLE_EQ(t1.initial_volume, (area_m2 + area_m2 * 2.0) / (kFt * kFt * kFt));
    EXPECT_DOUBLE_EQ(t1.max_volume, (area_m2 + area_m2 * 5.0) / (kFt * kFt * kFt));
    EXPECT_TRUE(t1.can_overflow);

    // Volume curve (0, 0) - (5 m, 300 m3): 60 m3 per m; nominal diameter from its slope.
    const Node& t2 = node("T2");
    EXPECT_EQ(t2.volume_curve, index_of(net_->curve_index, "VOL"));
    EXPECT_EQ(net_->curves[static_cast<std::size_t>(t2.volume_curve)].kind, CurveKind::Volume);
    EXPECT_DOUBLE_EQ(t2.min_volume, 60.0 / (kFt * kFt * kFt));
    EXPECT_DOUBLE_EQ(t2.initial_volume, 120.0 / (kFt * kFt * kFt));
    EXPECT_DOUBLE_EQ(t2.max_volume, 240.0 / (kFt * kFt * kFt));
    EXPECT_DOUBLE_EQ(t2.diameter, std::sqrt(4.0 * 60.0 / std::numbers::pi) / kFt);
}

TEST_F(SiValues, PipesAndValves) {
    const Link& p1 = link("P1");
    EXPECT_EQ(p1.type, LinkType::Pipe);
    EXPECT_DOUBLE_EQ(p1.diameter, 1.0);  // 304.8 mm
    EXPECT_DOUBLE_EQ(p1.length, 1000.0 / kFt);
    EXPECT_DOUBLE_EQ(p1.roughness, 0.3048 / (1000.0 * kFt));  // mm to ft
    EXPECT_DOUBLE_EQ(p1.initial_setting, p1.roughness);
    EXPECT_DOUBLE_EQ(p1.minor_loss, 2.5);
    ASSERT_EQ(p1.vertices.size(), 2u);
    EXPECT_EQ(link("P2").type, LinkType::CVPipe);
    EXPECT_EQ(link("P3").initial_status, LinkStatus::Closed);

    const Link& v1 = link("V1");
    EXPECT_EQ(v1.type, LinkType::PRV);
    EXPECT_EQ(v1.initial_status, LinkStatus::Active);
    EXPECT_DOUBLE_EQ(v1.initial_setting, 30.48 / kKpa);
    EXPECT_DOUBLE_EQ(v1.diameter, 300.0 / 304.8);
    EXPECT_DOUBLE_EQ(v1.minor_loss, 0.5);
    EXPECT_DOUBLE_EQ(link("V2").initial_setting, 28.317 / kLps);  // FCV flow
    EXPECT_DOUBLE_EQ(link("V3").initial_setting, 3.0);            // TCV coefficient
    EXPECT_EQ(link("V4").initial_status, LinkStatus::Open);       // [STATUS] OPEN
    EXPECT_EQ(link("V4").initial_setting, kMissing);
    const Link& v5 = link("V5");
    EXPECT_EQ(v5.head_curve, index_of(net_->curve_index, "GCURVE"));
    EXPECT_DOUBLE_EQ(v5.initial_setting, v5.head_curve);
    EXPECT_EQ(v5.initial_status, LinkStatus::Open);
    EXPECT_EQ(net_->curves[static_cast<std::size_t>(v5.head_curve)].kind, CurveKind::HeadLoss);
}

TEST_F(SiValues, PumpCurvesAreFittedAsEpanetDoes) {
    const double h_ft = kFt;  // head factor
    // One point (100 L/s, 50 m): shutoff 1.33334 h1, zero head at 2 q1.
    const Link& pu1 = link("PU1");
    EXPECT_EQ(pu1.pump_kind, PumpKind::PowerFunction);
    const double a1 = 1.33334 * 50.0;
    const double c1 = std::log(a1 / (a1 - 50.0)) / std::log(2.0);
    const double b1 = (a1 - 50.0) / std::pow(100.0, c1);
    EXPECT_DOUBLE_EQ(pu1.h0, a1 / h_ft);
    EXPECT_DOUBLE_EQ(pu1.n, c1);
    EXPECT_NEAR(pu1.r, b1 * std::pow(kLps, c1) / h_ft, 1e-12 * pu1.r);
    EXPECT_DOUBLE_EQ(pu1.q0, 100.0 / kLps);
    EXPECT_NEAR(pu1.q_max, std::pow(a1 / b1, 1.0 / c1) / kLps, 1e-12 * pu1.q_max);
    EXPECT_DOUBLE_EQ(pu1.initial_setting, 1.2);
    EXPECT_EQ(pu1.speed_pattern, index_of(net_->pattern_index, "DAY"));
    EXPECT_DOUBLE_EQ(pu1.energy_price, 0.1);
    EXPECT_EQ(net_->curves[static_cast<std::size_t>(pu1.head_curve)].kind, CurveKind::Pump);

    // Constant power of 10 kW.
    const Link& pu2 = link("PU2");
    EXPECT_EQ(pu2.pump_kind, PumpKind::ConstantPower);
    EXPECT_DOUBLE_EQ(pu2.power, 10.0);
    EXPECT_DOUBLE_EQ(pu2.r, -8.814 * 10.0 / units::kKwPerHp);
    EXPECT_DOUBLE_EQ(pu2.n, -1.0);
    EXPECT_DOUBLE_EQ(pu2.q0, 1.0);

    // Three points from zero flow: a power function; closed by [STATUS].
    const Link& pu3 = link("PU3");
    EXPECT_EQ(pu3.pump_kind, PumpKind::PowerFunction);
    EXPECT_DOUBLE_EQ(pu3.h_max, 60.0 / h_ft);
    EXPECT_EQ(pu3.initial_status, LinkStatus::Closed);

    // More points: the curve itself.
    const Link& pu4 = link("PU4");
    EXPECT_EQ(pu4.pump_kind, PumpKind::Custom);
    EXPECT_DOUBLE_EQ(pu4.q_max, 200.0 / kLps);
    EXPECT_DOUBLE_EQ(pu4.q0, 100.0 / kLps);
    EXPECT_DOUBLE_EQ(pu4.h_max, 60.0 / h_ft);
}

TEST_F(SiValues, Controls) {
    ASSERT_EQ(net_->controls.size(), 5u);
    const std::vector<Control>& c = net_->controls;
    EXPECT_EQ(c[0].kind, Control::Kind::LowLevel);
    EXPECT_EQ(c[0].status, LinkStatus::Active);
    EXPECT_DOUBLE_EQ(c[0].setting, 20.0 / kKpa);
    EXPECT_DOUBLE_EQ(c[0].grade, node("J2").elevation + 10.0 / kKpa);  // junction: pressure
    EXPECT_EQ(c[1].kind, Control::Kind::HiLevel);
    EXPECT_EQ(c[1].setting, kMissing);
    EXPECT_FALSE(c[1].has_setting);
    EXPECT_DOUBLE_EQ(c[1].grade, node("T1").elevation + 5.5 / kFt);  // tank: level
    EXPECT_EQ(c[2].kind, Control::Kind::Timer);
    EXPECT_EQ(c[2].time, 6 * 3600 + 30 * 60);
    EXPECT_EQ(c[2].status, LinkStatus::Closed);
    EXPECT_DOUBLE_EQ(c[2].setting, 0.0);  // pump CLOSED
    EXPECT_EQ(c[3].kind, Control::Kind::TimeOfDay);
    EXPECT_EQ(c[3].time, 14 * 3600 + 15 * 60);
    EXPECT_EQ(c[4].time, 1800);
    EXPECT_EQ(c[4].status, LinkStatus::Open);
    EXPECT_DOUBLE_EQ(c[4].setting, 0.8);
}

TEST_F(SiValues, RulesKeepUserUnits) {
    ASSERT_EQ(net_->rules.size(), 1u);
    const Rule& r = net_->rules[0];
    EXPECT_EQ(r.label, "R1");
    EXPECT_DOUBLE_EQ(r.priority, 3.0);
    ASSERT_EQ(r.premises.size(), 3u);
    EXPECT_EQ(r.premises[0].logic, RulePremise::Logic::If);
    EXPECT_EQ(r.premises[0].object, RulePremise::Object::Node);
    EXPECT_EQ(r.premises[0].variable, RulePremise::Variable::Level);
    EXPECT_EQ(r.premises[0].relation, RulePremise::Relation::GT);  // ABOVE
    EXPECT_DOUBLE_EQ(r.premises[0].value, 5.0);
    EXPECT_EQ(r.premises[1].object, RulePremise::Object::System);
    EXPECT_EQ(r.premises[1].variable, RulePremise::Variable::ClockTime);
    EXPECT_EQ(r.premises[1].relation, RulePremise::Relation::GE);
    EXPECT_DOUBLE_EQ(r.premises[1].value, 6.0 * 3600.0);
    EXPECT_EQ(r.premises[2].logic, RulePremise::Logic::Or);
    EXPECT_EQ(r.premises[2].relation, RulePremise::Relation::LT);
    ASSERT_EQ(r.then_actions.size(), 2u);
    EXPECT_EQ(r.then_actions[0].status, RuleAction::StatusValue::Closed);
    EXPECT_FALSE(r.then_actions[0].has_setting);
    EXPECT_DOUBLE_EQ(r.then_actions[1].setting, 15.0);
    ASSERT_EQ(r.else_actions.size(), 1u);
    EXPECT_EQ(r.else_actions[0].status, RuleAction::StatusValue::Closed);  // pipe setting 0
    EXPECT_EQ(r.else_actions[0].setting, kMissing);
}

TEST(UsValues, BaseNetworkInGpm) {
    const InputResult result = read_inp_file(data_file("reader_base.inp"));
    ASSERT_EQ(result.code, 0);
    const Network& net = *result.network;
    EXPECT_EQ(net.options.unit_system, UnitSystem::US);
    EXPECT_EQ(net.options.pressure_units, PressureUnits::PSI);
    EXPECT_EQ(net.options.default_pattern, kNoIndex);  // no pattern "1"
    EXPECT_DOUBLE_EQ(net.options.required_pressure, 0.1 / units::kPsiPerFoot);
    EXPECT_EQ(net.title, "Reader test network");
    const Node& j2 = net.nodes[1];
    EXPECT_EQ(j2.id, "J2");
    EXPECT_DOUBLE_EQ(j2.demands[0].base, 20.0 / units::kGpmPerCfs);
    EXPECT_EQ(j2.demands[0].pattern, 0);
    EXPECT_EQ(net.nodes[0].demands[0].pattern, kNoIndex);
    EXPECT_DOUBLE_EQ(net.links[0].diameter, 1.0);  // 12 in
    EXPECT_DOUBLE_EQ(net.links[0].roughness, 100.0);
    EXPECT_EQ(net.times.quality_step, 360);
    EXPECT_EQ(net.times.rule_step, 360);
}

// --- Input style ------------------------------------------------------------

TEST(InpReaderStyle, KeywordsCommentsTabsAndCrLfReadLikeThePlainFile) {
    const InputResult plain = read_inp_file(data_file("reader_base.inp"));
    const InputResult styled = read_inp_file(data_file("reader_style_crlf.inp"));
    ASSERT_EQ(plain.code, 0);
    ASSERT_EQ(styled.code, 0) << report_of(styled);
    const Network& a = *plain.network;
    const Network& b = *styled.network;
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    for (std::size_t i = 0; i < a.nodes.size(); ++i) {
        EXPECT_EQ(a.nodes[i].id, b.nodes[i].id);
        EXPECT_EQ(a.nodes[i].elevation, b.nodes[i].elevation);
    }
    ASSERT_EQ(a.links.size(), b.links.size());
    for (std::size_t k = 0; k < a.links.size(); ++k) EXPECT_EQ(a.links[k].id, b.links[k].id);
    EXPECT_EQ(b.patterns[0].factors, (std::vector<double>{1.0, 1.2, 0.8}));
    EXPECT_EQ(b.title, "Reader test network ; the title keeps everything");
    EXPECT_EQ(b.options.unbalanced_extra_trials, 0);
}

TEST(InpReaderStyle, Latin1AndUtf8BytesAreKept) {
    const InputResult result = read_inp_file(data_file("reader_latin1.inp"));
    ASSERT_EQ(result.code, 0) << report_of(result);
    const Network& net = *result.network;
    EXPECT_EQ(net.nodes[0].id, "J\xe9");
    EXPECT_EQ(net.nodes[1].id, "N\xc3\xa9");
    EXPECT_EQ(net.nodes[2].id, "R\xfc");
    EXPECT_EQ(net.links[0].id, "P\xe9");
    EXPECT_EQ(index_of(net.node_index, "J\xe9"), 0);
}

TEST(InpReaderStyle, IdsAreCaseSensitive) {
    const InputResult result = read_inp_text(base_with({{"[PIPES]", {"P9 j1 J2 10 10 100"}}}));
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].code, 203);
    EXPECT_EQ(result.errors[0].token, "j1");
}

TEST(InpReaderStyle, ThirtyOneCharacterIdIsKept) {
    const std::string id(31, 'n');
    const InputResult result = read_inp_text(
        base_with({{"[JUNCTIONS]", {id + " 5"}}, {"[PIPES]", {"P9 J1 " + id + " 10 10 100"}}}));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.network->nodes[0].id, id);
}

TEST(InpReaderStyle, LineLongerThan1023BytesIsSplit) {
    // The second piece of the line is read as a line of its own.
    const std::string line = "J9 10" + std::string(1100, ' ') + "J10";
    const InputResult result = read_inp_text(base_with({{"[JUNCTIONS]", {line}}}));
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].code, 201);
    EXPECT_EQ(result.errors[0].line, 5);
}

TEST(InpReaderStyle, QuoteOverrunCutsTheLineAsEpanetDoes) {
    // A quoted token with a blank makes EPANET's tokenizer run past the line
    // into the buffer holding the line as read, where it ends tokens with NULs;
    // the title is taken from that buffer afterwards.
    std::string text = read_bytes(data_file("reader_base.inp"));
    text.replace(text.find("Reader test network"), 19, "Title \"" + std::string(1000, ' ') + "end");
    const InputResult result = read_inp_text(text);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.network->title, "Title");
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].rfind("line 2:", 0), 0u);
}

TEST(InpReaderStyle, DefaultPatternAppliesToDemandsWithoutPattern) {
    const InputResult result = read_inp_text(
        base_with({{"[OPTIONS]", {"PATTERN PAT1"}}, {"[DEMANDS]", {"J3 7 ; extra"}}}));
    ASSERT_EQ(result.code, 0);
    const Network& net = *result.network;
    EXPECT_EQ(net.options.default_pattern, 0);
    EXPECT_EQ(net.nodes[0].demands[0].pattern, 0);
    ASSERT_EQ(net.nodes[2].demands.size(), 1u);
    EXPECT_DOUBLE_EQ(net.nodes[2].demands[0].base, 7.0 / units::kGpmPerCfs);
    EXPECT_EQ(net.nodes[2].demands[0].category, " extra");
}

TEST(InpReaderStyle, StatusRangeAndOldPumpFormat) {
    const InputResult result = read_inp_text(base_with({{"[PUMPS]", {"PU1 J1 J2 50"}},
                                                        {"[STATUS]", {"P1 P3 CLOSED"}},
                                                        {"[OPTIONS]", {"HEADLOSS C-M"}}}));
    ASSERT_EQ(result.code, 0) << report_of(result);
    const Network& net = *result.network;
    EXPECT_EQ(net.links[0].initial_status, LinkStatus::Closed);
    EXPECT_EQ(net.links[2].initial_status, LinkStatus::Closed);
    EXPECT_EQ(net.links[3].initial_status, LinkStatus::Open);
    const Link& pump = net.links[4];
    EXPECT_EQ(pump.pump_kind, PumpKind::ConstantPower);
    EXPECT_DOUBLE_EQ(pump.r, -8.814 * 50.0);
    EXPECT_EQ(net.options.headloss, HeadLossFormula::ChezyManning);
}

// --- Lexer ----------------------------------------------------------------------

TEST(InpLexer, NumbersFollowStrtodAndEpanetsCheck) {
    struct Case {
        std::string text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"1.5", true, 1.5},  {"-2", true, -2.0},     {"+3", true, 3.0},     {".5", true, 0.5},
        {"5.", true, 5.0},   {"1e3", true, 1000.0},  {"0x1A", true, 26.0},  {"", true, 0.0},
        {"\xe9", true, 0.0}, {"12\xe9", true, 12.0}, {"1.5x", false, 0.0},  {"abc", false, 0.0},
        {"1e", false, 0.0},  {"--1", false, 0.0},    {"1e-400", true, 0.0}, {" 7", true, 7.0},
        {"7 ", false, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double v = -99.0;
        EXPECT_EQ(inp::to_number(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value);
        }
    }
    // Numbers to strtod, but not finite: refused, although EPANET's check takes them.
    for (const char* text : {"1e400", "-inf", "INFINITY", "nan", "-nan(0x1)", "0x1p99999"}) {
        double v = 0.0;
        EXPECT_FALSE(inp::to_number(text, v)) << text;
        EXPECT_TRUE(inp::is_number_text(text)) << text;
    }
    EXPECT_FALSE(inp::is_number_text("1.5x"));
    EXPECT_DOUBLE_EQ(inp::leading_number("5xyz"), 5.0);
    EXPECT_EQ(inp::to_long("42abc"), 42);
    EXPECT_EQ(inp::to_long("x"), 0);
    // EPANET's reference build (WebAssembly) has 32-bit longs and saturating conversions.
    EXPECT_EQ(inp::to_long("99999999999"), 2147483647L);
    EXPECT_EQ(inp::to_long("-99999999999"), -2147483648L);
    EXPECT_EQ(inp::to_long_trunc(3600.0 * 1e308), 2147483647L);
    EXPECT_EQ(inp::to_int_trunc(-1e10), -2147483647 - 1);
}

TEST(InpLexer, HoursAcceptClockTimesAndUnits) {
    struct Case {
        std::string time, units;
        double hours;
    };
    const Case cases[] = {
        {"1:30", "", 1.5},    {"1:30:36", "", 1.51}, {"5", "MIN", 5.0 / 60.0},
        {"90", "sec", 0.025}, {"2", "days", 48.0},   {"12", "AM", 0.0},
        {"12", "PM", 12.0},   {"1:15", "pm", 13.25}, {"13", "PM", -1.0},
        {"x", "", -1.0},      {":", "", 0.0},        {"1:2:3:4", "", 1.0 + 2.0 / 60 + 3.0 / 3600},
        {"5", "FOO", -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time + " " + c.units);
        EXPECT_NEAR(inp::Tokenizer::hours_of(c.time, c.units), c.hours, 1e-12);
    }
}

TEST(InpLexer, MatchIsACaseInsensitivePrefixTest) {
    EXPECT_TRUE(inp::match("JUNCTIONS", "JUNC"));
    EXPECT_TRUE(inp::match("  junc", "JUNC"));
    EXPECT_FALSE(inp::match("JUN", "JUNC"));
    EXPECT_FALSE(inp::match("JUNC", ""));
    EXPECT_TRUE(inp::match("[Pipes]x", "[PIPES]"));
}

TEST(InpLexer, TokenizerQuotesCommentsAndLimit) {
    inp::Tokenizer tok;
    tok.tokenize("  a\tb ;  c d\r\n");
    ASSERT_EQ(tok.count(), 2);
    EXPECT_EQ(tok[0], "a");
    EXPECT_EQ(tok[1], "b");
    EXPECT_EQ(tok.comment(), "  c d");
    EXPECT_EQ(tok[5], "");  // past the end reads as empty

    inp::Tokenizer fresh;
    fresh.tokenize("x \"a b\"\n");
    ASSERT_EQ(fresh.count(), 2);
    EXPECT_EQ(fresh[1], "a b");
    // After a longer line, EPANET's miscounted length reads on into its
    // leftovers.
    tok.tokenize("x \"a b\"\n");
    EXPECT_EQ(tok.count(), 3);

    // After a quoted token without a blank EPANET's length is one short: the
    // last token keeps the line end (and the line fails as a number).
    tok.tokenize("\"J1\" 10\n");
    ASSERT_EQ(tok.count(), 2);
    EXPECT_EQ(tok[0], "J1");
    EXPECT_EQ(tok[1], "10\n");

    std::string many;
    for (int i = 0; i < 50; ++i) many += std::to_string(i) + " ";
    tok.tokenize(many);
    EXPECT_EQ(tok.count(), inp::kMaxTokens);

    tok.tokenize("DURATION 1:xx abc");
    EXPECT_LT(tok.hours(1, "abc"), 0.0);
    EXPECT_EQ(tok[1], "1");  // cut at its first ':' as strtok leaves it
}

TEST(InpLexer, LinesAreSplitAt1023BytesAndNulEndsTheText) {
    using namespace std::string_literals;
    const std::string text = std::string(1500, 'a') + "\nb\0c\r\n"s;
    inp::LineSource source{std::string_view{text.data(), text.size()}};
    inp::Line line;
    ASSERT_TRUE(source.next(line));
    EXPECT_EQ(line.raw.size(), 1023u);
    EXPECT_EQ(line.number, 1);
    ASSERT_TRUE(source.next(line));
    EXPECT_EQ(line.raw.size(), 1500u - 1023u + 1u);
    EXPECT_EQ(line.number, 1);
    ASSERT_TRUE(source.next(line));
    EXPECT_EQ(line.number, 2);
    EXPECT_EQ(line.text, "b");
    EXPECT_EQ(line.raw.size(), 5u);
    EXPECT_FALSE(source.next(line));
}

// --- Messages -----------------------------------------------------------------

TEST(ErrorMessages, TextsByCode) {
    EXPECT_EQ(error_message(200), "one or more errors in input file");
    EXPECT_EQ(error_message(233), "network has unconnected node");
    EXPECT_EQ(error_message(302), "cannot open input file");
    EXPECT_EQ(error_message(999), "");
    EXPECT_EQ(warning_message(6), "WARNING: System has negative pressures.");
    EXPECT_EQ(warning_message(7), "");
    EXPECT_EQ(toolkit_error_text(202), "Error 202: function call contains illegal numeric value");
    EXPECT_EQ(toolkit_error_text(223), "Error 223: not enough nodes in network");
    EXPECT_EQ(toolkit_error_text(1), "WARNING: System hydraulically unbalanced.");
}

// A long file is read with looks at the stop request on the way, which an unset request
// leaves without effect.
TEST(InpReaderStop, AReadOfManyLinesEndsOnTheStopRequest) {
    std::string text = "[JUNCTIONS]\n";
    const int count = 3 * inp::LineSource::kPiecesBetweenStopChecks;
    for (int i = 0; i < count; ++i) text += "J" + std::to_string(i) + " 10 1\n";
    text += "[RESERVOIRS]\nR 100\n[PIPES]\nP0 R J0 10 10 100\n";
    for (int i = 1; i < count; ++i) {
        text += "P" + std::to_string(i) + " J" + std::to_string(i - 1) + " J" + std::to_string(i) +
                " 10 10 100\n";
    }
    std::atomic<bool> stop{false};
    const InputResult read = read_inp_text(text, &stop);
    ASSERT_EQ(read.code, 0);
    EXPECT_EQ(read.network->junction_count, count);
    stop.store(true);
    EXPECT_THROW((void)read_inp_text(text, &stop), SolveStopped);
}

}  // namespace
}  // namespace hydrosk::toolkit
