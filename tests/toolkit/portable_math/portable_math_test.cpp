// pow and log against glibc's portable routines, and every vector path against
// the scalar functions, bit for bit. The program runs under the glibc tunable
// that selects those routines (main() below starts it again with it).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/toolkit/portable_math/arguments.h"
#include "toolkit/portable_math.h"
#include "toolkit/portable_math_detail.h"
#include "toolkit/portable_math_x86.h"

namespace hydrosk::toolkit {
namespace {

namespace arguments = portable_math_arguments;

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The first few differences, and how many there are.
struct Differences {
    long count = 0;
    std::string first;

    void add(const char* what, double x, double y, double expected, double actual) {
        if (count++ >= 5) return;
        char line[200];
        std::snprintf(line, sizeof line, "%s(%a, %a): expected %a, got %a\n", what, x, y, expected,
                      actual);
        first += line;
    }
};

TEST(PortableMath, RunsUnderTheTunableOfGlibcsPortableRoutines) {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    ASSERT_NE(tunables, nullptr);
    EXPECT_NE(std::string(tunables).find(kPortableMathTunable), std::string::npos);
}

TEST(PortableMath, PowIsGlibcsPortablePow) {
    const arguments::PowArguments args = arguments::pow_arguments(3'000'000, 24);
    Differences differences;
    for (std::size_t i = 0; i < args.x.size(); ++i) {
        const double expected = std::pow(args.x[i], args.y[i]);
        const double actual = portable_pow(args.x[i], args.y[i]);
        if (!same_bits(expected, actual))
            differences.add("pow", args.x[i], args.y[i], expected, actual);
    }
    EXPECT_EQ(differences.count, 0) << differences.first;
}

TEST(PortableMath, LogIsGlibcsPortableLog) {
    const std::vector<double> args = arguments::log_arguments(2'000'000, 24);
    Differences differences;
    for (double x : args) {
        const double expected = std::log(x);
        const double actual = portable_log(x);
        if (!same_bits(expected, actual)) differences.add("log", x, 0.0, expected, actual);
    }
    EXPECT_EQ(differences.count, 0) << differences.first;
}

// The array forms on one instruction set.
struct ArrayPath {
    const char* name;
    void (*pow)(const double*, const double*, double*, std::size_t);
    void (*log)(const double*, double*, std::size_t);
};

std::vector<ArrayPath> available_paths() {
    using namespace portable_math_detail;
    std::vector<ArrayPath> paths = {{"scalar", pow_array_scalar, log_array_scalar},
                                    {"dispatched", portable_pow_array, portable_log_array}};
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        paths.push_back({"avx2", pow_array_avx2, log_array_avx2});
        paths.push_back({"8 lanes on avx2", pow_array_8_lanes_on_avx2, log_array_8_lanes_on_avx2});
    }
    if (__builtin_cpu_supports("avx512f"))
        paths.push_back({"avx512", pow_array_avx512, log_array_avx512});
#endif
    return paths;
}

// Every path, on an odd count (a tail after the whole vectors) and in place.
TEST(PortableMath, EveryVectorPathGivesTheScalarResults) {
    const arguments::PowArguments args = arguments::pow_arguments(1'000'003, 25);
    const std::vector<double> log_args = arguments::log_arguments(1'000'003, 25);
    for (const ArrayPath& path : available_paths()) {
        SCOPED_TRACE(path.name);
        std::vector<double> out = args.y;
        path.pow(args.x.data(), out.data(), out.data(), out.size());
        Differences differences;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double expected = portable_pow(args.x[i], args.y[i]);
            if (!same_bits(expected, out[i]))
                differences.add("pow", args.x[i], args.y[i], expected, out[i]);
        }
        out = log_args;
        path.log(out.data(), out.data(), out.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double expected = portable_log(log_args[i]);
            if (!same_bits(expected, out[i]))
                differences.add("log", log_args[i], 0, expected, out[i]);
        }
        EXPECT_EQ(differences.count, 0) << differences.first;
    }
}

#if defined(__x86_64__)
// The register forms that vector code calls: lanes that differ in kind side by side.
__attribute__((target("avx2"))) void check_avx2_registers(const arguments::PowArguments& args,
                                                          Differences& differences) {
    for (std::size_t i = 0; i + 4 <= args.x.size(); i += 4) {
        alignas(32) double pow_out[4];
        alignas(32) double log_out[4];
        const __m256d x = _mm256_loadu_pd(&args.x[i]);
        _mm256_store_pd(pow_out, portable_pow_avx2(x, _mm256_loadu_pd(&args.y[i])));
        _mm256_store_pd(log_out, portable_log_avx2(x));
        for (std::size_t l = 0; l < 4; ++l) {
            const double x_l = args.x[i + l];
            const double y_l = args.y[i + l];
            if (!same_bits(pow_out[l], portable_pow(x_l, y_l)))
                differences.add("pow", x_l, y_l, portable_pow(x_l, y_l), pow_out[l]);
            if (!same_bits(log_out[l], portable_log(x_l)))
                differences.add("log", x_l, 0, portable_log(x_l), log_out[l]);
        }
    }
}

__attribute__((target("avx512f"))) void check_avx512_registers(const arguments::PowArguments& args,
                                                               Differences& differences) {
    for (std::size_t i = 0; i + 8 <= args.x.size(); i += 8) {
        alignas(64) double pow_out[8];
        alignas(64) double log_out[8];
        const __m512d x = _mm512_loadu_pd(&args.x[i]);
        _mm512_store_pd(pow_out, portable_pow_avx512(x, _mm512_loadu_pd(&args.y[i])));
        _mm512_store_pd(log_out, portable_log_avx512(x));
        for (std::size_t l = 0; l < 8; ++l) {
            const double x_l = args.x[i + l];
            const double y_l = args.y[i + l];
            if (!same_bits(pow_out[l], portable_pow(x_l, y_l)))
                differences.add("pow", x_l, y_l, portable_pow(x_l, y_l), pow_out[l]);
            if (!same_bits(log_out[l], portable_log(x_l)))
                differences.add("log", x_l, 0, portable_log(x_l), log_out[l]);
        }
    }
}

TEST(PortableMath, RegisterFormsGiveTheScalarResults) {
    const arguments::PowArguments args = arguments::pow_arguments(200'000, 26);
    Differences differences;
    if (__builtin_cpu_supports("avx2")) check_avx2_registers(args, differences);
    if (__builtin_cpu_supports("avx512f")) check_avx512_registers(args, differences);
    EXPECT_EQ(differences.count, 0) << differences.first;
}
#endif

}  // namespace
}  // namespace hydrosk::toolkit

// glibc reads its tunables at start-up only: the program starts itself again
// with the one that selects the portable routines, which the tests compare with.
int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
