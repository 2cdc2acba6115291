// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PublishJob.h"

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "media/MediaInfo2.h"
#include "media/Task.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/CPublishJob.h"
#include "publish/CStringPageEditor.h"
#include "publish/Captions.h"
#include "publish/InsertionGuard.h"
#include "publish/MediaCopy.h"
#include "publish/SiteLayout.h"

namespace {

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

bool AskOnTerminal(std::FILE* err, const std::string& question, std::string_view choices,
                   char& answer) {
    std::fprintf(err, "%s [%.*s] ", question.c_str(), static_cast<int>(choices.size()),
                 choices.data());
    std::fflush(err);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin)) {
        return false;
    }
    answer = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    return true;
}

// Messages on standard error; a question is asked on the terminal when there is one, else
// answered with its safe default (No, keep what is there).
class CTerminalMessageBox : public IMessageBox {
public:
    CTerminalMessageBox(std::FILE* err, bool interactive)
        : m_err(err), m_bInteractive(interactive) {}
    int Show(unsigned type, const std::string& text) override {
        const unsigned buttons = type & MB_BUTTONMASK;
        if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
            char answer = 'n';
            if (m_bInteractive &&
                AskOnTerminal(m_err, WithoutCarriageReturns(text), "y/N", answer)) {
                return answer == 'y' ? IDYES : IDNO;
            }
            std::fprintf(m_err, "%s\n", WithoutCarriageReturns(text).c_str());
            return IDNO;
        }
        std::fprintf(m_err, "%s\n", WithoutCarriageReturns(text).c_str());
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
        switch (m_options.overwrite) {
            case PublishOptions::Overwrite::Yes:
                return COPY_EXIST_YES;
            case PublishOptions::Overwrite::No:
                if (m_options.verbosity > 0) {
                    std::fprintf(m_err, "%s No.\n", text.c_str());
                }
                return COPY_EXIST_NO;
            case PublishOptions::Overwrite::Ask:
                break;
        }
        while (true) {
            char answer = 0;
            if (!AskOnTerminal(m_err, text, "y/a/n/c", answer)) {
                return COPY_EXIST_CANCEL;
            }
            switch (answer) {
                case 'y':
                    return COPY_EXIST_YES;
                case 'a':
                    return COPY_EXIST_YES_TO_ALL;
                case 'n':
                    return COPY_EXIST_NO;
                case 'c':
                    return COPY_EXIST_CANCEL;
                default:
                    break;
            }
        }
    }

    int AskCopyError(const std::string& text) override {
        if (StopRequested()) {
            return IDABORT;
        }
        if (m_options.overwrite == PublishOptions::Overwrite::Ask) {
            char answer = 0;
            while (AskOnTerminal(m_err, text, "a/r/i", answer)) {
                if (answer == 'r') {
                    return IDRETRY;
                }
                if (answer == 'i') {
                    return IDIGNORE;
                }
                if (answer == 'a') {
                    return IDABORT;
                }
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
            m_bProgressShown = false;
            if (m_options.verbosity > 1) {
                std::fprintf(m_err, "copying %s\n", file.c_str());
            }
        }
        // Only a copy that takes more than a second gets a progress line.
        if (m_bShowProgress && m_options.verbosity > 0 && now - m_start > std::chrono::seconds(1)) {
            std::fprintf(m_err, "\r%s: %3d%%", file.c_str(),
                         total ? static_cast<int>(done * 100 / total) : 100);
            m_bProgressShown = true;
            if (done == total) {
                std::fprintf(m_err, "\n");
            }
            std::fflush(m_err);
        }
        return true;
    }

private:
    const PublishOptions& m_options;
    std::FILE* m_err;
    bool m_bShowProgress;
    bool m_bProgressShown = false;
    std::string m_strFile;
    std::chrono::steady_clock::time_point m_start;
};

