#include "files/constraint_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/file_error.h"
#include "files/number_text.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

using testing::GermanLocale;
using testing::ReadBytes;
using testing::TempDirTest;
using testing::WriteBytes;

using Ids = std::vector<std::string>;
using Pressures = std::vector<JunctionPressure>;

class ConstraintFilesTest : public TempDirTest {
protected:
    std::filesystem::path no_check() const { return dir() / "NoCheck.txt"; }
    std::filesystem::path min_pressures() const { return dir() / "MinPressures.txt"; }
};

TEST_F(ConstraintFilesTest, WritesOneQuotedRecordPerEntryInListOrder) {
    WriteExcludedJunctions(no_check(), Ids{"J7"});
    WriteJunctionMinPressures(min_pressures(), Pressures{{"12", 35.5f}, {"J3", 40.0f}});
    EXPECT_EQ(ReadBytes(no_check()), "\"J7\"\r\n");
    EXPECT_EQ(ReadBytes(min_pressures()), "\"12\",35.5\r\n\"J3\",40\r\n");
    EXPECT_EQ(ReadExcludedJunctions(no_check()), Ids{"J7"});
    EXPECT_EQ(ReadJunctionMinPressures(min_pressures()), (Pressures{{"12", 35.5f}, {"J3", 40.0f}}));
}

TEST_F(ConstraintFilesTest, EmptyListsGiveZeroByteFilesThatReadAsEmpty) {
    WriteBytes(no_check(), "\"old\"\r\n");
    WriteExcludedJunctions(no_check(), Ids{});
    WriteJunctionMinPressures(min_pressures(), Pressures{});
    EXPECT_EQ(std::filesystem::file_size(no_check()), 0u);
    EXPECT_EQ(std::filesystem::file_size(min_pressures()), 0u);
    EXPECT_TRUE(ReadExcludedJunctions(no_check()).empty());
    EXPECT_TRUE(ReadJunctionMinPressures(min_pressures()).empty());
}

TEST_F(ConstraintFilesTest, AByteOrderMarkAtTheStartIsSkipped) {
    WriteBytes(no_check(), "\xEF\xBB\xBFJ23\r\n\"J7\"\r\n");
    WriteBytes(min_pressures(), "\xEF\xBB\xBF\"J23\",35\r\nJ7,40\r\n");
    EXPECT_EQ(ReadExcludedJunctions(no_check()), (Ids{"J23", "J7"}));
    EXPECT_EQ(ReadJunctionMinPressures(min_pressures()),
              (Pressures{{"J23", 35.0f}, {"J7", 40.0f}}));
    // Only at the start: elsewhere the bytes belong to the ID.
    WriteBytes(no_check(), "J1\r\n\xEF\xBB\xBFJ2\r\n");
    EXPECT_EQ(ReadExcludedJunctions(no_check()), (Ids{"J1", "\xEF\xBB\xBFJ2"}));
}

TEST_F(ConstraintFilesTest, HydrantsAndRequiredFlowsFilesSkipAByteOrderMarkToo) {
    const auto hydrants = dir() / "hydrants.txt";
    const auto required_flows = dir() / "flows.txt";
    WriteBytes(hydrants, "\xEF\xBB\xBF\"J7\"\r\nJ2\r\n");
    WriteBytes(required_flows, "\xEF\xBB\xBFJ7,1500\r\n\"J2\",750.5\r\n");
    EXPECT_EQ(ReadJunctionList(hydrants), (Ids{"J7", "J2"}));
    EXPECT_EQ(ReadJunctionMinPressures(required_flows),
              (Pressures{{"J7", 1500.0f}, {"J2", 750.5f}}));
    // One mark is skipped, not two: a second belongs to the first ID.
    WriteBytes(hydrants, "\xEF\xBB\xBF\xEF\xBB\xBFJ7\r\n");
    EXPECT_EQ(ReadJunctionList(hydrants), (Ids{"\xEF\xBB\xBFJ7"}));
}

TEST_F(ConstraintFilesTest, AHugeFieldIsNamedByItsStartInTheMessage) {
    WriteBytes(min_pressures(), "\"J1\"," + std::string(10'000'000, '7') + "x\r\n");
    try {
        ReadJunctionMinPressures(min_pressures());
        ADD_FAILURE() << "accepted";
    } catch (const FileError& error) {
        const std::string message = error.what();
        EXPECT_LT(message.size(), 300u) << message.substr(0, 300);
        EXPECT_NE(message.find(std::string(60, '7') + "\u2026"), std::string::npos);
    }
}

TEST_F(ConstraintFilesTest, MissingFilesAreEmptyLists) {
    EXPECT_TRUE(ReadExcludedJunctions(no_check()).empty());
    EXPECT_TRUE(ReadJunctionMinPressures(min_pressures()).empty());
    EXPECT_FALSE(std::filesystem::exists(no_check()));
}

