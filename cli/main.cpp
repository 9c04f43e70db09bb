// hydrosk-cli: the command line of Hydrosk, for batch runs and checks without the window.
// Built a second time as hydrosk-mpi (HYDROSK_WITH_MPI), whose fire-flow runs share their
// junctions among the processes of an MPI job; hydrosk-cli itself loads no MPI library.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/export_geojson_command.h"
#include "cli/fireflow_command.h"
#include "cli/interrupt_watch.h"
#include "cli/output_check.h"
#include "cli/simulate_command.h"
#include "cluster/launcher.h"
#include "hydrosk_version.h"
#ifdef HYDROSK_WITH_MPI
#include "cluster/mpi_job.h"
#endif

namespace {

#ifdef HYDROSK_WITH_MPI
constexpr char kProgramName[] = "hydrosk-mpi";
#else
constexpr char kProgramName[] = "hydrosk-cli";
#endif

int RunFireflowHere(const hydrosk::cli::FireflowOptions& options,
                    hydrosk::analysis::SharedWork* shared = nullptr,
                    const hydrosk::cli::InterruptWatch* interrupts = nullptr) {
    return hydrosk::cli::RunFireflow(options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0,
                                     shared, interrupts);
}

#ifdef HYDROSK_WITH_MPI
// The files the options name, which every rank reads for itself.
std::vector<std::filesystem::path> NamedInputFiles(const hydrosk::cli::FireflowOptions& options) {
    std::vector<std::filesystem::path> named;
    if (!options.hydrants.empty()) named.emplace_back(options.hydrants);
    if (!options.required_flows.empty()) named.emplace_back(options.required_flows);
    if (!options.groups.fire_groups.empty()) named.emplace_back(options.groups.fire_groups);
    return named;
}

// One rank of an MPI job: rank 0 runs and writes, the others compute the junctions it hands
// them. A job of one process runs as a process started alone.
// Ranks given other inputs than rank 0 (another INP file, other constraint files, other
// hydrants, required flows or fire groups, other options) refuse the job before its first junction.
int RunFireflowInJob(const hydrosk::cli::FireflowOptions& options,
                     std::vector<std::string> arguments) {
    // Made before MPI starts threads of its own, so that none of them takes Ctrl+C or SIGTERM.
    // Rank 0 acts on them; the other ranks end when rank 0 tells them to.
    const hydrosk::cli::InterruptWatch interrupts;
    const hydrosk::cluster::MpiJob job;
    if (job.size() == 1) return RunFireflowHere(options, nullptr, &interrupts);
    const hydrosk::analysis::RunSettings settings = hydrosk::cli::FireflowSettings(options);
    const std::string refused = hydrosk::cluster::CheckJobInputs(
        job, hydrosk::cluster::DescribeJobInputs(std::move(arguments), settings.inp_file,
                                                 settings.constraints_directory,
                                                 NamedInputFiles(options)));
    if (!refused.empty()) {
        if (job.rank() == 0) std::cerr << refused << '\n';
        return 1;
    }
    if (job.rank() > 0) {
        return hydrosk::cluster::ServeAsWorkerRank(job, hydrosk::cli::FireflowSettings(options),
                                                   options.threads);
    }
    hydrosk::cluster::Coordinator coordinator(job);
    return RunFireflowHere(options, &coordinator, &interrupts);
}
#endif

}  // namespace

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"Hydrosk: fire-flow analysis of EPANET networks", kProgramName};
    app.set_version_flag("--version", std::string(kProgramName) + " " + hydrosk::kVersion,
                         "Print the version and exit");
    app.require_subcommand(1);

    std::string simulateInp;
    auto* simulate = app.add_subcommand(
        "simulate", "Print time,node_id,pressure for every node at every hydraulic step");
    simulate->add_option("INP", simulateInp, "EPANET input file")->required();

    hydrosk::cli::FireflowOptions fireflowOptions;
    auto* fireflow = hydrosk::cli::AddFireflowCommand(app, fireflowOptions);

    hydrosk::cli::BaselineOptions baselineOptions;
    auto* baseline = hydrosk::cli::AddBaselineCommand(app, baselineOptions);

    hydrosk::cli::ExportGeoJsonOptions geoJsonOptions;
    auto* exportGeoJson = hydrosk::cli::AddExportGeoJsonCommand(app, geoJsonOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        // A long help fails while it is written, before the check: its error is kept here.
        const int error_number = std::cout ? 0 : errno;
        if (hydrosk::cli::CheckWritten(std::cout, "the standard output", std::cerr, error_number) !=
            0) {
            return 1;
        }
        return status == 0 ? 0 : 2;
    }

    if (*simulate) return hydrosk::cli::run_simulate(simulateInp, std::cout, std::cerr);
    if (*fireflow) {
#ifdef HYDROSK_WITH_MPI
        if (hydrosk::cluster::StartedByMpiLauncher()) {
            return RunFireflowInJob(fireflowOptions,
                                    std::vector<std::string>(argv + 1, argv + argc));
        }
#else
        // Each process of a job would run the whole network and write the same file.
        if (hydrosk::cluster::LaunchedProcessCount() > 1) {
            std::cerr << "hydrosk-cli runs as one process; under mpirun or srun, run hydrosk-mpi "
                         "to share a run among the processes of the job\n";
            return 2;
        }
#endif
        return RunFireflowHere(fireflowOptions);
    }
    if (*baseline) return hydrosk::cli::RunBaseline(baselineOptions, std::cout, std::cerr);
    if (*exportGeoJson) return hydrosk::cli::RunExportGeoJson(geoJsonOptions, std::cout, std::cerr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Memory ran out where nothing else handled it: said plainly, not an abort.
        std::fputs("out of memory\n", stderr);
        return 1;
    }
}
