#include "analysis/results_geojson.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "files/file_error.h"

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

void WriteFeature(std::ostream& out, const files::ResultsTable& table, const files::ResultsRow& row,
                  const network::NetworkMap& map) {
    out << "{\"type\":\"Feature\",\"geometry\":";
    const std::optional<int> node = map.FindNode(row.check_id());
    const auto& position = node ? map.nodes[static_cast<std::size_t>(*node)].position
                                : std::optional<network::MapPoint>();
    if (position) {
        out << "{\"type\":\"Point\",\"coordinates\":[";
        WriteNumber(out, position->x);
        out << ',';
        WriteNumber(out, position->y);
        out << "]}";
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
    out << "}}";
}

}  // namespace

void WriteResultsGeoJson(std::ostream& out, const files::ResultsTable& table,
                         const network::NetworkMap& map, std::string_view name) {
    out << "{\"type\":\"FeatureCollection\",\"name\":";
    WriteString(out, name);
    out << ",\"features\":[";
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        out << (i == 0 ? "\n" : ",\n");
        WriteFeature(out, table, table.rows[i], map);
    }
    out << "\n]}\n";
}

std::filesystem::path NetworkOfResults(const std::filesystem::path& results_file) {
    std::filesystem::path inp = results_file;
    return inp.replace_extension();
}

void WriteResultsGeoJsonFile(const std::filesystem::path& geojson_file,
                             const files::ResultsTable& table, const network::NetworkMap& map,
                             std::string_view name) {
    errno = 0;
    std::ofstream out(geojson_file, std::ios::binary | std::ios::trunc);
    if (out) WriteResultsGeoJson(out, table, map, name);
    if (out) out.close();
    if (!out) {
        throw files::FileError(geojson_file,
                               std::string("cannot be written: ") +
                                   (errno != 0 ? std::strerror(errno) : "write error"));
    }
}

void ExportResultsGeoJson(const std::filesystem::path& results_file,
                          const std::filesystem::path& inp_file,
                          const std::filesystem::path& geojson_file) {
    const files::ResultsTable table = files::ReadResultsFile(results_file);
    const network::NetworkMap map = network::LoadNetworkMap(inp_file);
    WriteResultsGeoJsonFile(geojson_file, table, map, results_file.filename().string());
}

}  // namespace hydrosk::analysis
