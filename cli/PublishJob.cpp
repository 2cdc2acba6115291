// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PublishJob.h"

#include <cerrno>
#include <chrono>

#include <unistd.h>

#include <fmt/printf.h>

#include "app/CBoxReport.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/CPublishJob.h"
#include "publish/CStringPageEditor.h"
#include "publish/InsertionGuard.h"
#include "publish/SiteLayout.h"

namespace {

using Overwrite = PublishOptions::Overwrite;

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// The first letter of the answer to `question`, lower-cased; nullopt at the end of the input.
std::optional<char> AskOnTerminal(std::FILE* err, const std::string& question,
                                  const char* choices) {
    std::fprintf(err, "%s [%s] ", question.c_str(), choices);
    std::fflush(err);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin)) {
        return std::nullopt;
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
}

// Messages on standard error; a question is asked on the terminal when there is one, else
// answered with its safe default (No, keep what is there).
class CTerminalMessageBox : public IMessageBox {
public:
    CTerminalMessageBox(std::FILE* err, bool interactive)
        : m_err(err), m_bInteractive(interactive) {}
    int Show(unsigned type, const std::string& text) override {
        const unsigned buttons = type & MB_BUTTONMASK;
        const std::string said = WithoutCarriageReturns(text);
        if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
            if (const auto answer =
                    m_bInteractive ? AskOnTerminal(m_err, said, "y/N") : std::nullopt) {
                return answer == 'y' ? IDYES : IDNO;
            }
            std::fprintf(m_err, "%s\n", said.c_str());
            return IDNO;
        }
        std::fprintf(m_err, "%s\n", said.c_str());
        return buttons == MB_ABORTRETRYIGNORE ? IDABORT : IDOK;
    }

private:
    std::FILE* m_err;
    bool m_bInteractive;
};

class CCliCopyQuestions : public ICopyQuestions {
public:
    CCliCopyQuestions(const PublishOptions& options, std::FILE* err)
        : m_options(options), m_err(err), m_bShowProgress(::isatty(::fileno(err)) == 1) {}

    int AskOverwrite(const std::string& text) override {
        if (m_options.overwrite == Overwrite::Yes) {
            return COPY_EXIST_YES;
        }
        if (m_options.overwrite == Overwrite::No) {
            if (m_options.verbosity > 0) {
                std::fprintf(m_err, "%s No.\n", text.c_str());
            }
            return COPY_EXIST_NO;
        }
        const std::string choices = "yanc";
        const int answers[] = {COPY_EXIST_YES, COPY_EXIST_YES_TO_ALL, COPY_EXIST_NO,
                               COPY_EXIST_CANCEL};
        while (const auto answer = AskOnTerminal(m_err, text, "y/a/n/c")) {
            if (const size_t i = choices.find(*answer); i != std::string::npos) {
                return answers[i];
            }
        }
        return COPY_EXIST_CANCEL;
    }

    int AskCopyError(const std::string& text) override {
        if (StopRequested()) {
            return IDABORT;
        }
        while (m_options.overwrite == Overwrite::Ask) {
            const auto answer = AskOnTerminal(m_err, text, "a/r/i");
            if (!answer) {
                break;
            }
            if (*answer == 'a') {
                return IDABORT;
            }
            if (*answer == 'r' || *answer == 'i') {
                return *answer == 'r' ? IDRETRY : IDIGNORE;
            }
        }
        std::fprintf(m_err, "%s\n", text.c_str());
        return IDABORT;
    }

    bool Progress(const std::string& file, uint64_t done, uint64_t total) override {
        if (StopRequested()) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (file != m_strFile) {
            m_strFile = file;
            m_start = now;
            if (m_options.verbosity > 1) {
                std::fprintf(m_err, "copying %s\n", file.c_str());
            }
        }
        // Only a copy that takes more than a second gets a progress line.
        if (m_bShowProgress && m_options.verbosity > 0 && now - m_start > std::chrono::seconds(1)) {
            std::fprintf(m_err, "\r%s: %3d%%%s", file.c_str(),
                         total ? static_cast<int>(done * 100 / total) : 100,
                         done == total ? "\n" : "");
            std::fflush(m_err);
        }
        return true;
    }
    void Tell(const CError& note) override { ShowMessage(note); }

private:
    const PublishOptions& m_options;
    std::FILE* m_err;
    bool m_bShowProgress;
    std::string m_strFile;
    std::chrono::steady_clock::time_point m_start;
};

