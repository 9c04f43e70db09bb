// The groups of junctions whose trials a run makes in place of single junctions: read from a
// fire-groups file, or formed from the map, every junction with its nearest neighbours.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "files/fire_groups.h"

namespace hydrosk::toolkit {
struct Network;
}

namespace hydrosk::analysis {

// Every junction forms a group named by its own ID: itself, then its nearest other junctions
// within `distance` map units ([COORDINATES] read as a flat plane, Euclidean distance), up to
// `size` members in all, nearest first, equal distances in junction order.
// Members of a group formed from the map when no size is given: the junction and its two
// nearest neighbours.
inline constexpr int kDefaultGroupSize = 3;

struct NearGroups {
    double distance = 0;  // map units, above 0
    int size = 1;         // members of a group at most, at least 1
};

// Where a run's groups come from.
using FireGroupSource = std::variant<std::filesystem::path, NearGroups>;

// A junction as the former sees it: its ID and its map position, if it has one.
struct GroupJunction {
    std::string id;
    std::optional<double> x, y;  // both or neither
};

struct FormedGroups {
    std::vector<files::FireGroup> groups;
    // Junctions without coordinates: each forms a group of itself alone and is no other
    // group's neighbour.
    std::size_t without_coordinates = 0;
};

// The groups of NearGroups, one per junction in the given order.
FormedGroups FormNearGroups(std::span<const GroupJunction> junctions, const NearGroups& near);

// The network's junctions in the INP's order with their positions.
std::vector<GroupJunction> GroupJunctionsOf(const toolkit::Network& network);

// The run's groups from either source. A file's member that is not a junction of the network
// throws files::FileError naming the file, the line and its text, and the ID; so do the
// reader's refusals (files::ReadFireGroups), and a file without any group.
FormedGroups FormFireGroups(const FireGroupSource& source, const toolkit::Network& network);

// The notice of junctions left in groups of their own for want of coordinates; empty for none.
std::string WithoutCoordinatesNotice(const FormedGroups& formed);

}  // namespace hydrosk::analysis
