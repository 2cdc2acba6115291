// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPublishJob.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"
#include "media/VideoThumbnail.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/InsertionEngine.h"
#include "publish/MediaCopy.h"
#include "publish/SiteLayout.h"

namespace {

// The media library's binding is process-wide and unlocked: one parse at a time.
std::mutex g_parseMutex;
// A stale preview file of the name this second gives is waited out, a few seconds at most.
constexpr int kPreviewNameAttempts = 3000;

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + with.size())) {
        text.replace(pos, what.size(), with);
    }
}

// Passes the questions on and remembers whether the user cancelled at one.
class CRecordingQuestions : public ICopyQuestions {
public:
    explicit CRecordingQuestions(ICopyQuestions& questions) : m_questions(questions) {}
    int AskOverwrite(const std::string& text) override {
        const int answer = m_questions.AskOverwrite(text);
        m_bCancelled = m_bCancelled || answer == COPY_EXIST_CANCEL;
        return answer;
    }
    int AskCopyError(const std::string& text) override {
        m_nCopyError = errno;
        return m_questions.AskCopyError(text);
    }
    bool Progress(const std::string& file, uint64_t done, uint64_t total) override {
        m_strFile = file;
        const bool go_on = m_questions.Progress(file, done, total);
        m_bCancelled = m_bCancelled || !go_on;
        return go_on;
    }

    bool Cancelled() const { return m_bCancelled; }
    int CopyError() const { return m_nCopyError; }
    const std::string& File() const { return m_strFile; }

private:
    ICopyQuestions& m_questions;
    bool m_bCancelled = false;
    int m_nCopyError = 0;
    std::string m_strFile;
};

}  // namespace

void SetPageLocations(PlayerRequest& request, const std::string& pagePath) {
    request.pagePath = pagePath;
    request.jsFolderUrl = SiteLayout::GetRelativeJavaScriptPath(pagePath);
    request.mediaFolderUrl = SiteLayout::GetRelativeMediaPath(pagePath);
    request.jsFolder = SiteLayout::GetJavaScriptFolder(pagePath);
    request.mediaFolder = SiteLayout::GetMediaFolder(pagePath);
}

CPublishJob::CPublishJob() = default;

CPublishJob::~CPublishJob() {
    DeletePreview();
    End();
    // Kept past End, for more pages of the same media.
    if (!m_strConvertedPath.empty()) {
        ::unlink(m_strConvertedPath.c_str());
    }
}

MediaCheck CPublishJob::CheckMedia(const std::string& path) {
    MediaCheck check;
    if (!PathExists(path)) {
        check.verdict = MEDIA_MISSING;
        return check;
    }
    bool parsed = false;
    {
        const std::lock_guard lock(g_parseMutex);
        try {
            parsed = check.details.Parse(path);
        } catch (...) {
            parsed = false;
        }
    }
    check.verdict = !parsed                         ? MEDIA_UNREADABLE
                    : !check.details.IsHTML5Media() ? MEDIA_NOT_HTML5
                                                    : MEDIA_ACCEPTED;
    return check;
}

int CPublishJob::RefusalMessageId(MediaVerdict verdict) {
    switch (verdict) {
        case MEDIA_MISSING:
            return IDS_MEDIA_NOT_EXIST;
        case MEDIA_UNREADABLE:
            return IDS_MEDIA_PARSE_FAILED;
        case MEDIA_NOT_HTML5:
            return IDS_NOT_HTML5_MEDIA;
        case MEDIA_ACCEPTED:
            break;
    }
    return 0;
}

bool CPublishJob::CheckConverted(const std::string& path, MediaDetails& details) {
    MediaCheck check = CheckMedia(path);
    details = std::move(check.details);
    return check.verdict == MEDIA_ACCEPTED;
}

void CPublishJob::SetConvertedMedia(const std::string& path, const MediaDetails& details) {
    SetMedia(path, details);
    m_strConvertedPath = path;
}

