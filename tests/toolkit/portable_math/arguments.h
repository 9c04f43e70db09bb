// Arguments for checking pow and log against glibc: the exponents of the
// hydraulic laws, doubles of every kind drawn from their bits, and the edges
// (zeros, subnormals, infinities, NaNs, negative bases, results near overflow
// and underflow). Shared by the tests and benchmarks/portable_math_check.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace hydrosk::toolkit::portable_math_arguments {

// Values at the edges of both functions' ranges.
inline std::vector<double> edge_values() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    const double signaling = std::numeric_limits<double>::signaling_NaN();
    std::vector<double> values = {0.0,
                                  std::numeric_limits<double>::denorm_min(),
                                  0x1.23456789abcdep-1040,
                                  0x0.fffffffffffffp-1022,
                                  std::numeric_limits<double>::min(),
                                  0x1p-66,
                                  0x1p-54,
                                  0.5,
                                  0.75,
                                  1.0 - 0x1p-53,
                                  1.0,
                                  1.0 + 0x1p-52,
                                  1.0625,
                                  1.5,
                                  2.0,
                                  3.0,
                                  0.852,
                                  1.852,
                                  4.871,
                                  1024.0,
                                  1075.0,
                                  0x1p52 - 1.0,
                                  0x1p53 + 2.0,
                                  0x1p63,
                                  0x1p64,
                                  std::numeric_limits<double>::max(),
                                  inf,
                                  quiet,
                                  signaling,
                                  std::bit_cast<double>(std::uint64_t{0x7ff8000000000123})};
    const std::size_t count = values.size();
    for (std::size_t i = 0; i < count; ++i) values.push_back(-values[i]);
    return values;
}

// Every pair of edge values, then `count` drawn pairs, for pow.
struct PowArguments {
    std::vector<double> x;
    std::vector<double> y;
};

inline PowArguments pow_arguments(std::size_t count, std::uint64_t seed, bool with_edges = true) {
    PowArguments args;
    if (with_edges) {
        const std::vector<double> edges = edge_values();
        for (double x : edges) {
            for (double y : edges) {
                args.x.push_back(x);
                args.y.push_back(y);
            }
        }
    }
    std::mt19937_64 random(seed);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    auto log_uniform = [&](double low_exponent, double high_exponent) {
        return std::exp2(uniform(low_exponent, high_exponent));
    };
    // The exponents that the hydraulic laws raise to.
    constexpr std::array<double, 12> kLawExponents = {0.852, 1.852 - 1.0, 1.85,        0.85,
                                                      0.9,   4.871,       -1.333,      0.5,
                                                      -0.5,  0.54,        1.0 / 1.852, 2.0 - 1.85};
    for (std::size_t i = 0; i < count; ++i) {
        double x = 0.0;
        double y = 0.0;
        switch (i % 10) {
            case 0:  // ordinary bases and exponents
                x = log_uniform(-30, 30);
                y = uniform(-6, 6);
                break;
            case 1:  // flows, resistances and speeds in the laws' exponents
                x = log_uniform(-27, 17);
                y = kLawExponents[random() % kLawExponents.size()];
                break;
            case 2:  // any doubles
                x = std::bit_cast<double>(random());
                y = std::bit_cast<double>(random());
                break;
            case 3:  // y log x across exp's whole range, past overflow and underflow
                x = log_uniform(-1020, 1020);
                y = uniform(-760, 720) / std::log(x);
                break;
            case 4:  // negative bases with integer exponents, odd and even
                x = -log_uniform(-40, 40);
                y = std::floor(uniform(-80, 80));
                if (random() % 8 == 0) y = std::ldexp(std::floor(uniform(1, 0x1p20)), 40);
                break;
            case 5:  // negative bases with other exponents
                x = -log_uniform(-10, 10);
                y = uniform(-4, 4);
                break;
            case 6:  // subnormal bases
                x = std::bit_cast<double>(random() >> 12);
                y = uniform(-1.1, 1.1);
                break;
            case 7:  // bases near 1 with huge exponents, and tiny exponents
                x = 1.0 + uniform(-0x1p-20, 0x1p-20);
                y = random() % 2 ? std::ldexp(uniform(-1, 1), 70) : std::ldexp(uniform(-1, 1), -64);
                break;
            case 8:  // results close to overflow and in the subnormal range
                x = log_uniform(-8, 8);
                if (x == 1.0) x = 2.0;
                y = (random() % 2 ? uniform(707, 710) : uniform(-745.2, -707)) / std::log(x);
                break;
            default:  // any positive bases with small integer exponents
                x = std::bit_cast<double>(random() >> 1);
                y = std::floor(uniform(-4, 5));
                break;
        }
        args.x.push_back(x);
        args.y.push_back(y);
    }
    return args;
}

// The edge values, then `count` drawn arguments, for log.
inline std::vector<double> log_arguments(std::size_t count, std::uint64_t seed,
                                         bool with_edges = true) {
    std::vector<double> args;
    if (with_edges) args = edge_values();
    std::mt19937_64 random(seed);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (std::size_t i = 0; i < count; ++i) {
        switch (i % 5) {
            case 0:  // any doubles
                args.push_back(std::bit_cast<double>(random()));
                break;
            case 1:  // any positive doubles
                args.push_back(std::bit_cast<double>(random() >> 1));
                break;
            case 2:  // near 1, on both sides of the polynomial's range
                args.push_back(1.0 + uniform(-0.07, 0.07));
                break;
            case 3:  // subnormals
                args.push_back(std::bit_cast<double>(random() >> 12));
                break;
            default:  // the friction laws' arguments
                args.push_back(std::exp2(uniform(-30, 10)));
                break;
        }
    }
    return args;
}

}  // namespace hydrosk::toolkit::portable_math_arguments
