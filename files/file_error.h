// The one exception type of the files library: a file could not be read or
// written, or its content could not be taken. The message names the file and
// the reason, ready to be shown to the user.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace hydrosk::files {

class FileError : public std::runtime_error {
public:
    // The message reads: "<file>": <problem>.
    FileError(const std::filesystem::path& file, const std::string& problem)
        : std::runtime_error('"' + file.string() + "\": " + problem), file_(file) {}

    const std::filesystem::path& file() const noexcept { return file_; }

private:
    std::filesystem::path file_;
};

}  // namespace hydrosk::files
