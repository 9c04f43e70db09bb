// The network map of an INP file: node and link kinds, positions, vertices and
// unit names as the toolkit reads them, and a file it cannot read.
#include "network/network_map.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

namespace hydrosk::network {
namespace {

namespace fs = std::filesystem;

fs::path WriteInp(const std::string& name, const std::string& text) {
    const fs::path path = fs::temp_directory_path() /
                          ("hydrosk_network_map_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(NetworkMapTest, KeepsKindsCoordinatesVerticesAndUnits) {
    const fs::path inp = WriteInp("map.inp", R"([JUNCTIONS]
 J1 100 10
 J2 90 10
[RESERVOIRS]
 R1 200
[TANKS]
 T1 150 10 0 20 40
[PIPES]
 P1 J1 J2 1000 12 100
 P2 J2 T1 1000 12 100
[PUMPS]
 PU1 R1 J1 POWER 10
[VALVES]
 V1 J2 J1 12 TCV 5
[OPTIONS]
 Units LPS
 Pressure KPA
[COORDINATES]
 J1 1.5 -2
 R1 0 0
 T1 7 8
[VERTICES]
 P2 3 4
 P2 5 6
)");
    const NetworkMap map = LoadNetworkMap(inp);
    fs::remove(inp);

    ASSERT_EQ(map.nodes.size(), 4u);  // junctions first, then tank and reservoir in file order
    EXPECT_EQ(map.nodes[0].kind, MapNodeKind::Junction);
    EXPECT_EQ(map.nodes[2].kind, MapNodeKind::Reservoir);
    EXPECT_EQ(map.nodes[3].kind, MapNodeKind::Tank);
    ASSERT_TRUE(map.nodes[0].position);
    EXPECT_EQ(map.nodes[0].position->x, 1.5);
    EXPECT_EQ(map.nodes[0].position->y, -2);
    EXPECT_FALSE(map.nodes[1].position);
    EXPECT_EQ(map.FindNode("T1"), 3);
    EXPECT_FALSE(map.FindNode("t1"));
    EXPECT_TRUE(map.HasCoordinates());

    ASSERT_EQ(map.links.size(), 4u);
    EXPECT_EQ(map.links[0].kind, MapLinkKind::Pipe);
    EXPECT_EQ(map.links[2].kind, MapLinkKind::Pump);
    EXPECT_EQ(map.links[3].kind, MapLinkKind::Valve);
    ASSERT_EQ(map.links[1].vertices.size(), 2u);
    EXPECT_EQ(map.links[1].vertices[1].x, 5);
    EXPECT_EQ(map.links[1].vertices[1].y, 6);
    EXPECT_EQ(map.links[1].from, 1);
    EXPECT_EQ(map.links[1].to, 3);

    EXPECT_EQ(map.flow_units, "LPS");
    EXPECT_EQ(map.pressure_units, "kPa");
}

TEST(NetworkMapTest, AFileTheToolkitCannotReadIsAnError) {
    try {
        LoadNetworkMap("no-such-network.inp");
        ADD_FAILURE();
    } catch (const NetworkMapError& error) {
        EXPECT_STREQ(error.what(), "Error 302: cannot open input file");
    }
    const fs::path inp = WriteInp("bad.inp", "[PIPES]\n P1 A B 10 10 100\n");
    EXPECT_THROW(LoadNetworkMap(inp), NetworkMapError);
    fs::remove(inp);
}

}  // namespace
}  // namespace hydrosk::network