// Shows the conversion's progress on a terminal, on one line that is written over.
class CTerminalProgress {
public:
    CTerminalProgress(std::FILE* err, const PublishOptions& options, std::string name)
        : m_err(err),
          m_bShow(options.verbosity > 0 && ::isatty(::fileno(err)) == 1),
          m_strName(std::move(name)) {}
    ~CTerminalProgress() {
        if (m_bShown) {
            std::fprintf(m_err, "\n");
        }
    }
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;

    void operator()(const ConversionProgress& progress) {
        if (!m_bShow) {
            return;
        }
        const std::string left = progress.secondsLeft >= 0
                                     ? ", " + FormatTimeEstimate(progress.secondsLeft) + " left"
                                     : std::string();
        std::fprintf(m_err, "\r%s: %3d%%%s\033[K", m_strName.c_str(),
                     static_cast<int>(progress.percent), left.c_str());
        std::fflush(m_err);
        m_bShown = true;
    }

private:
    std::FILE* m_err;
    bool m_bShow;
    bool m_bShown = false;
    std::string m_strName;
};

// The site and the markup choices the job takes: the settings', with the command line's over them.
struct RunValues {
    SiteDescription site;
    PlayerChoices choices;
};

RunValues ApplyOptionOverrides(const PublishOptions& options, const COptions& o) {
    RunValues values{SiteFromOptions(o), ChoicesFromOptions(o)};
    if (options.siteRoot) {
        values.site.root =
            options.siteRoot->empty() ? "" : AddBackslash(AbsolutePath(*options.siteRoot));
    }
    // Stored as the options sheet stores them, so "/js" is "/js/".
    if (options.jsPath) {
        values.site.jsPath = SiteLayout::StoredSubFolder(*options.jsPath);
    }
    if (options.mediaPath) {
        values.site.mediaPath = SiteLayout::StoredSubFolder(*options.mediaPath);
    }
    PlayerChoices& choices = values.choices;
    choices.poster = options.poster.value_or(choices.poster);
    choices.autoPlay = options.autoplay.value_or(choices.autoPlay);
    choices.audioAutoPlay = options.autoplay.value_or(choices.audioAutoPlay);
    choices.loop = options.loop.value_or(choices.loop);
    choices.controls = options.controls.value_or(choices.controls);
    choices.fit = options.fit.value_or(choices.fit);
    return values;
}

// Makes `source` web-ready at `output` (or in `folder` under its own title); the message of a
// failure goes to `err`. Nullopt when it failed; `noRoom` then says whether for want of room.
std::optional<CMediaInfo2> ConvertMedia(const PublishOptions& options, const CMediaInfo2& source,
                                        const std::string& folder, const std::string& output,
                                        std::FILE* err, bool& noRoom) {
    CTask task;
    CMediaConverter converter(&task, source);
    if (output.empty()) {
        converter.SetOutputFolder(folder);
    } else {
        converter.SetOutputPath(output);
    }
    converter.SetResultCheck(&CPublishJob::CheckConverted);
    if (options.verbosity > 0) {
        std::fprintf(err, "%s: %s\n", source.m_strPath.c_str(),
                     converter.Plan().Describe().c_str());
    }
    bool converted = false;
    {
        CTerminalProgress progress(err, options, GetPathFileName(source.m_strPath));
        converter.SetProgressHandler([&](const ConversionProgress& p) { progress(p); });
        converted = converter.Convert();
    }
    if (!converted) {
        // A stop is reported by whoever ends the run, not as a failure of the media.
        noRoom = converter.NoRoom();
        if (noRoom && !StopRequested()) {
            MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_CONVERT_NO_ROOM),
                             source.m_strPath, GetPathFolder(converter.OutputPath()),
                             converter.Problem());
        } else if (!StopRequested()) {
            MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_CONVERT_FAILED),
                             source.m_strPath, converter.Problem());
        }
        return std::nullopt;
    }
    if (options.verbosity > 0) {
        std::fprintf(err, "%s\n",
                     fmt::sprintf(LoadStringRes(IDS_CONVERTED), converter.OutputPath()).c_str());
    }
    return converter.Result();
}

// A stop asked for by a signal: what is half made is gone by the time this is called.
int StoppedStatus(const PublishOptions& options, std::FILE* err) {
    if (options.convertOnly) {
        std::fprintf(err, "dede5-publish: stopped; %s was not written.\n",
                     AbsolutePath(*options.convertOnly).c_str());
    } else {
        std::fprintf(err, "dede5-publish: stopped; pages not published yet are as they were.\n");
    }
    return 128 + StopSignal();
}

