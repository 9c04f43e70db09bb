// A junction's outcome as bytes, for the trip from a process that computed it to the one that
// writes the results file: the position, then the row's fields exactly (text bytes, the bits of
// single and double floats), or the failure's kind and message.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "analysis/junction_pool.h"

namespace hydrosk::cluster {

std::string EncodeOutcome(int position, const analysis::JunctionOutcome& outcome);

// The inverse; a failure comes back as a RunEnded of the same kind and message (any other
// exception as a Failure with its text). Throws std::invalid_argument on bytes that are not an
// encoded outcome.
std::pair<int, analysis::JunctionOutcome> DecodeOutcome(std::string_view bytes);

}  // namespace hydrosk::cluster
