// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/Error.h"
#include "publish/InsertionGuard.h"

class CHtmlPage;
class CPublishJob;
class CStringPageEditor;

// A working folder of one run alone, so that a wizard running at the same time keeps its own;
// removed with what is in it when the run ends.
class CRunFolder {
public:
    CRunFolder();
    ~CRunFolder();
    CRunFolder(const CRunFolder&) = delete;
    CRunFolder& operator=(const CRunFolder&) = delete;
    const std::string& path() const { return m_strPath; }
    // Why there is none.
    const std::string& problem() const { return m_strProblem; }

private:
    std::string m_strProblem;
    std::string m_strPath;
};

// A path given relative to the current folder, made absolute as the wizard's always are.
std::string AbsolutePath(const std::string& path);

// The pages of one run. A page named twice (by another path, or a link to it) is published
// once; a saved page is a new file, so its name counts too.
class CPageSet {
public:
    // False when `path` names a page added before.
    bool Add(const std::string& path);

private:
    std::set<std::pair<dev_t, ino_t>> m_files;
    std::set<std::string> m_paths;
};

// Where the player goes: in place of the first `at`, right after the first `after`, or, with
// neither, right after the opening body tag, else at the start.
struct PagePlacement {
    std::optional<std::string> at, after;
    // Place the player at `at` or `after` even where it would not show.
    bool force = false;
};

// The range of `text` the player replaces; nullopt when the placement's text does not occur.
std::optional<std::pair<size_t, size_t>> FindInsertionRange(const PagePlacement& placement,
                                                            const std::string& text);

// Why a page of a run is left out before its code is made.
enum class PageSkip { None, Repeated, AlreadyPlays };

// Loads the page at `path` into `page` unless it is out of the site (the failure), was published
// in this run or, without `again`, already plays the job's media.
CResult<PageSkip> OpenRunPage(CPublishJob& job, CPageSet& pages, CHtmlPage& page,
                              const std::string& path, bool again);

// Where the player was placed in `editor`.
struct PlayerPlace {
    bool found = false;  // the placement's text occurs in the page
    // The place where the player would not show, given with `at` or `after` and not forced.
    std::optional<InsertionCheck> refused;
    size_t offset = 0;  // where the placement's text starts
};

// Selects in `editor` (holding the page's text) the range the player goes in. Without a text to
// look for, a place where the player would not show gives way to the first one after it.
PlayerPlace PlacePlayer(const CHtmlPage& page, CStringPageEditor& editor,
                        const PagePlacement& placement);

struct CaptionsRequest {
    std::string file, language, label;
};

// Adds the captions asked for after those found beside the media; one found there and asked
// for too takes the language and label given. Returns the problem of the first that cannot be
// used, else an empty string.
std::string AddRequestedCaptions(CPublishJob& job, const std::vector<CaptionsRequest>& requests);
