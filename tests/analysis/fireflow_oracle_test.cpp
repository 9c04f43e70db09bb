// Whole results files against EPANET 2.2: the reference driver tools/oracle/fireflow.mjs performs
// the same run on epanet-js (engine v2.2) and writes its own results file, which must equal ours
// record by record: every text, flow and duration identical, and pressures within
// 0.001 + 1e-6 |p| (EPANET 2.2's own builds differ about that much). Bisection must give the
// rows of the driver's linear search. An available-flow results file is instead certified by
// the driver: every row's flow passes and the flow a tolerance above fails on EPANET 2.2. The
// shared networks and our own (tests/networks) are used in a copy; for the steady state the
// copy's duration is set to 0.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

#include "analysis_test_support.h"
#include "files/constraint_files.h"
#include "files/number_text.h"
#include "network/net_load.h"

namespace hydrosk::analysis::testing {
namespace {

enum class Mode { Steady, Duration, Flow, Available, Design };

struct OracleCase {
    const char* network;
    Mode mode;
    bool constraints;  // NoCheck.txt and MinPressures.txt beside the copy
    const char* min_pressure;
    const char* max_flow;
    const char* flow_interval;
    const char* required_flow;
    const char* required_time;
    SearchMethod search = SearchMethod::Linear;  // ours; the driver's is linear
};

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Steady:
            return "Steady";
        case Mode::Duration:
            return "Duration";
        case Mode::Flow:
            return "Flow";
        case Mode::Available:
            return "Available";
        case Mode::Design:
            return "Design";
    }
    return "";
}

bool SteadyState(Mode mode) {
    return mode == Mode::Steady || mode == Mode::Available || mode == Mode::Design;
}

void PrintTo(const OracleCase& c, std::ostream* os) {
    *os << c.network << (c.constraints ? " with constraint files" : "") << ", minimal pressure "
        << c.min_pressure;
}

std::string CaseName(const ::testing::TestParamInfo<OracleCase>& info) {
    return std::string(info.param.network) + ModeName(info.param.mode) +
           (info.param.search == SearchMethod::Bisection ? "Bisection" : "") +
           (info.param.constraints ? "WithConstraints" : "");
}

// Fields of one results line: texts without their quotes; `quoted` tells which were texts.
struct Field {
    std::string text;
    bool quoted = false;
};

std::vector<Field> SplitFields(const std::string& line) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (i <= line.size()) {
        Field field;
        if (i < line.size() && line[i] == '"') {
            const auto close = line.find('"', i + 1);
            field.text = line.substr(i + 1, close - i - 1);
            field.quoted = true;
            i = close == std::string::npos ? line.size() : close + 1;
        } else {
            const auto comma = std::min(line.find(',', i), line.size());
            field.text = line.substr(i, comma - i);
            i = comma;
        }
        fields.push_back(field);
        if (i >= line.size()) break;
        ++i;  // the comma
    }
    return fields;
}

// The fields that hold pressures in the rows of a mode.
std::set<std::size_t> PressureFields(Mode mode) {
    if (mode == Mode::Steady) return {3};
    if (mode == Mode::Design) return {2, 4};
    return {};
}

// Every field equal, except pressures, which may differ within the tolerance.
void ExpectSameResults(const std::vector<std::string>& ours, const std::vector<std::string>& epanet,
                       const std::set<std::size_t>& pressure_fields) {
    ASSERT_EQ(ours.size(), epanet.size());
    for (std::size_t row = 0; row < ours.size(); ++row) {
        const auto a = SplitFields(ours[row]);
        const auto b = SplitFields(epanet[row]);
        ASSERT_EQ(a.size(), b.size()) << "row " << row << ": " << ours[row] << " | " << epanet[row];
        for (std::size_t f = 0; f < a.size(); ++f) {
            const bool pressure =
                row > 0 && pressure_fields.contains(f) && !a[f].quoted && !b[f].quoted;
            if (!pressure) {
                EXPECT_EQ(a[f].quoted, b[f].quoted) << "row " << row << ": " << ours[row];
                EXPECT_EQ(a[f].text, b[f].text)
                    << "row " << row << ": " << ours[row] << " | " << epanet[row];
                continue;
            }
            const double p = std::stod(b[f].text);
            EXPECT_NEAR(std::stod(a[f].text), p, 0.001 + 1e-6 * std::fabs(p))
                << "row " << row << ": " << ours[row] << " | " << epanet[row];
        }
    }
}

