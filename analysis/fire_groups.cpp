#include "analysis/fire_groups.h"

#include <algorithm>
#include <numeric>

#include "files/file_error.h"
#include "files/printable_text.h"
#include "toolkit/network.h"

namespace hydrosk::analysis {

FormedGroups FormNearGroups(std::span<const GroupJunction> junctions, const NearGroups& near) {
    FormedGroups formed;
    formed.groups.reserve(junctions.size());
    const std::size_t most = static_cast<std::size_t>(std::max(near.size, 1));
    const double limit = near.distance * near.distance;
    std::vector<std::pair<double, std::size_t>> neighbours;
    for (std::size_t own = 0; own < junctions.size(); ++own) {
        const GroupJunction& junction = junctions[own];
        files::FireGroup group{
            .name = junction.id, .members = {junction.id}, .line = 0, .text = {}};
        if (!junction.x || !junction.y) {
            ++formed.without_coordinates;
            formed.groups.push_back(std::move(group));
            continue;
        }
        neighbours.clear();
        for (std::size_t other = 0; other < junctions.size(); ++other) {
            const GroupJunction& candidate = junctions[other];
            if (other == own || !candidate.x || !candidate.y) continue;
            const double dx = *candidate.x - *junction.x;
            const double dy = *candidate.y - *junction.y;
            const double squared = dx * dx + dy * dy;
            if (squared <= limit) neighbours.emplace_back(squared, other);
        }
        const std::size_t taken = std::min(neighbours.size(), most - 1);
        // Pairs order by distance, then by junction order.
        std::partial_sort(neighbours.begin(), neighbours.begin() + static_cast<long>(taken),
                          neighbours.end());
        for (std::size_t k = 0; k < taken; ++k) {
            group.members.push_back(junctions[neighbours[k].second].id);
        }
        formed.groups.push_back(std::move(group));
    }
    return formed;
}

std::vector<GroupJunction> GroupJunctionsOf(const toolkit::Network& network) {
    std::vector<GroupJunction> junctions;
    junctions.reserve(static_cast<std::size_t>(network.junction_count));
    for (int index = 0; index < network.junction_count; ++index) {
        const toolkit::Node& node = network.nodes[static_cast<std::size_t>(index)];
        GroupJunction junction{.id = node.id, .x = std::nullopt, .y = std::nullopt};
        if (node.has_coordinates) {
            junction.x = node.x;
            junction.y = node.y;
        }
        junctions.push_back(std::move(junction));
    }
    return junctions;
}

FormedGroups FormFireGroups(const FireGroupSource& source, const toolkit::Network& network) {
    if (const auto* near = std::get_if<NearGroups>(&source)) {
        return FormNearGroups(GroupJunctionsOf(network), *near);
    }
    const auto& file = std::get<std::filesystem::path>(source);
    FormedGroups formed{.groups = files::ReadFireGroups(file), .without_coordinates = 0};
    if (formed.groups.empty()) throw files::FileError(file, "names no fire group");
    for (const files::FireGroup& group : formed.groups) {
        for (const std::string& member : group.members) {
            const auto found = network.node_index.find(member);
            if (found == network.node_index.end() || found->second >= network.junction_count) {
                throw files::FileError(file, files::GroupLineText(group) + ": " +
                                                 "the junction \"" + files::FieldText(member) +
                                                 "\" is not a junction of the network");
            }
        }
    }
    return formed;
}

std::string WithoutCoordinatesNotice(const FormedGroups& formed) {
    if (formed.without_coordinates == 0) return {};
    return std::to_string(formed.without_coordinates) +
           (formed.without_coordinates == 1 ? " junction has" : " junctions have") +
           " no coordinates: each forms a group of its own";
}

}  // namespace hydrosk::analysis
