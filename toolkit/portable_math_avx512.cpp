// The AVX-512 forms of pow and log (8 lanes). This file is compiled with
// -mavx512f and without contraction into fused multiply-adds (AVX-512 has
// them).
#include <immintrin.h>

#include "toolkit/portable_math_lanes.h"
#include "toolkit/portable_math_x86.h"

namespace hydrosk::toolkit {

__m512d portable_pow_avx512(__m512d x, __m512d y) {
    return pow_lanes<8>(x, y);
}

__m512d portable_log_avx512(__m512d x) {
    return log_lanes<8>(x);
}

namespace portable_math_detail {

void pow_array_avx512(const double* x, const double* y, double* out, std::size_t n) {
    pow_array<8>(x, y, out, n);
}

void log_array_avx512(const double* x, double* out, std::size_t n) {
    log_array<8>(x, out, n);
}

}  // namespace portable_math_detail
}  // namespace hydrosk::toolkit
