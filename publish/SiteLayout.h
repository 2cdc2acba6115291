// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/Error.h"

class COptions;

// The site a page is published into, as its user names it: plain values that a front end fills
// from its settings or its command line.
struct SiteDescription {
    // The folder of the site's local copy, ending with "/"; empty when there is no site root.
    std::string root;
    // Sub-folders of the root in their stored form: "/js/", or "/" for the root itself.
    std::string jsPath;
    std::string mediaPath;
    // The media folder beside the page, used only without a site root.
    std::string mediaFolderName;
};

// The site as the settings describe it now.
SiteDescription SiteFromOptions(const COptions& options);

// Where the player resources and the media of a page go, and how the page reaches them. The
// links are reckoned between real folders, so a root or a page named through a linked folder
// gets the links it gets through its real path.
class SiteLayout {
public:
    SiteLayout() = default;
    explicit SiteLayout(SiteDescription site) : m_site(std::move(site)) {}

    const SiteDescription& Site() const { return m_site; }

    // The folders are real paths where they exist.
    // The site root joined with "JS Path"; without a site root, the page's own folder.
    std::string GetJavaScriptFolder(const std::string& pagePath) const;
    // The site root joined with "Media Path"; without a site root, "Media Folder Name" beside
    // the page.
    std::string GetMediaFolder(const std::string& pagePath) const;
    // From the page's folder to the JavaScript folder ("js/", "../js/", "" for the root itself);
    // empty without a site root.
    std::string GetRelativeJavaScriptPath(const std::string& pagePath) const;
    // From the page's folder to the media folder; "Media Folder Name" without a site root.
    std::string GetRelativeMediaPath(const std::string& pagePath) const;
    // True when the page is a regular file in the folder it is named in and, with a site root
    // set, lies in or below it. Paths are compared real (links and ".." resolved, letters
    // exact), so neither a link nor ".." can take a page outside the root, and a name such as
    // /dev/stdin that leads to a page elsewhere is refused, with a message that says why.
    CStatus CheckPageLocation(const std::string& pagePath) const;
    // The page's JavaScript or media folder when its real path is not in or below the real site
    // root (a ".." or a link leads out of the site); nullopt when both are inside, or without a
    // site root.
    std::optional<std::string> FolderOutsideSite(const std::string& pagePath) const;

    // The page's path with links and ".." resolved as far as it exists: what links are reckoned
    // from.
    static std::string RealPagePath(const std::string& pagePath);
    // True when `folder` (which need not exist yet) really lies in or below `siteRoot`.
    static bool IsInsideSite(const std::string& folder, const std::string& siteRoot);
    // A sub-folder of the site root in its stored form: "/" for the root itself, else the
    // folder with one "/" at each end ("js" and "/js" become "/js/").
    static std::string StoredSubFolder(std::string_view folder);

private:
    // From the page's real folder to the sub-folder of the real root.
    std::string RelativeToPage(const std::string& pagePath, const std::string& subFolder) const;

    SiteDescription m_site;
};
