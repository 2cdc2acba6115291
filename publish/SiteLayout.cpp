// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteLayout.h"

#include <cstdlib>
#include <vector>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

std::vector<std::string_view> SplitComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string_view::npos) {
            next = path.size();
        }
        if (next > pos) {
            parts.push_back(path.substr(pos, next - pos));
        }
        pos = next + 1;
    }
    return parts;
}

// The relative path with only its leading "./" removed.
std::optional<std::string> RelativePath(std::string_view folderFrom, std::string_view target) {
    if (folderFrom.empty() || folderFrom.front() != '/' || target.empty() ||
        target.front() != '/') {
        return std::nullopt;
    }
    // Lexical: "." and ".." resolved, doubled separators dropped, a trailing "/" kept.
    const std::string from = CombinePath(folderFrom, "");
    const std::string to = CombinePath(target, "");
    const auto fromParts = SplitComponents(from);
    const auto toParts = SplitComponents(to);
    size_t common = 0;
    while (common < fromParts.size() && common < toParts.size() &&
           fromParts[common] == toParts[common]) {
        ++common;
    }
    std::string result;
    if (common == fromParts.size()) {
        result = ".";
    } else {
        for (size_t i = common; i < fromParts.size(); ++i) {
            result += i == common ? ".." : "/..";
        }
    }
    for (size_t i = common; i < toParts.size(); ++i) {
        result += '/';
        result += toParts[i];
    }
    if (to.back() == '/') {
        result += '/';
    }
    if (result.starts_with("./")) {
        result.erase(0, 2);
    }
    return result;
}

std::string RelativeToPage(const std::string& pagePath, const std::string& folder) {
    return RelativePath(GetPathFolder(pagePath), folder).value_or(std::string());
}

// The canonical form of an existing path; nullopt when it cannot be resolved.
std::optional<std::string> RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        return std::nullopt;
    }
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool IsInOrBelow(const std::string& folder, const std::string& root) {
    if (root == "/") {
        return true;
    }
    return folder == root || (folder.starts_with(root) && folder[root.size()] == '/');
}

}  // namespace

std::optional<std::string> RelativePathFrom(std::string_view folderFrom, std::string_view target) {
    auto result = RelativePath(folderFrom, target);
    if (result) {
        result->erase(0, result->find_first_not_of('/'));
    }
    return result;
}

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
