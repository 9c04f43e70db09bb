// hydrosk-cli: the command line of Hydrosk, for batch runs and checks without the window.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"Hydrosk: fire-flow analysis of EPANET networks"};
    app.require_subcommand(0, 1);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
