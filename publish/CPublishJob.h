// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"
#include "media/MediaConverter.h"
#include "media/MediaInfo2.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerRequest.h"
#include "publish/CPageFile.h"
#include "publish/MediaCopy.h"
#include "publish/SiteLayout.h"

class CHtmlPage;
class CPreviewServer;

// What the media check says of a file.
enum MediaVerdict : int {
    MEDIA_ACCEPTED = 0,
    MEDIA_MISSING,
    MEDIA_UNREADABLE,
    MEDIA_NOT_HTML5,
};

struct MediaCheck {
    MediaVerdict verdict = MEDIA_MISSING;
    MediaDetails details;
};

// A poster picture taken to be looked at before publishing.
struct PosterPreview {
    bool taken = false;
    // The picture is nearly black.
    bool dark = false;
    // A later moment whose picture is not, when the picture is dark and there is one.
    std::optional<double> brighterAt;
};

// The steps of publishing into one page.
enum PublishStep : int {
    PUBLISH_STEP_SITE_FOLDERS,
    PUBLISH_STEP_SAVE_PAGE,
    PUBLISH_STEP_PLAYER_FILES,
    PUBLISH_STEP_SERVER_CONFIG,
    PUBLISH_STEP_PAGE_FILES,
    PUBLISH_STEP_MEDIA_FOLDER,
    PUBLISH_STEP_MEDIA_COPY,
};

// A step that did not succeed is a CError with its PublishStep, its path and the system's error
// number (0 when the user stopped it); one with a message is for the front end to show.
struct PublishOutcome {
    // The step that stopped publishing; none when the page was published.
    std::optional<CError> failure;
    // The user cancelled at a question.
    bool cancelled = false;
    // Steps whose failure does not stop publishing; their messages have been told as they came.
    std::vector<CError> warnings;

    bool Published() const { return !failure && !cancelled; }
};

// The head and body code for one page.
struct PageCode {
    std::string head;
    std::string body;
    // False when the player makes no body code for the request's media.
    bool made = false;
    // The body goes on lines of its own in the page (a fitted player).
    bool ownLines = false;
};

// The job of publishing one media file into pages of a site, driven step by step by a front end
// (the wizard or the command-line publisher), which gathers the choices and shows the results:
// check the media, choose the player, take the poster, make the code for a page, publish a page,
// end. The steps ask and tell through the interfaces handed in; the results say what went wrong.
class CPublishJob {
public:
    CPublishJob();
    // Ends the job.
    ~CPublishJob();
    CPublishJob(const CPublishJob&) = delete;
    CPublishJob& operator=(const CPublishJob&) = delete;

    // The select-media rules. Reads the file; safe on a worker thread (one parse at a time).
    static MediaCheck CheckMedia(const std::string& path,
                                 MediaDetails::ParseDepth depth = MediaDetails::WHOLE);
    // The string-table message for a refusal (0 for an accepted file).
    static int RefusalMessageId(MediaVerdict verdict);

    // The accepted media of the job, with its details; the player and the poster start anew
    // when it is another file.
    void SetMedia(const std::string& path, const MediaDetails& details);

    // The media check for a file a conversion made; fills `details`. Fits
    // CMediaConverter::SetResultCheck, and is safe on a worker thread.
    static bool CheckConverted(const std::string& path, MediaDetails& details);
    // Like SetMedia, for a web-ready copy of `original` made for this job in the working folder:
    // the copy is deleted when the job ends or takes other media. The captions are those beside
    // the original.
    void SetConvertedMedia(const std::string& path, const MediaDetails& details,
                           const std::string& original);
    bool HasMedia() const { return !m_request.mediaFiles.empty(); }
    // Other files of the same media in other formats, offered beside it, in place of those set
    // before: each is checked like the media and must be of its kind, of a type no other source
    // has, and within a second of its length. They are copied with it, and listed smallest first
    // where the browser chooses. A refusal names the file and the reason and sets none.
    CStatus SetOtherSources(const std::vector<std::string>& paths);
    const MediaDetails& Details() const { return m_details; }
    bool IsVideo() const { return m_details.m_nVideoCount > 0; }

