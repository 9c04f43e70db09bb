// Results as GeoJSON for GIS programs: one Point feature per row of a results
// file, at its check junction's [COORDINATES] (a null geometry for a junction
// without them), with the check ID and the row's fields as properties.
// Coordinates are the INP file's own map units; no reference system is named,
// since an INP file does not say which one it uses.
#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

#include "files/results_file.h"
#include "network/network_map.h"

namespace hydrosk::analysis {

// Properties: each column under its heading, numbers as JSON numbers (null
// where the row has none), IDs and texts as strings, and "Outcome": "Failed",
// "Passed", "Maximal flow was reached" or "End of simulation was reached".
void WriteResultsGeoJson(std::ostream& out, const files::ResultsTable& table,
                         const network::NetworkMap& map, std::string_view name);

// The network a results file belongs to: its path without the last extension
// (results are written beside the INP file as "<inp>.TXT").
std::filesystem::path NetworkOfResults(const std::filesystem::path& results_file);

// The same into a file, named after the results file; throws files::FileError
// when it cannot be written.
void WriteResultsGeoJsonFile(const std::filesystem::path& geojson_file,
                             const files::ResultsTable& table, const network::NetworkMap& map,
                             std::string_view name);

// Reads the results and the network and writes the GeoJSON file. Throws
// files::FileError for the files and network::NetworkMapError for the network.
void ExportResultsGeoJson(const std::filesystem::path& results_file,
                          const std::filesystem::path& inp_file,
                          const std::filesystem::path& geojson_file);

}  // namespace hydrosk::analysis
