// The project objects and the legacy EN... functions on top of the engine:
// codes, units, the set functions the fire-flow searches use, whole
// simulations through solve_h, opening from a parsed network, and threads.
#include "toolkit/project.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "toolkit/epanet2.h"

namespace hydrosk::toolkit {
namespace {

namespace fs = std::filesystem;

// A tank draining into two junctions over 30 minutes in 15-minute steps, so
// that pressures differ from step to step; J2's demand follows a pattern.
constexpr const char* kDrainingTank =
    "[JUNCTIONS]\n J1 10 100\n J2 12 50 P1\n"
    "[TANKS]\n T 50 20 0 40 15 0\n"
    "[PIPES]\n A T J1 500 8 100\n B J1 J2 400 6 100\n"
    "[PATTERNS]\n P1 1 2\n"
    "[TIMES]\n Duration 0:30\n Hydraulic Timestep 0:15\n Pattern Timestep 0:15\n"
    "[OPTIONS]\n Units GPM\n"
    "[END]\n";

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("hydrosk_project_") + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    static std::vector<double> pressures(const Project& project) {
        int count = 0;
        EXPECT_EQ(project.get_count(EN_NODECOUNT, count), 0);
        std::vector<double> values(static_cast<size_t>(count));
        for (int i = 1; i <= count; ++i) {
            EXPECT_EQ(project.get_node_value(i, EN_PRESSURE, values[static_cast<size_t>(i - 1)]),
                      0);
        }
        return values;
    }

    // Steps the whole simulation and keeps every step's pressures.
    static std::vector<std::pair<long, std::vector<double>>> step_through(Project& project) {
        std::vector<std::pair<long, std::vector<double>>> steps;
        EXPECT_EQ(project.open_h(), 0);
        EXPECT_EQ(project.init_h(EN_NOSAVE), 0);
        long step = 0;
        do {
            long time = 0;
            EXPECT_LE(project.run_h(time), 6);
            steps.emplace_back(time, pressures(project));
            EXPECT_EQ(project.next_h(step), 0);
        } while (step > 0);
        EXPECT_EQ(project.close_h(), 0);
        return steps;
    }

    fs::path dir_;
};

TEST_F(ProjectTest, SolveLeavesThePressuresOfTheLastStep) {
    Project project;
    ASSERT_EQ(project.open(write("tank.inp", kDrainingTank), "", ""), 0);
    const auto steps = step_through(project);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[1].first, 900);
    EXPECT_EQ(steps[2].first, 1800);
    EXPECT_NE(steps[0].second, steps[2].second)
        << "the tank must drain for this test to mean anything";

    ASSERT_EQ(project.solve_h(), 0);
    EXPECT_EQ(pressures(project), steps[2].second);
}

TEST_F(ProjectTest, AStopRequestEndsASolveAndNoneChangesNothing) {
    Project plain;
    ASSERT_EQ(plain.open(write("tank.inp", kDrainingTank), "", ""), 0);
    const auto steps = step_through(plain);

    std::atomic<bool> stop{false};
    Project watched;
    ASSERT_EQ(watched.open(write("tank.inp", kDrainingTank), "", ""), 0);
    watched.set_stop_request(&stop);
    EXPECT_EQ(step_through(watched), steps);  // not set: EPANET's results

    stop.store(true);
    EXPECT_THROW((void)watched.solve_h(), SolveStopped);  // the throw is the answer
    Project stopped;
    ASSERT_EQ(stopped.open(write("tank.inp", kDrainingTank), "", ""), 0);
    stopped.set_stop_request(&stop);
    ASSERT_EQ(stopped.open_h(), 0);
    ASSERT_EQ(stopped.init_h(EN_NOSAVE), 0);
    long time = 0;
    EXPECT_THROW((void)stopped.run_h(time), SolveStopped);
}

