// The array forms of pow and log on the widest vectors that the processor has.
#include <cstddef>

#include "toolkit/portable_math.h"
#include "toolkit/portable_math_detail.h"

namespace hydrosk::toolkit {

namespace {

int widest_lanes() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
#endif
    return 1;
}

}  // namespace

int portable_math_lanes() {
    static const int lanes = widest_lanes();
    return lanes;
}

namespace portable_math_detail {

void pow_array_scalar(const double* x, const double* y, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = portable_pow(x[i], y[i]);
}

void log_array_scalar(const double* x, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = portable_log(x[i]);
}

}  // namespace portable_math_detail

void portable_pow_array(const double* x, const double* y, double* out, std::size_t n) {
    using namespace portable_math_detail;
#if defined(__x86_64__)
    switch (portable_math_lanes()) {
        case 8:
            return pow_array_avx512(x, y, out, n);
        case 4:
            return pow_array_avx2(x, y, out, n);
        default:
            break;
    }
#endif
    pow_array_scalar(x, y, out, n);
}

void portable_log_array(const double* x, double* out, std::size_t n) {
    using namespace portable_math_detail;
#if defined(__x86_64__)
    switch (portable_math_lanes()) {
        case 8:
            return log_array_avx512(x, out, n);
        case 4:
            return log_array_avx2(x, out, n);
        default:
            break;
    }
#endif
    log_array_scalar(x, out, n);
}

}  // namespace hydrosk::toolkit
