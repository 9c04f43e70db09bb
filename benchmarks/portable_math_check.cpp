// portable_math_check [COUNT]: checks the toolkit's pow and log, scalar and on
// every vector path this processor has, against glibc's portable routines on
// COUNT arguments each (10^8 unless given), and gives each one's CPU time per
// call, over those arguments (most of the edge cases go the scalar way) and
// over the arguments of the hydraulic laws (flows and resistances from 2^-20
// to 2^12 raised to 0.852 and -1.333, their logarithms). Exits with 1 when any
// result differs in any bit.
//
// glibc selects its routines at start-up, so the program starts itself again
// under the tunable that selects the portable ones (as the tests do).
#include <time.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/toolkit/portable_math/arguments.h"
#include "toolkit/portable_math.h"
#include "toolkit/portable_math_detail.h"

namespace {

using namespace hydrosk::toolkit;
namespace arguments = portable_math_arguments;

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// One way of computing pow and log over arrays, with its running totals.
struct Contender {
    std::string name;
    void (*pow)(const double*, const double*, double*, std::size_t);
    void (*log)(const double*, double*, std::size_t);
    double pow_seconds = 0.0;
    double log_seconds = 0.0;
    long pow_differences = 0;
    long log_differences = 0;
};

void glibc_pow(const double* x, const double* y, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = std::pow(x[i], y[i]);
}

void glibc_log(const double* x, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = std::log(x[i]);
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

int main(int argc, char** argv) {
    restart_with_portable_math(argv);
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables == nullptr ||
        std::string(tunables).find(kPortableMathTunable) == std::string::npos) {
        std::fprintf(stderr, "portable_math_check: cannot run under GLIBC_TUNABLES=%s\n",
                     kPortableMathTunable);
        return 2;
    }
    long long count = 100'000'000;
    if (argc > 1) {
        char* end = nullptr;
        count = std::strtoll(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || count <= 0) {
            std::fprintf(stderr,
                         "portable_math_check: COUNT must be a positive integer, not '%s'\n",
                         argv[1]);
            return 2;
        }
    }

    using namespace portable_math_detail;
    Contender reference{"glibc (portable)", glibc_pow, glibc_log};
    std::vector<Contender> contenders = {{"scalar", pow_array_scalar, log_array_scalar}};
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        contenders.push_back({"avx2 (4 lanes)", pow_array_avx2, log_array_avx2});
        contenders.push_back(
            {"8 lanes on avx2", pow_array_8_lanes_on_avx2, log_array_8_lanes_on_avx2});
    }
    if (__builtin_cpu_supports("avx512f"))
        contenders.push_back({"avx512 (8 lanes)", pow_array_avx512, log_array_avx512});
#endif

    constexpr std::size_t kChunk = 1 << 20;
    std::vector<double> expected(kChunk);
    std::vector<double> actual(kChunk);
    long long done = 0;
    double pow_calls = 0.0;
    double log_calls = 0.0;
    for (std::uint64_t seed = 1; done < count; ++seed) {
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(kChunk, count - done));
        const arguments::PowArguments args = arguments::pow_arguments(n, seed, seed == 1);
        const std::vector<double> log_args = arguments::log_arguments(n, seed, seed == 1);
        const std::size_t pow_n = args.x.size();
        const std::size_t log_n = log_args.size();
        expected.resize(std::max(pow_n, log_n));
        actual.resize(expected.size());

        double start = cpu_seconds();
        reference.pow(args.x.data(), args.y.data(), expected.data(), pow_n);
        reference.pow_seconds += cpu_seconds() - start;
        for (Contender& c : contenders) {
            start = cpu_seconds();
            c.pow(args.x.data(), args.y.data(), actual.data(), pow_n);
            c.pow_seconds += cpu_seconds() - start;
            for (std::size_t i = 0; i < pow_n; ++i) {
                if (same_bits(expected[i], actual[i])) continue;
                if (c.pow_differences++ < 5)
                    std::printf("%s: pow(%a, %a) = %a, glibc %a\n", c.name.c_str(), args.x[i],
                                args.y[i], actual[i], expected[i]);
            }
        }

        start = cpu_seconds();
        reference.log(log_args.data(), expected.data(), log_n);
        reference.log_seconds += cpu_seconds() - start;
        for (Contender& c : contenders) {
            start = cpu_seconds();
            c.log(log_args.data(), actual.data(), log_n);
            c.log_seconds += cpu_seconds() - start;
            for (std::size_t i = 0; i < log_n; ++i) {
                if (same_bits(expected[i], actual[i])) continue;
                if (c.log_differences++ < 5)
                    std::printf("%s: log(%a) = %a, glibc %a\n", c.name.c_str(), log_args[i],
                                actual[i], expected[i]);
            }
        }
        done += static_cast<long long>(n);
        pow_calls += static_cast<double>(pow_n);
        log_calls += static_cast<double>(log_n);
    }

    std::printf("%lld drawn arguments each for pow and log (and every pair of edge values)\n",
                count);
    std::printf("%-18s %12s %12s %12s %12s\n", "", "pow ns/call", "pow differ", "log ns/call",
                "log differ");
    std::printf("%-18s %12.2f %12s %12.2f %12s\n", reference.name.c_str(),
                1e9 * reference.pow_seconds / pow_calls, "-",
                1e9 * reference.log_seconds / log_calls, "-");
    bool all_equal = true;
    for (const Contender& c : contenders) {
        std::printf("%-18s %12.2f %12ld %12.2f %12ld\n", c.name.c_str(),
                    1e9 * c.pow_seconds / pow_calls, c.pow_differences,
                    1e9 * c.log_seconds / log_calls, c.log_differences);
        all_equal = all_equal && c.pow_differences == 0 && c.log_differences == 0;
    }

    // Speed on the laws' arguments: 2^18 of them, again and again.
    constexpr std::size_t kLawCount = 1 << 18;
    const int repeats = static_cast<int>(std::clamp<long long>(count / kLawCount, 1, 40));
    std::vector<double> law_x(kLawCount);
    std::vector<double> law_y(kLawCount);
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i < kLawCount; ++i) {
        law_x[i] = std::exp2(std::uniform_real_distribution<double>(-20, 12)(random));
        law_y[i] = i % 2 ? 0.852 : -1.333;
    }
    std::printf("\nthe hydraulic laws' arguments, %d x %zu calls\n", repeats, kLawCount);
    std::printf("%-18s %12s %12s\n", "", "pow ns/call", "log ns/call");
    auto time_laws = [&](const Contender& c) {
        double start = cpu_seconds();
        for (int r = 0; r < repeats; ++r)
            c.pow(law_x.data(), law_y.data(), actual.data(), kLawCount);
        const double pow_seconds = cpu_seconds() - start;
        start = cpu_seconds();
        for (int r = 0; r < repeats; ++r) c.log(law_x.data(), actual.data(), kLawCount);
        const double log_seconds = cpu_seconds() - start;
        const double calls = static_cast<double>(repeats) * static_cast<double>(kLawCount);
        std::printf("%-18s %12.2f %12.2f\n", c.name.c_str(), pow_seconds * 1e9 / calls,
                    log_seconds * 1e9 / calls);
    };
    actual.resize(kLawCount);
    time_laws(reference);
    for (const Contender& c : contenders) time_laws(c);

    std::printf(all_equal ? "every result equals glibc's to the last bit\n"
                          : "SOME RESULTS DIFFER FROM GLIBC'S\n");
    return all_equal ? 0 : 1;
}