// The steps between reading a network and its first solve look at the stop request too: the
// project's copy of the parsed network and the set-up of its matrix, on a network large
// enough for their checks; its IDs are found through the parsed network.
TEST_F(ProjectTest, AStopRequestEndsTheCopyOfALargeNetworkAndItsMatrixSetUp) {
    std::string text = "[JUNCTIONS]\n";
    constexpr int kSide = 300;
    for (int i = 0; i < kSide * kSide; ++i) text += " J" + std::to_string(i) + " 10 1\n";
    text += "[RESERVOIRS]\n R 200\n[PIPES]\n P R J0 10 24 120\n";
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const std::string j = std::to_string(r * kSide + c);
            if (c + 1 < kSide)
                text +=
                    " H" + j + " J" + j + " J" + std::to_string(r * kSide + c + 1) + " 100 8 120\n";
            if (r + 1 < kSide)
                text += " V" + j + " J" + j + " J" + std::to_string((r + 1) * kSide + c) +
                        " 100 8 120\n";
        }
    }
    Project read;
    ASSERT_EQ(read.open(write("grid.inp", text), "", ""), 0);

    std::atomic<bool> stop{true};
    Project stopped;
    stopped.set_stop_request(&stop);
    EXPECT_THROW((void)stopped.open(read.parsed_network()), SolveStopped);
    EXPECT_FALSE(stopped.is_open());

    Project opened;
    ASSERT_EQ(opened.open(read.parsed_network()), 0);
    int index = 0;
    ASSERT_EQ(opened.get_node_index("J89999", index), 0);
    EXPECT_EQ(index, kSide * kSide);
    ASSERT_EQ(opened.get_link_index("H1", index), 0);
    std::string id;
    ASSERT_EQ(opened.get_link_id(index, id), 0);
    EXPECT_EQ(id, "H1");
    opened.set_stop_request(&stop);
    EXPECT_THROW((void)opened.open_h(), SolveStopped);
    stop.store(false);
    ASSERT_EQ(opened.open_h(), 0);
}

TEST_F(ProjectTest, OpeningAParsedNetworkEqualsAFreshOpen) {
    Project fresh;
    ASSERT_EQ(fresh.open(write("tank.inp", kDrainingTank), "", ""), 0);
    Project copy;
    ASSERT_EQ(copy.open(fresh.parsed_network()), 0);

    // Changes to one project's working network stay in that project.
    ASSERT_EQ(fresh.set_node_value(1, EN_BASEDEMAND, 300.0), 0);
    ASSERT_EQ(fresh.set_node_value(1, EN_BASEDEMAND, 100.0), 0);
    ASSERT_EQ(copy.set_node_value(2, EN_BASEDEMAND, 999.0), 0);
    ASSERT_EQ(copy.set_node_value(2, EN_BASEDEMAND, 50.0), 0);

    EXPECT_EQ(step_through(fresh), step_through(copy));
}

TEST_F(ProjectTest, DemandAndPatternAsTheSteadySearchUsesThem) {
    Project project;
    ASSERT_EQ(project.open(write("tank.inp", kDrainingTank), "", ""), 0);
    double base = 0.0, pattern = 0.0;
    ASSERT_EQ(project.get_node_value(2, EN_BASEDEMAND, base), 0);
    ASSERT_EQ(project.get_node_value(2, EN_PATTERN, pattern), 0);
    EXPECT_NEAR(base, 50.0, 1e-9);  // user units (GPM) both ways
    EXPECT_EQ(pattern, 1.0);

    // Pattern 0 means none: the base demand applies at every time.
    ASSERT_EQ(project.set_node_value(2, EN_PATTERN, 0.0), 0);
    ASSERT_EQ(project.set_node_value(2, EN_BASEDEMAND, 75.0), 0);
    ASSERT_EQ(project.solve_h(), 0);
    double demand = 0.0;
    EXPECT_EQ(project.get_node_value(2, EN_DEMAND, demand), 0);
    EXPECT_NEAR(demand, 75.0, 1e-6);  // the last step, where P1 would have doubled it

    ASSERT_EQ(project.set_node_value(2, EN_PATTERN, pattern), 0);
    EXPECT_EQ(project.get_node_value(2, EN_PATTERN, pattern), 0);
    EXPECT_EQ(pattern, 1.0);
    EXPECT_EQ(project.set_node_value(2, EN_PATTERN, 2.0), 205);  // only one pattern
    EXPECT_EQ(project.set_node_value(2, EN_PATTERN, -1.0), 205);
}

