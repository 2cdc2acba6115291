// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPublishJob.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>

#include <unistd.h>

#include <fmt/printf.h>

#include "core/CSiteFolder.h"
#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/Regex.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/StreamMaker.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/Captions.h"
#include "publish/InsertionEngine.h"
#include "publish/CPreviewServer.h"
#include "publish/MediaCopy.h"
#include "publish/SiteLayout.h"
#include "publish/SiteStream.h"

namespace {

// The media library's binding is process-wide and unlocked: one parse at a time.
std::mutex g_parseMutex;
// Passes the questions on and remembers whether the user cancelled at one.
class CRecordingQuestions : public ICopyQuestions {
public:
    explicit CRecordingQuestions(ICopyQuestions& questions) : m_questions(questions) {}
    int AskOverwrite(const std::string& text) override {
        const int answer = m_questions.AskOverwrite(text);
        m_bCancelled = m_bCancelled || answer == COPY_EXIST_CANCEL;
        return answer;
    }
    int AskCopyError(const std::string& text) override { return m_questions.AskCopyError(text); }
    bool Progress(const std::string& file, uint64_t done, uint64_t total) override {
        m_strFile = file;
        const bool go_on = m_questions.Progress(file, done, total);
        m_bCancelled = m_bCancelled || !go_on;
        return go_on;
    }
    void Tell(const CError& note) override { m_questions.Tell(note); }

    bool Cancelled() const { return m_bCancelled; }
    const std::string& File() const { return m_strFile; }

private:
    ICopyQuestions& m_questions;
    bool m_bCancelled = false;
    std::string m_strFile;
};

}  // namespace

void SetPageLocations(PlayerRequest& request, const SiteLayout& site, const std::string& pagePath) {
    request.pagePath = SiteLayout::RealPagePath(pagePath);
    request.jsFolderUrl = site.GetRelativeJavaScriptPath(pagePath);
    request.mediaFolderUrl = site.GetRelativeMediaPath(pagePath);
    request.jsFolder = site.GetJavaScriptFolder(pagePath);
    request.mediaFolder = site.GetMediaFolder(pagePath);
}

CPublishJob::CPublishJob() = default;

CPublishJob::~CPublishJob() {
    End();
    // Kept past End, for more pages of the same media.
    if (!m_strConvertedPath.empty()) {
        RemoveWorkingFile(m_strConvertedPath);
    }
    if (!m_strStreamPath.empty()) {
        DeleteFolder(m_strStreamPath);
    }
}

