// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CVersionInfo.h"

#include <fmt/format.h>

CVersionInfo CVersionInfo::Compiled() {
    CVersionInfo info;
    info.m_nMajor = DEDE5_VERSION_MAJOR;
    info.m_nMinor = DEDE5_VERSION_MINOR;
    info.m_nPatch = DEDE5_VERSION_PATCH;
    info.m_strPrivateBuild = DEDE5_PRIVATE_BUILD;
    return info;
}

std::string CVersionInfo::GetText() const {
    return fmt::format("{}.{}.{}", m_nMajor, m_nMinor, m_nPatch);
}