TEST_F(ProjectTest, ClosedLinksReportNoFlow) {
    // C is closed from the start; the check valve V faces the higher head of R2 and closes.
    constexpr const char* kClosedLinks =
        "[JUNCTIONS]\n J1 0 100\n"
        "[RESERVOIRS]\n R 100\n R2 200\n"
        "[PIPES]\n A R J1 1000 12 100 0 Open\n C R J1 1000 12 100 0 Closed\n"
        " V J1 R2 1000 12 100 0 CV\n"
        "[OPTIONS]\n Units GPM\n"
        "[END]\n";
    Project project;
    ASSERT_EQ(project.open(write("closed.inp", kClosedLinks), "", ""), 0);
    ASSERT_EQ(project.open_h(), 0);
    ASSERT_EQ(project.init_h(EN_NOSAVE), 0);
    long time = 0;
    ASSERT_EQ(project.run_h(time), 0);
    std::vector<double> flows(3, -1.0);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(project.get_link_value(k, EN_FLOW, flows[k - 1]), 0);
    EXPECT_NEAR(flows[0], 100.0, 1e-3);
    EXPECT_EQ(flows[1], 0.0);
    EXPECT_EQ(flows[2], 0.0);
}

TEST_F(ProjectTest, RestoredDemandsAreTheParsedOnesExactly) {
    Project project;
    ASSERT_EQ(project.open(write("tank.inp", kDrainingTank), "", ""), 0);
    const auto as_read = step_through(project);
    double base = 0.0;
    EXPECT_EQ(project.get_node_value(2, EN_BASEDEMAND, base), 0);
    ASSERT_EQ(project.set_node_value(2, EN_PATTERN, 0.0), 0);
    ASSERT_EQ(project.set_node_value(2, EN_BASEDEMAND, 1234.5), 0);
    ASSERT_EQ(project.restore_node_demands(2), 0);
    EXPECT_EQ(step_through(project), as_read);
    double restored = 0.0;
    EXPECT_EQ(project.get_node_value(2, EN_BASEDEMAND, restored), 0);
    EXPECT_EQ(restored, base);
    EXPECT_EQ(project.restore_node_demands(9), 203);
}

TEST_F(ProjectTest, CodesForBadCallsAreEpanets) {
    Project project;
    int count = -1;
    double value = 0.0;
    long time = -1;
    EXPECT_EQ(project.get_count(EN_NODECOUNT, count), 102);
    EXPECT_EQ(project.get_node_value(1, EN_PRESSURE, value), 102);
    EXPECT_EQ(project.open_h(), 102);
    EXPECT_EQ(project.run_h(time), 103);

    ASSERT_EQ(project.open(write("tank.inp", kDrainingTank), "", ""), 0);
    EXPECT_EQ(project.get_node_value(0, EN_PRESSURE, value), 203);
    EXPECT_EQ(project.get_node_value(4, EN_PRESSURE, value), 203);
    EXPECT_EQ(project.get_count(99, count), 251);
    int index = 0;
    EXPECT_EQ(project.get_node_index("T", index), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(project.get_node_index("t", index), 203);  // EPANET's IDs are case-sensitive
    EXPECT_EQ(project.run_h(time), 103);                 // hydraulics not opened
    EXPECT_EQ(project.open_h(), 0);
    EXPECT_EQ(project.run_h(time), 104);  // nor initialized

    // A missing input is refused before the report file is touched.
    const std::string report = write("old.rpt", "old report");
    EXPECT_EQ(project.open((dir_ / "missing.inp").string(), report, ""), 302);
    EXPECT_FALSE(project.is_open());
    std::ifstream old(report);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old report");

    // The same file for input and report, in any letter case.
    const std::string inp = write("net.inp", kDrainingTank);
    std::string upper = inp;
    upper.replace(upper.size() - 3, 3, "INP");
    EXPECT_EQ(project.open(inp, upper, ""), 301);
}

TEST_F(ProjectTest, AReportFileThatIsTheInputInAnySpellingIsRefusedUntouched) {
    const std::string inp = write("rep.dat", kDrainingTank);
    fs::create_symlink(inp, dir_ / "link.dat");
    const fs::path relative = fs::relative(inp).lexically_normal();
    Project project;
    for (const std::string& report :
         {(dir_ / "." / "rep.dat").string(), (dir_ / "link.dat").string(), relative.string()}) {
        EXPECT_EQ(project.open(inp, report, ""), 301) << report;
        EXPECT_EQ(project.open(inp, "", report), 301) << report;
    }
    std::ifstream in(inp);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kDrainingTank);
}

