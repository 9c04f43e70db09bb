// What a map of the network needs and nothing more: each node's kind and
// [COORDINATES] position, each link's kind, end nodes and [VERTICES], and the
// names of the network's flow and pressure units. Read once from the INP file;
// the full network model is dropped again.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hydrosk::network {

enum class MapNodeKind { Junction, Reservoir, Tank };
enum class MapLinkKind { Pipe, Pump, Valve };

// Map units as in the INP file (x to the east, y to the north).
struct MapPoint {
    double x = 0.0;
    double y = 0.0;
};

struct MapNode {
    std::string id;
    MapNodeKind kind = MapNodeKind::Junction;
    std::optional<MapPoint> position;  // none without a [COORDINATES] line
};

struct MapLink {
    std::string id;
    MapLinkKind kind = MapLinkKind::Pipe;
    int from = 0;  // indices into NetworkMap::nodes
    int to = 0;
    std::vector<MapPoint> vertices;  // between the end nodes, in file order
};

struct NetworkMap {
    std::vector<MapNode> nodes;  // the toolkit's order: junctions first
    std::vector<MapLink> links;
    std::string flow_units;      // "GPM", "LPS", ...
    std::string pressure_units;  // "psi", "m" or "kPa"
    long duration_seconds = 0;   // [TIMES] DURATION
    // Case-sensitive, as the toolkit's own lookup.
    std::unordered_map<std::string, int> node_index;

    std::optional<int> FindNode(std::string_view id) const {
        const auto found = node_index.find(std::string(id));
        if (found == node_index.end()) return std::nullopt;
        return found->second;
    }
    // True when at least one node has coordinates.
    bool HasCoordinates() const;
};

// Thrown when the INP file cannot be read; the message is the toolkit's
// ("Error 302: cannot open input file") followed by the first input error.
class NetworkMapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

NetworkMap LoadNetworkMap(const std::filesystem::path& inp_file);

}  // namespace hydrosk::network
