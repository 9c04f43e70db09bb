// The record text layout shared by every file the program writes, and the
// field reader for the files it reads back.
//
// A record is one line: fields joined by single commas, text fields between
// double quotes (nothing escaped, so a text holding a double quote cannot be
// written), numbers bare with a period (see FormatSingle / FormatDouble), and
// CR LF after every record, the last one included. Bytes are written as given:
// no code page conversion happens anywhere.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "files/replacing_file.h"

namespace hydrosk::files {

// A field to write: text, single precision or double precision.
using FieldValue = std::variant<std::string, float, double>;
using Record = std::vector<FieldValue>;

// One line of the layout including its CR LF. Throws std::invalid_argument for
// a text holding a double quote or a number that is not finite.
std::string FormatRecord(const Record& record);

// Writes a file whole: the records go to a temporary file of the writer's own
// beside the target (see ReplacingFile), which replaces the target only when
// Commit succeeds. Until then, and whenever something fails, the target keeps
// its old content (or stays absent). A writer destroyed without Commit removes
// its temporary file. Every failure throws FileError naming the target and the
// reason.
class RecordFileWriter {
public:
    explicit RecordFileWriter(std::filesystem::path target);
    ~RecordFileWriter();
    RecordFileWriter(const RecordFileWriter&) = delete;
    RecordFileWriter& operator=(const RecordFileWriter&) = delete;

    // Appends one record. A record that cannot be written (see FormatRecord)
    // throws FileError; the target is then left untouched.
    void Write(const Record& record);

    // Closes the temporary file and renames it over the target. No record may
    // be written afterwards.
    void Commit();
    // The same under another name; the target is left as it was.
    void CommitAs(const std::filesystem::path& other);

    const std::filesystem::path& target() const noexcept { return file_.target(); }

private:
    ReplacingFile file_;
};

// The whole file in one call; no records give a file of 0 bytes.
void WriteRecordFile(const std::filesystem::path& target, std::span<const Record> records);

// The bytes of a file, or nullopt when it does not exist. Any other failure
// (no permission, a parent that is not a directory, a path that is not a
// regular file such as a directory, a FIFO or /dev/zero) throws FileError; a
// path that is not a regular file is refused before anything is read.
std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file);

// A field as the reader found it.
struct ReadField {
    std::string text;     // between the quotes, or the bare text without trailing blanks
    bool quoted = false;  // the field began with a double quote
};

// A field read with no fixed type: the text of a quoted field, the number of a
// bare field that is a number, otherwise the bare text.
using ReadValue = std::variant<std::string, double>;
ReadValue UntypedValue(const ReadField& field);

// Reads the fields of a file held in memory, one after the other. Lines may end
// in CR LF, LF or CR. A UTF-8 byte-order mark at the start (an editor's) is
// skipped, so that it never becomes part of the first field.
class FieldReader {
public:
    explicit FieldReader(std::string bytes);

    // True when no character is left to read.
    bool AtEnd() const noexcept { return position_ >= bytes_.size(); }

    // Skips lines that hold nothing but blanks, so that blank lines between or
    // after records do not count as records.
    void SkipBlankLines() noexcept;

    // The next field: leading blanks skipped; a quoted field runs to the next
    // double quote (commas and line ends included) and anything after it up to
    // the next comma or line end is dropped; a bare field runs to the next comma
    // or line end, trailing blanks removed; the comma or line end is consumed.
    // nullopt when nothing but blanks is left.
    std::optional<ReadField> Next();

private:
    void ConsumeLineEnd() noexcept;
    void SkipToFieldEnd() noexcept;

    std::string bytes_;
    std::size_t position_ = 0;
};

}  // namespace hydrosk::files