// --convert-only: the web-ready file at OUT and nothing else.
int RunConvertOnly(const PublishOptions& options, const std::string& media, const MediaCheck& check,
                   std::FILE* err) {
    if (check.verdict != MEDIA_ACCEPTED && check.verdict != MEDIA_NOT_HTML5) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, CPublishJob::RefusalMessageId(check.verdict), media);
        return PUBLISH_MEDIA_REFUSED;
    }
    const ConversionPlan plan = PlanConversion(check.details);
    if (plan.kind == CONVERSION_NONE) {
        if (options.verbosity > 0) {
            std::fprintf(err, "%s plays in web browsers as it is; nothing was written.\n",
                         media.c_str());
        }
        return PUBLISH_OK;
    }
    const std::string output = AbsolutePath(*options.convertOnly);
    if (!EqualsNoCase(GetPathExtension(output), plan.extension)) {
        std::fprintf(err, "dede5-publish: %s becomes a %s file; name OUT with that extension.\n",
                     media.c_str(), plan.extension.c_str());
        return PUBLISH_BAD_ARGUMENTS;
    }
    if (PathExists(output) && options.overwrite != Overwrite::Yes) {
        std::fprintf(err,
                     "dede5-publish: %s already exists; it is kept (--overwrite yes "
                     "replaces it).\n",
                     output.c_str());
        return PUBLISH_WRITE_FAILED;
    }
    bool noRoom = false;
    if (ConvertMedia(options, check.details, {}, output, err, noRoom)) {
        return PUBLISH_OK;
    }
    return StopRequested() ? StoppedStatus(options, err)
           : noRoom        ? PUBLISH_NO_ROOM
                           : PUBLISH_WRITE_FAILED;
}

// One run of the publisher: the media checked once, then each page in turn. A step returns the
// status that ends the run, or nothing to go on.
class CCliRun {
public:
    CCliRun(const PublishOptions& options, std::FILE* out, std::FILE* err)
        : m_options(options), m_out(out), m_err(err), m_questions(options, err) {}
    int Run();

private:
    std::optional<int> PrepareMedia();
    std::optional<int> PrepareJob();
    std::optional<int> PublishInto(const std::string& pagePath);
    void TakePoster();
    bool PlacePlayer(CHtmlPage& page, CStringPageEditor& editor, const std::string& pagePath);
    void ReportWarnings(const PublishOutcome& outcome);
    void Fail(int code) { m_status = m_status == PUBLISH_OK ? code : m_status; }
    bool Talkative() const { return m_options.verbosity > 0; }
    int Stopped() const { return StoppedStatus(m_options, m_err); }

    const PublishOptions& m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    CCliCopyQuestions m_questions;
    CBoxReport m_report;
    CRunFolder m_work;
    CPublishJob m_job;  // after the folder: what it leaves there goes first
    CPageSet m_pages;
    std::string m_strMedia;
    int m_status = PUBLISH_OK;
    bool m_bWarnedDark = false;
    PlayerChoices m_choices;
    // Said as status 6 only for a page that then holds the player.
    bool m_bPosterMissing = false;
};

int CCliRun::Run() {
    const RunValues values = ApplyOptionOverrides(m_options, *COptions::Instance());
    m_job.SetWorkFolder(m_work.path());
    m_job.SetSite(values.site);
    m_choices = values.choices;
    if (const auto end = PrepareMedia()) {
        return *end;
    }
    if (const auto end = PrepareJob()) {
        return *end;
    }
    for (const std::string& page : m_options.pages) {
        if (StopRequested()) {
            return Stopped();
        }
        if (const auto end = PublishInto(AbsolutePath(page))) {
            return *end;
        }
    }
    return m_status;
}

std::optional<int> CCliRun::PrepareMedia() {
    m_strMedia = AbsolutePath(m_options.media);
    const MediaCheck check = CPublishJob::CheckMedia(m_strMedia);
    if (StopRequested()) {
        return Stopped();
    }
    if (m_options.convertOnly) {
        return RunConvertOnly(m_options, m_strMedia, check, m_err);
    }
    if (check.verdict == MEDIA_NOT_HTML5 && m_options.convert) {
        // Never under a name relative to the current folder, among the user's own files.
        if (m_work.path().empty()) {
            std::fprintf(m_err, "dede5-publish: %s; %s was not converted.\n",
                         m_work.problem().c_str(), m_strMedia.c_str());
            return PUBLISH_WRITE_FAILED;
        }
        bool noRoom = false;
        const auto converted =
            ConvertMedia(m_options, check.details, m_work.path(), {}, m_err, noRoom);
        if (!converted) {
            return StopRequested() ? Stopped() : noRoom ? PUBLISH_NO_ROOM : PUBLISH_MEDIA_REFUSED;
        }
        m_job.SetConvertedMedia(converted->m_strPath, *converted, m_strMedia);
        return std::nullopt;
    }
    if (check.verdict == MEDIA_ACCEPTED) {
        m_job.SetMedia(m_strMedia, check.details);
        return std::nullopt;
    }
    const bool notHtml5 = check.verdict == MEDIA_NOT_HTML5;
    MessageBoxRes(MB_OK | MB_ICONWARNING, CPublishJob::RefusalMessageId(check.verdict),
                  notHtml5 ? m_strMedia + "\r\n" : m_strMedia);
    if (notHtml5) {
        MessageBoxRes(MB_OK | MB_ICONINFORMATION, IDS_CONVERT_WITH_OPTION, m_strMedia,
                      PlanConversion(check.details).Describe());
    }
    return PUBLISH_MEDIA_REFUSED;
}

