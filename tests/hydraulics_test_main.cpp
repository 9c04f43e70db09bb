// The main() of every test program that runs hydraulics: like GoogleTest's
// own, after restarting with the portable maths routines that the programs use.
#include <gtest/gtest.h>

#include "toolkit/portable_math.h"

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