MediaCheck CPublishJob::CheckMedia(const std::string& path, MediaDetails::ParseDepth depth) {
    MediaCheck check;
    if (!PathExists(path)) {
        check.verdict = MEDIA_MISSING;
        return check;
    }
    bool parsed = false;
    {
        const std::lock_guard lock(g_parseMutex);
        try {
            parsed = check.details.Parse(path, depth);
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
    MediaCheck check = CheckMedia(path, MediaDetails::HEADERS);
    details = std::move(check.details);
    return check.verdict == MEDIA_ACCEPTED;
}

void CPublishJob::SetConvertedMedia(const std::string& path, const MediaDetails& details,
                                    const std::string& original) {
    UseMedia(path, details, original);
    m_strConvertedPath = path;
}

void CPublishJob::SetMedia(const std::string& path, const MediaDetails& details) {
    UseMedia(path, details, path);
}

void CPublishJob::UseMedia(const std::string& path, const MediaDetails& details,
                           const std::string& original) {
    if (!m_strConvertedPath.empty() && m_strConvertedPath != path) {
        RemoveWorkingFile(m_strConvertedPath);
        m_strConvertedPath.clear();
    }
    if (m_request.mediaFiles.empty() || m_request.mediaFiles.front() != path) {
        DropPoster();
        if (!m_strStreamPath.empty()) {
            DeleteFolder(std::exchange(m_strStreamPath, {}));
        }
        m_strStreamMark.clear();
        const auto chosen = m_posterTimes.find(path);
        m_request.posterAt = chosen != m_posterTimes.end() ? chosen->second : 0;
    }
    m_details = details;
    const bool video = details.m_nVideoCount > 0;
    m_request.mediaFiles = {path};
    m_request.copyList = {path};
    m_request.sourceOrder.clear();
    m_fastStartSources.clear();
    m_request.width = video ? details.m_nWidth : 0;
    m_request.height = video ? details.m_nHeight : 0;
    m_request.mediaTitle = GetPathFileTitle(path);
    m_request.mediaKind = video ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO;
    if (m_strCaptionsMedia != original) {
        m_strCaptionsMedia = original;
        ClearCaptions();
        m_captionsProblems.clear();
        if (video) {
            for (const CaptionsBeside& found : FindCaptionsBeside(original)) {
                if (std::string problem = AddCaptions(found.path, found.language);
                    !problem.empty()) {
                    m_captionsProblems.push_back(std::move(problem));
                }
            }
        }
    }
    UpdateFastStartList();
}

std::string CPublishJob::AddCaptions(const std::string& path, const std::string& language,
                                     const std::string& label) {
    if (!language.empty() && !IsCaptionsLanguage(language)) {
        return fmt::sprintf(LoadStringRes(IDS_CAPTIONS_BAD_LANGUAGE), language);
    }
    CaptionsText text = ReadCaptions(path);
    if (!text.Ok()) {
        return text.problem;
    }
    // "film.de.srt" says its language when the user does not.
    std::string tag = language;
    const std::string title = GetPathFileTitle(path);
    if (const size_t dot = title.rfind('.');
        tag.empty() && dot != std::string::npos && IsCaptionsLanguage(title.substr(dot + 1))) {
        tag = title.substr(dot + 1);
    }
    m_request.captions.push_back(
        {path, std::string(), tag, label.empty() ? CaptionsLabelFor(tag) : label});
    m_captionTexts.push_back(std::move(text.webvtt));
    std::string problem = WriteCaptions();
    if (!problem.empty()) {
        m_request.captions.pop_back();
        m_captionTexts.pop_back();
    }
    return problem;
}

void CPublishJob::RemoveCaptions(size_t index) {
    if (index < m_request.captions.size()) {
        RemoveWorkingFile(m_request.captions[index].file);
        m_request.captions.erase(m_request.captions.begin() + static_cast<ptrdiff_t>(index));
        m_captionTexts.erase(m_captionTexts.begin() + static_cast<ptrdiff_t>(index));
        WriteCaptions();
    }
}

bool CPublishJob::SetCaptionsLanguage(size_t index, const std::string& language,
                                      const std::string& label) {
    if (index >= m_request.captions.size() ||
        (!language.empty() && !IsCaptionsLanguage(language))) {
        return false;
    }
    CaptionTrack& track = m_request.captions[index];
    track.language = language;
    track.label = label.empty() ? CaptionsLabelFor(language) : label;
    WriteCaptions();
    return true;
}

void CPublishJob::ClearCaptions() {
    m_request.captions.clear();
    m_captionTexts.clear();
    if (!m_strCaptionsFolder.empty()) {
        DeleteFolder(m_strCaptionsFolder);
        m_strCaptionsFolder.clear();
    }
}

std::string CPublishJob::WriteCaptions() {
    auto failed = [](const std::string& path) {
        return fmt::sprintf(LoadStringRes(IDS_CAPTIONS_WRITE_ERROR), path, GetErrorText(errno));
    };
    if (m_strCaptionsFolder.empty()) {
        // A folder of its own: the published names repeat from job to job.
        std::string work = m_strWorkFolder;
        if (work.empty()) {
            work = GetTempFolder();
        }
        if (!MakeWorkingFolder(work)) {
            return failed(work);
        }
        std::string problem;
        m_strCaptionsFolder = MakePrivateFolder(work, "captions-", problem);
        if (m_strCaptionsFolder.empty()) {
            return failed(std::filesystem::path(work) / "captions-");
        }
    }
    std::vector<std::string> languages;
    for (const CaptionTrack& track : m_request.captions) {
        languages.push_back(track.language);
    }
    const auto names = CaptionsFileNames(m_request.mediaTitle, languages);
    for (size_t i = 0; i < names.size(); ++i) {
        CaptionTrack& track = m_request.captions[i];
        const std::string file = JoinPath(names[i], m_strCaptionsFolder, true);
        if (!track.file.empty() && track.file != file) {
            RemoveWorkingFile(track.file);
        }
        track.file = file;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& file = m_request.captions[i].file;
        if (!WriteWorkingFile(file, m_captionTexts[i])) {
            return failed(file);
        }
    }
    return {};
}

void CPublishJob::SetFastStart(bool rewrite) {
    m_bFastStart = rewrite;
    UpdateFastStartList();
}

void CPublishJob::UpdateFastStartList() {
    m_request.fastStartList.clear();
    if (m_bFastStart && !m_request.mediaFiles.empty() && m_details.NeedsFastStart()) {
        m_request.fastStartList.push_back(m_request.mediaFiles.front());
    }
    if (m_bFastStart) {
        std::ranges::copy(m_fastStartSources, std::back_inserter(m_request.fastStartList));
    }
}

CStatus CPublishJob::SetOtherSources(const std::vector<std::string>& paths) {
    if (!HasMedia()) {
        return paths.empty() ? CStatus() : Message(MESSAGE_WARNING, IDS_SELECT_MEDIA_FIRST);
    }
    const std::string media = m_request.mediaFiles.front();
    std::vector<std::string> files = {media};
    std::vector<std::string> fastStart;
    std::set<std::string> types;
    if (const int row = FindRequestFormat(m_request); row >= 0) {
        types.insert(GetMediaFormat(row).mimeType);
    }
    for (const std::string& path : paths) {
        const MediaCheck check = CheckMedia(path);
        const MediaDetails& details = check.details;
        const int row = FindMediaFormat(GetPathExtension(path), m_request.mediaKind);
        std::string reason;
        if (check.verdict != MEDIA_ACCEPTED || row < 0) {
            reason = LoadStringRes(check.verdict == MEDIA_MISSING      ? IDS_SOURCE_MISSING
                                   : check.verdict == MEDIA_UNREADABLE ? IDS_SOURCE_UNREADABLE
                                                                       : IDS_SOURCE_NOT_PLAYABLE);
        } else if ((details.m_nVideoCount > 0) != IsVideo()) {
            reason = LoadStringRes(IDS_SOURCE_OTHER_KIND);
        } else if (details.m_fDuration > 0 && m_details.m_fDuration > 0 &&
                   std::abs(details.m_fDuration - m_details.m_fDuration) > 1) {
            // A length the headers do not give (an Ogg file's) cannot be compared.
            reason = fmt::sprintf(LoadStringRes(IDS_SOURCE_LENGTH), details.m_fDuration,
                                  m_details.m_fDuration);
        } else if (const char* type = GetMediaFormat(row).mimeType; !types.insert(type).second) {
            reason = fmt::sprintf(LoadStringRes(IDS_SOURCE_SAME_TYPE), type);
        }
        if (!reason.empty()) {
            return Message(MESSAGE_WARNING, IDS_SOURCE_REFUSED, path, media, reason);
        }
        files.push_back(path);
        if (details.NeedsFastStart()) {
            fastStart.push_back(path);
        }
    }
    // The browser takes the first it can play: the one it downloads the least of.
    std::vector<std::pair<uintmax_t, size_t>> sizes;
    for (const std::string& file : files) {
        std::error_code error;
        sizes.emplace_back(std::filesystem::file_size(file, error), sizes.size());
    }
    std::ranges::stable_sort(sizes, {}, &std::pair<uintmax_t, size_t>::first);
    m_request.sourceOrder.clear();
    if (files.size() > 1) {
        std::ranges::transform(sizes, std::back_inserter(m_request.sourceOrder),
                               &std::pair<uintmax_t, size_t>::second);
    }
    m_request.mediaFiles = files;
    m_request.copyList.resize(std::min<size_t>(m_request.copyList.size(), 1));
    m_request.copyList.insert(m_request.copyList.end(), files.begin() + 1, files.end());
    m_fastStartSources = std::move(fastStart);
    UpdateFastStartList();
    return {};
}

void CPublishJob::SetPosterTime(double seconds) {
    seconds = std::max(0.0, seconds);
    if (!m_request.mediaFiles.empty()) {
        m_posterTimes[m_request.mediaFiles.front()] = seconds;
    }
    if (seconds != m_request.posterAt) {
        DropPoster();
        m_request.posterAt = seconds;
    }
}

std::optional<double> CPublishJob::SuggestPosterTime(const std::string& workFolder) const {
    if (m_request.mediaFiles.empty() || !IsVideo() || !MakeWorkingFolder(workFolder)) {
        return std::nullopt;
    }
    return FindBrighterMoment(m_request.mediaFiles.front(), m_details.m_fDuration,
                              std::filesystem::path(workFolder) / ".~brighter.jpg");
}

PosterPreview CPublishJob::TakePosterPreview(const std::string& media, double duration,
                                             double seconds, const std::string& jpegPath) {
    PosterPreview preview;
    preview.taken = MakeStillPicture(media, jpegPath, seconds);
    if (!preview.taken || seconds > 0) {
        return preview;
    }
    const auto luma = MeasurePictureLuma(jpegPath);
    preview.dark = luma && IsNearlyBlack(*luma);
    if (preview.dark) {
        preview.brighterAt = FindBrighterMoment(
            media, duration, std::filesystem::path(jpegPath).replace_filename(".~brighter.jpg"));
    }
    return preview;
}

void CPublishJob::SetPlayer(const PlayerInfo& row, int rowIndex) {
    m_request.mediaKind = IsVideo() ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO;
    m_request.playerIndex = rowIndex;
    m_nPlayerType = row.playerType;
    m_pPlayer = CreatePlayer(row.playerType);
}

void CPublishJob::SetChoices(const PlayerChoices& choices) {
    ReadCodeOptions(m_request, choices);
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
    if (!MakeWorkingFolder(workFolder)) {
        m_strPosterProblem = fmt::sprintf(LoadStringRes(IDS_WORK_FOLDER_FAILED), workFolder,
                                          GetErrorText(IsValidPath(workFolder) ? errno : EINVAL));
        return false;
    }
    if (auto picture = TakePosterPicture(m_request, workFolder)) {
        m_request.posterFile = *picture;
        m_request.tempList = {*picture};
        // Only the default moment is judged: a moment the user chose is what the user wants.
        if (m_request.posterAt <= 0) {
            const auto luma = MeasurePictureLuma(*picture);
            m_bPosterDark = luma && IsNearlyBlack(*luma);
        }
        return true;
    }
    const std::string& media = m_request.mediaFiles.front();
    const std::string ffmpeg = GetFfmpegPath(media);
    if (ffmpeg.find('/') == std::string::npos && FindOnPath(ffmpeg).empty()) {
        m_strPosterProblem = LoadStringRes(IDS_FFMPEG_NOT_FOUND);
    } else if (!PathExists(media)) {
        m_strPosterProblem = fmt::sprintf(LoadStringRes(IDS_POSTER_MEDIA_GONE), media);
    } else {
        m_strPosterProblem = fmt::sprintf(LoadStringRes(IDS_POSTER_NOT_TAKEN), ffmpeg);
    }
    return false;
}

void CPublishJob::UsePoster(const std::string& picture) {
    DropPoster();
    m_request.posterFile = picture;
    m_bPosterTried = true;
}

PlayerRequest CPublishJob::RequestForPage(const std::string& pagePath, PlayerMode mode) const {
    PlayerRequest request = m_request;
    SetPageLocations(request, m_site, pagePath);
    request.mode = mode;
    if (const auto names = m_renamed.find(request.mediaFolder); names != m_renamed.end()) {
        // The templates take each file's name from its path: the published file's.
        auto follow = [&](std::string& path) {
            if (const auto it = names->second.find(path); it != names->second.end()) {
                path = JoinPath(it->second, request.mediaFolder, true);
            }
        };
        std::for_each(request.mediaFiles.begin(), request.mediaFiles.end(), follow);
        // The stream takes its media's published name: one of other media keeps its own.
        if (!request.streamFolder.empty()) {
            request.streamFolder = StreamFolderName(request.mediaFiles.front());
        }
        follow(request.posterFile);
        for (CaptionTrack& track : request.captions) {
            follow(track.file);
        }
    }
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
    if (!m_pPlayer->PlaysStreams()) {
        head += StreamScriptHead(request);
    }
    code.made = m_pPlayer->GetBodyCode(request, code.body);
    code.ownLines = request.fit;
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

CResult<std::string> CPublishJob::ServePreview(CHtmlPage& page, std::string text) {
    const std::string& siteRoot = m_site.Site().root;
    if (!m_pPreviewServer) {
        m_pPreviewServer = std::make_unique<CPreviewServer>();
    }
    if (!m_pPreviewServer->IsRunning() || m_pPreviewServer->SiteRoot() != siteRoot) {
        if (!m_pPreviewServer->Start(siteRoot)) {
            return Failure(errno, MESSAGE_ERROR, IDS_PREVIEW_SERVER_FAILED, GetErrorText(errno));
        }
    }
    // Outside the site, only what the preview code names and the player's own files are served.
    std::set<std::string> files;
    std::set<std::string> folders;
    if (page.IsInserted()) {
        const PageCode preview = MakeCode(page.PagePath(), PLAYER_MODE_PREVIEW);
        SwapCodeLines(text, page.HeadCode(), m_pPreviewServer->ServeFileUrls(preview.head, files));
        SwapCodeLines(text, page.BodyCode(), m_pPreviewServer->ServeFileUrls(preview.body, files));
        if (m_pPlayer) {
            const std::filesystem::path install = GetInstallFolder();
            for (const std::string& folder : m_pPlayer->ResourceFolders()) {
                folders.insert(install / folder);
            }
        }
    }
    m_pPreviewServer->SetAllowed(std::move(files), std::move(folders));
    auto bytes = page.EncodePage(text);
    if (!bytes) {
        return bytes;
    }
    if (auto url = m_pPreviewServer->SetPage(page.PagePath(), std::move(bytes.value))) {
        return std::move(*url);
    }
    return Message(MESSAGE_WARNING, IDS_PAGE_NOT_UNDER_ROOT, siteRoot, page.PagePath());
}

void CPublishJob::StopPreview() {
    if (m_pPreviewServer) {
        m_pPreviewServer->Stop();
    }
}

namespace {

// Runs a step that writes files into the site; where it stops at a link in the way (`failed`,
// relative to the site's root), asks whether the link may go and, on Yes, removes the link
// itself and runs it again; a link left alone fails with message 411.
CStatus RunSiteStep(const CSiteFolder& site, const std::function<int(std::string& failed)>& step,
                    ICopyQuestions& questions, bool& cancelled) {
    while (true) {
        std::string failed;
        const int error = step(failed);
        if (error != ELOOP || failed.empty()) {
            return error == 0 ? CStatus() : CStatus(CError{error});
        }
        const std::string link = site.PathOf(failed);
        const int answer =
            questions.AskOverwrite(fmt::sprintf(LoadStringRes(IDS_LINK_IN_THE_WAY), link));
        if (answer == COPY_EXIST_CANCEL) {
            cancelled = true;
            return CError{ELOOP};
        }
        if (answer == COPY_EXIST_NO || site.Unlink(failed) != 0) {
            return Failure(ELOOP, MESSAGE_ERROR, IDS_LINK_LEFT_ALONE, link);
        }
    }
}

std::string WorkFolder(const std::string& work) {
    return work.empty() ? GetTempFolder() : work;
}

// `why` as the failure of `step` at `path`.
CError AtStep(CError why, PublishStep step, const std::string& path) {
    why.step = step;
    why.path = path;
    return why;
}

CError OutsideSite(const std::string& folder, const std::string& root) {
    return AtStep(Failure(EXDEV, MESSAGE_WARNING, IDS_FOLDER_OUTSIDE_SITE, folder, root),
                  PUBLISH_STEP_SITE_FOLDERS, folder);
}

}  // namespace

CResult<std::shared_ptr<const CSiteFolder>> CPublishJob::OpenSite(
    const std::string& pagePath) const {
    const std::string& root = m_site.Site().root;
    auto opened = CSiteFolder::Open(RemoveBackslash(root.empty() ? GetPathFolder(pagePath) : root));
    if (!opened) {
        return opened.why;
    }
    return std::shared_ptr<const CSiteFolder>(std::move(opened.value));
}

namespace {

// True when the job ends here: the user cancelled at a question, or a stop was asked for.
bool Stopped(PublishOutcome& outcome) {
    outcome.cancelled = outcome.cancelled || StopRequested();
    return outcome.cancelled;
}

// A step that fails is a warning, unless a link was left alone in its way: the page would then
// use a file from elsewhere. False: the job ends here.
bool RunPlayerStep(const CSiteFolder& site, ICopyQuestions& questions, PublishOutcome& outcome,
                   PublishStep step, const std::string& path,
                   const std::function<int(std::string&)>& run) {
    CStatus done = RunSiteStep(site, run, questions, outcome.cancelled);
    if (done) {
        return true;
    }
    if (Stopped(outcome)) {
        return false;
    }
    CError failed = AtStep(std::move(done.why), step, path);
    if (failed.error == ELOOP) {
        outcome.failure = std::move(failed);
        return false;
    }
    outcome.warnings.push_back(std::move(failed));
    return true;
}

}  // namespace

PublishOutcome CPublishJob::PublishPage(CHtmlPage& page, std::string text,
                                        ICopyQuestions& questions) {
    PublishOutcome outcome;
    const std::string pagePath = page.PagePath();
    auto fail = [&outcome](CError why, PublishStep step, const std::string& path) {
        outcome.failure = AtStep(std::move(why), step, path);
        return outcome;
    };
    // Nothing is written when a folder of the site would lead out of it.
    if (const auto outside = m_site.FolderOutsideSite(pagePath)) {
        outcome.failure = OutsideSite(*outside, m_site.Site().root);
        return outcome;
    }
    page.SetText(std::move(text));
    // A page another program changed is asked about before anything is copied for it.
    if (auto confirmed = page.ConfirmUnchanged(); !confirmed) {
        return fail(std::move(confirmed.why), PUBLISH_STEP_SAVE_PAGE, pagePath);
    }
    // Everything the page refers to is in place before the page is saved: a page never points
    // at files that are not there yet, whatever stops the job in between.
    PlayerRequest request = RequestForPage(pagePath, PLAYER_MODE_PUBLISH);
    auto places = OpenPageSite(page, request);
    if (!places) {
        outcome.failure = std::move(places.why);
        return outcome;
    }
    const CSiteFolder& site = *places.value.site;
    if (!CopyPageFiles(page, request, places.value, questions, outcome)) {
        return outcome;
    }
    if (m_pPlayer && !RunPlayerStep(site, questions, outcome, PUBLISH_STEP_PAGE_FILES,
                                    GetPathFolder(pagePath), [&](std::string& failed) {
                                        errno = 0;
                                        if (m_pPlayer->OnPagePublished(site, places.value.page)) {
                                            return 0;
                                        }
                                        const int error = errno != 0 ? errno : EIO;
                                        failed =
                                            site.Relative(m_pPlayer->FailedFile()).value_or("");
                                        return error;
                                    })) {
        return outcome;
    }
    if (Stopped(outcome)) {
        return outcome;
    }
    CStatus saved;
    {
        // A stop asked for meanwhile waits: the page is either as it was or fully published.
        const CStopSignalsHeld held;
        saved = page.SavePage(page.Text());
    }
    if (!saved) {
        return fail(std::move(saved.why), PUBLISH_STEP_SAVE_PAGE, pagePath);
    }
    return outcome;
}

CResult<CPublishJob::PageSite> CPublishJob::OpenPageSite(const CHtmlPage& page,
                                                         const PlayerRequest& request) const {
    const std::string pagePath = page.PagePath();
    // Every file of the site is reached through one handle on its root, the one the page was
    // read through; the check of the folders before only words the refusal.
    const std::string& configuredRoot = m_site.Site().root;
    const std::string root = configuredRoot.empty() ? GetPathFolder(pagePath) : configuredRoot;
    const CPageFile* file = page.File();
    const bool loadedHere = file && file->Site() && file->Site()->Root() == RemoveBackslash(root);
    auto opened = loadedHere ? CResult(file->Site()) : OpenSite(pagePath);
    if (!opened) {
        return AtStep(std::move(opened.why), PUBLISH_STEP_SITE_FOLDERS, root);
    }
    const CSiteFolder& site = *opened.value;
    const auto pageFolder =
        loadedHere ? std::optional(file->SiteFolder()) : site.RealRelative(GetPathFolder(pagePath));
    const auto jsFolder = site.RealRelative(request.jsFolder);
    const auto mediaFolder = site.RealRelative(request.mediaFolder);
    if (!jsFolder || !mediaFolder || !pageFolder) {
        return OutsideSite(!jsFolder      ? request.jsFolder
                           : !mediaFolder ? request.mediaFolder
                                          : GetPathFolder(pagePath),
                           root);
    }
    return PageSite{std::move(opened.value), *pageFolder, *jsFolder, *mediaFolder};
}

namespace {

// Copies the stream made at `made` into the media folder, unless it holds it already.
bool CopyStream(const CSiteFolder& site, const std::string& media, const std::string& made,
                const std::string& mark, const PlayerRequest& request,
                CRecordingQuestions& recorder, PublishOutcome& outcome) {
    const std::string stream = std::filesystem::path(media) / request.streamFolder;
    if (request.streamFolder.empty() || SiteHoldsStream(site, stream, mark)) {
        return true;
    }
    const int error =
        CopyStreamIntoSite(made, site, stream, mark, [&](uint64_t done, uint64_t total) {
            return recorder.Progress(request.streamFolder, done, total);
        });
    if (error) {
        outcome.cancelled = recorder.Cancelled();
        if (!Stopped(outcome)) {
            outcome.failure = AtStep(CError{error}, PUBLISH_STEP_MEDIA_COPY,
                                     JoinPath(request.streamFolder, request.mediaFolder, true));
        }
    }
    return error == 0;
}

}  // namespace

bool CPublishJob::CopyPageFiles(CHtmlPage& page, PlayerRequest& request, const PageSite& places,
                                ICopyQuestions& questions, PublishOutcome& outcome) {
    const CSiteFolder& site = *places.site;
    auto folders = m_pPlayer ? m_pPlayer->ResourceFolders() : std::vector<std::string>();
    if (m_pPlayer && !m_pPlayer->PlaysStreams() && !StreamUrl(request).empty()) {
        folders.push_back(kStreamScriptFolder);
    }
    if (m_pPlayer && !RunPlayerStep(site, questions, outcome, PUBLISH_STEP_PLAYER_FILES,
                                    request.jsFolder, [&](std::string& failed) {
                                        return CopyPlayerFiles(site, places.js, folders, failed,
                                                               &m_copied);
                                    })) {
        return false;
    }
    if (Stopped(outcome)) {
        return false;
    }
    if (auto config =
            CopyServerConfig(site, places.media, request.streamFolder.empty() ? "" : kStreamTypes);
        !config) {
        if (config.why.id != 0) {
            questions.Tell(config.why);
        }
        outcome.warnings.push_back(AtStep(std::move(config.why), PUBLISH_STEP_SERVER_CONFIG,
                                          JoinPath(".htaccess", request.mediaFolder, true)));
    }
    request.copyList = PublishCopyList(m_request);
    // The poster stays for the job's other pages; End deletes it.
    request.tempList.clear();
    if (auto prepared = PrepareMediaFolder(request, site, places.media); !prepared) {
        outcome.failure =
            AtStep(std::move(prepared.why), PUBLISH_STEP_MEDIA_FOLDER, request.mediaFolder);
        return false;
    }
    if (Stopped(outcome)) {
        return false;
    }
    CRecordingQuestions recorder(questions);
    const std::string work = WorkFolder(m_strWorkFolder);
    MakeWorkingFolder(work);
    MediaCopyPlace place{&site, places.media, work, &m_copied, {}};
    if (auto copied = CopyMediaFiles(request, place, recorder); !copied) {
        outcome.cancelled = recorder.Cancelled();
        if (!Stopped(outcome)) {
            outcome.failure = AtStep(std::move(copied.why), PUBLISH_STEP_MEDIA_COPY,
                                     JoinPath(recorder.File(), request.mediaFolder, true));
        }
        return false;
    }
    if (!request.streamFolder.empty() && place.renamed.contains(m_request.mediaFiles.front())) {
        request.streamFolder = StreamFolderName(place.renamed[m_request.mediaFiles.front()]);
    }
    if (!CopyStream(site, places.media, m_strStreamPath, m_strStreamMark, request, recorder,
                    outcome)) {
        return false;
    }
    if (!place.renamed.empty()) {
        // The page points at the names the files really took.
        m_renamed[request.mediaFolder].merge(place.renamed);
        const PageCode code = MakeCode(page.PagePath(), PLAYER_MODE_PUBLISH);
        std::string renamedText = page.Text();
        if (!code.made || !SwapCodeLines(renamedText, page.BodyCode(), code.body)) {
            outcome.failure = AtStep(CError{EEXIST}, PUBLISH_STEP_MEDIA_COPY, request.mediaFolder);
            return false;
        }
        page.SetText(std::move(renamedText));
        page.SetBodyCode(code.body);
    }
    return true;
}

bool CPublishJob::PageHoldsPlayer(const CHtmlPage& page) const {
    if (m_request.mediaFiles.empty()) {
        return false;
    }
    const std::string url = MediaUrl(RequestForPage(page.PagePath(), PLAYER_MODE_PUBLISH));
    static const CRegex src("\\bsrc\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))",
                            CRegex::Caseless);
    const std::string& text = page.Text();
    CRegex::Match m;
    for (size_t start = 0; src.Search(text, &m, start); start = m.offset + m.length) {
        for (const auto& [offset, length] : m.groups) {
            if (offset == std::string::npos) {
                continue;
            }
            std::string value = text.substr(offset, length);
            ReplaceAll(value, "&amp;", "&");
            if (value == url) {
                return true;
            }
        }
        if (m.length == 0) {
            break;
        }
    }
    return false;
}

void CPublishJob::DropPoster() {
    for (const std::string& temp : m_request.tempList) {
        RemoveWorkingFile(temp);
    }
    m_request.tempList.clear();
    m_request.posterFile.clear();
    m_bPosterTried = false;
    m_bPosterDark = false;
    m_strPosterProblem.clear();
}

void CPublishJob::End() {
    // The preview shows the poster that goes now.
    StopPreview();
    DropPoster();
    ClearCaptions();
    m_strCaptionsMedia.clear();
}

std::string CPublishJob::PrepareStream(
    const std::string& pagePath, const std::function<void(const ConversionProgress&)>& progress,
    std::stop_token stop) {
    m_request.streamFolder.clear();
    if (!m_request.qualities || !IsVideo() || m_request.mediaFiles.empty()) {
        return {};
    }
    const std::string& media = m_request.mediaFiles.front();
    const std::string name = StreamFolderName(media);
    const auto site = OpenSite(pagePath);
    const auto folder =
        site ? site.value->RealRelative(RequestForPage(pagePath, PLAYER_MODE_PUBLISH).mediaFolder)
             : std::nullopt;
    if (m_strStreamMark.empty()) {
        m_strStreamMark = StreamMark(media);
    }
    const bool there =
        folder && SiteHoldsStream(*site.value, (std::filesystem::path(*folder) / name).string(),
                                  m_strStreamMark);
    if (!there && m_strStreamPath.empty()) {
        CTask task;
        const std::string work = WorkFolder(m_strWorkFolder);
        CStreamMaker maker(&task, m_details);
        maker.SetProgressHandler(progress);
        const std::stop_callback cancel(stop, [&maker] { maker.Cancel(); });
        const std::string path = CombinePath(work, name);
        if (!MakeWorkingFolder(work) || !maker.Make(path)) {
            return maker.Problem().empty() ? GetErrorText(errno) : maker.Problem();
        }
        m_strStreamPath = path;
    }
    m_request.streamFolder = name;
    return {};
}
