// `hydrosk-cli fireflow`: the command's run through its function, and the program's argument
// handling, exit statuses and help through the built executable.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <locale>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "cli/fireflow_command.h"
#include "network/net_load.h"
#include "toolkit/project.h"

namespace hydrosk::analysis::testing {
namespace {

class FireflowCommandTest : public RunTest {
protected:
    cli::FireflowOptions Options(const std::filesystem::path& inp) const {
        cli::FireflowOptions options;
        options.inp = inp.string();
        options.min_pressure = 55;
        return options;
    }

    int Run(const cli::FireflowOptions& options) {
        out_.str("");
        err_.str("");
        return cli::RunFireflow(options, out_, err_, false);
    }

    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(FireflowCommandTest, WritesTheResultsBesideTheInpFileAndPrintsTheirPath) {
    const auto inp = CopyNetwork("line.inp");
    ASSERT_EQ(Run(Options(inp)), 0) << err_.str();
    EXPECT_EQ(out_.str(), inp.string() + ".TXT\n");
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(Lines(inp.string() + ".TXT").size(), 4U);
    EXPECT_FALSE(std::filesystem::exists(dir() / "HydroskSettings.txt"));
}

TEST_F(FireflowCommandTest, ReadsTheConstraintFilesBesideTheInpFile) {
    const auto inp = CopyNetwork("line.inp");
    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n\"J3\"\r\n\"Q7\"\r\n");
    auto options = Options(inp);
    options.min_pressure = 1000;
    ASSERT_EQ(Run(options), 0) << err_.str();
    EXPECT_EQ(Lines(inp.string() + ".TXT")[1], R"("J1","Maximal flow was reached")");
    EXPECT_EQ(err_.str(),
              messages::UnknownConstraintIds({}, std::vector<std::string>{"Q7"}) + "\n");
}

TEST_F(FireflowCommandTest, RunsFromTheInpDirectoryWithARelativePath) {
    CopyNetwork("line.inp");
    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n\"J3\"\r\n");
    auto options = Options("line.inp");
    options.min_pressure = 1000;
    options.extension = "CSV";
    ASSERT_EQ(Run(options), 0) << err_.str();
    EXPECT_EQ(out_.str(), "line.inp.CSV\n");
    EXPECT_EQ(Lines(dir() / "line.inp.CSV")[3], R"("J3","Maximal flow was reached")");
}

TEST_F(FireflowCommandTest, RefusalGoesToStandardErrorWithStatusOne) {
    const auto inp = CopyNetwork("line.inp");
    auto options = Options(inp);
    options.mode = RunMode::Duration;
    EXPECT_EQ(Run(options), 1);
    EXPECT_EQ(err_.str(), std::string(messages::kExtendedPeriodDuration) + "\n");
    EXPECT_EQ(out_.str(), "");

    options = Options(dir() / "missing.inp");
    EXPECT_EQ(Run(options), 1);
    EXPECT_EQ(err_.str(), options.inp + ": " + std::string(messages::kCouldNotOpenInp) +
                              "\n  Error 302: cannot open input file\n");
}

TEST_F(FireflowCommandTest, FlowModeUsesTheRequiredTime) {
    const auto inp = CopyNetwork("falling_head.inp");
    auto options = Options(inp);
    options.mode = RunMode::Flow;
    options.min_pressure = 30;
    options.required_time = 2;
    ASSERT_EQ(Run(options), 0) << err_.str();
    EXPECT_EQ(Lines(inp.string() + ".TXT")[1], R"("J1",2,-10)");
}

TEST_F(FireflowCommandTest, StatsEndTheErrorStreamOfEveryRun) {
    const auto inp = CopyNetwork("line.inp");
    const std::regex stats(R"(hydraulic solves: (\d+), iterations: (\d+), seconds: \d+\.\d{3}\n$)");
    auto options = Options(inp);
    options.stats = true;
    std::smatch match;
    for (const SearchMethod search : {SearchMethod::Linear, SearchMethod::Bisection}) {
        options.search = search;
        ASSERT_EQ(Run(options), 0) << err_.str();
        const std::string err = err_.str();
        ASSERT_TRUE(std::regex_match(err, match, stats)) << err;
        EXPECT_GT(std::stol(match[2]), std::stol(match[1])) << err;
    }
    options.mode = RunMode::Duration;  // refused: the network has no duration
    EXPECT_EQ(Run(options), 1);
    const std::string err = err_.str();
    ASSERT_TRUE(std::regex_search(err, match, stats)) << err;
    EXPECT_EQ(match[1], "0");
}

TEST_F(FireflowCommandTest, AvailableAndDesignModesWriteTheirOwnRows) {
    const auto inp = CopyNetwork("line.inp");
    auto options = Options(inp);
    options.mode = RunMode::Available;
    options.tolerance = 0.5f;
    ASSERT_EQ(Run(options), 0) << err_.str();
    EXPECT_TRUE(Lines(inp.string() + ".TXT")[0].starts_with(R"("Check_Node","Available_Flow",)"));
    options.mode = RunMode::Design;
    ASSERT_EQ(Run(options), 0) << err_.str();
    EXPECT_TRUE(Lines(inp.string() + ".TXT")[0].ends_with(R"("Lowest_Pressure","Result")"));
}

// The executable, run through the shell with its output captured.
struct ProgramResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// `environment`: assignments put before the command ("LC_ALL=C").
ProgramResult RunProgram(const std::string& arguments, const std::string& environment = "") {
    ProgramResult result;
    const std::string command =
        environment + " '" + std::string(HYDROSK_CLI) + "' " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
        result.output.append(buffer.data(), read);
    }
    const int status = pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST_F(FireflowCommandTest, ProgramRunsAndPrintsThePath) {
    const auto inp = CopyNetwork("line.inp");
    const auto result =
        RunProgram("fireflow '" + inp.string() + "' --min-pressure 55 --extension dat");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, inp.string() + ".DAT\n");
}