// The INP text with its duration set to 0 (a [TIMES] line "Duration ..." replaced, or none).
class FireflowOracleTest : public RunTest, public ::testing::WithParamInterface<OracleCase> {
protected:
    void SetUp() override {
        RunTest::SetUp();
        if (std::string(HYDROSK_NODE).empty()) GTEST_SKIP() << "node is not installed";
        oracle_ = std::filesystem::path(HYDROSK_ORACLE_DIR);
        if (!std::filesystem::exists(oracle_ / "node_modules" / "epanet-js")) {
            GTEST_SKIP() << "epanet-js is not installed: run npm ci in " << oracle_;
        }
        const std::string name = std::string(GetParam().network) + ".inp";
        source_ = std::filesystem::path(HYDROSK_OWN_NETWORKS) / name;
        if (name == "town.inp") {
            source_ = std::filesystem::path(HYDROSK_EXAMPLES) / name;
        } else if (std::filesystem::exists(DataFile(name))) {
            source_ = DataFile(name);
        } else if (!std::filesystem::exists(source_)) {
            source_ = std::filesystem::path(HYDROSK_SHARED_NETWORKS) / name;
        }
        if (!std::filesystem::exists(source_)) GTEST_SKIP() << source_ << " is absent";
    }

    std::filesystem::path CopyShared() {
        std::string text = ReadBytes(source_);
        if (SteadyState(GetParam().mode)) text = WithZeroDuration(text);
        const auto copy = dir() / source_.filename();
        WriteBytes(copy, text);
        return copy;
    }

    // Excludes the junctions below the minimum at the first step and every tenth one (one in
    // other letter case, one twice), raises every seventh one's minimum by 5, and names a
    // junction that does not exist in each file.
    void WriteConstraints(const std::filesystem::path& inp, float minimum) {
        toolkit::Project project;
        network::NetworkCatalogue catalogue;
        ASSERT_EQ(network::OpenNetwork(catalogue, project, inp.string(), "", ""), 0);
        ASSERT_EQ(project.open_h(), 0);
        ASSERT_EQ(project.init_h(EN_NOSAVE), 0);
        long time = 0;
        ASSERT_LE(project.run_h(time), 6);

        std::string excluded = "\"NOT-A-JUNCTION\"\r\n";
        std::string minima = "\"NOT-A-JUNCTION\",1\r\n";
        for (int k = 1; k <= catalogue.JunctionCount; ++k) {
            std::string id = catalogue.JunctionIDs[static_cast<std::size_t>(k)];
            double pressure = 0;
            EXPECT_EQ(project.get_node_value(k, EN_PRESSURE, pressure), 0);
            if (static_cast<float>(pressure) < minimum || k % 10 == 0) {
                if (k == 10) {
                    excluded += '"' + id + "\"\r\n";
                    for (char& c : id)
                        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                excluded += '"' + id + "\"\r\n";
            } else if (k % 7 == 0) {
                minima += '"' + id + "\"," + files::FormatSingle(minimum + 5) + "\r\n";
            }
        }
        WriteNoCheck(excluded);
        WriteMinPressures(minima);
    }

    // Runs the reference driver; its exit status (0 done, 1 refused, failed or, when it
    // certifies, a row not certified).
    int RunDriver(const std::filesystem::path& inp, const std::filesystem::path& results) {
        const OracleCase& c = GetParam();
        std::string mode = ModeName(c.mode);
        mode[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(mode[0])));
        if (c.mode == Mode::Available) mode = "certify";
        const auto messages = dir() / "driver-messages.txt";
        const std::string command =
            std::string("'") + HYDROSK_NODE + "' '" + (oracle_ / "fireflow.mjs").string() +
            "' run '" + inp.string() + "' '" + results.string() + "' --mode " + mode +
            " --min-pressure " + c.min_pressure + " --max-flow " + c.max_flow +
            " --flow-interval " + c.flow_interval + " --required-flow " + c.required_flow +
            " --required-time " + c.required_time + " > '" + messages.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        driver_messages_ = ReadBytes(messages);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path oracle_;
    std::filesystem::path source_;
    std::string driver_messages_;
};

TEST_P(FireflowOracleTest, ResultsEqualEpanet22) {
    const OracleCase& c = GetParam();
    const auto inp = CopyShared();
    if (c.constraints) WriteConstraints(inp, std::stof(c.min_pressure));

    const RunMode mode = c.mode == Mode::Steady      ? RunMode::Steady
                         : c.mode == Mode::Available ? RunMode::Available
                         : c.mode == Mode::Design    ? RunMode::Design
                         : c.mode == Mode::Duration  ? RunMode::Duration
                                                     : RunMode::Flow;
    RunSettings inputs = Settings(inp);
    inputs.mode = ModeFromTexts(mode, c.max_flow, c.flow_interval, c.required_flow, c.required_time,
                                c.search);
    inputs.minimal_pressure = Number(c.min_pressure);
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);

