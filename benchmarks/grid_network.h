// A square grid of junctions fed by a reservoir at one corner, written as the start of an INP
// file: the benchmarks' large network of known size. The caller adds [TIMES] and what else it
// needs.
#pragma once

#include <ostream>
#include <string>

namespace hydrosk::benchmarks {

// The ID of the junction at `row`, `column`.
inline std::string GridJunction(int row, int column) {
    return "J" + std::to_string(row) + "_" + std::to_string(column);
}

// [JUNCTIONS], [RESERVOIRS] and [PIPES] of a grid of side × side junctions.
inline void WriteGrid(std::ostream& net, int side) {
    net << "[JUNCTIONS]\n";
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) net << ' ' << GridJunction(r, c) << " 100 1\n";
    }
    net << "[RESERVOIRS]\n R1 200\n[PIPES]\n P0 R1 " << GridJunction(0, 0) << " 100 12 100\n";
    int pipe = 1;
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            if (c + 1 < side) {
                net << " P" << pipe++ << ' ' << GridJunction(r, c) << ' ' << GridJunction(r, c + 1)
                    << " 100 8 100\n";
            }
            if (r + 1 < side) {
                net << " P" << pipe++ << ' ' << GridJunction(r, c) << ' ' << GridJunction(r + 1, c)
                    << " 100 8 100\n";
            }
        }
    }
}

}  // namespace hydrosk::benchmarks
