#include "network/net_load.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "toolkit/project.h"

namespace hydrosk::network {
namespace {

namespace fs = std::filesystem;

class NetLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hydrosk_netload_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write_inp(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    int open(const std::string& path) {
        ResetNetwork(catalogue_);
        return OpenNetwork(catalogue_, project_, path, "", "");
    }

    fs::path dir_;
    toolkit::Project project_;
    NetworkCatalogue catalogue_;
};

// Junctions (one with a 15-character ID before a shorter one), a tank, a
// reservoir, a pipe, a check-valve pipe, a pump and one valve of every type,
// each valve between two junctions of its own.
std::string typed_network(long durationSeconds) {
    std::string junctions = " J1 10 5\n FifteenCharsID1 12 0\n a 11 0\n";
    std::string valves;
    const char* types[] = {"PRV 50", "PSV 50", "PBV 5", "FCV 10", "TCV 2", "GPV C1"};
    for (int k = 3; k <= 8; ++k) {
        const std::string n = "n" + std::to_string(k), m = "m" + std::to_string(k);
        junctions += " " + n + " 10 0\n " + m + " 10 0\n";
        valves += " V" + std::to_string(k) + " " + n + " " + m + " 6 " + types[k - 3] + " 0\n";
    }
    return "[JUNCTIONS]\n" + junctions +
           "[RESERVOIRS]\n R1 100\n"
           "[TANKS]\n T1 50 10 0 20 30 0\n"
           "[PIPES]\n"
           " P1 R1 J1 1000 12 100 0 Open\n"
           " P2 J1 FifteenCharsID1 1000 12 100 0 CV\n"
           " P3 T1 a 1000 12 100 0 Open\n"
           "[PUMPS]\n PU1 J1 a HEAD C1\n"
           "[CURVES]\n C1 100 80\n"
           "[VALVES]\n" +
           valves +
           "[PATTERNS]\n PatA 1 2\n PatB 1\n"
           "[TIMES]\n Duration " +
           std::to_string(durationSeconds) +
           " SEC\n"
           "[END]\n";
}

TEST_F(NetLoadTest, ClassifiesEveryElementByType) {
    ASSERT_EQ(open(write_inp("typed.inp", typed_network(0))), 0);
    const NetworkCatalogue& c = catalogue_;
    EXPECT_EQ(c.NodeCount, 17);
    EXPECT_EQ(c.StorageCount, 2);
    EXPECT_EQ(c.LinkCount, 10);
    EXPECT_EQ(c.PatternCount, 2);
    EXPECT_EQ(c.JunctionCount, 15);
    EXPECT_EQ(c.ReservoirCount, 1);
    EXPECT_EQ(c.TankCount, 1);
    EXPECT_EQ(c.PipeCount, 2);
    EXPECT_EQ(c.CVPipeCount, 1);
    EXPECT_EQ(c.PumpCount, 1);
    EXPECT_EQ(c.ValveCount, 6);
    EXPECT_EQ(c.Valves.count(), 6);
    EXPECT_EQ(c.Junctions.count(), c.JunctionCount);

    ASSERT_EQ(c.JunctionIDs.size(), 16u);
    EXPECT_EQ(c.JunctionIDs[0], "");
    EXPECT_EQ(c.JunctionIDs[1], "J1");
    EXPECT_EQ(c.JunctionIDs[2], "FifteenCharsID1");
    EXPECT_EQ(c.JunctionIDs[3], "a");  // no trace of the longer ID before it

    // A junction's position is its node index; lookups ignore case.
    EXPECT_EQ(c.Junctions.index_at(2), 2);
    EXPECT_EQ(c.Junctions.find("j1"), 1);
    EXPECT_EQ(c.Junctions.find("A"), 3);
    EXPECT_EQ(c.Junctions.find("R1"), std::nullopt);
    EXPECT_EQ(c.Reservoirs.find("r1"), c.Reservoirs.index_at(1));
    EXPECT_EQ(c.Reservoirs.find("r1"), 16);
    EXPECT_EQ(c.Tanks.find("T1"), 17);
    EXPECT_EQ(c.Patterns.find("patb"), 2);
    EXPECT_EQ(c.CVPipes.find("P2"), 2);
}

TEST_F(NetLoadTest, DurationIsRoundedToWholeHoursHalvesToEven) {
    const std::pair<long, int> cases[] = {{0, 0},    {1800, 0}, {1801, 1},  {2700, 1},
                                          {5400, 2}, {9000, 2}, {86400, 24}};
    for (const auto& [seconds, hours] : cases) {
        ASSERT_EQ(open(write_inp("d.inp", typed_network(seconds))), 0) << seconds;
        EXPECT_EQ(catalogue_.DurationHours, hours) << seconds << " s";
    }
}

TEST_F(NetLoadTest, SecondOpenLeavesNothingOfTheFirst) {
    ASSERT_EQ(open(write_inp("typed.inp", typed_network(3600))), 0);
    const std::string small =
        "[JUNCTIONS]\n X 0 1\n[RESERVOIRS]\n S 10\n[PIPES]\n L S X 10 6 100\n";
    ASSERT_EQ(open(write_inp("small.inp", small)), 0);
    EXPECT_EQ(catalogue_.JunctionCount, 1);
    EXPECT_EQ(catalogue_.JunctionIDs, (std::vector<std::string>{"", "X"}));
    EXPECT_EQ(catalogue_.Junctions.find("J1"), std::nullopt);
    EXPECT_EQ(catalogue_.ValveCount, 0);
    EXPECT_EQ(catalogue_.Valves.count(), 0);
    EXPECT_EQ(catalogue_.PatternCount, 0);
    EXPECT_EQ(catalogue_.DurationHours, 0);
}

// EPANET 2.2 refuses a network without junctions (223, not enough nodes), so
// the catalogue stays empty.
TEST_F(NetLoadTest, NetworkWithoutJunctions) {
    const std::string text =
        "[RESERVOIRS]\n R 100\n[TANKS]\n T 50 10 0 20 30 0\n"
        "[PIPES]\n P R T 100 12 100\n";
    ASSERT_EQ(open(write_inp("nojunctions.inp", text)), 223);
    EXPECT_EQ(catalogue_.JunctionCount, 0);
    EXPECT_EQ(catalogue_.Junctions.count(), 0);
    EXPECT_EQ(catalogue_.JunctionIDs, (std::vector<std::string>{""}));
}

TEST_F(NetLoadTest, FailedOpenReturnsTheToolkitCodeAndClassifiesNothing) {
    EXPECT_EQ(open((dir_ / "missing.inp").string()), 302);
    EXPECT_EQ(catalogue_.NodeCount, 0);
    EXPECT_EQ(catalogue_.JunctionIDs.size(), 1u);
}

TEST(DurationHours, RoundsHalvesToEven) {
    EXPECT_EQ(DurationHoursFromSeconds(0), 0);
    EXPECT_EQ(DurationHoursFromSeconds(1799), 0);
    EXPECT_EQ(DurationHoursFromSeconds(1800), 0);
    EXPECT_EQ(DurationHoursFromSeconds(5399), 1);
    EXPECT_EQ(DurationHoursFromSeconds(5400), 2);
    EXPECT_EQ(DurationHoursFromSeconds(12600), 4);  // 3.5 h
}

// The catalogue of every shared network matches what the toolkit reports.
TEST(NetLoadShared, Net3CountsAndDuration) {
    const fs::path path = fs::path(HYDROSK_SHARED_NETWORKS) / "Net3.inp";
    if (!fs::exists(path)) GTEST_SKIP() << "shared networks not found at " << path;
    toolkit::Project project;
    NetworkCatalogue c;
    ResetNetwork(c);
    ASSERT_EQ(OpenNetwork(c, project, path.string(), "", ""), 0);
    EXPECT_EQ(c.NodeCount, 97);
    EXPECT_EQ(c.LinkCount, 119);
    EXPECT_EQ(c.JunctionCount + c.ReservoirCount + c.TankCount, c.NodeCount);
    EXPECT_EQ(c.ReservoirCount + c.TankCount, c.StorageCount);
    EXPECT_EQ(c.DurationHours, 168);
    EXPECT_EQ(c.HydraulicStep, 3600);
}

}  // namespace
}  // namespace hydrosk::network
