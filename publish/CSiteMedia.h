// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/CSiteFolder.h"
#include "core/Error.h"
#include "publish/PublishRun.h"
#include "publish/PublishedPlayers.h"
#include "publish/SiteLayout.h"

// A player of the site as it is listed: its page and the files it shows, relative to the root.
struct SitePlayer {
    std::string page;
    FoundPlayer found;
    // The first source, the poster and the captions; a location outside the site stays as
    // written.
    std::string media;
    std::string poster;
    std::vector<std::string> captions;
    // The folder of the stream it offers (ending in "/"); empty when there is none.
    std::string stream;
    // The other sources, after the media.
    std::vector<std::string> sources;
    // The files of the site it shows (the stream's folder among them), and their size together.
    std::vector<std::string> files;
    int64_t size_bytes = 0;
};

struct SiteListing {
    std::vector<SitePlayer> players;
    // What this program puts into the media and JavaScript folders that no page uses (a player
    // or stream folder ends in "/").
    std::vector<std::string> unused;
    // Pages that could not be read.
    std::vector<CError> problems;
};

struct RemoveRequest {
    // The media file: a path (of the site's copy) or a bare file name.
    std::string media;
    // Full paths; none means every page that shows the media.
    std::vector<std::string> pages;
    bool keepFiles = false;
};

struct RemoveOutcome {
    // Pages saved without the media's players, and files removed (relative to the root).
    std::vector<std::string> pages;
    std::vector<std::string> files;
    // Pages that could not be saved, and those that could not be read; the walk goes on past
    // them.
    std::vector<CError> problems;
    std::vector<CError> unread;
    // A stop request ended it between pages: no file was removed.
    bool stopped = false;
};

// One page's player of the old media put in again for the new one: a publish of the new media in
// place of the old player's markup, with its player and choices.
struct ReplaceStep {
    std::string page;
    PublishRequest request;
};

struct ReplacePlan {
    std::vector<ReplaceStep> steps;
    // What the old players show: removed afterwards where no page uses it any more.
    std::set<std::string> oldFiles;
    std::vector<CError> unread;
    bool stopped = false;
};

// The listing as one JSON document.
std::string ListingJson(const SiteListing& listing);

// The saved site with what `request` gives over it.
SiteDescription WithSiteRequest(SiteDescription saved, const PublishRequest& request);

// The players this program published across a site: found in every page below the root, each
// page read in its own encoding through the site's handle, and removed again.
class CSiteMedia {
public:
    // The site's root must be set.
    static CResult<std::unique_ptr<CSiteMedia>> Open(const SiteDescription& site);

    const std::string& Root() const { return m_site.root; }
    SiteListing List() const;
    // Takes the players of the media out of the pages (each saved as a publish saves), then
    // removes the files they showed that no page uses any more, and the player files of a
    // player no page uses. The report answers a question about a page another program changed.
    RemoveOutcome Remove(const RemoveRequest& request, IReport& report) const;

    // The publishes that make every page (or those named) showing `oldMedia` show `newMedia`
    // instead. Each one's copy step gives the new media a name of its own where a file of other
    // content has the old one, so that no browser shows what it cached.
    // The old player's captions go with it, unless `newCaptions` asks for those beside the new
    // media instead; its poster stays when `keepPoster` asks so.
    ReplacePlan PlanReplace(const std::string& oldMedia, const std::string& newMedia,
                            const std::vector<std::string>& pages, bool newCaptions = false,
                            bool keepPoster = false) const;
    // Removes those of `candidates` (files, and player or stream folders ending in "/") no page
    // uses now.
    RemoveOutcome RemoveUnused(const std::set<std::string>& candidates) const;

private:
    // Whether a player shows the media (a path of the site's copy, or a bare file name).
    std::function<bool(const std::string&, const FoundPlayer&)> Shows(
        const std::string& media) const;
    std::vector<std::string> RelativePages(const std::vector<std::string>& pages) const;
    void DeleteUnused(const std::set<std::string>& candidates, const std::set<std::string>& used,
                      RemoveOutcome& outcome) const;
    CSiteMedia(SiteDescription site, std::shared_ptr<CSiteFolder> root)
        : m_site(std::move(site)), m_pRoot(std::move(root)) {}

    // Each page of the site (relative path) with its text, read only; the callback returns
    // false to stop the walk. Pages that cannot be read become problems.
    bool ForEachPage(const std::function<bool(const std::string&, const std::string&)>& visit,
                     std::vector<CError>& problems) const;
    using PageVisit = std::function<bool(const std::string&, CResult<std::string>)>;
    // The pages below the open folder, reached through descriptors alone: no link is followed.
    bool WalkFolder(int folderFd, const std::string& folder, const PageVisit& visit) const;
    SitePlayer Describe(const std::string& page, FoundPlayer found) const;
    // Adds to `used` what the page's markup refers to: its locations, and the files of each
    // player of ours on it.
    void NoteUses(const std::string& page, const PageScan& scan, std::set<std::string>& used) const;
    std::vector<std::string> PlayerFiles(const std::string& page, const FoundPlayer& player) const;
    bool InUse(const std::string& file, const std::set<std::string>& used) const;
    bool NamedInUnread(const std::string& file, const std::vector<CError>& unread) const;

    SiteDescription m_site;
    std::shared_ptr<CSiteFolder> m_pRoot;
};
