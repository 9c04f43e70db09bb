#include "files/record_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <utility>

#include "files/file_error.h"
#include "files/number_text.h"
#include "files/printable_text.h"

namespace hydrosk::files {
namespace {

std::string SystemReason(int error_number) {
    return std::generic_category().message(error_number);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

std::string FormatRecord(const Record& record) {
    std::string line;
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i > 0) line += ',';
        std::visit(
            [&line](const auto& value) {
                using Type = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Type, std::string>) {
                    if (value.find('"') != std::string::npos) {
                        throw std::invalid_argument("the text " + FieldText(value) +
                                                    " holds a double quote, which the file "
                                                    "layout cannot carry");
                    }
                    line += '"';
                    line += value;
                    line += '"';
                } else if constexpr (std::is_same_v<Type, float>) {
                    line += FormatSingle(value);
                } else {
                    line += FormatDouble(value);
                }
            },
            record[i]);
    }
    line += "\r\n";
    return line;
}

RecordFileWriter::RecordFileWriter(std::filesystem::path target) : file_(std::move(target)) {}

RecordFileWriter::~RecordFileWriter() = default;

void RecordFileWriter::Write(const Record& record) {
    if (!file_.stream()) throw std::logic_error("RecordFileWriter::Write after Commit");
    std::string line;
    try {
        line = FormatRecord(record);
    } catch (const std::invalid_argument& refusal) {
        throw FileError(file_.target(), refusal.what());
    }
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), file_.stream()) != line.size()) {
        throw FileError(file_.target(), "cannot be written: " + SystemReason(errno));
    }
}

void RecordFileWriter::Commit() {
    if (!file_.stream()) throw std::logic_error("RecordFileWriter::Commit twice");
    file_.Commit();
}

void RecordFileWriter::CommitAs(const std::filesystem::path& other) {
    if (!file_.stream()) throw std::logic_error("RecordFileWriter::Commit twice");
    file_.CommitAs(other);
}

void WriteRecordFile(const std::filesystem::path& target, std::span<const Record> records) {
    RecordFileWriter writer(target);
    for (const Record& record : records) writer.Write(record);
    writer.Commit();
}

std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file) {
    // Opened without blocking, so that a FIFO is refused at once instead of
    // waiting for a writer.
    errno = 0;
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error_number = errno;
        if (error_number == ENOENT) return std::nullopt;
        throw FileError(file, "cannot be read: " + SystemReason(error_number));
    }
    std::unique_ptr<std::FILE, detail::CloseFile> in(::fdopen(descriptor, "rb"));
    if (!in) {
        const int error_number = errno;
        ::close(descriptor);
        throw FileError(file, "cannot be read: " + SystemReason(error_number));
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        throw FileError(file, "cannot be read: " + SystemReason(errno));
    }
    if (S_ISDIR(status.st_mode)) throw FileError(file, "cannot be read: " + SystemReason(EISDIR));
    if (!S_ISREG(status.st_mode)) throw FileError(file, "cannot be read: it is not a regular file");
    std::string bytes;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        bytes.append(buffer, count);
    }
    if (std::ferror(in.get())) {
        throw FileError(file, "cannot be read: " + SystemReason(errno));
    }
    return bytes;
}

ReadValue UntypedValue(const ReadField& field) {
    if (!field.quoted) {
        if (const auto number = ParseFieldNumber(field.text)) return *number;
    }
    return field.text;
}

FieldReader::FieldReader(std::string bytes) : bytes_(std::move(bytes)) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (std::string_view(bytes_).starts_with(kByteOrderMark)) position_ = kByteOrderMark.size();
}

void FieldReader::ConsumeLineEnd() noexcept {
    if (AtEnd()) return;
    if (bytes_[position_] == '\r') {
        ++position_;
        if (!AtEnd() && bytes_[position_] == '\n') ++position_;
    } else if (bytes_[position_] == '\n') {
        ++position_;
    }
}

void FieldReader::SkipToFieldEnd() noexcept {
    position_ = std::min(bytes_.find_first_of(",\r\n", position_), bytes_.size());
    if (AtEnd()) return;
    if (bytes_[position_] == ',') {
        ++position_;
    } else {
        ConsumeLineEnd();
    }
}

void FieldReader::SkipBlankLines() noexcept {
    for (;;) {
        std::size_t next = position_;
        while (next < bytes_.size() && IsBlank(bytes_[next])) ++next;
        if (next < bytes_.size() && !IsLineEnd(bytes_[next])) return;
        position_ = next;
        if (AtEnd()) return;
        ConsumeLineEnd();
    }
}

std::optional<ReadField> FieldReader::Next() {
    while (!AtEnd() && IsBlank(bytes_[position_])) ++position_;
    if (AtEnd()) return std::nullopt;
    ReadField field;
    if (bytes_[position_] == '"') {
        field.quoted = true;
        const std::size_t begin = position_ + 1;
        const std::size_t close = std::min(bytes_.find('"', begin), bytes_.size());
        field.text = bytes_.substr(begin, close - begin);
        position_ = std::min(close + 1, bytes_.size());
    } else {
        const std::size_t begin = position_;
        const std::size_t end = std::min(bytes_.find_first_of(",\r\n", begin), bytes_.size());
        std::size_t last = end;
        while (last > begin && IsBlank(bytes_[last - 1])) --last;
        field.text = bytes_.substr(begin, last - begin);
        position_ = end;
    }
    SkipToFieldEnd();
    return field;
}

}  // namespace hydrosk::files
