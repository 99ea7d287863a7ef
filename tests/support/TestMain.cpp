// Entry point of the core and platform test programs.
#include <gtest/gtest.h>

#include "TestMain.h"

int main(int argc, char** argv) {
    wavory::test::PrepareEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    wavory::test::FinishEnvironment();
    return rc;
}