// A working folder of this run alone, so a wizard running at the same time keeps its own.
class CPrivateWorkFolder {
public:
    CPrivateWorkFolder() {
        std::string pattern = AddBackslash(GetTempFolder()) + "publish-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data())) {
            m_strPath = name.data();
        }
    }
    ~CPrivateWorkFolder() {
        if (!m_strPath.empty()) {
            DeleteFolder(m_strPath);
        }
    }
    CPrivateWorkFolder(const CPrivateWorkFolder&) = delete;
    CPrivateWorkFolder& operator=(const CPrivateWorkFolder&) = delete;
    const std::string& path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// Paths given relative to the current folder, made absolute as the wizard's always are.
std::string Absolute(const std::string& path) {
    if (path.starts_with("/")) {
        return CombinePath(path, "");
    }
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? CombinePath(cwd, path) : path;
}

std::optional<size_t> BodyTagEnd(const std::string& text) {
    static const CRegex body("<body\\b[^>]*>", CRegex::Caseless);
    CRegex::Match m;
    if (!body.Search(text, &m)) {
        return std::nullopt;
    }
    return m.offset + m.length;
}

// The site and the markup choices the job takes: the settings', with the command line's over them.
struct RunValues {
    SiteDescription site;
    PlayerChoices choices;
};