void CPublishJob::SetMedia(const std::string& path, const MediaDetails& details) {
    if (!m_strConvertedPath.empty() && m_strConvertedPath != path) {
        ::unlink(m_strConvertedPath.c_str());
        m_strConvertedPath.clear();
    }
    if (m_request.mediaFiles.empty() || m_request.mediaFiles.front() != path) {
        DropPoster();
    }
    m_details = details;
    const bool video = details.m_nVideoCount > 0;
    m_request.mediaFiles = {path};
    m_request.copyList = {path};
    m_request.width = video ? details.m_nWidth : 0;
    m_request.height = video ? details.m_nHeight : 0;
    m_request.mediaTitle = GetPathFileTitle(path);
    m_request.mediaKind = video ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO;
}

void CPublishJob::SetPlayer(const PlayerInfo& row, int rowIndex) {
    m_request.mediaKind = IsVideo() ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO;
    m_request.playerIndex = rowIndex;
    m_nPlayerType = row.playerType;
    m_pPlayer = row.create();
}

void CPublishJob::ReadOptions(const COptions& options) {
    ReadCodeOptions(m_request, options);
}

bool CPublishJob::NeedsPoster() const {
    return m_request.poster && (m_request.mediaKind & MEDIA_KIND_VIDEO) &&
           !m_request.mediaFiles.empty() && !m_bPosterTried;
}

bool CPublishJob::TakePoster(const std::string& workFolder) {
    if (!NeedsPoster()) {
        return !m_request.posterFile.empty();
    }
    m_bPosterTried = true;
    m_strPosterProblem.clear();
    if (!IsValidPath(workFolder) || !CreateFolders(workFolder)) {
        m_strPosterProblem = fmt::sprintf("the working folder %s cannot be made: %s", workFolder,
                                          GetErrorText(IsValidPath(workFolder) ? errno : EINVAL));
        return false;
    }
    if (auto picture = TakePosterPicture(m_request, workFolder)) {
        m_request.posterFile = *picture;
        m_request.tempList = {*picture};
        return true;
    }
    const std::string& media = m_request.mediaFiles.front();
    const std::string ffmpeg = GetFfmpegPath(media);
    if (ffmpeg.find('/') == std::string::npos && FindOnPath(ffmpeg).empty()) {
        m_strPosterProblem = "ffmpeg was not found; install the ffmpeg package";
    } else if (!PathExists(media)) {
        m_strPosterProblem = fmt::sprintf("the video %s is gone", media);
    } else {
        m_strPosterProblem = fmt::sprintf("%s could not take a picture from the video", ffmpeg);
    }
    return false;
}

PlayerRequest CPublishJob::RequestForPage(const std::string& pagePath, PlayerMode mode) const {
    PlayerRequest request = m_request;
    SetPageLocations(request, pagePath);
    request.mode = mode;
    return request;
}

PageCode CPublishJob::MakeCode(const std::string& pagePath, PlayerMode mode) const {
    PageCode code;
    if (!m_pPlayer) {
        return code;
    }
    const PlayerRequest request = RequestForPage(pagePath, mode);
    std::string head;
    m_pPlayer->GetHeadCode(request, head);
    code.made = m_pPlayer->GetBodyCode(request, code.body);
    if (code.made) {
        code.body += m_pPlayer->GetScriptCode();
    } else {
        code.body.clear();
    }
    if (mode == PLAYER_MODE_PREVIEW) {
        // A preview loads the player files from the installation, not from the site.
        ReplaceAll(head, "$(path)", PathToUrl(GetInstallFolder()));
        code.head = std::move(head);
    } else {
        code.head = HeadCodeForPage(head, PathToUrl(request.jsFolderUrl));
    }
    return code;
}

