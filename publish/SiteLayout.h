// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the player resources and the media of a page go, and how the page reaches them. Nothing
// is cached: every call reads the current settings, so a changed site root applies at once.
class SiteLayout {
public:
    // The site root joined with "JS Path"; without a site root, the page's own folder.
    static std::string GetJavaScriptFolder(const std::string& pagePath);
    // The site root joined with "Media Path"; without a site root, "Media Folder Name" beside
    // the page.
    static std::string GetMediaFolder(const std::string& pagePath);
    // From the page's folder to the JavaScript folder ("js/", "../js/", "" for the root itself);
    // empty without a site root.
    static std::string GetRelativeJavaScriptPath(const std::string& pagePath);
    // From the page's folder to the media folder; "Media Folder Name" without a site root.
    static std::string GetRelativeMediaPath(const std::string& pagePath);
    // True when the page exists and, with a site root set, lies in or below it. Both are compared
    // as canonical paths (links and ".." resolved, letters exact), so neither a link nor ".." can
    // take a page outside the root. Reports strings 39 or 40 when `showMessages` is set.
    static bool CheckPageLocation(const std::string& pagePath, bool showMessages);
    // The page's JavaScript or media folder when its real path is not in or below the real site
    // root (a ".." or a link leads out of the site); nullopt when both are inside, or without a
    // site root.
    static std::optional<std::string> FolderOutsideSite(const std::string& pagePath);
    // True when `folder` (which need not exist yet) really lies in or below `siteRoot`.
    static bool IsInsideSite(const std::string& folder, const std::string& siteRoot);
    // A sub-folder of the site root in its stored form: "/" for the root itself, else the
    // folder with one "/" at each end ("js" and "/js" become "/js/").
    static std::string StoredSubFolder(std::string_view folder);
};
