#include "analysis/results_geojson.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "files/file_error.h"
#include "files/replacing_file.h"
#include "toolkit/error_messages.h"
#include "toolkit/input/reader.h"

namespace hydrosk::analysis {
namespace {

// Length of the UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (at + length > bytes.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool IsUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8Length(bytes, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

// JSON wants UTF-8; IDs in another code page are taken as Latin-1.
void WriteString(std::ostream& out, std::string_view bytes) {
    const bool utf8 = IsUtf8(bytes);
    out << '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out << escaped;
        } else if (byte >= 0x80 && !utf8) {
            out << static_cast<char>(0xC0 | (byte >> 6)) << static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            out << c;
        }
    }
    out << '"';
}

// The shortest text that reads back as the same double.
void WriteNumber(std::ostream& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.write(text, result.ptr - text);
}

std::optional<network::MapPoint> PositionOf(const network::NetworkMap& map, std::string_view id) {
    const std::optional<int> node = map.FindNode(id);
    return node ? map.nodes[static_cast<std::size_t>(*node)].position
                : std::optional<network::MapPoint>();
}

void WritePosition(std::ostream& out, const network::MapPoint& position) {
    out << '[';
    WriteNumber(out, position.x);
    out << ',';
    WriteNumber(out, position.y);
    out << ']';
}

// The groups by name.
using GroupIndex = std::unordered_map<std::string_view, const files::FireGroup*>;

GroupIndex IndexGroups(std::span<const files::FireGroup> groups) {
    GroupIndex index;
    for (const files::FireGroup& group : groups) index.emplace(group.name, &group);
    return index;
}

const files::FireGroup* Find(const GroupIndex& index, std::string_view name) {
    const auto found = index.find(name);
    return found == index.end() ? nullptr : found->second;
}

void WriteFeature(std::ostream& out, const files::ResultsTable& table, const files::ResultsRow& row,
                  const network::NetworkMap& map, const files::FireGroup* group) {
    out << "{\"type\":\"Feature\",\"geometry\":";
    if (group != nullptr) {
        std::vector<network::MapPoint> points;
        for (const std::string& member : group->members) {
            if (const auto position = PositionOf(map, member)) points.push_back(*position);
        }
        if (points.empty()) {
            out << "null";
        } else {
            out << "{\"type\":\"MultiPoint\",\"coordinates\":[";
            for (std::size_t i = 0; i < points.size(); ++i) {
                if (i > 0) out << ',';
                WritePosition(out, points[i]);
            }
            out << "]}";
        }
    } else if (const auto position = PositionOf(map, row.check_id())) {
        out << "{\"type\":\"Point\",\"coordinates\":";
        WritePosition(out, *position);
        out << '}';
    } else {
        out << "null";
    }
    out << ",\"properties\":{";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        WriteString(out, table.columns[i].name);
        out << ':';
        const files::ResultsCell& cell = row.cells[i];
        const files::Quantity quantity = table.columns[i].quantity;
        if (quantity == files::Quantity::NodeId || quantity == files::Quantity::Text ||
            quantity == files::Quantity::LinkId) {
            WriteString(out, cell.text);
        } else if (cell.number) {
            WriteNumber(out, *cell.number);
        } else {
            out << "null";
        }
        out << ',';
    }
    out << "\"Outcome\":";
    WriteString(out, files::OutcomeText(row.outcome));
    if (group != nullptr) {
        out << ",\"Members\":[";
        for (std::size_t i = 0; i < group->members.size(); ++i) {
            if (i > 0) out << ',';
            WriteString(out, group->members[i]);
        }
        out << ']';
    }
    out << "}}";
}

}  // namespace

void WriteResultsGeoJson(std::ostream& out, const files::ResultsTable& table,
                         const network::NetworkMap& map, std::string_view name,
                         std::span<const files::FireGroup> groups) {
    const std::vector<const files::FireGroup*> of_rows = GroupsOfRows(table, groups);
    out << "{\"type\":\"FeatureCollection\",\"name\":";
    WriteString(out, name);
    out << ",\"features\":[";
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        out << (i == 0 ? "\n" : ",\n");
        WriteFeature(out, table, table.rows[i], map, of_rows[i]);
    }
    out << "\n]}\n";
}

std::vector<files::FireGroup> GroupsOfNetwork(const FireGroupSource& source,
                                              const std::filesystem::path& inp_file) {
    // The map keeps no junction order of its own: the network is read again.
    const toolkit::InputResult input = toolkit::read_inp_file(inp_file);
    if (input.code != 0 || !input.network) {
        throw network::NetworkMapError(toolkit::toolkit_error_text(input.code));
    }
    return FormFireGroups(source, *input.network).groups;
}

