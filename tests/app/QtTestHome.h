// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <string>

#include <sys/stat.h>

#include <QSettings>
#include <QString>

#include "core/Folders.h"
#include "tests/support/Sandbox.h"

namespace test {

// Points the user's folders (home, XDG folders, temporary folder, QSettings) into `processHome`,
// so whatever Qt or a test writes lands there, never in the real ones. The application-data
// folder is computed once per process, so it is fixed here first.
inline void ConfineUserFolders(Sandbox& processHome) {
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
}

}  // namespace test
