// hydrosk-cli: the command line of Hydrosk, for batch runs and checks without the window.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <new>

#include "cli/fireflow_command.h"
#include "cli/output_check.h"
#include "cli/simulate_command.h"
#include "toolkit/portable_math.h"

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"Hydrosk: fire-flow analysis of EPANET networks"};
    app.require_subcommand(1);

    std::string simulateInp;
    auto* simulate = app.add_subcommand(
        "simulate", "Print time,node_id,pressure for every node at every hydraulic step");
    simulate->add_option("INP", simulateInp, "EPANET input file")->required();

    hydrosk::cli::FireflowOptions fireflowOptions;
    auto* fireflow = hydrosk::cli::AddFireflowCommand(app, fireflowOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        if (hydrosk::cli::CheckWritten(std::cout, "the standard output", std::cerr) != 0) return 1;
        return status == 0 ? 0 : 2;
    }

    if (*simulate) return hydrosk::cli::run_simulate(simulateInp, std::cout, std::cerr);
    if (*fireflow) {
        return hydrosk::cli::RunFireflow(fireflowOptions, std::cout, std::cerr,
                                         isatty(STDERR_FILENO) != 0);
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Memory ran out where nothing else handled it: said plainly, not an abort.
        std::fputs("out of memory\n", stderr);
        return 1;
    }
}
