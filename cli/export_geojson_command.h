// `hydrosk-cli export-geojson`: a results file as GeoJSON points for GIS
// programs, for batch use (see analysis/results_geojson.h); the rows of fire
// groups as their members.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/fire_group_options.h"

namespace CLI {
class App;
}

namespace hydrosk::cli {

struct ExportGeoJsonOptions {
    std::string results;
    std::string output;
    std::string inp;  // empty: the results path without its last extension
    // The groups of the run, as fireflow takes them: their rows become their members.
    FireGroupOptions groups;
};

CLI::App* AddExportGeoJsonCommand(CLI::App& app, ExportGeoJsonOptions& options);

// Returns the exit status: 0, or 1 after a message on `err`. An output of "-" goes to `out`.
int RunExportGeoJson(const ExportGeoJsonOptions& options, std::ostream& out, std::ostream& err);

}  // namespace hydrosk::cli
