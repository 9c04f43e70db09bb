#include "files/replacing_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "files/file_error.h"

namespace hydrosk::files {
namespace {

constexpr std::string_view kMarker = ".hydrosk-";
constexpr std::string_view kSuffix = ".tmp";
constexpr std::size_t kTagLength = 6;
// Bytes of the target's name kept in the temporary file's name, so that the
// name stays within the 255 bytes that file systems allow.
constexpr std::size_t kNameBytesKept = 200;
// Names tried before giving up; only a folder full of them takes more than one.
constexpr int kAttempts = 100;

std::string SystemReason(int error_number) {
    return std::generic_category().message(error_number);
}

std::string RandomTag() {
    static constexpr std::string_view kLetters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::string tag;
    for (std::size_t i = 0; i < kTagLength; ++i) tag += kLetters[pick(random)];
    return tag;
}

// The process that made a temporary file of ours, or 0 for any other name.
pid_t OwnerOf(std::string_view name) {
    if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) return 0;
    name.remove_suffix(kSuffix.size());
    const auto marker = name.rfind(kMarker);
    if (marker == std::string_view::npos) return 0;
    const std::string_view rest = name.substr(marker + kMarker.size());  // <pid>-<tag>
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos || rest.size() - dash - 1 != kTagLength) return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (error != std::errc() || end != rest.data() + dash || pid <= 0) return 0;
    return pid;
}

bool ProcessHasEnded(pid_t pid) {
    return ::kill(pid, 0) == -1 && errno == ESRCH;
}

// Removes the file if nobody holds its lock and it has stood unchanged long enough; the lock
// taken here keeps a second remover away meanwhile.
void RemoveIfAbandoned(const std::filesystem::path& file) {
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
        ::time(nullptr) - status.st_mtime >= kLeftoverAgeSeconds &&
        ::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
        // Still the file that was looked at (not one made since under the same name).
        struct stat now {};
        if (::lstat(file.c_str(), &now) == 0 && now.st_ino == status.st_ino &&
            now.st_dev == status.st_dev) {
            ::unlink(file.c_str());
        }
    }
    ::close(descriptor);
}

// Removes the temporary files that killed processes left in the folder.
void RemoveLeftovers(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const pid_t owner = OwnerOf(entries->path().filename().native());
        if (owner == 0 || owner == ::getpid() || !ProcessHasEnded(owner)) continue;
        RemoveIfAbandoned(entries->path());
    }
}

}  // namespace

bool IsReplacementTemporary(const std::filesystem::path& file) {
    return OwnerOf(file.filename().native()) != 0;
}

ReplacingFile::ReplacingFile(std::filesystem::path target) : target_(std::move(target)) {
    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    RemoveLeftovers(folder);

    std::string name = target_.filename().native();
    if (name.size() > kNameBytesKept) name.resize(kNameBytesKept);
    name += kMarker;
    name += std::to_string(::getpid());
    name += '-';
    int descriptor = -1;
    int error_number = 0;
    for (int attempt = 0; attempt < kAttempts && descriptor < 0; ++attempt) {
        temporary_ = folder / (name + RandomTag() + std::string(kSuffix));
        descriptor =
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        error_number = errno;
        if (descriptor < 0 && error_number != EEXIST) break;
    }
    if (descriptor < 0) {
        temporary_.clear();  // not ours: never remove what we could not create
        throw FileError(target_, "cannot be written: " + SystemReason(error_number));
    }
    // Held on a descriptor of its own, so that closing the stream keeps it until the rename.
    // A file system without locks leaves the file to the age and process checks alone.
    lock_ = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (lock_ >= 0) ::flock(lock_, LOCK_EX | LOCK_NB);

    // The new file keeps the permissions that the user gave the old one.
    struct stat old_file {};
    if (::stat(target_.c_str(), &old_file) == 0 && S_ISREG(old_file.st_mode)) {
        ::fchmod(descriptor, old_file.st_mode & 07777);
    }
    file_.reset(::fdopen(descriptor, "wb"));
    if (!file_) {
        error_number = errno;
        ::close(descriptor);
        ::unlink(temporary_.c_str());
        if (lock_ >= 0) ::close(lock_);
        throw FileError(target_, "cannot be written: " + SystemReason(error_number));
    }
}

ReplacingFile::~ReplacingFile() {
    file_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
    if (lock_ >= 0) ::close(lock_);
}

void ReplacingFile::Commit() {
    CommitAs(target_);
}

void ReplacingFile::CommitAs(const std::filesystem::path& other) {
    if (!file_) throw std::logic_error("ReplacingFile::Commit twice");
    errno = 0;
    bool written = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
    int error_number = errno;
    if (written && ::fsync(::fileno(file_.get())) != 0) {
        written = false;
        error_number = errno;
    }
    if (std::fclose(file_.release()) != 0 && written) {
        written = false;
        error_number = errno;
    }
    if (!written) throw FileError(other, "cannot be written: " + SystemReason(error_number));
    std::error_code error;
    std::filesystem::rename(temporary_, other, error);
    if (error) throw FileError(other, "cannot be replaced: " + error.message());
    temporary_.clear();
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
}

}  // namespace hydrosk::files
