#include "files/fire_groups.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_error.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

class FireGroupsTest : public testing::TempDirTest {
protected:
    std::filesystem::path Write(const std::string& bytes) {
        const auto file = dir() / "groups.txt";
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
};

TEST_F(FireGroupsTest, ReadsGroupsInFileOrderWithTheirLines) {
    const auto groups =
        ReadFireGroups(Write("\xEF\xBB\xBF\"School\",\"J1\",\"J2\"\r\n\r\n\"B\",7\n"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "School");
    EXPECT_EQ(groups[0].members, (std::vector<std::string>{"J1", "J2"}));
    EXPECT_EQ(groups[0].line, 1u);
    EXPECT_EQ(groups[1].name, "B");
    EXPECT_EQ(groups[1].members, (std::vector<std::string>{"7"}));
    EXPECT_EQ(groups[1].line, 3u);
}

TEST_F(FireGroupsTest, RefusesEachMalformedGroupWithItsLineAndText) {
    const struct {
        std::string bytes;
        std::string message;
    } cases[] = {
        {"\"A\",\"1\"\n\"B\"\n", "line 2 (\"B\"): the group \"B\" has no members"},
        {"\"A\",\"1\"\n\n\"A\",\"2\"\n",
         "line 3 (\"A\",\"2\"): the group name \"A\" is used twice"},
        {"\"A\",\"1\",\"2\",\"1\"\n",
         "line 1 (\"A\",\"1\",\"2\",\"1\"): the junction \"1\" is listed twice in the group \"A\""},
        {"\"A\",\"1\"\n\"" + std::string(300, 'x') + "\"\n", "line 2 (\"xxx"},
    };
    for (const auto& each : cases) {
        try {
            ReadFireGroups(Write(each.bytes));
            ADD_FAILURE() << each.bytes;
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(each.message), std::string::npos)
                << error.what();
            EXPECT_LT(std::string(error.what()).size(), 400u);
        }
    }
    EXPECT_THROW(ReadFireGroups(dir() / "absent.txt"), FileError);
}

}  // namespace
}  // namespace hydrosk::files
