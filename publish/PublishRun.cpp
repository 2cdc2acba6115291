// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/PublishRun.h"

#include <filesystem>

#include <sys/stat.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"
#include "players/PlayerInfo.h"
#include "publish/CHtmlPage.h"
#include "publish/CPageFile.h"
#include "publish/CPublishJob.h"
#include "publish/CStringPageEditor.h"
#include "publish/MediaCopy.h"
#include "publish/Captions.h"
#include "publish/SiteLayout.h"

CRunFolder::CRunFolder() : m_strPath(MakePrivateTempFolder("publish-", m_strProblem)) {}

CRunFolder::~CRunFolder() {
    if (!m_strPath.empty()) {
        DeleteFolder(m_strPath);
    }
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    return error && !path.starts_with('/') ? path : CombinePath(cwd.native(), path);
}

bool CPageSet::Add(const std::string& path) {
    const std::string canonical = RealPath(path).value_or(path);
    struct stat st {};
    const bool seenFile =
        ::stat(path.c_str(), &st) == 0 && !m_files.insert({st.st_dev, st.st_ino}).second;
    return m_paths.insert(canonical).second && !seenFile;
}

std::optional<std::pair<size_t, size_t>> FindInsertionRange(const PagePlacement& placement,
                                                            const std::string& text) {
    if (!placement.at && !placement.after) {
        static const CRegex body("<body\\b[^>]*>", CRegex::Caseless);
        CRegex::Match m;
        const size_t at = body.Search(text, &m) ? m.offset + m.length : 0;
        return std::pair{at, at};
    }
    const std::string& needle = placement.at ? *placement.at : *placement.after;
    const size_t hit = text.find(needle);
    if (hit == std::string::npos) {
        return std::nullopt;
    }
    return std::pair{placement.at ? hit : hit + needle.size(), hit + needle.size()};
}

CResult<PageSkip> OpenRunPage(CPublishJob& job, CPageSet& pages, CHtmlPage& page,
                              const std::string& path, bool again) {
    if (auto inSite = job.Site().CheckPageLocation(path); !inSite) {
        return inSite.why;
    }
    if (!pages.Add(path)) {
        return PageSkip::Repeated;
    }
    page.SetChangedQuestion(IDS_PAGE_CHANGED_BEFORE_PUBLISHING);
    if (auto loaded = page.LoadPage(path, job.OpenSite(path).value); !loaded) {
        return loaded.why;
    }
    return !again && job.PageHoldsPlayer(page) ? PageSkip::AlreadyPlays : PageSkip::None;
}

PlayerPlace PlacePlayer(const CHtmlPage& page, CStringPageEditor& editor,
                        const PagePlacement& placement) {
    const auto range = FindInsertionRange(placement, page.Text());
    if (!range) {
        return {};
    }
    PlayerPlace place{true, std::nullopt, range->first};
    editor.SetSelection(range->first, range->second);
    const InsertionCheck check = page.CheckInsertionPoint(editor);
    if (check.IsSafe()) {
        return place;
    }
    if (!placement.at && !placement.after && !check.openToEnd) {
        editor.SetSelection(check.safeOffset, check.safeOffset);
    } else if (!placement.force) {
        place.refused = check;
    }
    return place;
}

