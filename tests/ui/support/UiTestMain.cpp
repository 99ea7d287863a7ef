// Entry point of the widget test programs: the offscreen platform and one QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "TestMain.h"

int main(int argc, char** argv) {
    wavory::test::PrepareEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    wavory::test::FinishEnvironment();
    return rc;
}
