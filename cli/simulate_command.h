// `hydrosk-cli simulate`: the pressures of every node at every hydraulic step.
#pragma once

#include <iosfwd>
#include <string>

namespace hydrosk::cli {

// Writes "time,node_id,pressure" lines to out, in node index order per step.
// Returns the process exit status: 0, or 1 after writing the toolkit's error
// code and message to err.
int run_simulate(const std::string& inpPath, std::ostream& out, std::ostream& err);

}  // namespace hydrosk::cli
