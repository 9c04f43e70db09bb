// The AVX2 forms of pow and log (4 lanes). This file is compiled with -mavx2
// and without contraction into fused multiply-adds. The 8-lane code also built
// here (for checking it on processors without AVX-512) passes 64-byte vectors
// between functions of this file alone, so GCC's note on their ABI is turned
// off (-Wno-psabi).
#include <immintrin.h>

#include "toolkit/portable_math_lanes.h"
#include "toolkit/portable_math_x86.h"

namespace hydrosk::toolkit {

__m256d portable_pow_avx2(__m256d x, __m256d y) {
    return pow_lanes<4>(x, y);
}

__m256d portable_log_avx2(__m256d x) {
    return log_lanes<4>(x);
}

namespace portable_math_detail {

void pow_array_avx2(const double* x, const double* y, double* out, std::size_t n) {
    pow_array<4>(x, y, out, n);
}

void log_array_avx2(const double* x, double* out, std::size_t n) {
    log_array<4>(x, out, n);
}

void pow_array_8_lanes_on_avx2(const double* x, const double* y, double* out, std::size_t n) {
    pow_array<8>(x, y, out, n);
}

void log_array_8_lanes_on_avx2(const double* x, double* out, std::size_t n) {
    log_array<8>(x, out, n);
}

}  // namespace portable_math_detail
}  // namespace hydrosk::toolkit
