#include "files/replacing_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>

#include "files/file_error.h"
#include "files/record_layout.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

using testing::ReadBytes;
using testing::TempDirTest;
using testing::WriteBytes;

class ReplacingFileTest : public TempDirTest {
protected:
    std::set<std::string> Names() const { return testing::FileNames(dir()); }
    std::filesystem::path target() const { return dir() / "net.inp.TXT"; }
};

// A process ID that has certainly ended: a child that has exited and been waited for.
pid_t EndedProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST_F(ReplacingFileTest, TwoWritersOfOneTargetNeverMixAndTheLastToCommitWins) {
    RecordFileWriter first(target());
    RecordFileWriter second(target());
    for (int row = 0; row < 1000; ++row) {
        first.Write({std::string("first"), static_cast<float>(row)});
        second.Write({std::string("second"), static_cast<float>(row)});
    }
    second.Commit();
    const std::string second_content = ReadBytes(target());
    first.Commit();
    const std::string first_content = ReadBytes(target());
    EXPECT_EQ(first_content.find("second"), std::string::npos);
    EXPECT_EQ(second_content.find("first"), std::string::npos);
    EXPECT_EQ(first_content.size(), second_content.size() - 1000);
    EXPECT_EQ(Names(), std::set<std::string>{"net.inp.TXT"});
}

TEST_F(ReplacingFileTest, LinksAreReplacedNeverFollowed) {
    WriteBytes(dir() / "victim", "kept");
    std::filesystem::create_symlink(dir() / "victim", dir() / "net.inp.TXT.tmp");
    std::filesystem::create_symlink(dir() / "victim", target());
    WriteRecordFile(target(), std::vector<Record>{{std::string("new")}});
    EXPECT_EQ(ReadBytes(dir() / "victim"), "kept");
    EXPECT_FALSE(std::filesystem::is_symlink(target()));
    EXPECT_EQ(ReadBytes(target()), "\"new\"\r\n");
}

TEST_F(ReplacingFileTest, TheTemporaryFileIsRecognisableAndHoldsTheContentUntilCommit) {
    WriteBytes(target(), "old");
    ASSERT_EQ(chmod(target().c_str(), 0640), 0);
    ReplacingFile file(target());
    std::fputs("new", file.stream());
    std::set<std::string> names = Names();
    names.erase("net.inp.TXT");
    ASSERT_EQ(names.size(), 1u);
    const std::string temporary = *names.begin();
    EXPECT_TRUE(temporary.starts_with("net.inp.TXT.hydrosk-" + std::to_string(getpid()) + "-"));
    EXPECT_TRUE(temporary.ends_with(".tmp"));
    EXPECT_TRUE(IsReplacementTemporary(temporary));
    EXPECT_EQ(ReadBytes(target()), "old");
    file.Commit();
    EXPECT_EQ(ReadBytes(target()), "new");
    EXPECT_EQ(std::filesystem::status(target()).permissions(),
              static_cast<std::filesystem::perms>(0640));
}

// Dates a file's last change back by a minute, as a leftover's would be.
void Age(const std::filesystem::path& file) {
    std::filesystem::last_write_time(
        file, std::filesystem::last_write_time(file) - std::chrono::seconds(60));
}

TEST_F(ReplacingFileTest, LeftoversOfEndedProcessesAreRemovedByTheNextWriter) {
    const std::string ended =
        "net.inp.CSV.hydrosk-" + std::to_string(EndedProcess()) + "-aB3dE9.tmp";
    const std::string fresh =
        "net.inp.DAT.hydrosk-" + std::to_string(EndedProcess()) + "-aB3dE9.tmp";
    const std::string running = "net.inp.TXT.hydrosk-" + std::to_string(getppid()) + "-aB3dE9.tmp";
    for (const std::string& name : {ended, fresh, running, std::string("notes.tmp"),
                                    std::string("x.hydrosk-1-toolong.tmp")}) {
        WriteBytes(dir() / name, "x");
        if (name != fresh) Age(dir() / name);
    }
    EXPECT_TRUE(IsReplacementTemporary(ended));
    EXPECT_FALSE(IsReplacementTemporary("x.hydrosk-1-toolong.tmp"));
    WriteRecordFile(dir() / "NoCheck.txt", {});
    EXPECT_EQ(Names(), (std::set<std::string>{"NoCheck.txt", fresh, running, "notes.tmp",
                                              "x.hydrosk-1-toolong.tmp"}));
}

// A writer in another PID namespace or on another host: its process ID names no process here,
// but it holds the lock of its temporary file.
TEST_F(ReplacingFileTest, ALeftoverWhoseLockIsHeldElsewhereIsNeverRemoved) {
    const std::filesystem::path foreign =
        dir() / ("net.inp.TXT.hydrosk-" + std::to_string(EndedProcess()) + "-aB3dE9.tmp");
    WriteBytes(foreign, "rows of a live job");
    Age(foreign);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int descriptor = open(foreign.c_str(), O_RDONLY);
        const char byte = flock(descriptor, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &byte, 1);
        char ignored;
        (void)!read(release[0], &ignored, 1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    WriteRecordFile(target(), {});
    EXPECT_EQ(ReadBytes(foreign), "rows of a live job");

    // Once the other process has let go, the file is a leftover like any other.
    (void)!write(release[1], "x", 1);
    waitpid(holder, nullptr, 0);
    for (const int descriptor : {ready[0], ready[1], release[0], release[1]}) close(descriptor);
    WriteRecordFile(target(), {});
    EXPECT_FALSE(std::filesystem::exists(foreign));
}

// A live writer of this process's own kind holds its lock from the start to the rename.
TEST_F(ReplacingFileTest, AWriterHoldsTheLockOfItsTemporaryFileUntilItCommits) {
    ReplacingFile file(target());
    std::set<std::string> names = Names();
    ASSERT_EQ(names.size(), 1u);
    const std::filesystem::path temporary = dir() / *names.begin();
    const int descriptor = open(temporary.c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    EXPECT_NE(flock(descriptor, LOCK_EX | LOCK_NB), 0);
    file.Commit();
    EXPECT_EQ(flock(descriptor, LOCK_EX | LOCK_NB), 0);
    close(descriptor);
}

}  // namespace
}  // namespace hydrosk::files
