// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteLayout.h"

#include <filesystem>

#include <sys/stat.h>

#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

std::string RealRoot(const std::string& root) {
    const auto real = RealPath(root);
    if (!real) {
        return root;
    }
    // The stored form's trailing "/" decides whether a link to the root itself is "" or ".".
    return root.ends_with('/') ? AddBackslash(*real) : *real;
}

}  // namespace

std::string SiteLayout::RealPagePath(const std::string& pagePath) {
    if (auto real = RealPath(pagePath)) {
        return *real;
    }
    const std::string folder = GetPathFolder(pagePath);
    const auto realFolder = RealPath(folder);
    return realFolder ? (std::filesystem::path(*realFolder) / GetPathFileName(pagePath)).native()
                      : pagePath;
}

SiteDescription SiteFromOptions(const COptions& options) {
    return {options.m_strSiteRoot, options.m_strJsPath, options.m_strMediaPath,
            options.m_strMediaFolderName};
}

std::string SiteLayout::RelativeToPage(const std::string& pagePath,
                                       const std::string& subFolder) const {
    const std::string target = JoinPath(subFolder, RealRoot(m_site.root), false);
    return RelativePathFrom(GetPathFolder(RealPagePath(pagePath)), target).value_or(std::string());
}

std::string SiteLayout::GetJavaScriptFolder(const std::string& pagePath) const {
    if (m_site.root.empty()) {
        return GetPathFolder(RealPagePath(pagePath));
    }
    return JoinPath(m_site.jsPath, RealRoot(m_site.root), false);
}

std::string SiteLayout::GetMediaFolder(const std::string& pagePath) const {
    if (m_site.root.empty()) {
        return JoinPath(m_site.mediaFolderName, GetPathFolder(RealPagePath(pagePath)), false);
    }
    return JoinPath(m_site.mediaPath, RealRoot(m_site.root), false);
}

std::string SiteLayout::GetRelativeJavaScriptPath(const std::string& pagePath) const {
    return m_site.root.empty() ? std::string() : RelativeToPage(pagePath, m_site.jsPath);
}

std::string SiteLayout::GetRelativeMediaPath(const std::string& pagePath) const {
    return m_site.root.empty() ? m_site.mediaFolderName
                               : RelativeToPage(pagePath, m_site.mediaPath);
}

bool SiteLayout::IsInsideSite(const std::string& folder, const std::string& siteRoot) {
    const auto root = RealPath(siteRoot);
    if (!root || folder.empty() || folder.front() != '/') {
        return false;
    }
    // The deepest part that exists is resolved; what is still to be made is plain names below it.
    std::string existing = folder;
    while (!existing.empty() && !PathExists(existing)) {
        if (GetPathFileName(existing) == "..") {
            return false;
        }
        existing = GetPathFolder(existing);
    }
    const auto real = RealPath(existing.empty() ? "/" : existing);
    return real && IsInOrBelow(*real, *root);
}

std::optional<std::string> SiteLayout::FolderOutsideSite(const std::string& pagePath) const {
    if (m_site.root.empty()) {
        return std::nullopt;
    }
    for (const std::string& folder : {GetJavaScriptFolder(pagePath), GetMediaFolder(pagePath)}) {
        if (!IsInsideSite(folder, m_site.root)) {
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

CStatus SiteLayout::CheckPageLocation(const std::string& pagePath) const {
    auto refuse = [](int id, const auto&... args) -> CStatus {
        return Message(MESSAGE_WARNING, id, args...);
    };
    struct stat st {};
    if (::stat(pagePath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return refuse(IDS_PAGE_LOAD_FAILED, pagePath);
    }
    // A pipe or a device would be read once and written nowhere a browser could load it.
    const auto page = S_ISREG(st.st_mode) ? RealPath(pagePath) : std::nullopt;
    if (!page) {
        return refuse(IDS_PAGE_NOT_A_FILE, pagePath);
    }
    // The page itself resolved, so a link to a page elsewhere counts as being elsewhere.
    if (!m_site.root.empty()) {
        const auto root = RealPath(m_site.root);
        if (!root || !IsInOrBelow(GetPathFolder(*page), *root)) {
            return refuse(IDS_PAGE_NOT_UNDER_ROOT, m_site.root, pagePath);
        }
    }
    // The links are made for the folder the page lies in; under a name in another folder
    // (/dev/stdin, a link) they would lead elsewhere.
    if (RealPath(GetPathFolder(pagePath)) != GetPathFolder(*page)) {
        return refuse(IDS_PAGE_NAMED_ELSEWHERE, pagePath, *page);
    }
    return {};
}