    if (c.mode == Mode::Available) {
        ASSERT_EQ(result.status, RunStatus::Completed) << result.message;
        EXPECT_EQ(RunDriver(inp, inputs.output_file), 0) << driver_messages_;
        return;
    }
    const auto reference = dir() / "epanet.txt";
    const int driver_status = RunDriver(inp, reference);
    ASSERT_TRUE(driver_status == 0 || driver_status == 1) << driver_messages_;

    if (driver_status == 1) {
        // Refused by both, with the same words.
        EXPECT_NE(result.status, RunStatus::Completed);
        EXPECT_NE(driver_messages_.find(result.message), std::string::npos)
            << result.message << " | " << driver_messages_;
        return;
    }
    ASSERT_EQ(result.status, RunStatus::Completed) << result.message;
    ExpectSameResults(Lines(inputs.output_file), Lines(reference), PressureFields(c.mode));
}

// Maximal flows and intervals keep the whole comparison within a minute or two.
const OracleCase kOracleCases[] = {
    {"Net1", Mode::Steady, false, "110", "1000", "10", "100", "1.5"},
    {"Net1", Mode::Steady, true, "115", "1000", "10", "100", "1.5"},
    {"Net2", Mode::Steady, false, "25", "1000", "25", "100", "1.5"},
    {"Net2", Mode::Steady, true, "40", "1000", "25", "100", "1.5"},
    {"Net3", Mode::Steady, false, "20", "1500", "50", "100", "1.5"},
    {"Net3", Mode::Steady, true, "40", "1500", "50", "100", "1.5"},
    {"ky10", Mode::Steady, false, "20", "1500", "250", "100", "1.5"},
    {"ky10", Mode::Steady, true, "20", "1500", "250", "100", "1.5"},
    {"ky10", Mode::Duration, false, "20", "1500", "250", "100", "1.5"},
    {"Net1", Mode::Duration, false, "110", "1000", "10", "500", "1.5"},
    {"Net1", Mode::Duration, true, "115", "1000", "10", "300", "1.5"},
    {"Net2", Mode::Duration, false, "25", "1000", "10", "200", "1.5"},
    {"Net2", Mode::Duration, true, "40", "1000", "10", "100", "1.5"},
    {"Net3", Mode::Duration, false, "20", "1000", "10", "500", "1.5"},
    {"Net3", Mode::Duration, true, "40", "1000", "10", "1000", "1.5"},
    {"Net1", Mode::Flow, false, "110", "1000", "100", "100", "4"},
    {"Net1", Mode::Flow, true, "115", "1000", "50", "100", "2.5"},
    {"Net2", Mode::Flow, false, "25", "1000", "100", "100", "2"},
    {"Net2", Mode::Flow, true, "40", "1000", "100", "100", "3"},
    {"Net3", Mode::Flow, false, "20", "1500", "250", "100", "1"},
    {"Net3", Mode::Flow, true, "40", "1500", "250", "100", "1.5"},
    // The example network of the walkthrough.
    {"town", Mode::Steady, true, "20", "5000", "50", "100", "1.5"},
    {"town", Mode::Duration, false, "20", "1000", "10", "1500", "1.5"},
    {"town", Mode::Flow, true, "20", "3000", "100", "100", "2"},
    // Networks of our own where a last bit decides a step time (J1_1 here: 36671 s); the
    // duration search takes a flow interval of 0, which it never uses.
    {"pbv_tank_duration", Mode::Duration, false, "61", "1000", "0", "700", "1.5"},
    {"pbv_tank_control", Mode::Duration, true, "63.4", "1000", "10", "500", "1.5"},
    {"custom_pump_speed", Mode::Duration, false, "50", "1000", "10", "300", "1.5"},
    // Bisection against the linear search, with the carried demands of the steady state.
    {"Net1", Mode::Steady, true, "115", "1000", "10", "100", "1.5", SearchMethod::Bisection},
    {"Net2", Mode::Steady, false, "25", "1000", "5", "100", "1.5", SearchMethod::Bisection},
    {"Net3", Mode::Steady, true, "40", "1500", "10", "100", "1.5", SearchMethod::Bisection},
    {"ky10", Mode::Steady, true, "20", "1500", "250", "100", "1.5", SearchMethod::Bisection},
    {"town", Mode::Steady, true, "20", "5000", "50", "100", "1.5", SearchMethod::Bisection},
    {"Net1", Mode::Flow, true, "115", "1000", "50", "100", "2.5", SearchMethod::Bisection},
    {"Net3", Mode::Flow, false, "20", "1500", "100", "100", "1", SearchMethod::Bisection},
    // The available flow, certified; the maximal flow 0 and a network whose pressures rise
    // again as the flow grows (a main that opens at low pressure).
    {"Net1", Mode::Available, true, "115", "1000", "10", "100", "1.5"},
    {"Net2", Mode::Available, false, "25", "1000", "10", "100", "1.5"},
    {"Net3", Mode::Available, true, "40", "1500", "10", "100", "1.5"},
    {"Net3", Mode::Available, false, "20", "0", "10", "100", "1.5"},
    {"ky10", Mode::Available, true, "20", "1500", "10", "100", "1.5"},
    {"town", Mode::Available, true, "20", "5000", "10", "100", "1.5"},
    {"pipe_opens_at_low_pressure", Mode::Available, false, "35", "2000", "10", "100", "1.5"},
    // The design flow.
    {"Net1", Mode::Design, true, "115", "1000", "10", "750", "1.5"},
    {"Net2", Mode::Design, false, "25", "1000", "10", "300", "1.5"},
    {"Net3", Mode::Design, true, "40", "1000", "10", "1000", "1.5"},
    {"ky10", Mode::Design, true, "20", "1000", "10", "500", "1.5"},
    {"town", Mode::Design, false, "20", "1000", "10", "2500", "1.5"},
};

