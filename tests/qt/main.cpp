// The Qt tests run offscreen, all in one application object.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/app.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qtArgc = 1;
    static char name[] = "test_qt";
    static char* qtArgv[] = {name, nullptr};
    vx::platform::InitApplication(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
