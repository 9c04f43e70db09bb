#include "network/network_map.h"

#include <algorithm>
#include <array>

#include "toolkit/error_messages.h"
#include "toolkit/input/reader.h"

namespace hydrosk::network {
namespace {

std::string FlowUnitsName(toolkit::FlowUnits units) {
    // By EN_CFS .. EN_CMD.
    constexpr std::array<const char*, 10> kNames{"CFS", "GPM", "MGD", "IMGD", "AFD",
                                                 "LPS", "LPM", "MLD", "CMH",  "CMD"};
    return kNames.at(static_cast<std::size_t>(units));
}

std::string PressureUnitsName(toolkit::PressureUnits units) {
    // By EN_PSI, EN_KPA, EN_METERS.
    constexpr std::array<const char*, 3> kNames{"psi", "kPa", "m"};
    return kNames.at(static_cast<std::size_t>(units));
}

MapLinkKind KindOf(toolkit::LinkType type) {
    switch (type) {
        case toolkit::LinkType::CVPipe:
        case toolkit::LinkType::Pipe:
            return MapLinkKind::Pipe;
        case toolkit::LinkType::Pump:
            return MapLinkKind::Pump;
        default:
            return MapLinkKind::Valve;
    }
}

MapNodeKind KindOf(toolkit::NodeType type) {
    switch (type) {
        case toolkit::NodeType::Junction:
            return MapNodeKind::Junction;
        case toolkit::NodeType::Reservoir:
            return MapNodeKind::Reservoir;
        case toolkit::NodeType::Tank:
            return MapNodeKind::Tank;
    }
    return MapNodeKind::Junction;
}

}  // namespace

bool NetworkMap::HasCoordinates() const {
    return std::any_of(nodes.begin(), nodes.end(),
                       [](const MapNode& node) { return node.position.has_value(); });
}

NetworkMap LoadNetworkMap(const std::filesystem::path& inp_file) {
    const toolkit::InputResult input = toolkit::read_inp_file(inp_file);
    if (input.code != 0 || !input.network) {
        std::string message = toolkit::toolkit_error_text(input.code);
        if (!input.errors.empty() && !input.errors.front().report_lines.empty()) {
            message += "\n" + input.errors.front().report_lines.front();
        }
        throw NetworkMapError(message);
    }
    const toolkit::Network& network = *input.network;

    NetworkMap map;
    map.flow_units = FlowUnitsName(network.options.flow_units);
    map.pressure_units = PressureUnitsName(network.options.pressure_units);
    map.duration_seconds = network.times.duration;
    map.nodes.reserve(network.nodes.size());
    for (const toolkit::Node& node : network.nodes) {
        MapNode& mapped = map.nodes.emplace_back();
        mapped.id = node.id;
        mapped.kind = KindOf(node.type);
        if (node.has_coordinates) mapped.position = MapPoint{node.x, node.y};
    }
    map.node_index = network.node_index;
    map.links.reserve(network.links.size());
    for (const toolkit::Link& link : network.links) {
        MapLink& mapped = map.links.emplace_back();
        mapped.id = link.id;
        mapped.kind = KindOf(link.type);
        mapped.from = link.from;
        mapped.to = link.to;
        mapped.vertices.reserve(link.vertices.size());
        for (const auto& [x, y] : link.vertices) mapped.vertices.push_back({x, y});
    }
    return map;
}

}  // namespace hydrosk::network