INSTANTIATE_TEST_SUITE_P(Networks, FireflowOracleTest, ::testing::ValuesIn(kOracleCases), CaseName);

// Fire-flow studies against the reference driver, which replays the extended-period simulation
// from its start for every trial: design rows record by record, every available row certified
// on EPANET 2.2, and the baseline list.
struct StudyCase {
    const char* network;
    RunMode mode;  // Available or Design
    const char* min_pressure;
    const char* flow;  // the maximal flow (available) or the required flow (design)
    double demand_time;
    double fire_duration;
    FireDemand fire_demand;
    const char* max_velocity;  // empty for none
    bool required_flows;       // a file of required flows for the first three junctions
    bool hydrants;             // a hydrants file for every third junction
    // Fire groups in place of junctions: every fifth junction with the next one, and every
    // fifth but two alone under a name of its own; the required flows are then the first three
    // groups'.
    bool groups = false;
};

void PrintTo(const StudyCase& c, std::ostream* os) {
    *os << c.network << (c.mode == RunMode::Available ? " available" : " design") << " at "
        << c.demand_time << " h for " << c.fire_duration << " h";
}

class StudyOracleTest : public RunTest, public ::testing::WithParamInterface<StudyCase> {
protected:
    void SetUp() override {
        RunTest::SetUp();
        ASSERT_FALSE(std::string(HYDROSK_NODE).empty()) << "node is not installed";
        oracle_ = std::filesystem::path(HYDROSK_ORACLE_DIR);
        ASSERT_TRUE(std::filesystem::exists(oracle_ / "node_modules" / "epanet-js"))
            << "epanet-js is not installed: run npm ci in " << oracle_;
        const std::string name = std::string(GetParam().network) + ".inp";
        auto source = std::filesystem::path(HYDROSK_SHARED_NETWORKS) / name;
        if (name == "town.inp") source = std::filesystem::path(HYDROSK_EXAMPLES) / name;
        ASSERT_TRUE(std::filesystem::exists(source)) << source;
        inp_ = dir() / name;
        std::filesystem::copy_file(source, inp_);
    }