TEST_F(FireflowCommandTest, ProgramRefusalExitsWithOne) {
    const auto inp = CopyNetwork("line.inp");
    const auto result =
        RunProgram("fireflow '" + inp.string() + "' --max-flow 1e8 --flow-interval 1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, std::string(messages::kFlowIntervalTooSmall) + "\n");
    EXPECT_FALSE(std::filesystem::exists(inp.string() + ".TXT"));
}

TEST_F(FireflowCommandTest, NumbersThatMustBePositiveNameTheirOption) {
    const auto inp = CopyNetwork("line.inp");
    for (const std::string option : {"--flow-interval", "--required-time", "--tolerance"}) {
        const auto result = RunProgram("fireflow '" + inp.string() + "' " + option + " 0");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.output.rfind(option + ": \"0\" is not greater than 0\n", 0), 0U)
            << result.output;
    }
}

TEST_F(FireflowCommandTest, NegativeFlowsAreRefusedWithTheirOption) {
    const auto inp = CopyNetwork("line.inp");
    for (const std::string option : {"--required-flow", "--max-flow"}) {
        const auto result = RunProgram("fireflow '" + inp.string() + "' " + option + " -100");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.output.rfind(option + ": \"-100\" is negative\n", 0), 0U) << result.output;
    }
    EXPECT_FALSE(std::filesystem::exists(inp.string() + ".TXT"));
}

TEST_F(FireflowCommandTest, ARequiredTimeBeyondTheDurationIsCappedWithANotice) {
    const auto inp = CopyNetwork("falling_head.inp");
    const auto result = RunProgram("fireflow '" + inp.string() +
                                   "' --mode flow --min-pressure 20 --flow-interval 2.5 "
                                   "--required-time 1000");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("Notice: the required time of 1000 hours is beyond the INP "
                                 "file's duration of "),
              std::string::npos)
        << result.output;
}

TEST_F(FireflowCommandTest, BisectionOnANetworkWithControlsSaysSoAndHelpNamesTheReadme) {
    const auto help = RunProgram("fireflow --help");
    EXPECT_NE(help.output.find("README.md"), std::string::npos);
    const auto inp = CopyNetwork("pipe_opens_at_low_pressure.inp");
    const auto result = RunProgram("fireflow '" + inp.string() +
                                   "' --min-pressure 35 --max-flow 2000 --search bisection");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output,
              std::string(messages::kBisectionMayDiffer) + "\n" + inp.string() + ".TXT\n");
}

