// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteLayout.h"

#include <cstdlib>
#include <vector>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

std::string RelativeToPage(const std::string& pagePath, const std::string& folder) {
    return RelativePathKeepingSlashes(GetPathFolder(pagePath), folder).value_or(std::string());
}

}  // namespace

std::string SiteLayout::GetJavaScriptFolder(const std::string& pagePath) {
    const COptions& options = *COptions::Instance();
    if (options.m_strSiteRoot.empty()) {
        return GetPathFolder(pagePath);
    }
    return JoinPath(options.m_strJsPath, options.m_strSiteRoot, false);
}

std::string SiteLayout::GetMediaFolder(const std::string& pagePath) {
    const COptions& options = *COptions::Instance();
    if (options.m_strSiteRoot.empty()) {
        return JoinPath(options.m_strMediaFolderName, GetPathFolder(pagePath), false);
    }
    return JoinPath(options.m_strMediaPath, options.m_strSiteRoot, false);
}

std::string SiteLayout::GetRelativeJavaScriptPath(const std::string& pagePath) {
    const COptions& options = *COptions::Instance();
    if (options.m_strSiteRoot.empty()) {
        return {};
    }
    return RelativeToPage(pagePath, JoinPath(options.m_strJsPath, options.m_strSiteRoot, false));
}

std::string SiteLayout::GetRelativeMediaPath(const std::string& pagePath) {
    const COptions& options = *COptions::Instance();
    if (options.m_strSiteRoot.empty()) {
        return options.m_strMediaFolderName;
    }
    return RelativeToPage(pagePath, JoinPath(options.m_strMediaPath, options.m_strSiteRoot, false));
}

bool SiteLayout::IsInsideSite(const std::string& folder, const std::string& siteRoot) {
    const auto root = RealPath(siteRoot);
    if (!root || folder.empty() || folder.front() != '/') {
        return false;
    }
    // The deepest part that exists is resolved; what is still to be made is plain names below it.
    std::string existing = RemoveBackslash(folder);
    while (!existing.empty() && !PathExists(existing)) {
        if (GetPathFileName(existing) == "..") {
            return false;
        }
        existing = RemoveBackslash(GetPathFolder(existing));
    }
    const auto real = RealPath(existing.empty() ? "/" : existing);
    return real && IsInOrBelow(*real, *root);
}

std::optional<std::string> SiteLayout::FolderOutsideSite(const std::string& pagePath) {
    const std::string& siteRoot = COptions::Instance()->m_strSiteRoot;
    if (siteRoot.empty()) {
        return std::nullopt;
    }
    for (const std::string& folder : {GetJavaScriptFolder(pagePath), GetMediaFolder(pagePath)}) {
        if (!IsInsideSite(folder, siteRoot)) {
            return folder;
        }
    }
    return std::nullopt;
}

std::string SiteLayout::StoredSubFolder(std::string_view folder) {
    std::string stored = TrimWhiteSpace(std::string(folder));
    if (!stored.starts_with('/')) {
        stored.insert(stored.begin(), '/');
    }
    return AddBackslash(stored);
}

bool SiteLayout::CheckPageLocation(const std::string& pagePath, bool showMessages) {
    // The page itself resolved, so a link to a page elsewhere counts as being elsewhere.
    const auto page = IsRegularFile(pagePath) ? RealPath(pagePath) : std::nullopt;
    if (!page) {
        if (showMessages) {
            MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_PAGE_LOAD_FAILED, pagePath);
        }
        return false;
    }
    const std::string& siteRoot = COptions::Instance()->m_strSiteRoot;
    if (siteRoot.empty()) {
        return true;
    }
    const auto root = RealPath(siteRoot);
    if (root && IsInOrBelow(GetPathFolder(*page), *root)) {
        return true;
    }
    if (showMessages) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_PAGE_NOT_UNDER_ROOT, siteRoot, pagePath);
    }
    return false;
}