    // The driver's command with the case's options; its exit status.
    int RunDriver(const std::string& command_and_files, std::string& output) {
        const StudyCase& c = GetParam();
        char hours[96];
        std::snprintf(hours, sizeof hours, " --demand-time %.17g --fire-duration %.17g",
                      c.demand_time, c.fire_duration);
        std::string command = std::string("'") + HYDROSK_NODE + "' '" +
                              (oracle_ / "fireflow.mjs").string() + "' " + command_and_files +
                              " --min-pressure " + c.min_pressure + hours + " --fire-demand " +
                              (c.fire_demand == FireDemand::Add ? "add" : "replace");
        if (*c.max_velocity != 0) command += std::string(" --max-velocity ") + c.max_velocity;
        const auto messages = dir() / "driver-messages.txt";
        command += " > '" + messages.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        output = ReadBytes(messages);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path oracle_;
    std::filesystem::path inp_;
};

TEST_P(StudyOracleTest, RowsAgreeWithEpanet22) {
    const StudyCase& c = GetParam();
    RunSettings inputs = Settings(inp_);
    inputs.minimal_pressure = Number(c.min_pressure);
    inputs.parallelism.threads = 2;
    StudyOptions study;
    study.fire = {c.demand_time, c.fire_duration, c.fire_demand, std::nullopt};
    if (*c.max_velocity != 0) study.fire.max_velocity = Number(c.max_velocity);
    std::string files;
    {
        toolkit::Project project;
        network::NetworkCatalogue catalogue;
        ASSERT_EQ(network::OpenNetwork(catalogue, project, inp_.string(), "", ""), 0);
        std::string required;
        std::string hydrants = "\xEF\xBB\xBF";
        std::string groups;
        std::vector<std::string> group_names;
        for (int k = 1; k <= catalogue.JunctionCount; ++k) {
            const std::string& id = catalogue.JunctionIDs[static_cast<std::size_t>(k)];
            if (k <= 3 && !c.groups)
                required += '"' + id + "\"," + std::to_string(400 * k) + "\r\n";
            if (k % 3 == 1) hydrants += '"' + id + "\"\r\n";
            if (k % 5 == 1 && k < catalogue.JunctionCount) {
                group_names.push_back("G" + std::to_string(k));
                groups += '"' + group_names.back() + "\",\"" + id + "\",\"" +
                          catalogue.JunctionIDs[static_cast<std::size_t>(k + 1)] + "\"\r\n";
            } else if (k % 5 == 3) {
                group_names.push_back("Alone " + id);
                groups += '"' + group_names.back() + "\",\"" + id + "\"\r\n";
            }
        }
        if (c.groups) {
            for (std::size_t g = 0; g < 3 && g < group_names.size(); ++g) {
                required += '"' + group_names[g] + "\"," + std::to_string(800 * (g + 1)) + "\r\n";
            }
            WriteBytes(dir() / "groups.txt", groups);
            inputs.fire_groups = FireGroupSource(dir() / "groups.txt");
            files += " --fire-groups '" + (dir() / "groups.txt").string() + "'";
        }
        if (c.required_flows) {
            WriteBytes(dir() / "required.txt", required);
            study.required_flows = files::ReadJunctionMinPressures(dir() / "required.txt");
            files += " --required-flows '" + (dir() / "required.txt").string() + "'";
        }
        if (c.hydrants) {
            WriteBytes(dir() / "hydrants.txt", hydrants);
            inputs.hydrants = files::ReadJunctionList(dir() / "hydrants.txt");
            files += " --hydrants '" + (dir() / "hydrants.txt").string() + "'";
        }
    }
    if (c.mode == RunMode::Available) {
        inputs.mode = AvailableFlowRun{Number(c.flow), std::nullopt, study};
        files += std::string(" --mode available --max-flow ") + c.flow;
    } else {
        inputs.mode = DesignFlowRun{Number(c.flow), study};
        files += std::string(" --mode design --required-flow ") + c.flow;
    }
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    ASSERT_EQ(result.status, RunStatus::Completed) << result.message;

    std::string output;
    if (c.mode == RunMode::Available) {
        EXPECT_EQ(
            RunDriver("study '" + inp_.string() + "' '" + inputs.output_file.string() + "'" + files,
                      output),
            0)
            << output;
    } else {
        const auto reference = dir() / "epanet.txt";
        ASSERT_EQ(
            RunDriver("study '" + inp_.string() + "' '" + reference.string() + "'" + files, output),
            0)
            << output;
        ExpectSameResults(Lines(inputs.output_file), Lines(reference), {2, 4, 6});
    }

    // The baseline list of the command line's run, against the driver's.
    std::vector<std::string> expected;
    ASSERT_EQ(RunDriver("baseline '" + inp_.string() + "'", output), 0) << output;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.ends_with('\r')) line.pop_back();
        expected.push_back(line.substr(1, line.size() - 2));
    }
    RunSettings baseline_inputs = inputs;
    baseline_inputs.hydrants.reset();
    baseline_inputs.fire_groups.reset();
    RecordingObserver baseline_observer;
    const BaselineResult baseline = FindBaseline(baseline_inputs, baseline_observer);
    ASSERT_EQ(baseline.run.status, RunStatus::Completed) << baseline.run.message;
    EXPECT_EQ(baseline.junctions, expected);
}

