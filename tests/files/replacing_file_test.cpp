#include "files/replacing_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(ReplacingFileTest, LeftoversOfEndedProcessesAreRemovedByTheNextWriter) {
    const std::string ended =
        "net.inp.CSV.hydrosk-" + std::to_string(EndedProcess()) + "-aB3dE9.tmp";
    const std::string running = "net.inp.TXT.hydrosk-" + std::to_string(getppid()) + "-aB3dE9.tmp";
    for (const std::string& name :
         {ended, running, std::string("notes.tmp"), std::string("x.hydrosk-1-toolong.tmp")}) {
        WriteBytes(dir() / name, "x");
    }
    EXPECT_TRUE(IsReplacementTemporary(ended));
    EXPECT_FALSE(IsReplacementTemporary("x.hydrosk-1-toolong.tmp"));
    WriteRecordFile(dir() / "NoCheck.txt", {});
    EXPECT_EQ(Names(), (std::set<std::string>{"NoCheck.txt", running, "notes.tmp",
                                              "x.hydrosk-1-toolong.tmp"}));
}

}  // namespace
}  // namespace hydrosk::files
