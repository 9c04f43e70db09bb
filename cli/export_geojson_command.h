// `hydrosk-cli export-geojson`: a results file as GeoJSON points for GIS
// programs, for batch use (see analysis/results_geojson.h).
#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace hydrosk::cli {

struct ExportGeoJsonOptions {
    std::string results;
    std::string output;
    std::string inp;  // empty: the results path without its last extension
};

CLI::App* AddExportGeoJsonCommand(CLI::App& app, ExportGeoJsonOptions& options);

// Returns the exit status: 0, or 1 after a message on `err`. An output of "-" goes to `out`.
int RunExportGeoJson(const ExportGeoJsonOptions& options, std::ostream& out, std::ostream& err);

}  // namespace hydrosk::cli
