// Hydraulic results that do not depend on the processor.
//
// On processors with FMA, glibc picks FMA-specialised variants of pow, exp and
// log at start-up. They round a few results differently from the portable
// variants, and a hydraulic simulation amplifies those last-bit differences:
// over a long extended period the time at which a tank fills can move by many
// seconds. EPANET 2.2's reference build rounds as the portable variants do, so
// the programs ask glibc for those.
#pragma once

namespace hydrosk::toolkit {

// The glibc tunable that turns off the FMA-specialised maths routines.
inline constexpr const char* kPortableMathTunable = "glibc.cpu.hwcaps=-AVX2,-FMA";

// Call first thing in main(). When the process does not run with the tunable
// yet, it is added to GLIBC_TUNABLES and the program is started again in place
// (glibc reads the tunable only at start-up). Returns when the process already
// runs with it, or when starting again is not possible, in which case the
// program simply goes on with the processor's own routines.
void restart_with_portable_math(char** argv);

}  // namespace hydrosk::toolkit
