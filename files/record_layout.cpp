#include "files/record_layout.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <utility>

#include "files/file_error.h"
#include "files/number_text.h"

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
                        throw std::invalid_argument("the text " + value +
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

RecordFileWriter::RecordFileWriter(std::filesystem::path target)
    : target_(std::move(target)), temporary_(target_) {
    temporary_ += ".tmp";
    errno = 0;
    file_.reset(std::fopen(temporary_.string().c_str(), "wb"));
    if (!file_) {
        const int error_number = errno;
        temporary_.clear();  // not ours: never remove what we could not create
        throw FileError(target_, "cannot be written: " + SystemReason(error_number));
    }
}

RecordFileWriter::~RecordFileWriter() {
    file_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void RecordFileWriter::Write(const Record& record) {
    if (!file_) throw std::logic_error("RecordFileWriter::Write after Commit");
    std::string line;
    try {
        line = FormatRecord(record);
    } catch (const std::invalid_argument& refusal) {
        throw FileError(target_, refusal.what());
    }
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size()) {
        throw FileError(target_, "cannot be written: " + SystemReason(errno));
    }
}

void RecordFileWriter::Commit() {
    if (!file_) throw std::logic_error("RecordFileWriter::Commit twice");
    errno = 0;
    // fclose flushes; a full disk shows up here at the latest.
    const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
    const int flush_error = errno;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed || !closed) {
        throw FileError(target_,
                        "cannot be written: " + SystemReason(flush_error ? flush_error : errno));
    }
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error) {
        throw FileError(target_, "cannot be replaced: " + error.message());
    }
    temporary_.clear();
}

void WriteRecordFile(const std::filesystem::path& target, std::span<const Record> records) {
    RecordFileWriter writer(target);
    for (const Record& record : records) writer.Write(record);
    writer.Commit();
}

std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file) {
    errno = 0;
    std::unique_ptr<std::FILE, detail::CloseFile> in(std::fopen(file.string().c_str(), "rb"));
    if (!in) {
        const int error_number = errno;
        if (error_number == ENOENT) return std::nullopt;
        throw FileError(file, "cannot be read: " + SystemReason(error_number));
    }
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
