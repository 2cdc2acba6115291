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
#include "tests/support/Sandbox.h"

int main(int argc, char** argv) {
    // Listing the tests for CTest must work without a display too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);

    // Whatever Qt or a test writes into the user's folders lands here, never in the real ones.
    // The application-data folder is computed once per process, so it is fixed here first.
    test::Sandbox processHome;
    const std::string home = processHome.MakeFolder("home");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    const std::string runtime = processHome.MakeFolder("runtime");
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("TMPDIR", processHome.MakeFolder("tmp").c_str(), 1);
    GetAppDataFolder();
    // So is the folder of QSettings (Qt's file dialog keeps its own state there).
    const QString config = QString::fromStdString(home + "/.config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);

    int result = 0;
    {
        TestApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
