#include "files/constraint_files.h"

#include <cmath>
#include <limits>

#include "files/file_error.h"
#include "files/number_text.h"
#include "files/printable_text.h"
#include "files/record_layout.h"

namespace hydrosk::files {
namespace {

void RefuseQuotedId(const std::filesystem::path& file, const std::string& id) {
    if (id.find('"') != std::string::npos) {
        throw FileError(file, "the junction ID " + FieldText(id) +
                                  " holds a double quote, which the file cannot store; "
                                  "nothing was written");
    }
}

std::string RecordProblem(std::size_t record, const std::string& what) {
    return "record " + std::to_string(record) + ": " + what;
}

std::vector<std::string> IdsOf(std::string bytes) {
    std::vector<std::string> ids;
    FieldReader reader(std::move(bytes));
    for (;;) {
        reader.SkipBlankLines();
        auto id = reader.Next();
        if (!id) break;
        ids.push_back(std::move(id->text));
    }
    return ids;
}

}  // namespace

std::vector<std::string> ReadExcludedJunctions(const std::filesystem::path& file) {
    const auto bytes = ReadFileIfExists(file);
    if (!bytes) return {};
    return IdsOf(*bytes);
}

std::vector<std::string> ReadJunctionList(const std::filesystem::path& file) {
    const auto bytes = ReadFileIfExists(file);
    if (!bytes) throw FileError(file, "does not exist");
    return IdsOf(*bytes);
}

std::vector<JunctionPressure> ReadJunctionMinPressures(const std::filesystem::path& file) {
    std::vector<JunctionPressure> pressures;
    const auto bytes = ReadFileIfExists(file);
    if (!bytes) return pressures;
    FieldReader reader(*bytes);
    for (std::size_t record = 1;; ++record) {
        reader.SkipBlankLines();
        auto id = reader.Next();
        if (!id) break;
        const auto field = reader.Next();
        if (!field) {
            throw FileError(file, RecordProblem(record, "the minimal pressure of junction " +
                                                            FieldText(id->text) + " is missing"));
        }
        const auto value = ParseFieldNumber(field->text);
        if (!value || std::abs(*value) > std::numeric_limits<float>::max()) {
            throw FileError(file,
                            RecordProblem(record, "the minimal pressure " + FieldText(field->text) +
                                                      " of junction " + FieldText(id->text) +
                                                      " is not a number"));
        }
        pressures.push_back({std::move(id->text), static_cast<float>(*value)});
    }
    return pressures;
}

void WriteExcludedJunctions(const std::filesystem::path& file, std::span<const std::string> ids) {
    for (const std::string& id : ids) RefuseQuotedId(file, id);
    RecordFileWriter writer(file);
    for (const std::string& id : ids) writer.Write({id});
    writer.Commit();
}

void WriteJunctionMinPressures(const std::filesystem::path& file,
                               std::span<const JunctionPressure> pressures) {
    for (const JunctionPressure& entry : pressures) RefuseQuotedId(file, entry.id);
    RecordFileWriter writer(file);
    for (const JunctionPressure& entry : pressures) writer.Write({entry.id, entry.pressure});
    writer.Commit();
}

}  // namespace hydrosk::files
