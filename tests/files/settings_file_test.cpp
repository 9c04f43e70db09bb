#include "files/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_error.h"
#include "files/number_text.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

using testing::GermanLocale;
using testing::ReadBytes;
using testing::TempDirTest;
using testing::WriteBytes;

class SettingsFileTest : public TempDirTest {
protected:
    std::filesystem::path file() const { return dir() / "HydroskSettings.txt"; }
    Settings Load() const { return LoadSettings(dir(), std::locale::classic()); }
};

bool IsEmpty(const Settings& s) {
    return !s.inp_directory && !s.minimal_pressure && !s.maximal_flow && !s.flow_interval &&
           !s.required_flow && !s.required_time;
}

TEST_F(SettingsFileTest, MissingEmptyOrUnreadableFileGivesNoValues) {
    EXPECT_TRUE(IsEmpty(Load()));
    WriteBytes(file(), "");
    EXPECT_TRUE(IsEmpty(Load()));
    std::filesystem::remove(file());
    std::filesystem::create_directory(file());
    EXPECT_TRUE(IsEmpty(Load()));
    EXPECT_TRUE(IsEmpty(LoadSettings(dir() / "no" / "such" / "dir")));
}

TEST_F(SettingsFileTest, OnlyTheRecordsPresentSetValues) {
    WriteBytes(file(), "\"[MAX_FLOW]\",1000\r\n");
    const Settings s = Load();
    EXPECT_EQ(s.maximal_flow, "1000");
    EXPECT_FALSE(s.inp_directory || s.minimal_pressure || s.flow_interval || s.required_flow ||
                 s.required_time);
}

TEST_F(SettingsFileTest, KeysAreCaseSensitiveAndUnknownKeysAreSkipped) {
    WriteBytes(file(),
               "\"[max_flow]\",5\r\n\"[OTHER]\",\"x\"\r\n\"[FLOW_INTERVAL]\",10\r\n"
               "\"[MINIMAL_PRESSURE]\",110");
    const Settings s = Load();
    EXPECT_FALSE(s.maximal_flow);
    EXPECT_EQ(s.flow_interval, "10");
    EXPECT_EQ(s.minimal_pressure, "110");
}

TEST_F(SettingsFileTest, LaterRecordWinsAndQuotedValuesAreTakenAsTheyStand) {
    WriteBytes(file(),
               "\"[MAX_FLOW]\",1000\r\n\"[MAX_FLOW]\",\"abc\"\r\n\"[PATH]\",\"C:\\Nets\\\"\r\n"
               "\"[REQUIRED_TIME]\",\"  24\"\r\n");
    const Settings s = Load();
    EXPECT_EQ(s.maximal_flow, "abc");
    EXPECT_EQ(s.inp_directory, "C:\\Nets\\");
    EXPECT_EQ(s.required_time, "  24");
}

TEST_F(SettingsFileTest, EmptyBareValueGivesAnEmptyText) {
    WriteBytes(file(), "\"[MAX_FLOW]\",\r\n\"[FLOW_INTERVAL]\",10");
    const Settings s = Load();
    EXPECT_EQ(s.maximal_flow, "");
    EXPECT_EQ(s.flow_interval, "10");
}

TEST_F(SettingsFileTest, TruncatedLastRecordDropsOnlyItself) {
    for (const char* tail : {"\"[FLOW_INTERVAL]\"", "\"[FLOW_INTERVAL]\"\r\n",
                             "\"[FLOW_INTERVAL]\",", "\"[FLOW_INTERVAL]\"  \r\n  "}) {
        WriteBytes(file(), std::string("\"[PATH]\",\"/nets/\"\r\n\"[MAX_FLOW]\",500\r\n") + tail);
        const Settings s = Load();
        EXPECT_EQ(s.inp_directory, "/nets/") << tail;
        EXPECT_EQ(s.maximal_flow, "500") << tail;
        EXPECT_FALSE(s.flow_interval) << tail;
    }
}