std::optional<int> CCliRun::PrepareJob() {
    if (m_options.fastStart) {
        m_job.SetFastStart(*m_options.fastStart);
    }
    if (m_job.FastStart() && m_job.Details().NeedsFastStart() && !IsFfmpegFound(m_strMedia)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FASTSTART_WITHOUT_FFMPEG, m_strMedia);
        m_job.SetFastStart(false);
    }
    if (m_options.posterAt && m_job.IsVideo()) {
        // Refused before anything is written: ffmpeg finds no picture there.
        const double last = LastPictureMoment(m_job.Details());
        if (*m_options.posterAt > 0 && *m_options.posterAt >= last) {
            std::fprintf(m_err,
                         "dede5-publish: --poster-at %g is past the end of %s (%.2f s long; "
                         "its last picture is before %.2f s)\n",
                         *m_options.posterAt, m_strMedia.c_str(), m_job.Details().m_fDuration,
                         last);
            return PUBLISH_BAD_ARGUMENTS;
        }
        m_job.SetPosterTime(*m_options.posterAt);
    }
    const COptions& o = *COptions::Instance();
    if (m_job.IsVideo()) {
        const auto rows = GetVideoPlayers();
        int index =
            m_options.player ? FindVideoPlayerByCliName(*m_options.player) : o.m_nVideoPlayer;
        index = index < 0 || static_cast<size_t>(index) >= rows.size() ? 0 : index;
        m_job.SetPlayer(rows[static_cast<size_t>(index)], index);
    } else {
        m_job.SetPlayer(GetAudioPlayers()[0], 0);
    }
    m_job.SetChoices(m_choices);
    if (!m_job.IsVideo()) {
        if (!m_options.captions.empty() && Talkative()) {
            std::fprintf(m_err, "No player shows captions for audio; --captions is left out.\n");
        }
        return std::nullopt;
    }
    if (m_options.noCaptions) {
        m_job.ClearCaptions();
    } else if (Talkative()) {
        for (const std::string& problem : m_job.CaptionsProblems()) {
            std::fprintf(m_err, "%s\nThe file is left out.\n", problem.c_str());
        }
    }
    if (const std::string problem = AddRequestedCaptions(m_job, m_options.captions);
        !problem.empty()) {
        std::fprintf(m_err, "%s\n", problem.c_str());
        return PUBLISH_MEDIA_REFUSED;
    }
    return std::nullopt;
}

// One picture serves every page of the run, taken once a page could be loaded.
void CCliRun::TakePoster() {
    if (m_job.NeedsPoster() && m_work.path().empty()) {
        if (!m_bPosterMissing) {
            std::fprintf(m_err, "dede5-publish: %s: no poster: %s\n", m_strMedia.c_str(),
                         m_work.problem().c_str());
        }
        m_bPosterMissing = true;
    } else if (m_job.NeedsPoster() && !m_job.TakePoster(m_work.path()) && !StopRequested()) {
        std::fprintf(m_err, "dede5-publish: %s: no poster: %s\n", m_strMedia.c_str(),
                     m_job.PosterProblem().c_str());
        m_bPosterMissing = true;
    } else if (m_job.PosterIsDark() && !m_bWarnedDark && Talkative()) {
        m_bWarnedDark = true;
        const auto brighter = m_job.SuggestPosterTime(m_work.path());
        std::fprintf(m_err,
                     "dede5-publish: %s: the poster picture (the first second) is nearly "
                     "black%s\n",
                     m_strMedia.c_str(),
                     brighter
                         ? fmt::sprintf("; --poster-at %g gives a brighter one", *brighter).c_str()
                         : "");
    }
}

