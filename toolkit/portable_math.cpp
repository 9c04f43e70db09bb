// pow and log that round as glibc's portable (non-FMA) routines do.
//
// Both follow the table-driven algorithms of 2018 that glibc uses since 2.28:
// the argument is reduced with a table of 128 points c (x = 2^k z, z near c),
// log(z / c) comes from a short polynomial in r = z / c - 1, and pow evaluates
// exp(y log x) with the logarithm carried in two doubles. Without fused
// multiply-adds the exact products the method needs come from splitting
// operands into halves whose products are exact. Every operation below is
// done in the order glibc's portable variant does it, and this file is built
// without contraction into fused multiply-adds, so each result is the same
// double. The vector forms (portable_math_vector.cpp) use the same steps.
#include "toolkit/portable_math.h"

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "toolkit/portable_math_detail.h"
#include "toolkit/portable_math_tables.h"

namespace hydrosk::toolkit {

namespace {

namespace tables = portable_math_tables;
using namespace portable_math_detail;

// log(x) = hi + lo for the bits ix of a positive normal x (or of a subnormal
// x scaled by 2^52, with the exponent field made negative), lo carrying about
// 15 bits more.
struct SplitLog {
    double hi;
    double lo;
};

SplitLog pow_log(std::uint64_t ix) {
    const std::uint64_t from_offset = ix - kPowLogOffset;
    const int index = static_cast<int>((from_offset >> 45) % 128);
    const double kd = static_cast<double>(static_cast<std::int64_t>(from_offset) >> 52);
    const std::uint64_t iz = ix - (from_offset & kExponentMask);
    const double z = as_double(iz);
    const tables::PowLogEntry& entry = tables::kPowLog[index];
    const double* a = tables::kPowLogPoly;

    // r = z / c - 1 = z invc - 1 is exact; z = zhi + zlo with zhi of 21
    // significant bits, so that zhi invc and rhi rhi are exact as well.
    const double zhi = as_double((iz + (std::uint64_t{1} << 31)) & kHigh21Bits);
    const double zlo = z - zhi;
    const double rhi = zhi * entry.invc - 1.0;
    const double rlo = zlo * entry.invc;
    const double r = rhi + rlo;

    // k ln2 + log(c) + r, with its rounding error.
    const double t1 = kd * tables::kLn2Hi + entry.logc;
    const double t2 = t1 + r;
    const double lo1 = kd * tables::kLn2Lo + entry.logctail;
    const double lo2 = t1 - t2 + r;

    // + a0 r^2 (hi exactly from rhi, the rest into lo), + the higher powers.
    const double ar = a[0] * r;
    const double ar2 = r * ar;
    const double ar3 = r * ar2;
    const double arhi = a[0] * rhi;
    const double arhi2 = rhi * arhi;
    const double hi = t2 + arhi2;
    const double lo3 = rlo * (ar + arhi);
    const double lo4 = t2 - hi + arhi2;
    const double p = ar3 * (a[1] + r * a[2] + ar2 * (a[3] + r * a[4] + ar2 * (a[5] + r * a[6])));
    const double lo = lo1 + lo2 + lo3 + lo4 + p;
    const double y = hi + lo;
    return {y, hi - y + lo};
}

// scale (1 + tmp) where the exponent of scale left the normal range: bits
// holds scale's bits with an exponent that may have wrapped, ki the reduction
// integer whose sign tells an overflow (k > 0) from an underflow.
double exp_scale_outside_range(double tmp, std::uint64_t bits, std::uint64_t ki) {
    if ((ki & 0x80000000) == 0) {
        const double scale = as_double(bits - (std::uint64_t{1009} << 52));
        return 0x1p1009 * (scale + scale * tmp);
    }
    bits += std::uint64_t{1022} << 52;
    const double scale = as_double(bits);
    double y = scale + scale * tmp;
    if (std::abs(y) < 1.0) {
        // Round once at the final subnormal precision: 1 + y is rounded to
        // double (with the lost part carried in lo), which is exactly the
        // rounding of 2^-1022 y, then 1 is taken back.
        const double one = y < 0.0 ? -1.0 : 1.0;
        double lo = scale - y + scale * tmp;
        const double hi = one + y;
        lo = one - hi + y + lo;
        y = (hi + lo) - one;
        if (y == 0.0) y = as_double(bits & kSignBit);
    }
    return 0x1p-1022 * y;
}

// exp(x + xtail), negated when sign_bias is kExpSignBias; |xtail| is tiny
// beside |x|.
double pow_exp(double x, double xtail, std::uint64_t sign_bias) {
    std::uint32_t abstop = top12(x) & 0x7ff;
    if (abstop - kTop12Tiny >= kTop12Big - kTop12Tiny) {
        if (abstop < kTop12Tiny) {
            // |x| < 2^-54: exp(x) rounds to 1 + x.
            const double one = 1.0 + x;
            return sign_bias != 0 ? -one : one;
        }
        if (abstop >= kTop12Huge) {
            if (as_bits(x) >> 63) return sign_bias != 0 ? -0.0 : 0.0;
            return sign_bias != 0 ? -std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::infinity();
        }
        abstop = 0;  // near the ends of the range: scaled apart below
    }
    // x = k ln2/128 + r with |r| <= ln2/256; exp(x) = 2^(k/128) exp(r).
    const double z = tables::kInvLn2N * x;
    double kd = z + tables::kExpShift;
    const std::uint64_t ki = as_bits(kd);
    kd -= tables::kExpShift;
    double r = x + kd * tables::kNegLn2HiN + kd * tables::kNegLn2LoN;
    r += xtail;
    const std::uint64_t index = 2 * (ki % 128);
    const std::uint64_t top = (ki + sign_bias) << 45;
    const double tail = as_double(tables::kExp[index]);
    const std::uint64_t scale_bits = tables::kExp[index + 1] + top;
    const double* c = tables::kExpPoly;
    const double r2 = r * r;
    const double tmp = tail + r + r2 * (c[0] + r * c[1]) + r2 * r2 * (c[2] + r * c[3]);
    if (abstop == 0) return exp_scale_outside_range(tmp, scale_bits, ki);
    const double scale = as_double(scale_bits);
    return scale + scale * tmp;
}

// 0 when the finite, non-zero y with bits iy is no integer, 1 when odd, 2 when even.
int integer_kind(std::uint64_t iy) {
    const int e = static_cast<int>(iy >> 52 & 0x7ff);
    if (e < 0x3ff) return 0;
    if (e > 0x3ff + 52) return 2;
    const std::uint64_t unit = std::uint64_t{1} << (0x3ff + 52 - e);
    if (iy & (unit - 1)) return 0;
    return (iy & unit) ? 1 : 2;
}

// True for the bits of 0, an infinity or a NaN (of either sign).
bool zero_inf_nan(std::uint64_t i) {
    return 2 * i - 1 >= 2 * kInfBits - 1;
}

bool signaling_nan(double x) {
    const std::uint64_t i = as_bits(x);
    return 2 * (i ^ kQuietBit) > 2 * (kInfBits | kQuietBit);
}

// The NaN of an invalid operation on x (x itself, quieted, when it is a NaN).
double invalid(double x) {
    return (x - x) / (x - x);
}

}  // namespace

double portable_pow(double x, double y) {
    std::uint64_t sign_bias = 0;
    std::uint64_t ix = as_bits(x);
    const std::uint64_t iy = as_bits(y);
    std::uint32_t topx = top12(x);
    const std::uint32_t topy = top12(y);
    if (pow_needs_care(topx, topy)) {
        if (zero_inf_nan(iy)) {
            if (2 * iy == 0) return signaling_nan(x) ? x + y : 1.0;
            if (ix == kOneBits) return signaling_nan(y) ? x + y : 1.0;
            if (2 * ix > 2 * kInfBits || 2 * iy > 2 * kInfBits) return x + y;
            if (2 * ix == 2 * kOneBits) return 1.0;
            // |x| < 1 and y = +inf, or |x| > 1 and y = -inf.
            if ((2 * ix < 2 * kOneBits) == !(iy >> 63)) return 0.0;
            return y * y;
        }
        if (zero_inf_nan(ix)) {
            double x2 = x * x;
            if ((ix >> 63) && integer_kind(iy) == 1) x2 = -x2;
            return (iy >> 63) ? 1 / x2 : x2;
        }
        // x and y are finite and not zero.
        if (ix >> 63) {
            const int kind = integer_kind(iy);
            if (kind == 0) return invalid(x);
            if (kind == 1) sign_bias = kExpSignBias;
            ix &= ~kSignBit;
            topx &= 0x7ff;
        }
        if ((topy & 0x7ff) - kTop12YTiny >= kTop12YHuge - kTop12YTiny) {
            // |y| < 2^-65 or |y| >= 2^63 (y even then: sign_bias is 0).
            if (ix == kOneBits) return 1.0;
            if ((topy & 0x7ff) < kTop12YTiny) return ix > kOneBits ? 1.0 + y : 1.0 - y;
            const bool overflow = (ix > kOneBits) == (topy < 0x800);
            return overflow ? std::numeric_limits<double>::infinity() : 0.0;
        }
        if (topx == 0) {
            // Subnormal x: scaled to normal, the exponent field made negative.
            ix = as_bits(x * 0x1p52);
            ix &= ~kSignBit;
            ix -= std::uint64_t{52} << 52;
        }
    }
    const SplitLog log_x = pow_log(ix);
    // y log x = ehi + elo: y and log_x.hi cut to 26 significant bits, so that
    // their product is exact.
    const double yhi = as_double(iy & kHigh26Bits);
    const double ylo = y - yhi;
    const double lhi = as_double(as_bits(log_x.hi) & kHigh26Bits);
    const double llo = log_x.hi - lhi + log_x.lo;
    const double ehi = yhi * lhi;
    const double elo = ylo * lhi + y * llo;
    return pow_exp(ehi, elo, sign_bias);
}

double portable_log(double x) {
    std::uint64_t ix = as_bits(x);
    const std::uint32_t top = static_cast<std::uint32_t>(ix >> 48);
    if (ix - kLogNear1Low < kLogNear1High - kLogNear1Low) {
        // x within 1 - 2^-4 .. 1 + 0x1.09p-4: a polynomial in x - 1 alone.
        if (ix == kOneBits) return 0.0;
        const double* b = tables::kLogPolyNear1;
        const double r = x - 1.0;
        const double r2 = r * r;
        const double r3 = r * r2;
        double y =
            r3 *
            (b[1] + r * b[2] + r2 * b[3] +
             r3 * (b[4] + r * b[5] + r2 * b[6] + r3 * (b[7] + r * b[8] + r2 * b[9] + r3 * b[10])));
        // r + b0 r^2 with rhi of 26 significant bits, so that rhi^2 is exact.
        double w = r * 0x1p27;
        const double rhi = r + w - w;
        const double rlo = r - rhi;
        w = rhi * rhi * b[0];
        const double hi = r + w;
        double lo = r - hi + w;
        lo += b[0] * rlo * (rhi + r);
        y += lo;
        y += hi;
        return y;
    }
    if (top - 0x0010 >= 0x7ff0 - 0x0010) {
        // x < 2^-1022 (zero, subnormal or negative), infinity or NaN.
        if (ix * 2 == 0) return -std::numeric_limits<double>::infinity();
        if (ix == kInfBits) return x;
        if ((top & 0x8000) || (top & 0x7ff0) == 0x7ff0) return invalid(x);
        ix = as_bits(x * 0x1p52);
        ix -= std::uint64_t{52} << 52;
    }
    const std::uint64_t from_offset = ix - kLogOffset;
    const int index = static_cast<int>((from_offset >> 45) % 128);
    const double kd = static_cast<double>(static_cast<std::int64_t>(from_offset) >> 52);
    const std::uint64_t iz = ix - (from_offset & kExponentMask);
    const tables::LogEntry& entry = tables::kLog[index];
    const double z = as_double(iz);
    // r = z / c - 1, c = chi + clo chosen so that z - chi - clo is nearly exact.
    const double r = (z - entry.chi - entry.clo) * entry.invc;
    const double w = kd * tables::kLn2Hi + entry.logc;
    const double hi = w + r;
    const double lo = w - hi + r + kd * tables::kLn2Lo;
    const double* a = tables::kLogPoly;
    const double r2 = r * r;
    return lo + r2 * a[0] + r * r2 * (a[1] + r * a[2] + r2 * (a[3] + r * a[4])) + hi;
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