TEST_F(ConstraintFilesTest, HandWrittenFilesReadTheSameWithOrWithoutFinalCrLf) {
    for (const char* ending : {"\r\n", "", "\n", "\r\n\r\n  \r\n"}) {
        WriteBytes(no_check(), std::string("101\r\n\" J7 \"  \r\n\"J7\"\r\n\"101\"") + ending);
        EXPECT_EQ(ReadExcludedJunctions(no_check()), (Ids{"101", " J7 ", "J7", "101"})) << ending;
        WriteBytes(min_pressures(),
                   std::string("101,35.5\r\n  J5 , 40 \r\n\"J6\",1E+07\n\"J7\" ,.5\r\n\"J8\",-3") +
                       ending);
        EXPECT_EQ(
            ReadJunctionMinPressures(min_pressures()),
            (Pressures{{"101", 35.5f}, {"J5", 40.0f}, {"J6", 1e7f}, {"J7", 0.5f}, {"J8", -3.0f}}))
            << ending;
    }
}

TEST_F(ConstraintFilesTest, ZeroPressureAndDuplicatesAreKeptInFileOrder) {
    WriteBytes(min_pressures(), "\"J1\",0\r\n\"J2\",30\r\n\"J1\",\"45\"\r\n");
    EXPECT_EQ(ReadJunctionMinPressures(min_pressures()),
              (Pressures{{"J1", 0.0f}, {"J2", 30.0f}, {"J1", 45.0f}}));
}

TEST_F(ConstraintFilesTest, IdBytesOfAnyCodePageRoundTrip) {
    const std::string latin1 =
        "\"\xE9t\xE9\"\r\n\"N\xFC"
        "1\"\r\n";
    WriteBytes(no_check(), latin1);
    WriteExcludedJunctions(dir() / "copy.txt", ReadExcludedJunctions(no_check()));
    EXPECT_EQ(ReadBytes(dir() / "copy.txt"), latin1);

    const std::string pressures = "\"\xE9t\xE9\",35.5\r\n\"\xC4\",0.3333333\r\n";
    WriteBytes(min_pressures(), pressures);
    WriteJunctionMinPressures(dir() / "copy2.txt", ReadJunctionMinPressures(min_pressures()));
    EXPECT_EQ(ReadBytes(dir() / "copy2.txt"), pressures);
}

TEST_F(ConstraintFilesTest, IdWithADoubleQuoteRefusesTheWholeWrite) {
    WriteBytes(no_check(), "\"old\"\r\n");
    WriteBytes(min_pressures(), "\"old\",1\r\n");
    try {
        WriteExcludedJunctions(no_check(), Ids{"J1", "J\"2"});
        FAIL() << "no error";
    } catch (const FileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("NoCheck.txt"), std::string::npos) << message;
        EXPECT_NE(message.find("J\"2"), std::string::npos) << message;
    }
    EXPECT_THROW(WriteJunctionMinPressures(min_pressures(), Pressures{{"\"", 1.0f}}), FileError);
    EXPECT_EQ(ReadBytes(no_check()), "\"old\"\r\n");
    EXPECT_EQ(ReadBytes(min_pressures()), "\"old\",1\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2);
}

TEST_F(ConstraintFilesTest, PressureThatIsNotANumberNamesFileAndRecord) {
    for (const char* bytes :
         {"\"J1\",35.5\r\n\"J2\",abc\r\n\"J3\",1\r\n", "\"J1\",35.5\r\n\"J2\"",
          "\"J1\",35.5\r\n\"J2\",\"\"\r\n", "\"J1\",35.5\r\n\"J2\",1E+39\r\n"}) {
        WriteBytes(min_pressures(), bytes);
        try {
            ReadJunctionMinPressures(min_pressures());
            FAIL() << "no error for " << bytes;
        } catch (const FileError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(min_pressures().string()), std::string::npos) << message;
            EXPECT_NE(message.find("record 2"), std::string::npos) << message;
        }
    }
}

TEST_F(ConstraintFilesTest, UnreadableOrUnwritableFilesNameFileAndReason) {
    std::filesystem::create_directory(no_check());
    EXPECT_THROW(ReadExcludedJunctions(no_check()), FileError);
    EXPECT_THROW(ReadJunctionMinPressures(no_check()), FileError);

    WriteBytes(dir() / "plain", "x");
    const auto inside_file = dir() / "plain" / "MinPressures.txt";
    try {
        WriteJunctionMinPressures(inside_file, Pressures{{"J1", 1.0f}});
        FAIL() << "no error";
    } catch (const FileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(inside_file.string()), std::string::npos) << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    }
}

TEST_F(ConstraintFilesTest, CommaDecimalPressureIsStoredWithAPeriod) {
    const auto german = GermanLocale();
    if (!german) GTEST_SKIP() << "de_DE.UTF-8 is not installed (make deps generates it)";
    const auto pressure = ParseLocaleNumber("35,5", *german);
    ASSERT_TRUE(pressure.has_value());
    WriteJunctionMinPressures(min_pressures(), Pressures{{"12", *pressure}});
    EXPECT_EQ(ReadBytes(min_pressures()), "\"12\",35.5\r\n");
    const auto read = ReadJunctionMinPressures(min_pressures());
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(FormatUserNumber(read[0].pressure, *german), "35,5");
}

}  // namespace
}  // namespace hydrosk::files
