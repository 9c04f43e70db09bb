// The two junction constraint files beside the INP file: "NoCheck.txt" (IDs of
// junctions whose pressure is never tested) and "MinPressures.txt" (junctions
// with a minimal pressure of their own). Both use the record text layout; a
// file of 0 bytes is an empty list. Each operation takes the full path.
//
// IDs are kept as bytes in any code page and written back unchanged. Readers do
// not trim IDs and return them in file order, duplicates included; blank lines
// are skipped. Looking IDs up in the network is the caller's job.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hydrosk::files {

inline constexpr std::string_view kExcludedJunctionsFileName = "NoCheck.txt";
inline constexpr std::string_view kJunctionMinPressuresFileName = "MinPressures.txt";

struct JunctionPressure {
    std::string id;
    float pressure = 0;  // in the network's pressure units

    bool operator==(const JunctionPressure&) const = default;
};

// One ID per record; the field is taken as ID text even when unquoted (101).
// A missing file gives an empty list; an unreadable one throws FileError.
std::vector<std::string> ReadExcludedJunctions(const std::filesystem::path& file);

// A list of junctions a user names in the same layout (a fire-flow study's hydrants): a UTF-8
// byte-order mark at its start is skipped, and a missing file throws FileError.
std::vector<std::string> ReadJunctionList(const std::filesystem::path& file);

// Records of an ID and a period-decimal number. A missing file gives an empty
// list. A record without a pressure, or whose pressure is not a number within
// the range of float, throws FileError naming the file and the record number;
// nothing is returned then. An unreadable file throws FileError.
std::vector<JunctionPressure> ReadJunctionMinPressures(const std::filesystem::path& file);

// Rewrite the file whole, one record per entry in list order; an empty list
// gives 0 bytes. An ID holding a double quote cannot be stored: the whole write
// is refused with FileError before anything is touched. Any other failure
// throws FileError too and leaves the old file as it was.
void WriteExcludedJunctions(const std::filesystem::path& file, std::span<const std::string> ids);
void WriteJunctionMinPressures(const std::filesystem::path& file,
                               std::span<const JunctionPressure> pressures);

}  // namespace hydrosk::files
