#include "files/fire_groups.h"

#include <set>
#include <string_view>

#include "files/file_error.h"
#include "files/printable_text.h"
#include "files/record_layout.h"

namespace hydrosk::files {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The lines of the file, split at CR LF, LF or CR, the byte-order mark removed.
std::vector<std::string> LinesOf(std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        lines.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    return lines;
}

std::string Quoted(std::string_view text) {
    return '"' + FieldText(text) + '"';
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string GroupLineText(const FireGroup& group) {
    return "line " + std::to_string(group.line) + " (" + FieldText(group.text) + ")";
}

std::vector<FireGroup> ReadFireGroups(const std::filesystem::path& file) {
    const auto bytes = ReadFileIfExists(file);
    if (!bytes) throw FileError(file, "does not exist");
    std::vector<FireGroup> groups;
    std::set<std::string> names;
    const std::vector<std::string> lines = LinesOf(*bytes);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (IsBlank(lines[index])) continue;
        FireGroup group{.name = {}, .members = {}, .line = index + 1, .text = lines[index]};
        FieldReader reader(lines[index]);
        group.name = reader.Next().value_or(ReadField{}).text;
        auto refuse = [&](const std::string& what) {
            throw FileError(file, GroupLineText(group) + ": " + what);
        };
        std::set<std::string> members;
        while (auto member = reader.Next()) {
            if (!members.insert(member->text).second) {
                refuse("the junction " + Quoted(member->text) + " is listed twice in the group " +
                       Quoted(group.name));
            }
            group.members.push_back(std::move(member->text));
        }
        if (group.members.empty()) {
            refuse("the group " + Quoted(group.name) + " has no members");
        }
        if (!names.insert(group.name).second) {
            refuse("the group name " + Quoted(group.name) + " is used twice");
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

}  // namespace hydrosk::files
