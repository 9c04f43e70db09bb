// Output that could not be written (a full disk, /dev/full, a closed pipe) is an error of the
// command, not a silent success.
#pragma once

#include <iosfwd>

namespace hydrosk::cli {

// Flushes `stream`; when it failed at any time, tells `err` which output (`what`) could not be
// written and why, and gives exit status 1; otherwise 0. `error_number` is the errno of an
// earlier failure, when the caller kept it.
int CheckWritten(std::ostream& stream, const char* what, std::ostream& err, int error_number = 0);

}  // namespace hydrosk::cli
