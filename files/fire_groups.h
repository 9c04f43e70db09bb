// A fire-groups file: junctions that flow together in one trial, one group a line in the
// record text layout, "NAME","J1","J2",... A UTF-8 byte-order mark at its start is skipped and
// blank lines are ignored. Names and IDs are kept as bytes, untrimmed, in file order.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace hydrosk::files {

struct FireGroup {
    std::string name;                  // the row's Check_Node text
    std::vector<std::string> members;  // junction IDs, each once, in file order
    std::size_t line = 0;              // 1-based line of the file; 0 for a formed group
    std::string text;                  // the line as written, for messages; empty when formed

    bool operator==(const FireGroup&) const = default;
};

// The groups in file order. Throws FileError naming the file, the line number and the line's
// text (cut as FieldText cuts a field) for a group without members, a name used a second time
// or a member listed twice in one group; a missing or unreadable file throws FileError too.
// Whether each member is a junction of the network is the caller's check (RefuseUnknownMember).
std::vector<FireGroup> ReadFireGroups(const std::filesystem::path& file);

// The message part naming a group's line: "line N (TEXT)".
std::string GroupLineText(const FireGroup& group);

}  // namespace hydrosk::files
