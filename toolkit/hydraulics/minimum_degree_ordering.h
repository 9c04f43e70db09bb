// Fill-reducing ordering of a sparse symmetric matrix by the minimum-degree
// rule on quotient graphs, with mass elimination of indistinguishable nodes and
// external degrees (J. W. H. Liu, ACM TOMS 11, 1985; George & Liu, 1981), one
// node per degree update. Ties are broken exactly as EPANET 2.2's ordering
// breaks them, so that the head equations are factorized in EPANET's order and
// round as EPANET's do:
//  - nodes of equal degree wait in a last-in, first-out list: at the start a
//    node of higher index is taken first, later the node whose degree was
//    updated last;
//  - the neighbours of a node are visited in the order the graph gives them;
//  - nodes absorbed into a supernode are numbered right after it, in
//    increasing index.
#pragma once

#include <span>
#include <vector>

#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {

// Graph on nodes 0 .. size-1: the neighbours of node v are
// neighbours[start[v] .. start[v + 1]), in the order that breaks ties. Each
// edge appears in the lists of both its ends, once; no node is its own
// neighbour. Returns the elimination order: element k is the node eliminated
// k-th. Throws std::invalid_argument on a malformed graph, and SolveStopped once `stop` is set
// (looked at every thousand or so eliminations).
std::vector<int> minimum_degree_order(std::span<const int> start, std::span<const int> neighbours,
                                      StopRequest stop = nullptr);

}  // namespace hydrosk::toolkit
