#include "analysis/fire_groups.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files/file_error.h"
#include "toolkit/project.h"

namespace hydrosk::analysis {
namespace {

using Members = std::vector<std::string>;

TEST(NearGroupsTest, NearestFirstTiesInJunctionOrderWithinDistanceUpToSize) {
    const std::vector<GroupJunction> junctions{{"A", 0.0, 0.0},
                                               {"B", 2.0, 0.0},
                                               {"C", 0.0, 1.0},
                                               {"D", -1.0, 0.0},
                                               {"E", std::nullopt, std::nullopt},
                                               {"F", 10.0, 0.0}};
    const FormedGroups formed = FormNearGroups(junctions, {.distance = 2.0, .size = 3});
    ASSERT_EQ(formed.groups.size(), 6u);
    EXPECT_EQ(formed.groups[0].name, "A");
    EXPECT_EQ(formed.groups[0].members, (Members{"A", "C", "D"}));  // C and D tie at 1
    EXPECT_EQ(formed.groups[1].members, (Members{"B", "A"}));       // C at sqrt 5, D at 3
    EXPECT_EQ(formed.groups[4].members, (Members{"E"}));
    EXPECT_EQ(formed.groups[5].members, (Members{"F"}));
    EXPECT_EQ(formed.without_coordinates, 1u);
    EXPECT_EQ(WithoutCoordinatesNotice(formed),
              "1 junction has no coordinates: each forms a group of its own");
    EXPECT_EQ(FormNearGroups(junctions, {.distance = 100.0, .size = 1}).groups[0].members,
              (Members{"A"}));
}

TEST(FireGroupsFileTest, RefusesAMemberThatIsNotAJunctionOfTheNetwork) {
    toolkit::Project project;
    ASSERT_EQ(project.open(HYDROSK_ANALYSIS_TEST_DATA "/line.inp", "", ""), 0);
    const auto file = std::filesystem::temp_directory_path() /
                      ("hydrosk-groups-" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".txt");
    std::ofstream(file, std::ios::binary) << "\"G\",\"J1\",\"J3\"\r\n\"H\",\"J2\",\"R1\"\r\n";
    try {
        FormFireGroups(file, *project.parsed_network());
        ADD_FAILURE() << "R1 is a reservoir";
    } catch (const files::FileError& error) {
        EXPECT_NE(std::string(error.what())
                      .find("line 2 (\"H\",\"J2\",\"R1\"): the junction \"R1\" is not a junction"),
                  std::string::npos)
            << error.what();
    }
    std::ofstream(file, std::ios::binary) << "\"G\",\"J1\",\"J3\"\r\n";
    const FormedGroups formed = FormFireGroups(file, *project.parsed_network());
    ASSERT_EQ(formed.groups.size(), 1u);
    EXPECT_EQ(formed.groups[0].members, (Members{"J1", "J3"}));
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace hydrosk::analysis
