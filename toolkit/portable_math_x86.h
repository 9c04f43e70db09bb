// The vector forms of portable_pow and portable_log (toolkit/portable_math.h)
// for code that is itself compiled for AVX2 or AVX-512 (a function with
// __attribute__((target("avx2"))) or target("avx512f")). Each lane is the
// scalar result to the last bit. Call them only after checking that the
// processor has the instructions (__builtin_cpu_supports or
// portable_math_lanes()).
//
// Code that calls them must not let the compiler contract its own products and
// sums into fused multiply-adds (-ffp-contract=off): AVX-512 has FMA.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

namespace hydrosk::toolkit {

__attribute__((target("avx2"))) __m256d portable_pow_avx2(__m256d x, __m256d y);
__attribute__((target("avx2"))) __m256d portable_log_avx2(__m256d x);

__attribute__((target("avx512f"))) __m512d portable_pow_avx512(__m512d x, __m512d y);
__attribute__((target("avx512f"))) __m512d portable_log_avx512(__m512d x);

}  // namespace hydrosk::toolkit
#endif
