// What the ranks of a job compare before the first junction: the description travels whole,
// and every difference names the rank, its host and its path.
#include "cluster/job_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <random>

#include "analysis/search_common.h"
#include "cluster/outcome_codec.h"

namespace hydrosk::cluster {
namespace {

namespace fs = std::filesystem;

class JobInputsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("hydrosk-job-inputs-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(dir_ / "a");
        fs::create_directories(dir_ / "b");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const fs::path& file, const std::string& bytes) {
        std::ofstream(dir_ / file, std::ios::binary) << bytes;
    }
    JobInputs Describe(const char* folder, std::vector<std::string> arguments = {"fireflow"}) {
        return DescribeJobInputs(std::move(arguments), dir_ / folder / "net.inp", dir_ / folder);
    }

    fs::path dir_;
};

TEST_F(JobInputsTest, TheSameInputsAgreeAndTravelWhole) {
    Write("a/net.inp", "[JUNCTIONS]\n");
    Write("b/net.inp", "[JUNCTIONS]\n");
    const JobInputs a = Describe("a", {"fireflow", "net.inp", "--threads", "1"});
    const JobInputs decoded = DecodeJobInputs(EncodeJobInputs(a));
    EXPECT_EQ(decoded.arguments, a.arguments);
    EXPECT_EQ(decoded.inp_file, a.inp_file);
    EXPECT_EQ(decoded.inp_hash, a.inp_hash);
    EXPECT_EQ(decoded.min_pressures_hash, "absent");
    EXPECT_EQ(JobInputsDifference(a, Describe("b", a.arguments), 1, "node7"), "");
    EXPECT_THROW(DecodeJobInputs(EncodeJobInputs(a).substr(3)), std::exception);
}

TEST_F(JobInputsTest, EachDifferenceNamesTheRankItsHostAndItsPath) {
    Write("a/net.inp", "[JUNCTIONS]\n J1\n");
    Write("b/net.inp", "[JUNCTIONS]\n J2\n");
    Write("b/MinPressures.txt", "\"J2\",30\r\n");
    const std::string difference = JobInputsDifference(
        Describe("a"), Describe("b", {"fireflow", "--threads", "2"}), 3, "node7");
    EXPECT_EQ(difference.rfind("rank 3 on node7: its options differ (fireflow --threads 2); "
                               "its INP file \"" +
                                   (dir_ / "b" / "net.inp").string() + "\" differs (",
                               0),
              0U)
        << difference;
    EXPECT_NE(difference.find("its \"" + (dir_ / "b" / "MinPressures.txt").string() +
                              "\" differs (9 bytes, "),
              std::string::npos)
        << difference;
    EXPECT_NE(difference.find("; rank 0: absent)"), std::string::npos);
    EXPECT_EQ(difference.find("NoCheck.txt"), std::string::npos);
    fs::remove(dir_ / "b" / "net.inp");
    EXPECT_NE(
        JobInputsDifference(Describe("a"), Describe("b"), 1, "node7").find("(absent; rank 0: "),
        std::string::npos);
}

TEST_F(JobInputsTest, TheHydrantsAndRequiredFlowsFilesAreComparedToo) {
    Write("a/net.inp", "[JUNCTIONS]\n");
    Write("b/net.inp", "[JUNCTIONS]\n");
    Write("a/hydrants.txt", "J1\r\n");
    Write("b/hydrants.txt", "J1\r\n");
    Write("a/flows.txt", "J1,1500\r\n");
    Write("b/flows.txt", "J1,750\r\n");
    const auto describe = [&](const char* folder) {
        return DescribeJobInputs({"fireflow"}, dir_ / folder / "net.inp", dir_ / folder,
                                 {dir_ / folder / "hydrants.txt", dir_ / folder / "flows.txt"});
    };
    const JobInputs a = describe("a");
    const JobInputs decoded = DecodeJobInputs(EncodeJobInputs(a));
    ASSERT_EQ(decoded.named_files.size(), 2U);
    EXPECT_EQ(decoded.named_files[1].path, a.named_files[1].path);
    EXPECT_EQ(decoded.named_files[1].hash, a.named_files[1].hash);
    const std::string difference = JobInputsDifference(a, describe("b"), 2, "node7");
    EXPECT_EQ(difference.find("hydrants.txt"), std::string::npos) << difference;
    EXPECT_NE(difference.find("its \"" + (dir_ / "b" / "flows.txt").string() + "\" differs ("),
              std::string::npos)
        << difference;
}

// A rank that was stopped from outside (lost, out of memory) tells rank 0 so.
TEST(StoppedOutcomeTest, StopsAndMemoryTravelAsStops) {
    analysis::JunctionOutcome stopped;
    stopped.failure = std::make_exception_ptr(analysis::RunStopped("rank 2 could not start"));
    analysis::JunctionOutcome memory;
    memory.failure = std::make_exception_ptr(std::bad_alloc());
    for (const auto& [outcome, text] :
         {std::pair{stopped, "rank 2 could not start"}, std::pair{memory, "out of memory"}}) {
        const auto [position, decoded] = DecodeOutcome(EncodeOutcome(5, outcome));
        ASSERT_TRUE(decoded.failure);
        try {
            std::rethrow_exception(decoded.failure);
        } catch (const analysis::RunStopped& error) {
            EXPECT_STREQ(error.what(), text);
        } catch (...) {
            ADD_FAILURE() << "not a stop";
        }
    }
}

}  // namespace
}  // namespace hydrosk::cluster
