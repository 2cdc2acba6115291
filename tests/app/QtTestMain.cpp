// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>

#include <sys/stat.h>

#include <gtest/gtest.h>

#ifdef DEDE5_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QSettings>

#include "core/Folders.h"
#include "tests/app/QtTestHome.h"
#include "tests/support/Sandbox.h"

int main(int argc, char** argv) {
    // Listing the tests for CTest must work without a display too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);

    test::Sandbox processHome;
    test::ConfineUserFolders(processHome);

    int result = 0;
    {
        TestApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