std::vector<const files::FireGroup*> GroupsOfRows(const files::ResultsTable& table,
                                                  std::span<const files::FireGroup> groups) {
    const GroupIndex index = IndexGroups(groups);
    std::vector<const files::FireGroup*> of_rows;
    of_rows.reserve(table.rows.size());
    for (const files::ResultsRow& row : table.rows) {
        of_rows.push_back(Find(index, row.check_id()));
    }
    return of_rows;
}

std::filesystem::path NetworkOfResults(const std::filesystem::path& results_file) {
    std::filesystem::path inp = results_file;
    // The rows of a stopped run: "<inp>.TXT.partial".
    if (inp.extension() == ".partial") inp.replace_extension();
    return inp.replace_extension();
}

RowsOutsideNetwork CheckRowsAgainstNetwork(const files::ResultsTable& table,
                                           const network::NetworkMap& map,
                                           std::span<const files::FireGroup> groups) {
    RowsOutsideNetwork rows;
    std::vector<bool> seen(map.nodes.size(), false);
    const std::vector<const files::FireGroup*> of_rows = GroupsOfRows(table, groups);
    std::vector<bool> groups_seen(groups.size(), false);
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const files::ResultsRow& row = table.rows[i];
        if (const files::FireGroup* group = of_rows[i]) {
            const auto at = static_cast<std::size_t>(group - groups.data());
            if (groups_seen[at]) ++rows.repeated;
            groups_seen[at] = true;
            continue;
        }
        const std::optional<int> node = map.FindNode(row.check_id());
        if (!node ||
            map.nodes[static_cast<std::size_t>(*node)].kind != network::MapNodeKind::Junction) {
            ++rows.unknown;
        } else if (seen[static_cast<std::size_t>(*node)]) {
            ++rows.repeated;
        } else {
            seen[static_cast<std::size_t>(*node)] = true;
        }
    }
    return rows;
}

std::string RowsOutsideNetworkWarning(const RowsOutsideNetwork& rows) {
    if (rows.empty()) return {};
    const auto counted = [](std::size_t count, const char* one, const char* many) {
        return std::to_string(count) + (count == 1 ? one : many);
    };
    std::string text = "Warning: the results do not all belong to the network:";
    if (rows.unknown > 0) {
        text += " " + counted(rows.unknown, " row names", " rows name") + " no junction of it" +
                (rows.repeated > 0 ? ";" : "");
    }
    if (rows.repeated > 0) {
        text += " " + counted(rows.repeated, " row repeats", " rows repeat") +
                " the junction of an earlier row";
    }
    return text;
}

void WriteResultsGeoJsonFile(const std::filesystem::path& geojson_file,
                             const files::ResultsTable& table, const network::NetworkMap& map,
                             std::string_view name, std::span<const std::filesystem::path> inputs,
                             std::span<const files::FireGroup> groups) {
    std::error_code error;
    for (const std::filesystem::path& input : inputs) {
        if (geojson_file == input || std::filesystem::equivalent(geojson_file, input, error)) {
            throw files::FileError(geojson_file,
                                   "is an input of the export and is not overwritten");
        }
    }
    const auto status = std::filesystem::status(geojson_file, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw files::FileError(geojson_file, "is not a regular file and is not written");
    }
    std::ostringstream text;
    WriteResultsGeoJson(text, table, map, name, groups);
    files::ReplacingFile file(geojson_file);
    const std::string bytes = std::move(text).str();
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        throw files::FileError(geojson_file,
                               std::string("cannot be written: ") +
                                   (errno != 0 ? std::strerror(errno) : "write error"));
    }
    file.Commit();
}

std::string ExportResultsGeoJson(const std::filesystem::path& results_file,
                                 const std::filesystem::path& inp_file,
                                 const std::filesystem::path& geojson_file,
                                 std::ostream* standard_output,
                                 const std::optional<FireGroupSource>& groups) {
    const files::ResultsTable table = files::ReadResultsFile(results_file);
    const network::NetworkMap map = network::LoadNetworkMap(inp_file);
    const std::vector<files::FireGroup> formed =
        groups ? GroupsOfNetwork(*groups, inp_file) : std::vector<files::FireGroup>();
    const std::string name = results_file.filename().string();
    if (geojson_file == "-" && standard_output != nullptr) {
        WriteResultsGeoJson(*standard_output, table, map, name, formed);
    } else {
        const std::filesystem::path inputs[] = {results_file, inp_file};
        WriteResultsGeoJsonFile(geojson_file, table, map, name, inputs, formed);
    }
    return RowsOutsideNetworkWarning(CheckRowsAgainstNetwork(table, map, formed));
}

}  // namespace hydrosk::analysis