TEST_F(FireflowCommandTest, BadArgumentsExitWithTwo) {
    const auto inp = CopyNetwork("line.inp");
    for (const std::string& arguments :
         {std::string("fireflow"), "fireflow '" + inp.string() + "' --mode fast",
          "fireflow '" + inp.string() + "' --extension PDF",
          "fireflow '" + inp.string() + "' --search binary",
          "fireflow '" + inp.string() + "' --colour red"}) {
        EXPECT_EQ(RunProgram(arguments).status, 2) << arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(inp.string() + ".TXT"));
}

// Numbers have a period as the decimal separator under every locale; a text in another
// format is refused with the option and the text named.
TEST_F(FireflowCommandTest, NumbersMeanTheSameUnderEveryLocale) {
    ASSERT_NO_THROW(std::locale("de_DE.UTF-8")) << "make deps generates the German locale";
    const auto inp = CopyNetwork("falling_head.inp");
    const std::string run = "fireflow '" + inp.string() + "' --mode flow --flow-interval 2.5 ";
    std::string written;
    for (const char* locale : {"LC_ALL=C", "LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"}) {
        const auto result = RunProgram(run + "--required-time 1.5 --min-pressure 20.5", locale);
        ASSERT_EQ(result.status, 0) << locale << ": " << result.output;
        const std::string results = ReadBytes(inp.string() + ".TXT");
        if (written.empty()) written = results;
        EXPECT_EQ(results, written) << locale;
        std::filesystem::remove(inp.string() + ".TXT");
    }
    EXPECT_NE(written.find(",1.5,"), std::string::npos) << written;
    for (const char* locale : {"LC_ALL=C", "LC_ALL=de_DE.UTF-8"}) {
        for (const char* text : {"1,5", "1.500,0", "20 psi", "", "0x10", "inf"}) {
            const auto result =
                RunProgram(run + "--required-time '" + std::string(text) + "'", locale);
            EXPECT_EQ(result.status, 2) << locale << " " << text;
            EXPECT_EQ(result.output.rfind(
                          "--required-time: \"" + std::string(text) + "\" is not a number\n", 0),
                      0U)
                << result.output;
        }
        const auto range = RunProgram(run + "--max-flow 1e99", locale);
        EXPECT_EQ(range.status, 2);
        EXPECT_EQ(range.output.rfind("--max-flow: \"1e99\" is out of range\n", 0), 0U)
            << range.output;
    }
    EXPECT_FALSE(std::filesystem::exists(inp.string() + ".TXT"));
}

TEST_F(FireflowCommandTest, ThreadsAndLanesAreAWholeNumberOfAtLeastOne) {
    const auto inp = CopyNetwork("line.inp");
    for (const std::string option : {"--threads", "--lanes"}) {
        for (const char* count : {"0", "abc", "-2", "1.5", "99999999999999999999"}) {
            const auto result =
                RunProgram("fireflow '" + inp.string() + "' " + option + " " + std::string(count));
            EXPECT_EQ(result.status, 2) << option << ' ' << count;
            EXPECT_EQ(result.output.rfind(option + ": a whole number of at least 1\n", 0), 0U)
                << result.output;
        }
    }
}

TEST_F(FireflowCommandTest, HelpExplainsEveryOption) {
    const auto result = RunProgram("fireflow --help");
    EXPECT_EQ(result.status, 0);
    for (const char* option : {"INP",
                               "--mode",
                               "--search",
                               "--min-pressure",
                               "--max-flow",
                               "--flow-interval",
                               "--required-flow",
                               "--tolerance",
                               "--required-time",
                               "--extension",
                               "--stats",
                               "--lanes",
                               "--demand-time",
                               "--fire-duration",
                               "--fire-demand",
                               "--max-velocity",
                               "--hydrants",
                               "--required-flows",
                               "--fire-groups",
                               "--fire-groups-near",
                               "--group-size",
                               "hydrosk-cli baseline",
                               "NoCheck.txt",
                               "MinPressures.txt",
                               "Exit status"}) {
        EXPECT_NE(result.output.find(option), std::string::npos) << option;
    }
    // "Which mode do I want?" answered in one line per mode.
    for (const char* mode : {"steady", "available", "design", "duration", "flow"}) {
        EXPECT_NE(result.output.find("\n  " + std::string(mode) + " "), std::string::npos) << mode;
    }
}