std::optional<std::string> CPublishJob::WritePreview(CHtmlPage& page, std::string text) {
    if (page.IsInserted()) {
        const PageCode preview = MakeCode(page.PagePath(), PLAYER_MODE_PREVIEW);
        SwapCodeLines(text, page.HeadCode(), preview.head);
        SwapCodeLines(text, page.BodyCode(), preview.body);
    }
    // Beside the page, so that the page's own relative links work in the preview.
    const std::string folder = GetPathFolder(page.PagePath());
    if (folder.empty()) {
        return std::nullopt;
    }
    if (!m_pPreviewFile || GetPathFolder(m_strPreviewPath) != folder) {
        DeletePreview();
        auto file = std::make_unique<CPageFile>();
        for (int attempt = 0;; ++attempt) {
            const auto now =
                static_cast<unsigned>(static_cast<uint64_t>(std::time(nullptr)) & 0xFFFFFFFFu);
            const std::string path = AddBackslash(folder) + fmt::sprintf(".~preview%08x.htm", now);
            if (file->Create(path)) {
                m_pPreviewFile = std::move(file);
                m_strPreviewPath = path;
                break;
            }
            if (errno != EEXIST || attempt >= kPreviewNameAttempts) {
                const int error = errno;
                MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_FILE_WRITE_ERROR), path,
                                 GetErrorText(error));
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (!page.SavePage(*m_pPreviewFile, text)) {
        return std::nullopt;
    }
    return m_strPreviewPath;
}

void CPublishJob::DeletePreview() {
    if (m_pPreviewFile) {
        m_pPreviewFile.reset();
        ClearReadOnly(m_strPreviewPath);
        ::unlink(m_strPreviewPath.c_str());
    }
    m_strPreviewPath.clear();
}

PublishOutcome CPublishJob::PublishPage(CHtmlPage& page, std::string text,
                                        ICopyQuestions& questions) {
    PublishOutcome outcome;
    const std::string pagePath = page.PagePath();
    // Nothing is written when a folder of the site would lead out of it.
    if (const auto outside = SiteLayout::FolderOutsideSite(pagePath)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_OUTSIDE_SITE, *outside,
                      COptions::Instance()->m_strSiteRoot);
        outcome.failure = StepFailure{PUBLISH_STEP_SITE_FOLDERS, *outside, EXDEV};
        return outcome;
    }
    page.SetText(std::move(text));
    errno = 0;
    if (!page.SavePage(page.Text())) {
        outcome.failure = StepFailure{PUBLISH_STEP_SAVE_PAGE, pagePath, errno};
        return outcome;
    }
    PlayerRequest request = RequestForPage(pagePath, PLAYER_MODE_PUBLISH);
    if (m_pPlayer) {
        errno = 0;
        if (!m_pPlayer->CopyResources(request.jsFolder)) {
            outcome.warnings.push_back({PUBLISH_STEP_PLAYER_FILES, request.jsFolder, errno});
        }
    }
    errno = 0;
    if (!CopyServerConfig(request.mediaFolder)) {
        outcome.warnings.push_back(
            {PUBLISH_STEP_SERVER_CONFIG, JoinPath(".htaccess", request.mediaFolder, true), errno});
    }
    if (m_pPlayer) {
        errno = 0;
        if (!m_pPlayer->OnPagePublished(pagePath)) {
            outcome.warnings.push_back({PUBLISH_STEP_PAGE_FILES, GetPathFolder(pagePath), errno});
        }
    }
    request.copyList = PublishCopyList(m_request);
    // The poster stays for the job's other pages; End deletes it.
    request.tempList.clear();
    errno = 0;
    if (!PrepareMediaFolder(request, request.mediaFolder)) {
        outcome.failure = StepFailure{PUBLISH_STEP_MEDIA_FOLDER, request.mediaFolder, errno};
        return outcome;
    }
    CRecordingQuestions recorder(questions);
    if (!CopyMediaFiles(request, request.mediaFolder, recorder, &m_copied)) {
        outcome.cancelled = recorder.Cancelled();
        if (!outcome.cancelled) {
            outcome.failure = StepFailure{PUBLISH_STEP_MEDIA_COPY,
                                          JoinPath(recorder.File(), request.mediaFolder, true),
                                          recorder.CopyError()};
        }
    }
    return outcome;
}

void CPublishJob::DropPoster() {
    for (const std::string& temp : m_request.tempList) {
        ::unlink(temp.c_str());
    }
    m_request.tempList.clear();
    m_request.posterFile.clear();
    m_bPosterTried = false;
    m_strPosterProblem.clear();
}

void CPublishJob::End() {
    DropPoster();
}
