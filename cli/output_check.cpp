#include "cli/output_check.h"

#include <cerrno>
#include <ostream>
#include <system_error>

namespace hydrosk::cli {

int CheckWritten(std::ostream& stream, const char* what, std::ostream& err, int error_number) {
    const bool failed_before = !stream;
    errno = 0;
    stream.flush();
    if (stream) return 0;
    if (!failed_before && error_number == 0) error_number = errno;
    err << "Error: " << what << " cannot be written";
    if (error_number != 0) err << ": " << std::generic_category().message(error_number);
    err << '\n';
    err.flush();
    return 1;
}

}  // namespace hydrosk::cli
