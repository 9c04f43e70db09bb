// hydrosk-cli: the command line of Hydrosk, for batch runs and checks without the window.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/export_geojson_command.h"
#include "cli/fireflow_command.h"
#include "cli/simulate_command.h"
#include "toolkit/portable_math.h"

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    CLI::App app{"Hydrosk: fire-flow analysis of EPANET networks"};
    app.require_subcommand(1);

    std::string simulateInp;
    auto* simulate = app.add_subcommand(
        "simulate", "Print time,node_id,pressure for every node at every hydraulic step");
    simulate->add_option("INP", simulateInp, "EPANET input file")->required();

    hydrosk::cli::FireflowOptions fireflowOptions;
    auto* fireflow = hydrosk::cli::AddFireflowCommand(app, fireflowOptions);

    hydrosk::cli::ExportGeoJsonOptions geoJsonOptions;
    auto* exportGeoJson = hydrosk::cli::AddExportGeoJsonCommand(app, geoJsonOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    if (*simulate) return hydrosk::cli::run_simulate(simulateInp, std::cout, std::cerr);
    if (*fireflow) {
        return hydrosk::cli::RunFireflow(fireflowOptions, std::cout, std::cerr,
                                         isatty(STDERR_FILENO) != 0);
    }
    if (*exportGeoJson) return hydrosk::cli::RunExportGeoJson(geoJsonOptions, std::cerr);
    return 2;
}
