// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The program's version as the build compiled it in (CMake's project() version; the private
// build text is `git describe` at configure time, empty outside a checkout).
struct CVersionInfo {
    int m_nMajor = 0;
    int m_nMinor = 0;
    int m_nPatch = 0;
    std::string m_strPrivateBuild;

    static CVersionInfo Compiled();
    // "major.minor.patch".
    std::string GetText() const;
};
