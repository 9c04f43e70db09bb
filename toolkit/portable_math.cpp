#include "toolkit/portable_math.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace hydrosk::toolkit {

// First version: glibc itself (exact only under the tunable).
double portable_pow(double x, double y) {
    return std::pow(x, y);
}

double portable_log(double x) {
    return std::log(x);
}

void restart_with_portable_math(char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
    const char* current = std::getenv("GLIBC_TUNABLES");
    if (current != nullptr && std::strstr(current, kPortableMathTunable) != nullptr) return;
    std::string tunables = kPortableMathTunable;
    if (current != nullptr && *current != '\0') tunables = std::string(current) + ":" + tunables;
    if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // Not reached unless the restart failed; the program goes on as it is.
#else
    (void)argv;
#endif
}

}  // namespace hydrosk::toolkit
