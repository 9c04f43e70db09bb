// Replacing a file whole, so that nobody ever sees it half written. The new
// content goes to a temporary file of its own beside the target, created
// exclusively: never through a link that someone placed there, never into
// another writer's file. Commit renames it over the target, which keeps its old
// content (or stays absent) until then. Two writers of one target each have
// their own temporary file, and the last to commit wins whole.
//
// A temporary file is named "<target name>.hydrosk-<process ID>-<tag>.tmp". One
// left behind by a process that was killed is removed by the next writer in
// the same folder, once that process has gone.
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

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty once renamed over the target
    std::unique_ptr<std::FILE, detail::CloseFile> file_;
};

// Whether a file name is that of a temporary file of ReplacingFile.
bool IsReplacementTemporary(const std::filesystem::path& file);

}  // namespace hydrosk::files
