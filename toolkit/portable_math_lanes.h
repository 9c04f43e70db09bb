// The lane-parallel pow and log: the steps of portable_math.cpp applied to W
// doubles at once with GCC's vector extensions, lane by lane the same
// operations in the same order. Lanes that need a special case (a zero,
// subnormal, negative, infinite or NaN argument, an exponent near 0 or
// infinity, a result near overflow or underflow, log near 1) are computed
// again by the scalar function, so every lane is the scalar result.
//
// Included by the files that are compiled for one instruction set each
// (portable_math_avx2.cpp, portable_math_avx512.cpp); everything here has
// internal linkage, so that each file keeps its own instructions.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "toolkit/portable_math.h"
#include "toolkit/portable_math_detail.h"
#include "toolkit/portable_math_tables.h"

namespace hydrosk::toolkit {
namespace {

template <int W>
struct Lanes;

template <>
struct Lanes<4> {
    using Double = double __attribute__((vector_size(32)));
    using Bits = std::uint64_t __attribute__((vector_size(32)));
    using Int = std::int64_t __attribute__((vector_size(32)));
};

template <>
struct Lanes<8> {
    using Double = double __attribute__((vector_size(64)));
    using Bits = std::uint64_t __attribute__((vector_size(64)));
    using Int = std::int64_t __attribute__((vector_size(64)));
};

template <int W>
inline typename Lanes<W>::Bits lane_bits(typename Lanes<W>::Double x) {
    return reinterpret_cast<typename Lanes<W>::Bits>(x);
}

template <int W>
inline typename Lanes<W>::Double lane_double(typename Lanes<W>::Bits i) {
    return reinterpret_cast<typename Lanes<W>::Double>(i);
}

// Integers |k| < 2^51 as doubles, exactly: 1.5 * 2^52 + k has k in its last bits.
template <int W>
inline typename Lanes<W>::Double lane_int_to_double(typename Lanes<W>::Int k) {
    constexpr double kShift = 0x1.8p52;
    return lane_double<W>(reinterpret_cast<typename Lanes<W>::Bits>(k) +
                          portable_math_detail::as_bits(kShift)) -
           kShift;
}

using TwoDoubles = double __attribute__((vector_size(16)));
using FourDoubles = double __attribute__((vector_size(32)));

// table[index] lane by lane, with the processor's gather where the file is
// built for one.
template <int W>
inline typename Lanes<W>::Double gather(const double* table, typename Lanes<W>::Bits index) {
#if defined(__AVX512F__)
    if constexpr (W == 8) {
        // Eight loads joined in halves: quicker than the gather instruction on the AMD Zen 5
        // processors measured (README.md, "Trials side by side in the vector registers").
        const TwoDoubles p0 = {table[index[0]], table[index[1]]};
        const TwoDoubles p1 = {table[index[2]], table[index[3]]};
        const TwoDoubles p2 = {table[index[4]], table[index[5]]};
        const TwoDoubles p3 = {table[index[6]], table[index[7]]};
        const FourDoubles lo = __builtin_shufflevector(p0, p1, 0, 1, 2, 3);
        const FourDoubles hi = __builtin_shufflevector(p2, p3, 0, 1, 2, 3);
        return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
    }
#endif
#if defined(__AVX2__)
    if constexpr (W == 4) {
        return reinterpret_cast<typename Lanes<W>::Double>(
            _mm256_i64gather_pd(table, reinterpret_cast<__m256i>(index), 8));
    } else if constexpr (W == 8) {
        // Two halves when the 8 lanes live in AVX2 registers.
        __m256i halves[2];
        std::memcpy(halves, &index, sizeof halves);
        const __m256d out[2] = {_mm256_i64gather_pd(table, halves[0], 8),
                                _mm256_i64gather_pd(table, halves[1], 8)};
        typename Lanes<W>::Double joined;
        std::memcpy(&joined, out, sizeof joined);
        return joined;
    }
#endif
    typename Lanes<W>::Double out;
    for (int l = 0; l < W; ++l) out[l] = table[index[l]];
    return out;
}

// table[index] and table[index + 1] lane by lane: a load of both per lane, the lanes' pairs
// then split by two permutations, where the file is built for AVX-512.
template <int W>
inline void gather_pairs(const double* table, typename Lanes<W>::Bits index,
                         typename Lanes<W>::Double& first, typename Lanes<W>::Double& second) {
#if defined(__AVX512F__)
    if constexpr (W == 8) {
        const auto pair = [&](int l) {
            TwoDoubles v;
            std::memcpy(&v, table + index[l], sizeof v);
            return v;
        };
        const FourDoubles a0 = __builtin_shufflevector(pair(0), pair(1), 0, 1, 2, 3);
        const FourDoubles a1 = __builtin_shufflevector(pair(2), pair(3), 0, 1, 2, 3);
        const FourDoubles b0 = __builtin_shufflevector(pair(4), pair(5), 0, 1, 2, 3);
        const FourDoubles b1 = __builtin_shufflevector(pair(6), pair(7), 0, 1, 2, 3);
        const typename Lanes<W>::Double a = __builtin_shufflevector(a0, a1, 0, 1, 2, 3, 4, 5, 6, 7);
        const typename Lanes<W>::Double b = __builtin_shufflevector(b0, b1, 0, 1, 2, 3, 4, 5, 6, 7);
        first = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        second = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
        return;
    }
#endif
    first = gather<W>(table, index);
    second = gather<W>(table + 1, index);
}

template <int W>
inline bool any_lane(typename Lanes<W>::Int mask) {
    std::int64_t any = 0;
    for (int l = 0; l < W; ++l) any |= mask[l];
    return any != 0;
}

// pow(x, y) lane by lane.
template <int W>
typename Lanes<W>::Double pow_lanes(typename Lanes<W>::Double x, typename Lanes<W>::Double y) {
    using namespace portable_math_detail;
    namespace tables = portable_math_tables;
    using Double = typename Lanes<W>::Double;
    using Bits = typename Lanes<W>::Bits;
    using Int = typename Lanes<W>::Int;

    const Bits ix = lane_bits<W>(x);
    const Bits iy = lane_bits<W>(y);
    const Bits topx = ix >> 52;
    const Bits topy = iy >> 52;
    // Lanes for the scalar function (see pow_needs_care).
    Int scalar = reinterpret_cast<Int>((topx - 0x001) >= 0x7ff - 0x001) |
                 reinterpret_cast<Int>(((topy & 0x7ff) - kTop12YTiny) >= kTop12YHuge - kTop12YTiny);

    // The logarithm (pow_log).
    const Bits from_offset = ix - kPowLogOffset;
    const Bits index = (from_offset >> 45) & 127;
    const Double kd = lane_int_to_double<W>(reinterpret_cast<Int>(from_offset) >> 52);
    const Bits iz = ix - (from_offset & kExponentMask);
    const Double z = lane_double<W>(iz);
    const double* log_table = &tables::kPowLog[0].invc;
    static_assert(sizeof(tables::PowLogEntry) == 3 * sizeof(double));
    const Bits entry = index * 3;
    Double invc, logc;
    gather_pairs<W>(log_table, entry, invc, logc);
    const Double logctail = gather<W>(log_table + 2, entry);
    const double* a = tables::kPowLogPoly;
    const Double zhi = lane_double<W>((iz + (std::uint64_t{1} << 31)) & kHigh21Bits);
    const Double zlo = z - zhi;
    const Double rhi = zhi * invc - 1.0;
    const Double rlo = zlo * invc;
    const Double r = rhi + rlo;
    const Double t1 = kd * tables::kLn2Hi + logc;
    const Double t2 = t1 + r;
    const Double lo1 = kd * tables::kLn2Lo + logctail;
    const Double lo2 = t1 - t2 + r;
    const Double ar = a[0] * r;
    const Double ar2 = r * ar;
    const Double ar3 = r * ar2;
    const Double arhi = a[0] * rhi;
    const Double arhi2 = rhi * arhi;
    const Double hi = t2 + arhi2;
    const Double lo3 = rlo * (ar + arhi);
    const Double lo4 = t2 - hi + arhi2;
    const Double p = ar3 * (a[1] + r * a[2] + ar2 * (a[3] + r * a[4] + ar2 * (a[5] + r * a[6])));
    const Double lo = lo1 + lo2 + lo3 + lo4 + p;
    const Double log_hi = hi + lo;
    const Double log_lo = hi - log_hi + lo;

    // y log x = ehi + elo.
    const Double yhi = lane_double<W>(iy & kHigh26Bits);
    const Double ylo = y - yhi;
    const Double lhi = lane_double<W>(lane_bits<W>(log_hi) & kHigh26Bits);
    const Double llo = log_hi - lhi + log_lo;
    const Double ehi = yhi * lhi;
    const Double elo = ylo * lhi + y * llo;

    // exp(ehi + elo) (pow_exp), its common path: 2^-54 <= |ehi| < 512.
    const Bits abstop = (lane_bits<W>(ehi) >> 52) & 0x7ff;
    scalar |= reinterpret_cast<Int>((abstop - kTop12Tiny) >= kTop12Big - kTop12Tiny);
    const Double ez = tables::kInvLn2N * ehi;
    Double ekd = ez + tables::kExpShift;
    const Bits ki = lane_bits<W>(ekd);
    ekd -= tables::kExpShift;
    Double er = ehi + ekd * tables::kNegLn2HiN + ekd * tables::kNegLn2LoN;
    er += elo;
    const Bits eindex = 2 * (ki & 127);
    const Bits etop = ki << 45;
    const double* exp_table = reinterpret_cast<const double*>(tables::kExp);
    Double tail, scale_bits;
    gather_pairs<W>(exp_table, eindex, tail, scale_bits);
    const Double scale = lane_double<W>(lane_bits<W>(scale_bits) + etop);
    const double* c = tables::kExpPoly;
    const Double er2 = er * er;
    const Double tmp = tail + er + er2 * (c[0] + er * c[1]) + er2 * er2 * (c[2] + er * c[3]);
    Double result = scale + scale * tmp;

    if (any_lane<W>(scalar)) {
        for (int l = 0; l < W; ++l)
            if (scalar[l]) result[l] = portable_pow(x[l], y[l]);
    }
    return result;
}

// log(x) lane by lane.
template <int W>
typename Lanes<W>::Double log_lanes(typename Lanes<W>::Double x) {
    using namespace portable_math_detail;
    namespace tables = portable_math_tables;
    using Double = typename Lanes<W>::Double;
    using Bits = typename Lanes<W>::Bits;
    using Int = typename Lanes<W>::Int;

    const Bits ix = lane_bits<W>(x);
    const Bits top = ix >> 48;
    const Int scalar = reinterpret_cast<Int>(ix - kLogNear1Low < kLogNear1High - kLogNear1Low) |
                       reinterpret_cast<Int>(top - 0x0010 >= 0x7ff0 - 0x0010);

    const Bits from_offset = ix - kLogOffset;
    const Bits index = (from_offset >> 45) & 127;
    const Double kd = lane_int_to_double<W>(reinterpret_cast<Int>(from_offset) >> 52);
    const Bits iz = ix - (from_offset & kExponentMask);
    const double* log_table = &tables::kLog[0].invc;
    static_assert(sizeof(tables::LogEntry) == 4 * sizeof(double));
    const Bits entry = index * 4;
    Double invc, logc, chi, clo;
    gather_pairs<W>(log_table, entry, invc, logc);
    gather_pairs<W>(log_table + 2, entry, chi, clo);
    const Double z = lane_double<W>(iz);
    const Double r = (z - chi - clo) * invc;
    const Double w = kd * tables::kLn2Hi + logc;
    const Double hi = w + r;
    const Double lo = w - hi + r + kd * tables::kLn2Lo;
    const double* a = tables::kLogPoly;
    const Double r2 = r * r;
    Double result = lo + r2 * a[0] + r * r2 * (a[1] + r * a[2] + r2 * (a[3] + r * a[4])) + hi;

    if (any_lane<W>(scalar)) {
        for (int l = 0; l < W; ++l)
            if (scalar[l]) result[l] = portable_log(x[l]);
    }
    return result;
}

// The array forms: whole vectors, then the rest one by one.
template <int W>
void pow_array(const double* x, const double* y, double* out, std::size_t n) {
    using Double = typename Lanes<W>::Double;
    std::size_t i = 0;
    for (; i + W <= n; i += W) {
        Double vx, vy;
        std::memcpy(&vx, x + i, sizeof vx);
        std::memcpy(&vy, y + i, sizeof vy);
        const Double v = pow_lanes<W>(vx, vy);
        std::memcpy(out + i, &v, sizeof v);
    }
    for (; i < n; ++i) out[i] = portable_pow(x[i], y[i]);
}

template <int W>
void log_array(const double* x, double* out, std::size_t n) {
    using Double = typename Lanes<W>::Double;
    std::size_t i = 0;
    for (; i + W <= n; i += W) {
        Double vx;
        std::memcpy(&vx, x + i, sizeof vx);
        const Double v = log_lanes<W>(vx);
        std::memcpy(out + i, &v, sizeof v);
    }
    for (; i < n; ++i) out[i] = portable_log(x[i]);
}

}  // namespace
}  // namespace hydrosk::toolkit