// Selects where the player goes; false when the page is refused.
bool CCliRun::PlacePlayer(CHtmlPage& page, CStringPageEditor& editor, const std::string& pagePath) {
    const PlayerPlace place =
        ::PlacePlayer(page, editor, {m_options.at, m_options.after, m_options.force});
    if (!place.found) {
        std::fprintf(m_err, "'%s' does not occur in '%s'; the page is left as it is.\n",
                     (m_options.at ? *m_options.at : *m_options.after).c_str(), pagePath.c_str());
    } else if (place.refused) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_INSERT_POINT_REFUSED, pagePath,
                      DescribeInsertionPoint(*place.refused),
                      LineAtOffset(page.Text(), place.offset));
    }
    return place.found && !place.refused;
}

// The page works only with these in place: a failure is an error, also with -q.
void CCliRun::ReportWarnings(const PublishOutcome& outcome) {
    for (const CError& failed : outcome.warnings) {
        const std::string reason = GetErrorText(failed.error);
        if (failed.step == PUBLISH_STEP_PLAYER_FILES) {
            std::fprintf(m_err, "Some %s files could not be copied into %s: %s\n",
                         m_job.PlayerFolderName().c_str(), failed.path.c_str(), reason.c_str());
        } else if (failed.step == PUBLISH_STEP_SERVER_CONFIG) {
            std::fprintf(m_err, "The server configuration %s could not be written: %s\n",
                         failed.path.c_str(), reason.c_str());
        } else {
            std::fprintf(m_err, "The player's files could not be put into %s: %s\n",
                         failed.path.c_str(), reason.c_str());
        }
        Fail(PUBLISH_WRITE_FAILED);
    }
}

std::optional<int> CCliRun::PublishInto(const std::string& pagePath) {
    CHtmlPage page;
    page.SetReport(&m_report);
    const auto opened =
        OpenRunPage(m_job, m_pages, page, pagePath, m_options.again || m_options.print);
    const PageSkip skip = opened.value;
    if (!opened) {
        ShowMessage(opened.why);
        Fail(PUBLISH_PAGE_REFUSED);
        return std::nullopt;
    }
    if (skip == PageSkip::Repeated && Talkative()) {
        std::fprintf(m_err, "%s is a page already published in this run; skipped.\n",
                     pagePath.c_str());
    } else if (skip == PageSkip::AlreadyPlays && Talkative()) {
        std::fprintf(m_err, "%s already plays %s; skipped (--again adds another player).\n",
                     pagePath.c_str(), GetPathFileName(m_strMedia).c_str());
    }
    if (skip != PageSkip::None) {
        return std::nullopt;
    }
    TakePoster();
    const PageCode code = m_job.MakeCode(pagePath, PLAYER_MODE_PUBLISH);
    if (!code.made) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_NOT_HTML5_MEDIA, m_strMedia + "\r\n");
        return PUBLISH_MEDIA_REFUSED;
    }
    if (m_options.print) {
        std::fprintf(m_out, "%s\n----\n%s\n", code.head.c_str(), code.body.c_str());
        if (std::fflush(m_out) != 0 || std::ferror(m_out)) {
            std::fprintf(m_err, "dede5-publish: the code could not be printed: %s\n",
                         GetErrorText(errno).c_str());
            Fail(PUBLISH_WRITE_FAILED);
        }
        return m_status;
    }
    page.SetHeadCode(code.head);
    page.SetBodyCode(code.body);
    CStringPageEditor editor(page.Text());
    if (!PlacePlayer(page, editor, pagePath)) {
        Fail(PUBLISH_PAGE_REFUSED);
        return std::nullopt;
    }
    page.InsertPlayerCode(editor);
    if (StopRequested()) {
        return Stopped();
    }
    const PublishOutcome outcome = m_job.PublishPage(page, editor.Text(), m_questions);
    if (StopRequested() && !outcome.Published()) {
        return Stopped();
    }
    if (outcome.failure) {
        ShowMessage(*outcome.failure);
    }
    ReportWarnings(outcome);
    if (!outcome.Published()) {
        Fail(outcome.cancelled ? PUBLISH_CANCELLED : PUBLISH_WRITE_FAILED);
        return outcome.cancelled ? std::optional(m_status) : std::nullopt;
    }
    page.Close();
    if (m_bPosterMissing && !m_options.posterOptional) {
        Fail(PUBLISH_NO_POSTER);
    }
    if (Talkative()) {
        std::fprintf(m_err, "published %s\n", pagePath.c_str());
    }
    return std::nullopt;
}

}  // namespace

int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err) {
    CTerminalMessageBox box(err, options.overwrite == Overwrite::Ask);
    SetMessageBox(&box);
    struct Restore {
        ~Restore() { SetMessageBox(nullptr); }
    } restore;
    return CCliRun(options, out, err).Run();
}
