#include "files/settings_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
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

// Where the file lives: real folders, one of them read-only for the user who runs the program.
class SettingsFoldersTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directories(program());
        std::filesystem::create_directories(config());
        // Another user (below) creates its configuration folder here.
        std::filesystem::permissions(config(), std::filesystem::perms::all);
    }
    std::filesystem::path program() const { return dir() / "program"; }
    std::filesystem::path config() const { return dir() / "config"; }
};

// Runs `check` as a user without privileges: root writes into any folder, whatever its
// permissions, so under root it runs in a child process as "nobody". True when it held.
bool HoldsForAnOrdinaryUser(const std::function<bool()>& check) {
    if (geteuid() != 0) return check();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        std::_Exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(SettingsFoldersTest, AWritableProgramFolderKeepsTheFileBesideTheProgram) {
    const SettingsFolders folders = SettingsFoldersOf(program(), config());
    EXPECT_EQ(folders.folder, program());
    EXPECT_FALSE(folders.fallback);
    EXPECT_EQ(SettingsFoldersOf(program(), "").folder, program());
}

TEST_F(SettingsFoldersTest, AReadOnlyProgramFolderKeepsItInTheConfigurationFolder) {
    // Settings an administrator left beside the program are the first values.
    WriteBytes(program() / "HydroskSettings.txt", "\"[MAX_FLOW]\",2000\r\n");
    std::filesystem::permissions(
        program(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                       std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                       std::filesystem::perms::others_exec);
    const std::filesystem::path own = config() / "hydrosk";
    const auto program_dir = program();
    const auto config_home = config();
    EXPECT_TRUE(HoldsForAnOrdinaryUser([&] {
        const SettingsFolders folders = SettingsFoldersOf(program_dir, config_home);
        if (folders.folder != own || folders.fallback != program_dir) return false;
        if (LoadSettings(folders).maximal_flow != "2000") return false;
        // The first run creates the configuration folder; its file is read from then on.
        WriteSettings(folders.folder, "/n/", 20.0f, 3000.0f, 50.0f, "", "");
        return LoadSettings(folders).maximal_flow == "3000";
    }));
    EXPECT_TRUE(std::filesystem::exists(own / "HydroskSettings.txt"));
    EXPECT_EQ(ReadBytes(program() / "HydroskSettings.txt"), "\"[MAX_FLOW]\",2000\r\n");
}

TEST_F(SettingsFoldersTest, AnInstalledProgramKeepsItInTheConfigurationFolderEvenForRoot) {
    const std::filesystem::path bin = dir() / "prefix" / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(dir() / "prefix" / "share" / "hydrosk");
    const SettingsFolders folders = SettingsFoldersOf(bin, config());
    EXPECT_EQ(folders.folder, config() / "hydrosk");
    EXPECT_EQ(folders.fallback, bin);
}

TEST_F(SettingsFoldersTest, TheConfigurationFolderFollowsXdgConfigHomeThenHome) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto xdg = saved("XDG_CONFIG_HOME");
    const auto home = saved("HOME");
    setenv("HOME", "/home/engineer", 1);
    setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(UserConfigHome(), "/srv/config");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
    EXPECT_EQ(UserConfigHome(), "/home/engineer/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserConfigHome(), "/home/engineer/.config");
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, std::pair{"HOME", home}}) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
}

}  // namespace
}  // namespace hydrosk::files
