// Bit patterns and helpers shared by the scalar and the vector pow and log
// (portable_math.cpp, portable_math_vector.cpp).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace hydrosk::toolkit::portable_math_detail {

inline std::uint64_t as_bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
inline double as_double(std::uint64_t i) {
    return std::bit_cast<double>(i);
}
// Sign and exponent of x.
inline std::uint32_t top12(double x) {
    return static_cast<std::uint32_t>(as_bits(x) >> 52);
}

inline constexpr std::uint64_t kSignBit = 0x8000000000000000;
inline constexpr std::uint64_t kExponentMask = 0xfffULL << 52;
inline constexpr std::uint64_t kQuietBit = 0x0008000000000000;
inline constexpr std::uint64_t kOneBits = 0x3ff0000000000000;
inline constexpr std::uint64_t kInfBits = 0x7ff0000000000000;
inline constexpr std::uint64_t kHigh21Bits = ~0ULL << 32;  // 1 + 20 bits of the significand
inline constexpr std::uint64_t kHigh26Bits = ~0ULL << 27;  // 1 + 25 bits

// The reduced argument z of pow's and log's logarithms lies in
// [offset, 2 offset): these are the offsets' bits.
inline constexpr std::uint64_t kPowLogOffset = 0x3fe6955500000000;
inline constexpr std::uint64_t kLogOffset = 0x3fe6000000000000;
// log's range near 1 where it uses a polynomial in x - 1 alone.
inline constexpr std::uint64_t kLogNear1Low = 0x3fee000000000000;   // 1 - 2^-4
inline constexpr std::uint64_t kLogNear1High = 0x3ff1090000000000;  // 1 + 0x1.09p-4

// top12 of 2^-54, 512 and 1024: exp's argument range of the common path.
inline constexpr std::uint32_t kTop12Tiny = 0x3c9;
inline constexpr std::uint32_t kTop12Big = 0x408;
inline constexpr std::uint32_t kTop12Huge = 0x409;
// top12 of 2^-65 and 2^63: pow's exponents of the common path.
inline constexpr std::uint32_t kTop12YTiny = 0x3be;
inline constexpr std::uint32_t kTop12YHuge = 0x43e;
// Added to exp's reduction integer, it sets the result's sign bit.
inline constexpr std::uint64_t kExpSignBias = 0x800 << 7;

// pow's special cases: x zero, subnormal, negative, infinite or NaN, or |y|
// below 2^-65, at or above 2^63, or NaN.
inline bool pow_needs_care(std::uint32_t topx, std::uint32_t topy) {
    return topx - 0x001 >= 0x7ff - 0x001 ||
           (topy & 0x7ff) - kTop12YTiny >= kTop12YHuge - kTop12YTiny;
}

// The array forms on each instruction set, whatever the processor has (the
// caller checks): the scalar loop, AVX2 (4 lanes), AVX-512 (8 lanes), and the
// 8-lane code on AVX2 registers, which lets a processor without AVX-512 check
// the 8-lane steps.
void pow_array_scalar(const double* x, const double* y, double* out, std::size_t n);
void log_array_scalar(const double* x, double* out, std::size_t n);
#if defined(__x86_64__)
void pow_array_avx2(const double* x, const double* y, double* out, std::size_t n);
void log_array_avx2(const double* x, double* out, std::size_t n);
void pow_array_avx512(const double* x, const double* y, double* out, std::size_t n);
void log_array_avx512(const double* x, double* out, std::size_t n);
void pow_array_8_lanes_on_avx2(const double* x, const double* y, double* out, std::size_t n);
void log_array_8_lanes_on_avx2(const double* x, double* out, std::size_t n);
#endif

}  // namespace hydrosk::toolkit::portable_math_detail
