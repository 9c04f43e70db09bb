#include <cstddef>

#include "toolkit/portable_math.h"
#include "toolkit/portable_math_x86.h"

namespace hydrosk::toolkit {

#if defined(__x86_64__)
__attribute__((target("avx2"))) __m256d portable_pow_avx2(__m256d x, __m256d y) {
    alignas(32) double a[4], b[4];
    _mm256_store_pd(a, x);
    _mm256_store_pd(b, y);
    for (int i = 0; i < 4; ++i) a[i] = portable_pow(a[i], b[i]);
    return _mm256_load_pd(a);
}

__attribute__((target("avx2"))) __m256d portable_log_avx2(__m256d x) {
    alignas(32) double a[4];
    _mm256_store_pd(a, x);
    for (int i = 0; i < 4; ++i) a[i] = portable_log(a[i]);
    return _mm256_load_pd(a);
}

__attribute__((target("avx512f"))) __m512d portable_pow_avx512(__m512d x, __m512d y) {
    alignas(64) double a[8], b[8];
    _mm512_store_pd(a, x);
    _mm512_store_pd(b, y);
    for (int i = 0; i < 8; ++i) a[i] = portable_pow(a[i], b[i]);
    return _mm512_load_pd(a);
}

__attribute__((target("avx512f"))) __m512d portable_log_avx512(__m512d x) {
    alignas(64) double a[8];
    _mm512_store_pd(a, x);
    for (int i = 0; i < 8; ++i) a[i] = portable_log(a[i]);
    return _mm512_load_pd(a);
}
#endif

int portable_math_lanes() {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
#endif
    return 1;
}

void portable_pow_array(const double* x, const double* y, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = portable_pow(x[i], y[i]);
}

void portable_log_array(const double* x, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = portable_log(x[i]);
}

}  // namespace hydrosk::toolkit
