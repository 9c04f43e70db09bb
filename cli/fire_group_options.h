// The options that name a run's fire groups, --fire-groups FILE or --fire-groups-near D with
// --group-size N, shared by the commands that take them.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "analysis/fire_groups.h"

namespace CLI {
class App;
}

namespace hydrosk::cli {

struct FireGroupOptions {
    std::string fire_groups;                 // a groups file; empty: none
    std::optional<double> fire_groups_near;  // map units
    std::optional<int> group_size;           // members at most
};

// Adds the three options to `command`; a distance that is not a number above 0 or a size that
// is not a whole number of at least 1 is refused at parsing.
void AddFireGroupOptions(CLI::App& command, FireGroupOptions& options);

// A combination of the options that names no groups, with a message naming the options.
class FireGroupOptionsRefused : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Where the options say the groups come from; nullopt when they name none. Throws
// FireGroupOptionsRefused for --fire-groups with --fire-groups-near, --group-size without
// --fire-groups-near, a distance not above 0 or a size below 1.
std::optional<analysis::FireGroupSource> FireGroupSourceOf(const FireGroupOptions& options);

// Whether the options name groups at all.
inline bool NamesFireGroups(const FireGroupOptions& options) {
    return !options.fire_groups.empty() || options.fire_groups_near.has_value() ||
           options.group_size.has_value();
}

}  // namespace hydrosk::cli
