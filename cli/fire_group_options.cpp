#include "cli/fire_group_options.h"

#include <CLI/CLI.hpp>
#include <filesystem>

#include "cli/number_option.h"

namespace hydrosk::cli {

void AddFireGroupOptions(CLI::App& command, FireGroupOptions& options) {
    command
        .add_option(
            "--fire-groups", options.fire_groups,
            "groups of junctions that flow together, one a line: \"NAME\",\"J1\",\"J2\",... "
            "Each group's trial has its members draw the flow together, each flow / "
            "members; one row a group, named by it, in the file's order (available and "
            "design modes)")
        ->option_text("FILE");
    AddNumber<double>(
        command, "--fire-groups-near",
        [&options](double distance) { options.fire_groups_near = distance; },
        "every junction forms a group with its nearest junctions within this distance on the "
        "map ([COORDINATES] read as a flat plane, in the INP's map units), named by the junction "
        "(available and design modes)",
        Sign::Positive);
    command
        .add_option_function<int>(
            "--group-size", [&options](int size) { options.group_size = size; },
            "members of a group of --fire-groups-near at most, the junction included (default " +
                std::to_string(analysis::kDefaultGroupSize) + ")")
        ->check(kWholeNumberAtLeastOne);
}

std::optional<analysis::FireGroupSource> FireGroupSourceOf(const FireGroupOptions& options) {
    if (!options.fire_groups.empty() && options.fire_groups_near) {
        throw FireGroupOptionsRefused(
            "--fire-groups and --fire-groups-near cannot be given together: the groups come from "
            "a file or from the map");
    }
    if (options.group_size && !options.fire_groups_near) {
        throw FireGroupOptionsRefused("--group-size is an option of --fire-groups-near");
    }
    if (!options.fire_groups.empty()) {
        return analysis::FireGroupSource(std::filesystem::path(options.fire_groups));
    }
    if (!options.fire_groups_near) return std::nullopt;
    const double distance = *options.fire_groups_near;
    if (!(distance > 0)) {
        throw FireGroupOptionsRefused("--fire-groups-near needs a distance greater than 0");
    }
    const int size = options.group_size.value_or(analysis::kDefaultGroupSize);
    if (size < 1) throw FireGroupOptionsRefused("--group-size needs a whole number of at least 1");
    return analysis::FireGroupSource(analysis::NearGroups{distance, size});
}

}  // namespace hydrosk::cli
