// Hydraulic results that do not depend on the processor.
//
// glibc picks FMA-specialised variants of pow and log on processors with FMA.
// They round a few results differently from its portable variants, and a
// hydraulic simulation amplifies those last-bit differences: over a long
// extended period the time at which a tank fills can move by many seconds.
// EPANET 2.2's reference build rounds as glibc's portable variants do, so the
// toolkit computes pow and log with its own functions, which give those
// variants' results to the last bit on every processor, one value at a time or
// several side by side in the lanes of vector registers.
#pragma once

#include <cstddef>

namespace hydrosk::toolkit {

// x to the power y and the natural logarithm of x, rounded exactly as glibc's
// portable pow and log round them, special cases included (zeros, infinities,
// NaN, negative bases with integer exponents, subnormals, overflow).
double portable_pow(double x, double y);
double portable_log(double x);

// out[i] = portable_pow(x[i], y[i]) and out[i] = portable_log(x[i]) for
// i < n, computed with the widest vector instructions that the processor has
// (AVX-512, AVX2 or none); every element is the scalar result to the last bit.
// out may be x or y.
void portable_pow_array(const double* x, const double* y, double* out, std::size_t n);
void portable_log_array(const double* x, double* out, std::size_t n);

// The vector width that the array forms use on this processor, in doubles:
// 8 (AVX-512), 4 (AVX2) or 1.
int portable_math_lanes();

// The glibc tunable that turns off glibc's FMA-specialised maths routines.
// Only programs that compare the functions above with glibc's run with it.
inline constexpr const char* kPortableMathTunable = "glibc.cpu.hwcaps=-AVX2,-FMA";

// For those programs, first thing in main(): when the process does not run
// with the tunable yet, it is added to GLIBC_TUNABLES and the program is
// started again in place (glibc reads the tunable only at start-up). Returns
// when the process already runs with it, or when starting again is not
// possible (the caller checks GLIBC_TUNABLES).
void restart_with_portable_math(char** argv);

}  // namespace hydrosk::toolkit