CaptionsParse ParseCaptionsRequest(const std::string& text) {
    auto isCaptions = [](std::string_view ext) {
        return EqualsNoCase(ext, ".vtt") || EqualsNoCase(ext, ".srt");
    };
    size_t end = std::string::npos;
    for (size_t colon = text.find(':'); colon != std::string::npos && end == std::string::npos;
         colon = text.find(':', colon + 1)) {
        end = colon >= 4 && isCaptions(text.substr(colon - 4, 4)) ? colon : std::string::npos;
    }
    if (end == std::string::npos && !isCaptions(GetPathExtension(text))) {
        end = text.find(':');
    }
    CaptionsParse parse{{text.substr(0, end), {}, {}}, {}};
    CaptionsRequest& captions = parse.request;
    if (end != std::string::npos) {
        const std::string rest = text.substr(end + 1);
        const size_t colon = rest.find(':');
        captions.language = rest.substr(0, colon);
        captions.label = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    if (captions.file.empty()) {
        parse.problem = LoadStringRes(IDS_RUN_CAPTIONS_NO_FILE);
    } else if (!captions.language.empty() && !IsCaptionsLanguage(captions.language)) {
        parse.problem =
            fmt::sprintf(LoadStringRes(IDS_RUN_CAPTIONS_BAD_LANGUAGE), captions.language);
    }
    return parse;
}

std::string AddRequestedCaptions(CPublishJob& job, const std::vector<CaptionsRequest>& requests) {
    for (const CaptionsRequest& given : requests) {
        const std::string path = AbsolutePath(given.file);
        const auto& tracks = job.Captions();
        size_t found = 0;
        while (found < tracks.size() && tracks[found].source != path) {
            ++found;
        }
        if (found < tracks.size()) {
            job.SetCaptionsLanguage(
                found, given.language.empty() ? tracks[found].language : given.language,
                given.label);
            continue;
        }
        if (std::string problem = job.AddCaptions(path, given.language, given.label);
            !problem.empty()) {
            return problem;
        }
    }
    return {};
}

namespace {

using Overwrite = PublishRequest::Overwrite;

// The site and the markup choices of a run: the saved ones, with the request's over them.
RunSettings WithRequest(RunSettings values, const PublishRequest& request) {
    if (request.siteRoot) {
        values.site.root =
            request.siteRoot->empty() ? "" : AddBackslash(AbsolutePath(*request.siteRoot));
    }
    // Stored as the options sheet stores them, so "/js" is "/js/".
    if (request.jsPath) {
        values.site.jsPath = SiteLayout::StoredSubFolder(*request.jsPath);
    }
    if (request.mediaPath) {
        values.site.mediaPath = SiteLayout::StoredSubFolder(*request.mediaPath);
    }
    PlayerChoices& choices = values.choices;
    choices.poster = request.poster.value_or(choices.poster);
    choices.autoPlay = request.autoplay.value_or(choices.autoPlay);
    choices.audioAutoPlay = request.autoplay.value_or(choices.audioAutoPlay);
    choices.loop = request.loop.value_or(choices.loop);
    choices.controls = request.controls.value_or(choices.controls);
    choices.fit = request.fit.value_or(choices.fit);
    choices.qualities = request.qualities.value_or(choices.qualities);
    return values;
}

// A message of the table as the message box said it, without its line ends' carriage returns.
template <typename... Args>
std::string Words(int id, Args&&... args) {
    std::string text = fmt::sprintf(LoadStringRes(id), std::forward<Args>(args)...);
    std::erase(text, '\r');
    return text;
}

// The request's own answers to the copy questions; the front end is asked only with Ask. A stop
// cancels a copy.
class CRequestAnswers : public ICopyQuestions {
public:
    CRequestAnswers(const PublishRequest& request, IRunOutput& output, ICopyQuestions& questions)
        : m_request(request), m_out(output), m_questions(questions) {}
    int AskOverwrite(const std::string& text) override {
        if (m_request.overwrite == Overwrite::No && m_request.verbosity > 0) {
            m_out.Say(Words(IDS_RUN_ANSWERED_NO, text));
        }
        return m_request.overwrite == Overwrite::Ask   ? m_questions.AskOverwrite(text)
               : m_request.overwrite == Overwrite::Yes ? COPY_EXIST_YES
                                                       : COPY_EXIST_NO;
    }
    int AskCopyError(const std::string& text) override {
        const bool stopped = StopRequested();
        if (!stopped && m_request.overwrite == Overwrite::Ask) {
            return m_questions.AskCopyError(text);
        }
        if (!stopped) {
            m_out.Say(text);
        }
        return IDABORT;
    }
    bool Progress(const std::string& file, uint64_t done, uint64_t total) override {
        return !StopRequested() && m_questions.Progress(file, done, total);
    }
    void Tell(const CError& note) override { m_out.Tell(note); }

private:
    const PublishRequest& m_request;
    IRunOutput& m_out;
    ICopyQuestions& m_questions;
};

// One run of the publisher: the media checked once, then each page in turn. A step returns how
// the run ends, or nothing to go on.
class CPublishRun {
public:
    CPublishRun(const PublishRequest& request, IRunOutput& output, ICopyQuestions& questions)
        : m_request(request), m_out(output), m_answers(request, output, questions) {}
    RunEnd Run(const RunSettings& settings);

private:
    std::optional<RunEnd> PrepareMedia();
    std::optional<RunEnd> PrepareJob(int savedPlayer);
    std::optional<RunEnd> PublishInto(const std::string& pagePath);
    std::optional<CMediaInfo2> Convert(const CMediaInfo2& source, const std::string& output,
                                       bool& noRoom);
    RunEnd ConvertOnly(const MediaCheck& check);
    void TakePoster();
    bool PrepareStream(const std::string& pagePath);
    bool PlaceIn(CHtmlPage& page, CStringPageEditor& editor, const std::string& pagePath);
    void ReportWarnings(const PublishOutcome& outcome);
    void Fail(RunEnd end) { m_end = m_end == RunEnd::Published ? end : m_end; }
    bool Talkative() const { return m_request.verbosity > 0; }
    RunEnd Stopped();
    template <typename... Args>
    void SayRes(int id, Args&&... args) {
        m_out.Say(Words(id, std::forward<Args>(args)...));
    }

    const PublishRequest& m_request;
    IRunOutput& m_out;
    CRequestAnswers m_answers;
    // One flush per folder for the run's pages, all done before the run reports its end.
    CFolderSyncBatch m_syncFolders{GetDefaultFileWriter()};
    CRunFolder m_work;
    CPublishJob m_job;  // after the folder: what it leaves there goes first
    CPageSet m_pages;
    std::string m_strMedia;
    RunEnd m_end = RunEnd::Published;
    bool m_bWarnedDark = false;
    PlayerChoices m_choices;
    // Said as RunEnd::NoPoster only for a page that then holds the player.
    bool m_bPosterMissing = false;
};

RunEnd CPublishRun::Run(const RunSettings& settings) {
    const RunSettings values = WithRequest(settings, m_request);
    m_job.SetWorkFolder(m_work.path());
    m_job.SetSite(values.site);
    m_choices = values.choices;
    if (const auto end = PrepareMedia()) {
        return *end;
    }
    if (const auto end = PrepareJob(settings.videoPlayer)) {
        return *end;
    }
    for (const std::string& page : m_request.pages) {
        if (StopRequested()) {
            return Stopped();
        }
        if (const auto end = PublishInto(AbsolutePath(page))) {
            return *end;
        }
    }
    return m_end;
}

// What is half made is gone by the time a stop is reported.
RunEnd CPublishRun::Stopped() {
    if (m_request.convertOnly) {
        SayRes(IDS_RUN_STOPPED_CONVERSION, AbsolutePath(*m_request.convertOnly));
    } else {
        SayRes(IDS_RUN_STOPPED_PAGES);
    }
    return RunEnd::Stopped;
}

// Makes `source` web-ready at `output` (or in the working folder under its own title).
// Nullopt when it failed; `noRoom` then says whether for want of room.
std::optional<CMediaInfo2> CPublishRun::Convert(const CMediaInfo2& source,
                                                const std::string& output, bool& noRoom) {
    CTask task;
    CMediaConverter converter(&task, source);
    if (output.empty()) {
        converter.SetOutputFolder(m_work.path());
    } else {
        converter.SetOutputPath(output);
    }
    converter.SetResultCheck(&CPublishJob::CheckConverted);
    if (Talkative()) {
        m_out.Say(source.m_strPath + ": " + converter.Plan().Describe());
    }
    const std::string name = GetPathFileName(source.m_strPath);
    converter.SetProgressHandler([&](const ConversionProgress& p) { m_out.Converting(name, &p); });
    const bool converted = converter.Convert();
    m_out.Converting(name, nullptr);
    if (!converted) {
        // A stop is reported by whoever ends the run, not as a failure of the media.
        noRoom = converter.NoRoom();
        if (noRoom && !StopRequested()) {
            SayRes(IDS_CONVERT_NO_ROOM, source.m_strPath, GetPathFolder(converter.OutputPath()),
                   converter.Problem());
        } else if (!StopRequested()) {
            SayRes(IDS_CONVERT_FAILED, source.m_strPath, converter.Problem());
        }
        return std::nullopt;
    }
    if (Talkative()) {
        m_out.Say(fmt::sprintf(LoadStringRes(IDS_CONVERTED), converter.OutputPath()));
    }
    return converter.Result();
}

// Only the web-ready file at convertOnly.
RunEnd CPublishRun::ConvertOnly(const MediaCheck& check) {
    if (check.verdict != MEDIA_ACCEPTED && check.verdict != MEDIA_NOT_HTML5) {
        SayRes(CPublishJob::RefusalMessageId(check.verdict), m_strMedia);
        return RunEnd::MediaRefused;
    }
    const ConversionPlan plan = PlanConversion(check.details);
    if (plan.kind == CONVERSION_NONE) {
        if (Talkative()) {
            SayRes(IDS_RUN_ALREADY_WEB_READY, m_strMedia);
        }
        return RunEnd::Published;
    }
    const std::string output = AbsolutePath(*m_request.convertOnly);
    if (!EqualsNoCase(GetPathExtension(output), plan.extension)) {
        SayRes(IDS_RUN_OUT_EXTENSION, m_strMedia, plan.extension);
        return RunEnd::BadArguments;
    }
    if (PathExists(output) && m_request.overwrite != Overwrite::Yes) {
        SayRes(IDS_RUN_OUT_KEPT, output);
        return RunEnd::WriteFailed;
    }
    bool noRoom = false;
    if (Convert(check.details, output, noRoom)) {
        return RunEnd::Published;
    }
    return StopRequested() ? Stopped() : noRoom ? RunEnd::NoRoom : RunEnd::WriteFailed;
}

std::optional<RunEnd> CPublishRun::PrepareMedia() {
    m_strMedia = AbsolutePath(m_request.media);
    const MediaCheck check = CPublishJob::CheckMedia(m_strMedia);
    if (StopRequested()) {
        return Stopped();
    }
    if (m_request.convertOnly) {
        return ConvertOnly(check);
    }
    if (check.verdict == MEDIA_NOT_HTML5 && m_request.convert) {
        // Never under a name relative to the current folder, among the user's own files.
        if (m_work.path().empty()) {
            SayRes(IDS_RUN_NOT_CONVERTED, m_work.problem(), m_strMedia);
            return RunEnd::WriteFailed;
        }
        bool noRoom = false;
        const auto converted = Convert(check.details, {}, noRoom);
        if (!converted) {
            return StopRequested() ? Stopped() : noRoom ? RunEnd::NoRoom : RunEnd::MediaRefused;
        }
        m_job.SetConvertedMedia(converted->m_strPath, *converted, m_strMedia);
        return std::nullopt;
    }
    if (check.verdict == MEDIA_ACCEPTED) {
        m_job.SetMedia(m_strMedia, check.details);
        return std::nullopt;
    }
    const bool notHtml5 = check.verdict == MEDIA_NOT_HTML5;
    SayRes(CPublishJob::RefusalMessageId(check.verdict),
           notHtml5 ? m_strMedia + "\r\n" : m_strMedia);
    if (notHtml5) {
        SayRes(IDS_CONVERT_WITH_OPTION, m_strMedia, PlanConversion(check.details).Describe());
    }
    return RunEnd::MediaRefused;
}

std::optional<RunEnd> CPublishRun::PrepareJob(int savedPlayer) {
    std::vector<std::string> sources;
    std::ranges::transform(m_request.sources, std::back_inserter(sources), AbsolutePath);
    if (auto set = m_job.SetOtherSources(sources); !set) {
        m_out.Tell(set.why);
        return RunEnd::MediaRefused;
    }
    if (m_request.fastStart) {
        m_job.SetFastStart(*m_request.fastStart);
    }
    if (m_job.FastStart() && !m_job.Request().fastStartList.empty() && !IsFfmpegFound(m_strMedia)) {
        SayRes(IDS_FASTSTART_WITHOUT_FFMPEG, m_strMedia);
        m_job.SetFastStart(false);
    }
    if (m_request.posterAt && m_job.IsVideo()) {
        // Refused before anything is written: ffmpeg finds no picture there.
        const double last = LastPictureMoment(m_job.Details());
        if (*m_request.posterAt > 0 && *m_request.posterAt >= last) {
            SayRes(IDS_RUN_POSTER_AT_PAST_END, *m_request.posterAt, m_strMedia,
                   m_job.Details().m_fDuration, last);
            return RunEnd::BadArguments;
        }
        m_job.SetPosterTime(*m_request.posterAt);
    }
    if (m_job.IsVideo()) {
        const auto rows = GetVideoPlayers();
        int index = m_request.player ? FindVideoPlayerByCliName(*m_request.player) : savedPlayer;
        index = index < 0 || static_cast<size_t>(index) >= rows.size() ? 0 : index;
        m_job.SetPlayer(rows[static_cast<size_t>(index)], index);
    } else {
        m_job.SetPlayer(GetAudioPlayers()[0], 0);
    }
    m_job.SetChoices(m_choices);
    if (!m_job.IsVideo()) {
        if (!m_request.captions.empty() && Talkative()) {
            SayRes(IDS_RUN_AUDIO_CAPTIONS);
        }
        return std::nullopt;
    }
    if (m_request.noCaptions) {
        m_job.ClearCaptions();
    } else if (Talkative()) {
        for (const std::string& problem : m_job.CaptionsProblems()) {
            SayRes(IDS_RUN_FILE_LEFT_OUT, problem);
        }
    }
    if (const std::string problem = AddRequestedCaptions(m_job, m_request.captions);
        !problem.empty()) {
        m_out.Say(problem);
        return RunEnd::MediaRefused;
    }
    return std::nullopt;
}

// One picture serves every page of the run, taken once a page could be loaded.
void CPublishRun::TakePoster() {
    if (m_job.NeedsPoster() && !m_request.posterFile.empty()) {
        m_job.UsePoster(m_request.posterFile);
    } else if (m_job.NeedsPoster() && m_work.path().empty()) {
        if (!m_bPosterMissing) {
            SayRes(IDS_RUN_NO_POSTER, m_strMedia, m_work.problem());
        }
        m_bPosterMissing = true;
    } else if (m_job.NeedsPoster() && !m_job.TakePoster(m_work.path()) && !StopRequested()) {
        SayRes(IDS_RUN_NO_POSTER, m_strMedia, m_job.PosterProblem());
        m_bPosterMissing = true;
    } else if (m_job.PosterIsDark() && !m_bWarnedDark && Talkative()) {
        m_bWarnedDark = true;
        const auto brighter = m_job.SuggestPosterTime(m_work.path());
        SayRes(IDS_RUN_DARK_POSTER, m_strMedia,
               brighter ? Words(IDS_RUN_BRIGHTER_POSTER, *brighter) : std::string());
    }
}

// The stream is made once, with the conversion's progress; false leaves the page as it was.
bool CPublishRun::PrepareStream(const std::string& pagePath) {
    if (m_request.print) {
        return true;
    }
    const std::string name = GetPathFileName(m_strMedia);
    const std::string problem = m_job.PrepareStream(
        pagePath, [&](const ConversionProgress& p) { m_out.Converting(name, &p); });
    m_out.Converting(name, nullptr);
    if (!problem.empty() && !StopRequested()) {
        SayRes(IDS_STREAM_FAILED, m_strMedia, problem, pagePath);
        Fail(RunEnd::WriteFailed);
    }
    return problem.empty() && !StopRequested();
}

// Selects where the player goes; false when the page is refused.
bool CPublishRun::PlaceIn(CHtmlPage& page, CStringPageEditor& editor, const std::string& pagePath) {
    const PlayerPlace place =
        PlacePlayer(page, editor, {m_request.at, m_request.after, m_request.force});
    if (!place.found) {
        SayRes(IDS_RUN_PLACE_NOT_FOUND, m_request.at ? *m_request.at : *m_request.after, pagePath);
    } else if (place.refused) {
        SayRes(IDS_INSERT_POINT_REFUSED, pagePath, DescribeInsertionPoint(*place.refused),
               LineAtOffset(page.Text(), place.offset));
    }
    return place.found && !place.refused;
}

// The page works only with these in place: a failure is an error, also when quiet.
void CPublishRun::ReportWarnings(const PublishOutcome& outcome) {
    for (const CError& failed : outcome.warnings) {
        const std::string reason = GetErrorText(failed.error);
        if (failed.step == PUBLISH_STEP_PLAYER_FILES) {
            SayRes(IDS_RUN_PLAYER_FILES_FAILED, m_job.PlayerFolderName(), failed.path, reason);
        } else if (failed.step == PUBLISH_STEP_SERVER_CONFIG) {
            SayRes(IDS_RUN_SERVER_CONFIG_FAILED, failed.path, reason);
        } else {
            SayRes(IDS_RUN_PLAYER_FOLDER_FAILED, failed.path, reason);
        }
        Fail(RunEnd::WriteFailed);
    }
}

std::optional<RunEnd> CPublishRun::PublishInto(const std::string& pagePath) {
    CHtmlPage page;
    page.SetReport(&m_out);
    page.SetFileWriter(&m_syncFolders);
    const auto opened =
        OpenRunPage(m_job, m_pages, page, pagePath, m_request.again || m_request.print);
    const PageSkip skip = opened.value;
    if (!opened) {
        m_out.Tell(opened.why);
        Fail(RunEnd::PageRefused);
        return std::nullopt;
    }
    if (skip == PageSkip::Repeated && Talkative()) {
        SayRes(IDS_RUN_PAGE_REPEATED, pagePath);
    } else if (skip == PageSkip::AlreadyPlays && Talkative()) {
        SayRes(IDS_RUN_PAGE_PLAYS, pagePath, GetPathFileName(m_strMedia));
    }
    if (skip != PageSkip::None) {
        return std::nullopt;
    }
    TakePoster();
    if (!PrepareStream(pagePath)) {
        return StopRequested() ? std::optional(Stopped()) : std::nullopt;
    }
    const PageCode code = m_job.MakeCode(pagePath, PLAYER_MODE_PUBLISH);
    if (!code.made) {
        SayRes(IDS_NOT_HTML5_MEDIA, m_strMedia + "\r\n");
        return RunEnd::MediaRefused;
    }
    if (m_request.print) {
        if (!m_out.Print(code.head + "\n----\n" + code.body + "\n")) {
            SayRes(IDS_RUN_NOT_PRINTED, GetErrorText(errno));
            Fail(RunEnd::WriteFailed);
        }
        return m_end;
    }
    page.SetHeadCode(code.head);
    page.SetBodyCode(code.body, code.ownLines);
    CStringPageEditor editor(page.Text());
    if (!PlaceIn(page, editor, pagePath)) {
        Fail(RunEnd::PageRefused);
        return std::nullopt;
    }
    page.InsertPlayerCode(editor);
    if (StopRequested()) {
        return Stopped();
    }
    const PublishOutcome outcome = m_job.PublishPage(page, editor.Text(), m_answers);
    if (StopRequested() && !outcome.Published()) {
        return Stopped();
    }
    if (outcome.failure) {
        m_out.Tell(*outcome.failure);
    }
    ReportWarnings(outcome);
    if (!outcome.Published()) {
        Fail(outcome.cancelled ? RunEnd::Cancelled : RunEnd::WriteFailed);
        return outcome.cancelled ? std::optional(m_end) : std::nullopt;
    }
    page.Close();
    if (m_bPosterMissing && !m_request.posterOptional) {
        Fail(RunEnd::NoPoster);
    }
    if (Talkative()) {
        SayRes(IDS_RUN_PUBLISHED, pagePath);
    }
    return std::nullopt;
}

}  // namespace

RunEnd RunPublish(const PublishRequest& request, const RunSettings& settings, IRunOutput& output,
                  ICopyQuestions& questions) {
    return CPublishRun(request, output, questions).Run(settings);
}
