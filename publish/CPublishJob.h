// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/MediaInfo2.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerRequest.h"
#include "publish/CPageFile.h"
#include "publish/MediaCopy.h"

class CHtmlPage;
class COptions;

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

// The steps of publishing into one page, in their order.
enum PublishStep : int {
    PUBLISH_STEP_SITE_FOLDERS,
    PUBLISH_STEP_SAVE_PAGE,
    PUBLISH_STEP_PLAYER_FILES,
    PUBLISH_STEP_SERVER_CONFIG,
    PUBLISH_STEP_PAGE_FILES,
    PUBLISH_STEP_MEDIA_FOLDER,
    PUBLISH_STEP_MEDIA_COPY,
};

// A step that did not succeed: which one, on what path, and the system's error number (0 when
// the user stopped it).
struct StepFailure {
    PublishStep step;
    std::string path;
    int error = 0;
};

struct PublishOutcome {
    // The step that stopped publishing; none when the page was published.
    std::optional<StepFailure> failure;
    // The user cancelled at a question.
    bool cancelled = false;
    // Steps whose failure does not stop publishing.
    std::vector<StepFailure> warnings;

    bool Published() const { return !failure && !cancelled; }
};

// The head and body code for one page.
struct PageCode {
    std::string head;
    std::string body;
    // False when the player makes no body code for the request's media.
    bool made = false;
};

// The job of publishing one media file into pages of a site, driven step by step by a front end
// (the wizard or the command-line publisher), which gathers the choices and shows the results:
// check the media, choose the player, take the poster, make the code for a page, publish a page,
// end. Messages of the steps go through the message box; the results say what went wrong.
class CPublishJob {
public:
    CPublishJob();
    // Ends the job.
    ~CPublishJob();
    CPublishJob(const CPublishJob&) = delete;
    CPublishJob& operator=(const CPublishJob&) = delete;

    // The select-media rules. Reads the file; safe on a worker thread (one parse at a time).
    static MediaCheck CheckMedia(const std::string& path);
    // The string-table message for a refusal (0 for an accepted file).
    static int RefusalMessageId(MediaVerdict verdict);

    // The accepted media of the job, with its details; the player and the poster start anew
    // when it is another file.
    void SetMedia(const std::string& path, const MediaDetails& details);

    // The media check for a file a conversion made; fills `details`. Fits
    // CMediaConverter::SetResultCheck, and is safe on a worker thread.
    static bool CheckConverted(const std::string& path, MediaDetails& details);
    // Like SetMedia, for a web-ready copy made for this job in the working folder: the copy is
    // deleted when the job ends or takes other media.
    void SetConvertedMedia(const std::string& path, const MediaDetails& details);
    bool HasMedia() const { return !m_request.mediaFiles.empty(); }
    const MediaDetails& Details() const { return m_details; }
    bool IsVideo() const { return m_details.m_nVideoCount > 0; }

    // The player: a row of the video table (its index) for video, of the audio table for audio.
    void SetPlayer(const PlayerInfo& row, int rowIndex);
    PlayerType GetPlayerType() const { return m_nPlayerType; }
    // The player's resource folder name; empty before a player is chosen.
    std::string PlayerFolderName() const {
        return m_pPlayer ? m_pPlayer->GetFolderName() : std::string();
    }
    // The markup choices from the settings: controls, autoplay, loop and poster.
    void ReadOptions(const COptions& options);

    // True when the poster is asked for and has not been tried for this media yet.
    bool NeedsPoster() const;
    // Takes the poster picture into `workFolder` unless it was tried already for this media;
    // true when the job has one. The only step that runs ffmpeg; it may run on a worker thread.
    bool TakePoster(const std::string& workFolder);
    // Why the poster that was asked for could not be taken; empty when there is no such problem.
    const std::string& PosterProblem() const { return m_strPosterProblem; }

    // Head and body code for the page at `pagePath`: page-relative locations when publishing, file
    // URLs of the media and the installation's player files in a preview.
    PageCode MakeCode(const std::string& pagePath, PlayerMode mode) const;

    // Writes `text` as a preview of the loaded page: a hidden file beside the page (one per
    // folder, reused), with the inserted player's code swapped for code that plays the media and
    // loads the player files from where they are now. Its path, or nullopt after a message.
    std::optional<std::string> WritePreview(CHtmlPage& page, std::string text);
    void DeletePreview();

    // Writes `text` as the loaded page, then copies the player files, the server configuration
    // and the media into the site. A failed page save copies nothing.
    PublishOutcome PublishPage(CHtmlPage& page, std::string text, ICopyQuestions& questions);

    // Deletes what the job made in the working folder (the poster).
    void End();

    const PlayerRequest& Request() const { return m_request; }

private:
    // The request for one page: its locations under the site filled in.
    PlayerRequest RequestForPage(const std::string& pagePath, PlayerMode mode) const;
    void DropPoster();

    MediaDetails m_details;
    PlayerRequest m_request;
    PlayerType m_nPlayerType = PLAYER_TYPE_VIDEOJS;
    std::unique_ptr<CHTML5Player> m_pPlayer;
    // A failed picture is not tried again for every page.
    bool m_bPosterTried = false;
    std::string m_strPosterProblem;
    CEqualFilesMemo m_copied;
    std::unique_ptr<CPageFile> m_pPreviewFile;
    std::string m_strPreviewPath;
    std::string m_strConvertedPath;
};

// Fills the request's page and its locations under the site (the relative URLs of the JavaScript
// and media folders and their full paths) from the site layout.
void SetPageLocations(PlayerRequest& request, const std::string& pagePath);