const StudyCase kStudyCases[] = {
    {"town", RunMode::Available, "20", "3000", 12, 2, FireDemand::Add, "10", true, false},
    {"town", RunMode::Available, "20", "3000", 6.5, 1, FireDemand::Replace, "6", false, true},
    {"town", RunMode::Design, "20", "1500", 12, 2, FireDemand::Add, "10", true, true},
    {"Net3", RunMode::Available, "20", "3000", 10, 3, FireDemand::Replace, "5", false, false},
    {"Net3", RunMode::Design, "20", "1000", 10, 2, FireDemand::Add, "5", true, false},
    {"Net1", RunMode::Available, "110", "1000", 5, 2, FireDemand::Add, "", true, false},
    {"Net1", RunMode::Design, "110", "750", 17.25, 4, FireDemand::Replace, "", false, false},
    {"Net2", RunMode::Available, "25", "1000", 30, 6, FireDemand::Replace, "3", false, true},
    // Two hydrants flowing together, each at Q / 2: at the first step, and during a fire.
    {"Net3", RunMode::Available, "20", "3000", 0, 0, FireDemand::Replace, "", true, false, true},
    {"Net3", RunMode::Available, "20", "3000", 10, 3, FireDemand::Add, "5", false, false, true},
    {"Net3", RunMode::Design, "20", "1000", 10, 2, FireDemand::Add, "5", true, false, true},
};

INSTANTIATE_TEST_SUITE_P(Studies, StudyOracleTest, ::testing::ValuesIn(kStudyCases),
                         [](const ::testing::TestParamInfo<StudyCase>& info) {
                             return std::string(info.param.network) +
                                    (info.param.mode == RunMode::Available ? "Available"
                                                                           : "Design") +
                                    (info.param.groups ? "Groups" : "") +
                                    std::to_string(info.index);
                         });

TEST(FireflowOracleSupportTest, ZeroDurationReplacesTheDurationLineOnly) {
    EXPECT_EQ(WithZeroDuration("[TIMES]\n Duration           \t24:00 \n Hydraulic Timestep 1:00\n"),
              "[TIMES]\n Duration 0\n Hydraulic Timestep 1:00\n");
    EXPECT_EQ(WithZeroDuration("[TIMES]\r\nDURATION 72\r\n"), "[TIMES]\r\n Duration 0\r\n");
}

TEST(FireflowOracleSupportTest, FieldsKeepQuotedCommas) {
    const auto fields = SplitFields(R"("A,B",350,"J3",52.5)");
    ASSERT_EQ(fields.size(), 4U);
    EXPECT_EQ(fields[0].text, "A,B");
    EXPECT_TRUE(fields[0].quoted);
    EXPECT_EQ(fields[1].text, "350");
    EXPECT_FALSE(fields[1].quoted);
}

}  // namespace
}  // namespace hydrosk::analysis::testing