TEST_F(ProjectTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    const fs::path fifo = dir_ / "net.inp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // reading it would wait for a writer
    Project project;
    for (const std::string& inp : {fifo.string(), std::string("/dev/zero"), dir_.string()}) {
        EXPECT_EQ(project.open(inp, "", ""), 302) << inp;
    }
}

TEST_F(ProjectTest, TheInputErrorsOfARefusedFileAreKeptUntilTheNextOpen) {
    Project project;
    const std::string bad = "[JUNCTIONS]\n J1 abc\n J2 1e400\n[RESERVOIRS]\n R 10\n";
    EXPECT_EQ(project.open(write("bad.inp", bad), "", ""), 200);
    ASSERT_EQ(project.input_errors().size(), 2u);
    EXPECT_EQ(project.input_errors()[1].code, 202);
    EXPECT_EQ(project.input_errors()[1].line, 3);
    EXPECT_EQ(project.input_errors()[1].section, "[JUNCTIONS]");
    EXPECT_EQ(project.open(write("tank.inp", kDrainingTank), "", ""), 0);
    EXPECT_TRUE(project.input_errors().empty());
}

TEST_F(ProjectTest, InputErrorsGoToTheReportFile) {
    const std::string inp = write("bad.inp",
                                  "[JUNCTIONS]\n J1 abc\n[RESERVOIRS]\n R 10\n"
                                  "[PIPES]\n P R J1 10 6 100\n");
    const std::string report = (dir_ / "rep.dat").string();
    Project project;
    EXPECT_EQ(project.open(inp, report, ""), 200);
    std::ifstream in(report);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("202"), std::string::npos) << text;
    EXPECT_NE(text.find("J1 abc"), std::string::npos) << text;
    EXPECT_NE(text.find("[JUNCTIONS]"), std::string::npos) << text;
}

TEST_F(ProjectTest, ProjectsOnSeveralThreadsAgreeWithOneThread) {
    const std::string inp = write("tank.inp", kDrainingTank);
    Project reference;
    ASSERT_EQ(reference.open(inp, "", ""), 0);
    const auto expected = step_through(reference);

    std::vector<std::vector<std::pair<long, std::vector<double>>>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&] {
            Project project;
            if (project.open(reference.parsed_network()) != 0) return;
            for (int repeat = 0; repeat < 20; ++repeat) result = step_through(project);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, expected);
}

TEST_F(ProjectTest, LegacyFunctionsActOnTheDefaultProject) {
    const std::string long_id(31, 'x');
    const std::string inp = write("legacy.inp", "[JUNCTIONS]\n " + long_id +
                                                    " 10 5\n"
                                                    "[RESERVOIRS]\n R 100\n"
                                                    "[PIPES]\n P R " +
                                                    long_id + " 100 8 100\n");
    ASSERT_EQ(ENopen(inp.c_str(), "", ""), 0);
    char id[EN_MAXID + 1];
    std::memset(id, '#', sizeof id);
    ASSERT_EQ(ENgetnodeid(1, id), 0);
    EXPECT_EQ(std::string(id), long_id);
    ASSERT_EQ(ENsolveH(), 0);
    float pressure = 0.0f;
    ASSERT_EQ(ENgetnodevalue(1, EN_PRESSURE, &pressure), 0);
    EXPECT_GT(pressure, 38.0f);  // (100 - 10) ft of head, a little lost in the pipe
    EXPECT_LT(pressure, 39.0f);
    EXPECT_EQ(ENclose(), 0);
    EXPECT_EQ(ENgetnodevalue(1, EN_PRESSURE, &pressure), 102);

    char message[EN_MAXMSG + 1];
    EXPECT_EQ(ENgeterror(302, message, EN_MAXMSG), 0);
    EXPECT_STREQ(message, "cannot open input file");
}

}  // namespace
}  // namespace hydrosk::toolkit
