// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/Error.h"
#include "players/PlayerRequest.h"
#include "publish/InsertionGuard.h"
#include "publish/SiteLayout.h"

class CHtmlPage;
class CPublishJob;
class CStringPageEditor;
class ICopyQuestions;
struct ConversionProgress;

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

// "FILE[:LANG[:LABEL]]"; a file name may hold colons, its part ends after ".vtt" or ".srt"
// followed by a colon. `problem` says why the text cannot be used.
struct CaptionsParse {
    CaptionsRequest request;
    std::string problem;
};
CaptionsParse ParseCaptionsRequest(const std::string& text);

// Adds the captions asked for after those found beside the media; one found there and asked
// for too takes the language and label given. Returns the problem of the first that cannot be
// used, else an empty string.
std::string AddRequestedCaptions(CPublishJob& job, const std::vector<CaptionsRequest>& requests);

// What one run of the publisher is asked to do; a choice left unset keeps the saved one.
struct PublishRequest {
    std::string media;
    // Other files of the same media in other formats, offered beside it.
    std::vector<std::string> sources;
    std::vector<std::string> pages;
    std::optional<std::string> player;
    std::optional<std::string> siteRoot, jsPath, mediaPath;
    std::optional<bool> poster, autoplay, loop, controls;
    std::optional<bool> fit, qualities;
    std::optional<std::string> at, after;
    // In their order; noCaptions drops those found beside the media.
    std::vector<CaptionsRequest> captions;
    bool noCaptions = false;
    bool print = false;
    bool posterOptional = false;
    // Publish into pages that already play this media too.
    bool again = false;
    // Put the player at `at`/`after` even where it would not show (a comment, a script...).
    bool force = false;
    enum class Overwrite { Ask, Yes, No } overwrite = Overwrite::No;
    int verbosity = 1;  // 0 quiet, 1 normal, 2 verbose
    // An MP4/M4A with its index last is rewritten with the index first unless this is false.
    std::optional<bool> fastStart;
    // The moment the poster is taken from, in seconds.
    std::optional<double> posterAt;
    // A picture of the site kept as the poster instead of one taken from the media.
    std::string posterFile;
    // Refused media is made web-ready first; with convertOnly, written there and nothing else.
    bool convert = false;
    std::optional<std::string> convertOnly;
};

// The saved settings a run starts from.
struct RunSettings {
    SiteDescription site;
    PlayerChoices choices;
    int videoPlayer = 0;
};

// How a run ended; a later page's failure never hides an earlier one.
enum class RunEnd {
    Published,
    BadArguments,
    MediaRefused,
    PageRefused,
    WriteFailed,
    Cancelled,
    NoPoster,
    NoRoom,
    Stopped,
};

// Where a run's words go. The run leaves out what the request's verbosity does not want. The
// engine's own messages and questions come as a report's.
class IRunOutput : public IReport {
public:
    virtual ~IRunOutput() = default;
    // A message of one or more lines.
    virtual void Say(const std::string& text) = 0;
    // The code asked for with `print`; false (errno set) when it could not be written.
    virtual bool Print(const std::string& code) = 0;
    // A conversion's progress; nullptr once it is over.
    virtual void Converting(const std::string& name, const ConversionProgress* progress) = 0;
};

// Publishes the media into every page with the engine the wizard uses (or, with convertOnly,
// only converts it). A stop asked for (StopRequested) ends it with what was half made undone.
RunEnd RunPublish(const PublishRequest& request, const RunSettings& settings, IRunOutput& output,
                  ICopyQuestions& questions);
