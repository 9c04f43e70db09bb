// Results as GeoJSON for GIS programs: one Point feature per row of a results
// file, at its check junction's [COORDINATES] (a null geometry for a junction
// without them), with the check ID and the row's fields as properties. A row of
// a fire group (its Check_Node the group's name) is a MultiPoint of its members.
// Coordinates are the INP file's own map units; no reference system is named,
// since an INP file does not say which one it uses.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/fire_groups.h"
#include "files/fire_groups.h"
#include "files/results_file.h"
#include "network/network_map.h"

namespace hydrosk::analysis {

// Properties: each column under its heading, numbers as JSON numbers (null
// where the row has none), IDs and texts as strings, and "Outcome": "Failed",
// "Passed", "Maximal flow was reached" or "End of simulation was reached".
// A row whose check ID names one of `groups` is a MultiPoint feature of the
// members that have coordinates (null without any), in the group's order, with
// "Members": the members' IDs, as an extra property.
void WriteResultsGeoJson(std::ostream& out, const files::ResultsTable& table,
                         const network::NetworkMap& map, std::string_view name,
                         std::span<const files::FireGroup> groups = {});

// The groups of `source` on the network of `inp_file`, as a run forms them. Throws
// files::FileError for the groups file (as the run refuses it) and network::NetworkMapError
// for a network that cannot be read.
std::vector<files::FireGroup> GroupsOfNetwork(const FireGroupSource& source,
                                              const std::filesystem::path& inp_file);

// The group each row of `table` stands for, by row: the one of `groups` named by its check ID,
// nullptr for none. The pointers are into `groups`.
std::vector<const files::FireGroup*> GroupsOfRows(const files::ResultsTable& table,
                                                  std::span<const files::FireGroup> groups);

// The network a results file belongs to: its path without the last extension
// (results are written beside the INP file as "<inp>.TXT"; the rows of a stopped run as
// "<inp>.TXT.partial").
std::filesystem::path NetworkOfResults(const std::filesystem::path& results_file);

// Rows of a results file that do not fit its network: rows whose check ID is neither a
// junction of it nor one of `groups`, and rows of a junction or group that has a row before
// them.
struct RowsOutsideNetwork {
    std::size_t unknown = 0;
    std::size_t repeated = 0;

    bool empty() const { return unknown == 0 && repeated == 0; }
};
RowsOutsideNetwork CheckRowsAgainstNetwork(const files::ResultsTable& table,
                                           const network::NetworkMap& map,
                                           std::span<const files::FireGroup> groups = {});

// One warning for all of them, with the counts; empty when there are none.
std::string RowsOutsideNetworkWarning(const RowsOutsideNetwork& rows);

// The same into a file, named after the results file, replaced whole (see files::ReplacingFile):
// a failure leaves the file as it was. Refused with files::FileError, before anything is
// written: a file among `inputs` (the results file, the INP file) in any spelling, and a path
// that exists and is not a regular file (a directory, a FIFO, a device).
void WriteResultsGeoJsonFile(const std::filesystem::path& geojson_file,
                             const files::ResultsTable& table, const network::NetworkMap& map,
                             std::string_view name,
                             std::span<const std::filesystem::path> inputs = {},
                             std::span<const files::FireGroup> groups = {});

// Reads the results and the network and writes the GeoJSON file ("-": to `standard_output`),
// the rows of the groups of `groups` as their members. Throws files::FileError for the files
// and network::NetworkMapError for the network. Gives the warning of RowsOutsideNetworkWarning
// (empty when every row fits).
std::string ExportResultsGeoJson(const std::filesystem::path& results_file,
                                 const std::filesystem::path& inp_file,
                                 const std::filesystem::path& geojson_file,
                                 std::ostream* standard_output = nullptr,
                                 const std::optional<FireGroupSource>& groups = std::nullopt);

}  // namespace hydrosk::analysis