// A study on the command line: hours read in double precision with a period whatever the
// locale, its options refused outside the available and design modes, its files named.
TEST_F(FireflowCommandTest, StudyOptionsGiveTheStudysRows) {
    const std::filesystem::path town = dir() / "town.inp";
    std::filesystem::copy_file(std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp", town);
    WriteBytes(dir() / "hydrants.txt", "\xEF\xBB\xBFJ3\r\n\"J1\"\r\n");
    WriteBytes(dir() / "required.txt", "\"J1\",1000\r\n");
    const std::string study = "fireflow '" + town.string() + "' --min-pressure 20 " +
                              "--demand-time 12.25 --fire-duration 1.75 --fire-demand add " +
                              "--max-velocity 10 --hydrants '" + (dir() / "hydrants.txt").string() +
                              "' --required-flows '" + (dir() / "required.txt").string() + "'";
    for (const char* locale : {"LC_ALL=C", "LC_ALL=de_DE.UTF-8"}) {
        const auto result = RunProgram(study + " --mode design --required-flow 1500", locale);
        ASSERT_EQ(result.status, 0) << result.output;
        const auto rows = Lines(town.string() + ".TXT");
        ASSERT_EQ(rows.size(), 3U);
        EXPECT_EQ(rows[0],
                  R"("Check_Node","Fire_Flow","Check_Pressure","Lowest_Node","Lowest_Pressure",)"
                  R"("Fastest_Pipe","Fastest_Velocity","Result")");
        EXPECT_TRUE(rows[1].starts_with("\"J1\",1000,")) << rows[1];
        EXPECT_TRUE(rows[2].starts_with("\"J3\",1500,")) << rows[2];
    }
    const auto available = RunProgram(study + " --mode available --max-flow 3000");
    ASSERT_EQ(available.status, 0) << available.output;
    EXPECT_TRUE(Lines(town.string() + ".TXT")[0].ends_with(R"("Required_Flow","Result")"));

    const auto steady = RunProgram(study + " --mode steady");
    EXPECT_EQ(steady.status, 1);
    EXPECT_NE(steady.output.find("are options of the available and design modes"),
              std::string::npos)
        << steady.output;
    const auto comma = RunProgram(study + " --mode design --demand-time 1,5");
    EXPECT_EQ(comma.status, 2);
    EXPECT_EQ(comma.output.rfind("--demand-time: \"1,5\" is not a number\n", 0), 0U)
        << comma.output;
    const auto missing = RunProgram("fireflow '" + town.string() + "' --hydrants no-such.txt");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "\"no-such.txt\": does not exist\n");
    const auto fire_demand = RunProgram(study + " --mode design --fire-demand both");
    EXPECT_EQ(fire_demand.status, 2);

    // The GeoJSON export reads the study's layout: pipe IDs as texts, empty numbers as null.
    const auto layer = dir() / "study.geojson";
    const auto exported = RunProgram("export-geojson '" + town.string() + ".TXT' '" +
                                     layer.string() + "' --inp '" + town.string() + "'");
    ASSERT_EQ(exported.status, 0) << exported.output;
    const std::string geojson = ReadBytes(layer);
    EXPECT_NE(geojson.find("\"Limiting_Velocity\":"), std::string::npos);
    EXPECT_NE(geojson.find("\"Required_Flow\":1000"), std::string::npos) << geojson;
    EXPECT_NE(geojson.find("\"Limiting_Pipe\":\""), std::string::npos);
}

// The baseline in the NoCheck.txt layout; a run says the same junctions on standard error.
TEST_F(FireflowCommandTest, BaselineListsTheJunctionsForNoCheck) {
    const std::filesystem::path town = dir() / "town.inp";
    std::filesystem::copy_file(std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp", town);
    const auto result = RunProgram("baseline '" + town.string() +
                                   "' --min-pressure 60 --demand-time 12 2>/dev/null");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(result.output.starts_with("\"J")) << result.output;
    EXPECT_NE(result.output.find("\"\r\n"), std::string::npos);
    WriteBytes(dir() / "NoCheck.txt", result.output);
    const auto after =
        RunProgram("baseline '" + town.string() + "' --min-pressure 60 --demand-time 12");
    EXPECT_EQ(after.status, 0);
    EXPECT_EQ(after.output, "");
    std::filesystem::remove(dir() / "NoCheck.txt");
    const auto run = RunProgram("fireflow '" + town.string() +
                                "' --mode design --min-pressure 60 --demand-time 12");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Without any fire flow, at the demand time,"), std::string::npos)
        << run.output;
    const auto late = RunProgram("baseline '" + town.string() + "' --demand-time 25");
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.output.find("the duration of the INP file is 24 hours"), std::string::npos);
}