TEST_F(SettingsFileTest, WritesTheRecordsInTheirOrderWithCrLf) {
    WriteSettings(dir(), "C:\\Nets\\", 110.0f, 1000.0f, 10.0f, "12", "24");
    EXPECT_EQ(ReadBytes(file()),
              "\"[PATH]\",\"C:\\Nets\\\"\r\n"
              "\"[MINIMAL_PRESSURE]\",110\r\n"
              "\"[MAX_FLOW]\",1000\r\n"
              "\"[FLOW_INTERVAL]\",10\r\n"
              "\"[REQUIRED_FLOW]\",12\r\n"
              "\"[REQUIRED_TIME]\",24\r\n");
}

TEST_F(SettingsFileTest, RequiredValuesWithoutAPositiveLeadingNumberAreLeftOut) {
    const std::string four_lines =
        "\"[PATH]\",\"/n/\"\r\n\"[MINIMAL_PRESSURE]\",0.3333333\r\n"
        "\"[MAX_FLOW]\",35.5\r\n\"[FLOW_INTERVAL]\",-1\r\n";
    for (const char* text : {"0", "-5", "abc", "", "   ", "1e999"}) {
        WriteSettings(dir(), "/n/", 1.0f / 3.0f, 35.5f, -1.0f, text, text);
        EXPECT_EQ(ReadBytes(file()), four_lines) << text;
    }
    WriteSettings(dir(), "/n/", 1.0f / 3.0f, 35.5f, -1.0f, "abc", " .5 h");
    EXPECT_EQ(ReadBytes(file()), four_lines + "\"[REQUIRED_TIME]\",0.5\r\n");
}

TEST_F(SettingsFileTest, WrittenValuesComeBackAsText) {
    WriteSettings(dir(), "/nets/", *ParseLocaleNumber("  110  ", std::locale::classic()), 1e7f,
                  0.25f, "12abc", "1 000.5");
    EXPECT_NE(ReadBytes(file()).find("\"[REQUIRED_FLOW]\",12\r\n"), std::string::npos);
    const Settings s = Load();
    EXPECT_EQ(s.inp_directory, "/nets/");
    EXPECT_EQ(s.minimal_pressure, "110");
    EXPECT_EQ(s.maximal_flow, "10000000");
    EXPECT_EQ(s.flow_interval, "0.25");
    EXPECT_EQ(s.required_flow, "12");
    EXPECT_EQ(s.required_time, "1000.5");
}

TEST_F(SettingsFileTest, CommaDecimalLocaleWritesAPeriodAndShowsAComma) {
    const auto german = GermanLocale();
    if (!german) GTEST_SKIP() << "de_DE.UTF-8 is not installed (make deps generates it)";
    const auto pressure = ParseLocaleNumber("1,5", *german);
    ASSERT_TRUE(pressure.has_value());
    WriteSettings(dir(), "/n/", *pressure, 1000.0f, 10.0f, "", "");
    EXPECT_NE(ReadBytes(file()).find("\"[MINIMAL_PRESSURE]\",1.5\r\n"), std::string::npos);
    const Settings s = LoadSettings(dir(), *german);
    EXPECT_EQ(s.minimal_pressure, "1,5");
    EXPECT_EQ(s.maximal_flow, "1000");
}

TEST_F(SettingsFileTest, WriteFailureIsReportedAndKeepsTheOldFile) {
    WriteBytes(dir() / "plain", "x");
    try {
        WriteSettings(dir() / "plain", "/n/", 1.0f, 2.0f, 3.0f, "", "");
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find("HydroskSettings.txt"), std::string::npos);
    }
    WriteBytes(file(), "\"[MAX_FLOW]\",7\r\n");
    EXPECT_THROW(WriteSettings(dir(), "/a\"b/", 1.0f, 2.0f, 3.0f, "", ""), FileError);
    EXPECT_EQ(ReadBytes(file()), "\"[MAX_FLOW]\",7\r\n");
}

}  // namespace
}  // namespace hydrosk::files