    // The player: a row of the video table (its index) for video, of the audio table for audio.
    void SetPlayer(const PlayerInfo& row, int rowIndex);
    PlayerType GetPlayerType() const { return m_nPlayerType; }
    // The player's resource folder name; empty before a player is chosen.
    std::string PlayerFolderName() const {
        return m_pPlayer ? m_pPlayer->GetFolderName() : std::string();
    }
    // The markup choices: controls, autoplay, loop, poster and fit.
    void SetChoices(const PlayerChoices& choices);
    // The site the pages are published into; pages are checked and their code made against it.
    void SetSite(SiteDescription site) { m_site = SiteLayout(std::move(site)); }
    const SiteLayout& Site() const { return m_site; }
    // The handle on the root of the site of the page at `pagePath` (the site's root, else the
    // page's folder) through which the page and its files are reached; the failure when the
    // root cannot be opened.
    CResult<std::shared_ptr<const CSiteFolder>> OpenSite(const std::string& pagePath) const;
    // Where the job keeps what it makes for itself (the captions' WebVTT files); set before the
    // media, whose captions are read at once.
    void SetWorkFolder(std::string folder) { m_strWorkFolder = std::move(folder); }

    // True when the poster is asked for and has not been tried for this media yet.
    bool NeedsPoster() const;
    // Takes the poster picture into `workFolder` unless it was tried already for this media;
    // true when the job has one. The only step that runs ffmpeg; it may run on a worker thread.
    bool TakePoster(const std::string& workFolder);
    // Uses `picture` as the poster of this media: none is taken.
    void UsePoster(const std::string& picture);
    // Why the poster that was asked for could not be taken; empty when there is no such problem.
    const std::string& PosterProblem() const { return m_strPosterProblem; }

    // The captions of a video, in the order the player offers them. Those lying beside the media
    // are added when the media is set. Each is read and made UTF-8 WebVTT in the working folder
    // when added; the result is the message saying why it cannot be used, empty when added.
    std::string AddCaptions(const std::string& path, const std::string& language = {},
                            const std::string& label = {});
    void RemoveCaptions(size_t index);
    // An empty label becomes the language's; false, changing nothing, for a wrong language tag.
    bool SetCaptionsLanguage(size_t index, const std::string& language, const std::string& label);
    void ClearCaptions();
    const std::vector<CaptionTrack>& Captions() const { return m_request.captions; }
    // Why files found beside the media were not added.
    const std::vector<std::string>& CaptionsProblems() const { return m_captionsProblems; }
    // The moment of the video the poster is taken from, in seconds (0, the default, is the first
    // second); kept for each media file while the job lasts. Another moment drops the picture.
    void SetPosterTime(double seconds);
    double PosterTime() const { return m_request.posterAt; }
    // The poster taken at the default moment is nearly black.
    bool PosterIsDark() const { return m_bPosterDark; }
    // A later moment with a picture that is not nearly black; nullopt when none was found. Runs
    // ffmpeg a few times, in `workFolder`.
    std::optional<double> SuggestPosterTime(const std::string& workFolder) const;
    // Takes the picture of `media` at `seconds` into `jpegPath` and judges it; for a dark one
    // at the default moment it also looks for a brighter moment. Touches no job: it may run on
    // any thread.
    static PosterPreview TakePosterPreview(const std::string& media, double duration,
                                           double seconds, const std::string& jpegPath);

    // Whether an MP4 or M4A whose index comes last is published rewritten with its index first
    // (the default), or copied as it is.
    void SetFastStart(bool rewrite);
    bool FastStart() const { return m_bFastStart; }

    // With several qualities asked for a video, finds the media's whole stream in the media
    // folder of the page at `pagePath`, else makes it once in the working folder (reporting to
    // `progress`; a stop of the program or of `stop` cancels it) for PublishPage to copy; the
    // markup offers it from then on. Why there is none, empty when there is or none was asked for.
    std::string PrepareStream(const std::string& pagePath,
                              const std::function<void(const ConversionProgress&)>& progress,
                              std::stop_token stop = {});

