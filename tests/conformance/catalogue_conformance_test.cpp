// The network catalogue of every shared network, built through our toolkit,
// against what EPANET 2.2 lists for the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "network/net_load.h"
#include "reference_file.h"
#include "toolkit/project.h"

namespace hydrosk::conformance {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> shared_network_names() {
    std::vector<std::string> names;
    const fs::path dir{HYDROSK_SHARED_NETWORKS};
    if (!fs::is_directory(dir)) return {"(none)"};
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".inp") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CatalogueConformance : public ::testing::TestWithParam<std::string> {};

TEST_P(CatalogueConformance, CountsIdsAndDurationAsEpanet) {
    const fs::path reference = fs::path(HYDROSK_CONFORMANCE_REFERENCE) / (GetParam() + ".ref");
    std::ifstream in(reference);
    if (!in) GTEST_SKIP() << "no EPANET 2.2 reference at " << reference;
    const NetworkReference ref = parse_reference(in);

    toolkit::Project project;
    network::NetworkCatalogue catalogue;
    network::ResetNetwork(catalogue);
    const std::string inp = (fs::path(HYDROSK_SHARED_NETWORKS) / (GetParam() + ".inp")).string();
    ASSERT_EQ(network::OpenNetwork(catalogue, project, inp, "", ""), ref.open_code);
    if (ref.refused()) {
        EXPECT_EQ(catalogue.NodeCount, 0);
        return;
    }

    EXPECT_EQ(catalogue.NodeCount, ref.count(CountKind::nodes));
    EXPECT_EQ(catalogue.StorageCount, ref.count(CountKind::tanks));
    EXPECT_EQ(catalogue.LinkCount, ref.count(CountKind::links));
    EXPECT_EQ(catalogue.PatternCount, ref.count(CountKind::patterns));

    std::vector<std::string> junctions{""};
    int reservoirs = 0, tanks = 0;
    for (const ReferenceNode& node : ref.nodes) {
        if (node.type == 0) junctions.push_back(node.id);
        reservoirs += node.type == 1;
        tanks += node.type == 2;
    }
    EXPECT_EQ(catalogue.JunctionIDs, junctions);
    EXPECT_EQ(catalogue.JunctionCount, static_cast<int>(junctions.size()) - 1);
    EXPECT_EQ(catalogue.ReservoirCount, reservoirs);
    EXPECT_EQ(catalogue.TankCount, tanks);
    for (int k = 1; k < static_cast<int>(junctions.size()); ++k) {
        EXPECT_EQ(catalogue.Junctions.index_at(k), k) << "junction position = node index";
    }
    int valves = 0;
    for (const ReferenceLink& link : ref.links) valves += link.type >= 3;
    EXPECT_EQ(catalogue.ValveCount, valves);

    // Whole hours, halves to even (the default rounding of nearbyint).
    const long duration = ref.times[0];
    EXPECT_EQ(catalogue.DurationHours, static_cast<int>(std::nearbyint(duration / 3600.0)));
    EXPECT_EQ(catalogue.HydraulicStep, ref.times[1]);
    EXPECT_EQ(catalogue.PatternStart, ref.times[4]);
}

INSTANTIATE_TEST_SUITE_P(SharedNetworks, CatalogueConformance,
                         ::testing::ValuesIn(shared_network_names()), [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace hydrosk::conformance