RunValues ApplyOptionOverrides(const PublishOptions& options, const COptions& o) {
    RunValues values{SiteFromOptions(o), ChoicesFromOptions(o)};
    if (options.siteRoot) {
        values.site.root =
            options.siteRoot->empty() ? "" : AddBackslash(Absolute(*options.siteRoot));
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

// FILE[:LANG[:LABEL]]. A file name may hold colons: the file part ends after ".vtt" or ".srt"
// where that is followed by a colon.
std::optional<PublishOptions::Captions> ParseCaptionsArgument(const std::string& value,
                                                              std::string& error) {
    PublishOptions::Captions captions;
    size_t end = std::string::npos;
    for (size_t colon = value.find(':'); colon != std::string::npos;
         colon = value.find(':', colon + 1)) {
        if (colon >= 4 && (EqualsNoCase(value.substr(colon - 4, 4), ".vtt") ||
                           EqualsNoCase(value.substr(colon - 4, 4), ".srt"))) {
            end = colon;
            break;
        }
    }
    if (end == std::string::npos && !EqualsNoCase(GetPathExtension(value), ".vtt") &&
        !EqualsNoCase(GetPathExtension(value), ".srt")) {
        end = value.find(':');
    }
    captions.file = value.substr(0, end);
    if (end != std::string::npos) {
        const std::string rest = value.substr(end + 1);
        const size_t colon = rest.find(':');
        captions.language = rest.substr(0, colon);
        captions.label = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    if (captions.file.empty()) {
        error = "--captions needs a file";
        return std::nullopt;
    }
    if (!captions.language.empty() && !IsCaptionsLanguage(captions.language)) {
        error = "--captions: '" + captions.language + "' is not a language tag (en, fr, pt-BR...)";
        return std::nullopt;
    }
    return captions;
}

// The captions the command line names come after those found beside the media; a file found
// there and named too takes the language and label given.
bool ApplyCaptions(const PublishOptions& options, CPublishJob& job, std::FILE* err) {
    if (!job.IsVideo()) {
        if (!options.captions.empty() && options.verbosity > 0) {
            std::fprintf(err, "No player shows captions for audio; --captions is left out.\n");
        }
        return true;
    }
    if (options.noCaptions) {
        job.ClearCaptions();
    } else if (options.verbosity > 0) {
        for (const std::string& problem : job.CaptionsProblems()) {
            std::fprintf(err, "%s\nThe file is left out.\n", problem.c_str());
        }
    }
    for (const PublishOptions::Captions& given : options.captions) {
        const std::string path = Absolute(given.file);
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
        const std::string problem = job.AddCaptions(path, given.language, given.label);
        if (!problem.empty()) {
            std::fprintf(err, "%s\n", problem.c_str());
            return false;
        }
    }
    return true;
}

// A time such as "12" or "2.5"; nothing else, not even blanks.
std::optional<double> ParseSeconds(const std::string& text) {
    static const CRegex number("^[0-9]{1,7}(\\.[0-9]{1,3})?$");
    if (!number.Search(text, nullptr)) {
        return std::nullopt;
    }
    return ParseLeadingReal(text);
}

}  // namespace

std::string PublishUsage() {
    return fmt::sprintf(
        "Usage: dede5-publish [OPTIONS] MEDIA PAGE [PAGE...]\n"
        "       dede5-publish [OPTIONS] --convert-only OUT MEDIA\n"
        "Publishes an HTML5 video or audio file into web pages of a site kept on disk: the\n"
        "player markup goes into each page, the player files into the site's JavaScript\n"
        "folder and the media (with its poster picture) into its media folder.\n"
        "\n"
        "  --player NAME        %s\n"
        "                       (video; audio always uses MediaElement). Default: the\n"
        "                       player last chosen in the wizard.\n"
        "  --site-root DIR      the site's root folder (default: the saved one)\n"
        "  --js-path REL        JavaScript folder below the root, e.g. /js/ ('/' = the root)\n"
        "  --media-path REL     media folder below the root, e.g. /medias/\n"
        "  --poster, --no-poster        a poster picture for video\n"
        "  --poster-optional    a poster that cannot be taken is no error (no status 6)\n"
        "  --poster-at SECONDS  take the poster picture at that moment of the video\n"
        "                       (default: its first second)\n"
        "  --faststart, --no-faststart  an MP4/M4A whose index is at its end goes in\n"
        "                       rewritten (losslessly) to start playing at once (default),\n"
        "                       or as it is\n"
        "  --autoplay, --no-autoplay    start playing by itself\n"
        "  --loop, --no-loop            play in a loop\n"
        "  --controls, --no-controls    show the player's controls\n"
        "  --fit, --no-fit      fit a video player to the page: never wider than its\n"
        "                       column nor larger than the video\n"
        "  --captions FILE[:LANG[:LABEL]]  captions for the video, WebVTT (.vtt) or SubRip\n"
        "                       (.srt) in any character set; repeatable, the first is shown\n"
        "                       by default. LANG is a language tag (en, pt-BR); LABEL is\n"
        "                       what the player's menu shows (default: from LANG)\n"
        "  --no-captions        leave out the captions found beside the media\n"
        "                       (MEDIA-TITLE.vtt/.srt, MEDIA-TITLE.LANG.vtt/.srt)\n"
        "  --at TEXT            put the player in place of the first TEXT in the page\n"
        "  --after TEXT         put the player right after the first TEXT\n"
        "                       (default: after the opening <body> tag, else at the start\n"
        "                       of the body)\n"
        "  --force              put the player at the --at or --after text even inside a\n"
        "                       comment, a tag, a script, style, title or textarea, the\n"
        "                       head or another video or audio, where it would not show;\n"
        "                       without it such a page is refused (status 3)\n"
        "  --print              print the head code, a line ----, and the body code for the\n"
        "                       first PAGE; change no file\n"
        "  --overwrite ask|yes|no   a media file of other content already in the media\n"
        "                       folder: ask (default on a terminal), yes, or no (default);\n"
        "                       a link where a file is to be written is replaced (the link\n"
        "                       itself, never what it points to) only with yes\n"
        "  --again              also publish into pages that already play this media\n"
        "                       (they are skipped otherwise, so that a run can be repeated)\n"
        "  --convert            make media that browsers do not play web-ready first: an\n"
        "                       MP4 (H.264/AAC), WebM or M4A made with ffmpeg, published\n"
        "                       under the original's name; the original is left as it is\n"
        "  --convert-only OUT   only write the web-ready file to OUT (its extension as\n"
        "                       --convert would choose: .mp4, .webm or .m4a); no PAGE\n"
        "  --settings FILE      read the settings from FILE instead of the user's\n"
        "  -q, --quiet          print errors only\n"
        "  -v, --verbose        also name each copied file\n"
        "  --version            print the version and exit\n"
        "  --help               print this help and exit\n"
        "\n"
        "Publishing also removes from each page the script blocks of the old DHTML menu\n"
        "(kvmenu.js, kvm31.js, kelvary_dhtmlmenu): those menus no longer work.\n"
        "\n"
        "Exit status: 0 published, 1 bad arguments, 2 media refused, 3 a page refused,\n"
        "4 writing or copying failed (also: a page changed by another program meanwhile\n"
        "was kept as it was), 5 cancelled at a question, 6 published without the poster\n"
        "asked for, 130 and 143 stopped by SIGINT or SIGTERM (pages not yet saved are\n"
        "left as they were; run again to finish).\n",
        VideoPlayerCliNames());
}

std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error,
                                                    bool& help, bool& version) {
    PublishOptions options;
    options.overwrite =
        stdinIsTerminal ? PublishOptions::Overwrite::Ask : PublishOptions::Overwrite::No;
    std::vector<std::string> positional;
    help = version = false;
    bool endOfOptions = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--player") {
            if (!value(v)) {
                return std::nullopt;
            }
            options.player = ToLowerAscii(v);
            if (FindVideoPlayerByCliName(*options.player) < 0) {
                error = "unknown player '" + v + "' (" + VideoPlayerCliNames() + ")";
                return std::nullopt;
            }
        } else if (arg == "--site-root" || arg == "--js-path" || arg == "--media-path" ||
                   arg == "--at" || arg == "--after" || arg == "--settings") {
            if (!value(v)) {
                return std::nullopt;
            }
            if (arg == "--site-root") {
                options.siteRoot = v;
            } else if (arg == "--js-path") {
                options.jsPath = v;
            } else if (arg == "--media-path") {
                options.mediaPath = v;
            } else if (arg == "--at") {
                options.at = v;
            } else if (arg == "--after") {
                options.after = v;
            } else {
                options.settingsFile = v;
            }
            if (v.empty() && (arg == "--at" || arg == "--after")) {
                error = arg + " needs a text to look for";
                return std::nullopt;
            }
        } else if (arg == "--captions") {
            if (!value(v)) {
                return std::nullopt;
            }
            auto captions = ParseCaptionsArgument(v, error);
            if (!captions) {
                return std::nullopt;
            }
            options.captions.push_back(std::move(*captions));
        } else if (arg == "--no-captions") {
            options.noCaptions = true;
        } else if (arg == "--poster" || arg == "--no-poster") {
            options.poster = arg == "--poster";
        } else if (arg == "--autoplay" || arg == "--no-autoplay") {
            options.autoplay = arg == "--autoplay";
        } else if (arg == "--loop" || arg == "--no-loop") {
            options.loop = arg == "--loop";
        } else if (arg == "--controls" || arg == "--no-controls") {
            options.controls = arg == "--controls";
        } else if (arg == "--fit" || arg == "--no-fit") {
            options.fit = arg == "--fit";
        } else if (arg == "--poster-optional") {
            options.posterOptional = true;
        } else if (arg == "--again") {
            options.again = true;
        } else if (arg == "--faststart" || arg == "--no-faststart") {
            options.fastStart = arg == "--faststart";
        } else if (arg == "--poster-at") {
            if (!value(v)) {
                return std::nullopt;
            }
            options.posterAt = ParseSeconds(v);
            if (!options.posterAt) {
                error = "--poster-at takes a number of seconds, e.g. 2.5";
                return std::nullopt;
            }
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--print") {
            options.print = true;
        } else if (arg == "--overwrite") {
            if (!value(v)) {
                return std::nullopt;
            }
            if (v == "ask") {
                options.overwrite = PublishOptions::Overwrite::Ask;
            } else if (v == "yes") {
                options.overwrite = PublishOptions::Overwrite::Yes;
            } else if (v == "no") {
                options.overwrite = PublishOptions::Overwrite::No;
            } else {
                error = "--overwrite takes ask, yes or no";
                return std::nullopt;
            }
        } else if (arg == "--convert") {
            options.convert = true;
        } else if (arg == "--convert-only") {
            if (!value(v)) {
                return std::nullopt;
            }
            if (v.empty()) {
                error = "--convert-only needs a file to write";
                return std::nullopt;
            }
            options.convertOnly = v;
        } else if (arg == "-q" || arg == "--quiet") {
            options.verbosity = 0;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbosity = 2;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (options.at && options.after) {
        error = "--at and --after cannot be used together";
        return std::nullopt;
    }
    if (help || version) {
        return options;
    }
    if (options.convertOnly) {
        if (positional.size() != 1) {
            error = "--convert-only takes one MEDIA file and no PAGE";
            return std::nullopt;
        }
        options.media = positional.front();
        return options;
    }
    if (positional.size() < 2) {
        error = "a MEDIA file and at least one PAGE are needed";
        return std::nullopt;
    }
    options.media = positional.front();
    options.pages.assign(positional.begin() + 1, positional.end());
    return options;
}

namespace {

int StatusOf(const PublishOutcome& outcome) {
    if (outcome.cancelled) {
        return PUBLISH_CANCELLED;
    }
    return outcome.failure ? PUBLISH_WRITE_FAILED : PUBLISH_OK;
}

// Where the player goes when the command line does not say: after the opening <body> tag, else
// at the start.
std::optional<std::pair<size_t, size_t>> InsertionRange(const PublishOptions& options,
                                                        const std::string& text) {
    if (!options.at && !options.after) {
        const size_t at = BodyTagEnd(text).value_or(0);
        return std::pair{at, at};
    }
    const std::string& needle = options.at ? *options.at : *options.after;
    const size_t hit = text.find(needle);
    if (hit == std::string::npos) {
        return std::nullopt;
    }
    return std::pair{options.at ? hit : hit + needle.size(), hit + needle.size()};
}

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

// Makes `source` web-ready at `output` (or in `folder` under its own title); the message of a
// failure goes to `err`. Nullopt when it failed.
std::optional<CMediaInfo2> ConvertMedia(const PublishOptions& options, const CMediaInfo2& source,
                                        const std::string& folder, const std::string& output,
                                        std::FILE* err) {
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
        if (!StopRequested()) {
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
                     Absolute(*options.convertOnly).c_str());
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
    const std::string output = Absolute(*options.convertOnly);
    if (!EqualsNoCase(GetPathExtension(output), plan.extension)) {
        std::fprintf(err, "dede5-publish: %s becomes a %s file; name OUT with that extension.\n",
                     media.c_str(), plan.extension.c_str());
        return PUBLISH_BAD_ARGUMENTS;
    }
    if (PathExists(output) && options.overwrite != PublishOptions::Overwrite::Yes) {
        std::fprintf(err,
                     "dede5-publish: %s already exists; it is kept (--overwrite yes "
                     "replaces it).\n",
                     output.c_str());
        return PUBLISH_WRITE_FAILED;
    }
    if (ConvertMedia(options, check.details, {}, output, err)) {
        return PUBLISH_OK;
    }
    return StopRequested() ? StoppedStatus(options, err) : PUBLISH_WRITE_FAILED;
}

}  // namespace

int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err) {
    CTerminalMessageBox box(err, options.overwrite == PublishOptions::Overwrite::Ask);
    SetMessageBox(&box);
    struct Restore {
        ~Restore() { SetMessageBox(nullptr); }
    } restore;

    const RunValues values = ApplyOptionOverrides(options, *COptions::Instance());
    CPrivateWorkFolder work;

    auto stoppedStatus = [&] { return StoppedStatus(options, err); };
    const std::string media = Absolute(options.media);
    MediaCheck check = CPublishJob::CheckMedia(media);
    if (StopRequested()) {
        return stoppedStatus();
    }
    if (options.convertOnly) {
        return RunConvertOnly(options, media, check, err);
    }
    std::optional<CMediaInfo2> converted;
    if (check.verdict == MEDIA_NOT_HTML5 && options.convert) {
        converted = ConvertMedia(options, check.details, work.path(), {}, err);
        if (!converted) {
            return StopRequested() ? stoppedStatus() : PUBLISH_MEDIA_REFUSED;
        }
    } else if (check.verdict != MEDIA_ACCEPTED) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, CPublishJob::RefusalMessageId(check.verdict),
                      check.verdict == MEDIA_NOT_HTML5 ? media + "\r\n" : media);
        if (check.verdict == MEDIA_NOT_HTML5) {
            const ConversionPlan plan = PlanConversion(check.details);
            MessageBoxRes(MB_OK | MB_ICONINFORMATION, IDS_CONVERT_WITH_OPTION, media,
                          plan.Describe());
        }
        return PUBLISH_MEDIA_REFUSED;
    }
    CPublishJob job;
    job.SetWorkFolder(work.path());
    job.SetSite(values.site);
    if (converted) {
        job.SetConvertedMedia(converted->m_strPath, *converted, media);
    } else {
        job.SetMedia(media, check.details);
    }
    if (options.fastStart) {
        job.SetFastStart(*options.fastStart);
    }
    if (options.posterAt && job.IsVideo()) {
        if (*options.posterAt > job.Details().m_fDuration) {
            std::fprintf(err, "dede5-publish: --poster-at %g is past the end of %s (%.1f s)\n",
                         *options.posterAt, media.c_str(), job.Details().m_fDuration);
            return PUBLISH_BAD_ARGUMENTS;
        }
        job.SetPosterTime(*options.posterAt);
    }
    if (job.IsVideo()) {
        int index = options.player ? FindVideoPlayerByCliName(*options.player)
                                   : COptions::Instance()->m_nVideoPlayer;
        const auto rows = GetVideoPlayers();
        if (index < 0 || static_cast<size_t>(index) >= rows.size()) {
            index = 0;
        }
        job.SetPlayer(rows[static_cast<size_t>(index)], index);
    } else {
        job.SetPlayer(GetAudioPlayers()[0], 0);
    }
    job.SetChoices(values.choices);
    if (!ApplyCaptions(options, job, err)) {
        return PUBLISH_MEDIA_REFUSED;
    }

    CCliCopyQuestions questions(options, err);
    int status = PUBLISH_OK;
    auto fail = [&](int code) {
        if (status == PUBLISH_OK) {
            status = code;
        }
    };
    // A page named twice (another path, a link to it) gets one player. A saved page is a new
    // file, so its name counts too.
    std::set<std::pair<dev_t, ino_t>> done;
    std::set<std::string> donePaths;
    bool warnedDark = false;
    for (const std::string& pageArgument : options.pages) {
        if (StopRequested()) {
            return stoppedStatus();
        }
        const std::string pagePath = Absolute(pageArgument);
        if (!job.Site().CheckPageLocation(pagePath, true)) {
            fail(PUBLISH_PAGE_REFUSED);
            continue;
        }
        struct stat st {};
        const std::string canonical = RealPath(pagePath).value_or(pagePath);
        const bool seenFile =
            ::stat(pagePath.c_str(), &st) == 0 && !done.insert({st.st_dev, st.st_ino}).second;
        if (!donePaths.insert(canonical).second || seenFile) {
            if (options.verbosity > 0) {
                std::fprintf(err, "%s is a page already published in this run; skipped.\n",
                             pagePath.c_str());
            }
            continue;
        }
        CHtmlPage page;
        page.SetChangedQuestion(IDS_PAGE_CHANGED_BEFORE_PUBLISHING);
        if (!page.LoadPage(pagePath)) {
            fail(PUBLISH_PAGE_REFUSED);
            continue;
        }
        if (!options.again && !options.print && job.PageHoldsPlayer(page)) {
            if (options.verbosity > 0) {
                std::fprintf(err, "%s already plays %s; skipped (--again adds another player).\n",
                             pagePath.c_str(), GetPathFileName(media).c_str());
            }
            continue;
        }
        // One picture serves every page of the run, taken once a page could be loaded.
        if (job.NeedsPoster() && !job.TakePoster(work.path()) && !StopRequested()) {
            std::fprintf(err, "dede5-publish: %s: no poster: %s\n", media.c_str(),
                         job.PosterProblem().c_str());
            if (!options.posterOptional) {
                fail(PUBLISH_NO_POSTER);
            }
        } else if (job.PosterIsDark() && !warnedDark && options.verbosity > 0) {
            warnedDark = true;
            const auto brighter = job.SuggestPosterTime(work.path());
            std::fprintf(
                err,
                "dede5-publish: %s: the poster picture (the first second) is nearly "
                "black%s\n",
                media.c_str(),
                brighter ? fmt::sprintf("; --poster-at %g gives a brighter one", *brighter).c_str()
                         : "");
        }
        const PageCode code = job.MakeCode(pagePath, PLAYER_MODE_PUBLISH);
        if (!code.made) {
            MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_NOT_HTML5_MEDIA, media + "\r\n");
            return PUBLISH_MEDIA_REFUSED;
        }
        if (options.print) {
            std::fprintf(out, "%s\n----\n%s\n", code.head.c_str(), code.body.c_str());
            if (std::fflush(out) != 0 || std::ferror(out)) {
                std::fprintf(err, "dede5-publish: the code could not be printed: %s\n",
                             GetErrorText(errno).c_str());
                fail(PUBLISH_WRITE_FAILED);
            }
            return status;
        }

        const std::string& text = page.Text();
        const auto range = InsertionRange(options, text);
        if (!range) {
            std::fprintf(err, "'%s' does not occur in '%s'; the page is left as it is.\n",
                         (options.at ? *options.at : *options.after).c_str(), pagePath.c_str());
            fail(PUBLISH_PAGE_REFUSED);
            continue;
        }
        page.SetHeadCode(code.head);
        page.SetBodyCode(code.body);
        CStringPageEditor editor(text);
        editor.SetSelection(range->first, range->second);
        if (const InsertionCheck place = page.CheckInsertionPoint(editor); !place.IsSafe()) {
            if (!options.at && !options.after) {
                // No usable body tag (or one inside a comment or script): the first place
                // after the construct, where the player shows.
                editor.SetSelection(place.safeOffset, place.safeOffset);
            } else if (!options.force) {
                MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_INSERT_POINT_REFUSED, pagePath,
                              DescribeInsertionPoint(place), LineAtOffset(text, range->first));
                fail(PUBLISH_PAGE_REFUSED);
                continue;
            }
        }
        page.InsertPlayerCode(editor);
        if (StopRequested()) {
            return stoppedStatus();
        }
        const PublishOutcome outcome = job.PublishPage(page, editor.Text(), questions);
        if (StopRequested() && !outcome.Published()) {
            return stoppedStatus();
        }
        // The page works only with these in place: a failure is an error, also with -q.
        for (const StepFailure& failed : outcome.warnings) {
            const std::string reason = GetErrorText(failed.error);
            if (failed.step == PUBLISH_STEP_PLAYER_FILES) {
                std::fprintf(err, "Some %s files could not be copied into %s: %s\n",
                             job.PlayerFolderName().c_str(), failed.path.c_str(), reason.c_str());
            } else if (failed.step == PUBLISH_STEP_SERVER_CONFIG) {
                std::fprintf(err, "The server configuration %s could not be written: %s\n",
                             failed.path.c_str(), reason.c_str());
            } else {
                std::fprintf(err, "The player's files could not be put into %s: %s\n",
                             failed.path.c_str(), reason.c_str());
            }
            fail(PUBLISH_WRITE_FAILED);
        }
        if (!outcome.Published()) {
            fail(StatusOf(outcome));
            if (outcome.cancelled) {
                return status;
            }
            continue;
        }
        page.Close();
        if (options.verbosity > 0) {
            std::fprintf(err, "published %s\n", pagePath.c_str());
        }
    }
    return status;
}
