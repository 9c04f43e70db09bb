// Replacing a file whole, so that nobody ever sees it half written. The new
// content goes to a temporary file of its own beside the target, created
// exclusively: never through a link that someone placed there, never into
// another writer's file. Commit renames it over the target, which keeps its old
// content (or stays absent) until then. Two writers of one target each have
// their own temporary file, and the last to commit wins whole.
//
// A temporary file is named "<target name>.hydrosk-<process ID>-<tag>.tmp" and
// its writer holds an advisory lock (flock) on it until it is renamed or
// removed. One left behind by a process that was killed is removed by the next
// writer in the same folder, and only when it is provably abandoned: nobody
// holds its lock, it has not changed for kLeftoverAge, and its process ID is not
// that of a running process here. A writer on another host or in another PID
// namespace holds its lock all the same, so its live file is never taken.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

namespace hydrosk::files {

namespace detail {
struct CloseFile {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
}  // namespace detail

class ReplacingFile {
public:
    // Creates the temporary file, with the target's permissions when the
    // target exists. Throws FileError naming the target and the reason.
    explicit ReplacingFile(std::filesystem::path target);
    // Removes the temporary file unless it was committed.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Where the content is written until Commit; null after it.
    std::FILE* stream() const noexcept { return file_.get(); }
    const std::filesystem::path& target() const noexcept { return target_; }

    // Flushes the content to the disk and renames the temporary file over the
    // target. Throws FileError when anything of it fails (a full disk shows up
    // here at the latest); the target is then as it was.
    void Commit();

    // Commits the content under another name instead of the target, which is
    // then left as it was (a run that did not finish keeps its rows beside the
    // file it would have replaced). Same failures as Commit.
    void CommitAs(const std::filesystem::path& other);

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty once renamed over the target
    std::unique_ptr<std::FILE, detail::CloseFile> file_;
    int lock_ = -1;  // a descriptor holding the temporary file's lock until it is renamed
};

// How long a temporary file that nobody holds must have stood unchanged before
// another writer removes it (it covers the moment between its creation and its
// lock).
inline constexpr int kLeftoverAgeSeconds = 10;

// Whether a file name is that of a temporary file of ReplacingFile.
bool IsReplacementTemporary(const std::filesystem::path& file);

}  // namespace hydrosk::files
