// The GUI tests need a QApplication before the first widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "toolkit/portable_math.h"

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    // ctest sets the offscreen platform; so does a run by hand, as no test
    // needs a screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