// Fire groups on the town: the junctions' IDs in INP order.
class FireGroupsCommandTest : public FireflowCommandTest {
protected:
    void SetUp() override {
        FireflowCommandTest::SetUp();
        town_ = dir() / "town.inp";
        std::filesystem::copy_file(std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp", town_);
    }

    std::string Fireflow(const std::string& options) const {
        return "fireflow '" + town_.string() + "' --min-pressure 20 " + options;
    }
    std::string Groups(const std::string& bytes) {
        WriteBytes(dir() / "groups.txt", bytes);
        return " --fire-groups '" + (dir() / "groups.txt").string() + "'";
    }
    std::string Results() const { return ReadBytes(town_.string() + ".TXT"); }

    std::filesystem::path town_;
};

// Every junction a group of one named by its ID: the results file of the junctions, byte for
// byte, in both modes, plain and as a study with required flows.
TEST_F(FireGroupsCommandTest, AGroupOfOneIsTheJunctionsRow) {
    std::string alone;
    for (int k = 1; k <= 24; ++k) {
        const std::string id = "J" + std::to_string(k);
        alone += '"' + id + "\",\"" + id + "\"\r\n";
    }
    WriteBytes(dir() / "required.txt", "\"J2\",1800\r\n\"J5\",700\r\n");
    const std::string required = " --required-flows '" + (dir() / "required.txt").string() + "'";
    for (const std::string& mode : std::vector<std::string>{
             "--mode available --max-flow 3000", "--mode design --required-flow 1500",
             "--mode available --max-flow 3000 --demand-time 12 --fire-duration 1 " + required,
             "--mode design --demand-time 12 --fire-demand add --max-velocity 10" + required}) {
        const auto junctions = RunProgram(Fireflow(mode));
        ASSERT_EQ(junctions.status, 0) << junctions.output;
        const std::string expected = Results();
        const auto groups = RunProgram(Fireflow(mode) + Groups(alone));
        ASSERT_EQ(groups.status, 0) << groups.output;
        EXPECT_EQ(Results(), expected) << mode;
    }
}

// Rows in the file's order, named by the groups, whatever the thread count; a group of two
// passes a flow only where its members together keep every pressure.
TEST_F(FireGroupsCommandTest, RowsComeInTheFilesOrderOfGroups) {
    const std::string groups = Groups(
        "\xEF\xBB\xBF\"School\",\"J20\",\"J21\"\r\n\"Mall\",\"J3\"\r\n\r\n\"Depot\",\"J1\","
        "\"J2\",\"J3\"\n");
    WriteBytes(dir() / "required.txt", "\"Mall\",900\r\n");
    const std::string design = "--mode design --required-flow 2400 --required-flows '" +
                               (dir() / "required.txt").string() + "'" + groups;
    std::string written;
    for (const char* threads : {"1", "2"}) {
        const auto run = RunProgram(Fireflow(design + " --threads " + threads));
        ASSERT_EQ(run.status, 0) << run.output;
        if (written.empty()) written = Results();
        EXPECT_EQ(Results(), written) << threads;
    }
    const auto rows = Lines(town_.string() + ".TXT");
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_TRUE(rows[1].starts_with("\"School\",2400,")) << rows[1];
    EXPECT_TRUE(rows[2].starts_with("\"Mall\",900,")) << rows[2];
    EXPECT_TRUE(rows[3].starts_with("\"Depot\",2400,")) << rows[3];

    const std::string available = "--mode available --max-flow 5000" + groups;
    ASSERT_EQ(RunProgram(Fireflow(available + " --threads 1")).status, 0);
    written = Results();
    ASSERT_EQ(RunProgram(Fireflow(available + " --threads 2 --lanes 1")).status, 0);
    EXPECT_EQ(Results(), written);
    EXPECT_EQ(Lines(town_.string() + ".TXT").size(), 4U);
}

// Each malformed groups file is refused with its line and text, and so is each wrong
// combination of the options, with the option named.
TEST_F(FireGroupsCommandTest, MalformedGroupsAndOptionsAreRefused) {
    const std::string file = (dir() / "groups.txt").string();
    const struct {
        const char* bytes;
        const char* message;
    } files[] = {
        {"\"A\",\"J1\"\r\n\"B\",\"J1\",\"P99\"\r\n",
         "line 2 (\"B\",\"J1\",\"P99\"): the junction \"P99\" is not a junction of the network"},
        {"\"A\",\"J1\"\r\n\"B\",\"LAKE\"\r\n",
         "line 2 (\"B\",\"LAKE\"): the junction \"LAKE\" is not"},
        {"\"A\",\"J1\"\r\n\"Empty\"\r\n", "line 2 (\"Empty\"): the group \"Empty\" has no members"},
        {"\"A\",\"J1\"\r\n\"A\",\"J2\"\r\n", "line 2 (\"A\",\"J2\"): the group name \"A\" is used"},
        {"\"A\",\"J1\",\"J2\",\"J1\"\r\n", "line 1 (\"A\",\"J1\",\"J2\",\"J1\"): the junction"},
        {"\r\n", "names no fire group"},
    };
    for (const auto& each : files) {
        const auto run = RunProgram(Fireflow("--mode available" + Groups(each.bytes)));
        EXPECT_EQ(run.status, 1) << each.bytes;
        EXPECT_EQ(run.output.rfind("\"" + file + "\": ", 0), 0U) << run.output;
        EXPECT_NE(run.output.find(each.message), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(town_.string() + ".TXT"));
    }
    const std::string groups = Groups("\"A\",\"J1\"\r\n");
    WriteBytes(dir() / "hydrants.txt", "\"J1\"\r\n");
    const struct {
        std::string options;
        int status;
        const char* message;
    } options[] = {
        {"--mode steady" + groups, 1, "are options of the available and design modes"},
        {"--mode design --hydrants '" + (dir() / "hydrants.txt").string() + "'" + groups, 1,
         "cannot be given with --hydrants"},
        {"--mode design --fire-groups-near 100" + groups, 1, "cannot be given together"},
        {"--mode design --group-size 2", 1, "--group-size is an option of --fire-groups-near"},
        {"--mode design --fire-groups-near 0", 2,
         "--fire-groups-near: \"0\" is not greater than 0"},
        {"--mode design --fire-groups-near 10 --group-size 0", 2,
         "--group-size: a whole number of at least 1"},
    };
    for (const auto& each : options) {
        const auto run = RunProgram(Fireflow(each.options));
        EXPECT_EQ(run.status, each.status) << each.options;
        EXPECT_NE(run.output.find(each.message), std::string::npos) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(town_.string() + ".TXT"));
}

// Groups from the map of Net3: one row a junction, named by it, in INP order.
TEST_F(FireGroupsCommandTest, NearGroupsGiveOneRowAJunction) {
    const std::filesystem::path net3 = dir() / "Net3.inp";
    std::filesystem::copy_file(std::filesystem::path(HYDROSK_SHARED_NETWORKS) / "Net3.inp", net3);
    const auto run = RunProgram("fireflow '" + net3.string() +
                                "' --mode available --min-pressure 20 --max-flow 3000 "
                                "--fire-groups-near 5000 --group-size 3 --threads 2");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto rows = Lines(net3.string() + ".TXT");
    toolkit::Project project;
    network::NetworkCatalogue catalogue;
    ASSERT_EQ(network::OpenNetwork(catalogue, project, net3.string(), "", ""), 0);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(catalogue.JunctionCount) + 1);
    for (int k = 1; k <= catalogue.JunctionCount; ++k) {
        EXPECT_TRUE(rows[static_cast<std::size_t>(k)].starts_with(
            '"' + catalogue.JunctionIDs[static_cast<std::size_t>(k)] + "\","))
            << rows[static_cast<std::size_t>(k)];
    }
}

}  // namespace
}  // namespace hydrosk::analysis::testing