    // Head and body code for the page at `pagePath`: page-relative locations when publishing, file
    // URLs of the media and the installation's player files in a preview.
    PageCode MakeCode(const std::string& pagePath, PlayerMode mode) const;

    // Shows `text` as a preview of the loaded page through a web server on this computer that
    // serves the site root (started on the first preview, kept for the next): the page comes
    // from memory at its own address, with the inserted player's code swapped for code that
    // plays the media and loads the player files from where they are now, which the server
    // serves too. Nothing is written. The page's address, or why there is none.
    CResult<std::string> ServePreview(CHtmlPage& page, std::string text);
    // Stops the preview's server.
    void StopPreview();
    // The preview's server; null before the first preview.
    const CPreviewServer* PreviewServer() const { return m_pPreviewServer.get(); }

    // Copies the player files, the server configuration and the media (with the poster) into
    // the site, then writes `text` as the loaded page: the page is saved only once everything it
    // refers to is in place. A page another program changed is asked about before anything is
    // copied (through the page's report). A stop request (StopRequested) ends it between steps as
    // cancelled; the save itself is never cut short.
    PublishOutcome PublishPage(CHtmlPage& page, std::string text, ICopyQuestions& questions);
    // True when the loaded page already plays this job's media from where this job publishes it
    // (a src attribute holds its URL): a second run into the page would add a second player.
    bool PageHoldsPlayer(const CHtmlPage& page) const;

    // Deletes what the job made in the working folder (the poster) and stops the preview.
    void End();

    const PlayerRequest& Request() const { return m_request; }

private:
    // The site a page is published into, and its folders there relative to the site's root.
    struct PageSite {
        std::shared_ptr<const CSiteFolder> site;
        std::string page, js, media;
    };
    CResult<PageSite> OpenPageSite(const CHtmlPage& page, const PlayerRequest& request) const;
    // The player files, the server configuration and the media of PublishPage; false when the
    // job ends here.
    bool CopyPageFiles(CHtmlPage& page, PlayerRequest& request, const PageSite& places,
                       ICopyQuestions& questions, PublishOutcome& outcome);
    // The request for one page: its locations under the site filled in.
    PlayerRequest RequestForPage(const std::string& pagePath, PlayerMode mode) const;
    void DropPoster();
    // `original` is where the media came from: its captions lie beside it.
    void UseMedia(const std::string& path, const MediaDetails& details,
                  const std::string& original);
    // Writes the tracks' WebVTT files under their published names; a message when it cannot.
    std::string WriteCaptions();
    void UpdateFastStartList();

    MediaDetails m_details;
    PlayerRequest m_request;
    PlayerType m_nPlayerType = PLAYER_TYPE_VIDEOJS;
    std::unique_ptr<CHTML5Player> m_pPlayer;
    // A failed picture is not tried again for every page.
    bool m_bPosterTried = false;
    std::string m_strPosterProblem;
    // The WebVTT text of each track, and the working folder their files are written to.
    std::vector<std::string> m_captionTexts;
    std::string m_strCaptionsFolder;
    // The media the captions belong to; another media starts them anew.
    std::string m_strCaptionsMedia;
    std::vector<std::string> m_captionsProblems;
    bool m_bPosterDark = false;
    std::map<std::string, double> m_posterTimes;
    bool m_bFastStart = true;
    // The other sources whose index comes last.
    std::vector<std::string> m_fastStartSources;
    CEqualFilesMemo m_copied;
    // Per media folder: the name each file took there where its own held other content.
    std::map<std::string, std::map<std::string, std::string>> m_renamed;
    SiteLayout m_site;
    std::string m_strWorkFolder;
    std::unique_ptr<CPreviewServer> m_pPreviewServer;
    std::string m_strConvertedPath;
    // The stream made in the working folder, and the mark of the media it was made of.
    std::string m_strStreamPath, m_strStreamMark;
};

// Fills the request's page and its locations under the site (the relative URLs of the JavaScript
// and media folders and their full paths) from the site layout.
void SetPageLocations(PlayerRequest& request, const SiteLayout& site, const std::string& pagePath);
