#include "cli/export_geojson_command.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>

#include "analysis/results_geojson.h"
#include "cli/output_check.h"
#include "files/file_error.h"

namespace hydrosk::cli {

CLI::App* AddExportGeoJsonCommand(CLI::App& app, ExportGeoJsonOptions& options) {
    auto* command = app.add_subcommand(
        "export-geojson",
        "Write a results file as GeoJSON: one point per junction at its INP coordinates");
    command->add_option("RESULTS_FILE", options.results, "results file of a fire-flow run")
        ->required();
    command
        ->add_option("OUT", options.output,
                     "GeoJSON file to write, replaced whole (a failure leaves it as it was); - "
                     "for standard output. The INP file, the results file and anything that is "
                     "not a regular file are refused")
        ->required();
    command->add_option("--inp", options.inp,
                        "the network (default: RESULTS_FILE without its last extension)");
    AddFireGroupOptions(*command, options.groups);
    command->footer(
        "A run of fire groups: give the export the groups the run was given (--fire-groups, or "
        "--fire-groups-near with --group-size); each group's row becomes a MultiPoint feature "
        "of its members' coordinates, with the row's properties and \"Members\", their IDs.");
    return command;
}

int RunExportGeoJson(const ExportGeoJsonOptions& options, std::ostream& out, std::ostream& err) {
    const std::filesystem::path results(options.results);
    const std::filesystem::path inp = options.inp.empty() ? analysis::NetworkOfResults(results)
                                                          : std::filesystem::path(options.inp);
    try {
        const std::optional<analysis::FireGroupSource> groups = FireGroupSourceOf(options.groups);
        const std::string warning =
            analysis::ExportResultsGeoJson(results, inp, options.output, &out, groups);
        if (!warning.empty()) err << warning << '\n';
    } catch (const FireGroupOptionsRefused& error) {
        err << error.what() << '\n';
        return 1;
    } catch (const files::FileError& error) {
        err << error.what() << '\n';
        return 1;
    } catch (const network::NetworkMapError& error) {
        err << '"' << inp.string() << "\": " << error.what() << '\n';
        return 1;
    }
    if (options.output == "-") return CheckWritten(out, "the standard output", err);
    return 0;
}

}  // namespace hydrosk::cli
