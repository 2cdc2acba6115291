// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's options, written once: they drive parsing, --help, the manual page and the
// shell completion.
#include <algorithm>

#include <fmt/ranges.h>

#include "cli/PublishJob.h"
#include "core/OptionReader.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "media/MediaInfo2.h"
#include "players/PlayerInfo.h"

namespace {

using O = PublishOptions;
using Fill = std::function<void(O&, const std::string&)>;

void Refuse(bool refused, const std::string& text) {
    if (refused) {
        throw OptionRefusal{text};
    }
}

// Into `field`, as StoreOptionValue puts it; the value must not be empty when `ifEmpty` says why.
template <typename T, typename C>
Fill Put(T C::*field, std::string ifEmpty = {}) {
    return [field, ifEmpty](O& o, const std::string& v) {
        Refuse(v.empty() && !ifEmpty.empty(), ifEmpty);
        StoreOptionValue(o.*field, v);
    };
}

void FillPlayer(O& o, const std::string& v) {
    o.player = ToLowerAscii(v);
    Refuse(FindVideoPlayerByCliName(*o.player) < 0,
           "unknown player '" + v + "' (" + VideoPlayerCliNames() + ")");
}

void FillOverwrite(O& o, const std::string& v) {
    const std::vector<std::string> answers = {"ask", "yes", "no"};  // in Overwrite's order
    const auto answer = std::ranges::find(answers, v);
    Refuse(answer == answers.end(), "--overwrite takes ask, yes or no");
    o.overwrite = static_cast<O::Overwrite>(answer - answers.begin());
}

// A time such as "12" or "2.5"; nothing else, not even blanks.
void FillPosterAt(O& o, const std::string& v) {
    static const CRegex number("^[0-9]{1,7}(\\.[0-9]{1,3})?$");
    Refuse(!number.Search(v, nullptr), "--poster-at takes a number of seconds, e.g. 2.5");
    o.posterAt = ParseLeadingReal(v);
}

void FillCaptions(O& o, const std::string& v) {
    CaptionsParse parse = ParseCaptionsRequest(v);
    Refuse(!parse.problem.empty(), parse.problem);
    o.captions.push_back(std::move(parse.request));
}

void FillCompletion(O& o, const std::string& v) {
    Refuse(v != "bash", "--completion takes bash");
    o.completion = v;
}

// Which command lines take an option: a publish's, the commands', or both.
enum Scope { kPublish = 1, kCommands = 2, kBoth = 3 };

struct OptionRow {
    Fill fill;  // a flag's gets "yes" or "no"
    OptionForm form;
    int scope = kPublish;
};

// clang-format off
const std::vector<OptionRow> kOptions = {
    {FillPlayer, {"--player", "NAME", VideoPlayerCliNames() + "\n"
        "(video; audio always uses MediaElement). Default: the\n"
        "player last chosen in the wizard.", 23, VideoPlayerCliNames(" ", " ")}},
    {Put(&O::siteRoot), {"--site-root", "DIR",
        "the site's root folder (default: the saved one)", 23, "-d"}, kBoth},
    {Put(&O::jsPath), {"--js-path", "REL",
        "JavaScript folder below the root, e.g. /js/ ('/' = the root)"}, kBoth},
    {Put(&O::mediaPath), {"--media-path", "REL", "media folder below the root, e.g. /medias/"}, kBoth},
    {Put(&O::poster), {"--poster,!--no-poster", "", "a poster picture for video", 31}},
    {Put(&O::posterOptional), {"--poster-optional", "",
        "a poster that cannot be taken is no error (no status 6)"}},
    {FillPosterAt, {"--poster-at", "SECONDS",
        "take the poster picture at that moment of the video\n"
        "(default: its first second)"}},
    {Put(&O::fastStart), {"--faststart,!--no-faststart", "",
        "an MP4/M4A whose index is at its end goes in\n"
        "rewritten (losslessly) to start playing at once (default),\n"
        "or as it is", 31}},
    {Put(&O::autoplay), {"--autoplay,!--no-autoplay", "", "start playing by itself", 31}},
    {Put(&O::loop), {"--loop,!--no-loop", "", "play in a loop", 31}},
    {Put(&O::controls), {"--controls,!--no-controls", "", "show the player's controls", 31}},
    {Put(&O::fit), {"--fit,!--no-fit", "", "fit a video player to the page: never wider than its\n"
        "column nor larger than the video"}},
    {Put(&O::qualities), {"--qualities,!--no-qualities", "",
        "also an adaptive stream of several qualities for slow connections", 31}},
    {Put(&O::sources), {"--source", "FILE", "MEDIA in other formats; repeatable", 23, "-f"}, kBoth},
    {FillCaptions, {"--captions", "FILE[:LANG[:LABEL]]",
        "captions for the video, WebVTT (.vtt) or SubRip\n"
        "(.srt) in any character set; repeatable, the first is shown\n"
        "by default. LANG is a language tag (en, pt-BR); LABEL is\n"
        "what the player's menu shows (default: from LANG)", 23, "-f"}},
    {Put(&O::noCaptions), {"--no-captions", "", "leave out the captions found beside the media\n"
        "(MEDIA-TITLE.vtt/.srt, MEDIA-TITLE.LANG.vtt/.srt)"}},
    {Put(&O::at, "--at needs a text to look for"), {"--at", "TEXT",
        "put the player in place of the first TEXT in the page"}},
    {Put(&O::after, "--after needs a text to look for"), {"--after", "TEXT",
        "put the player right after the first TEXT\n"
        "(default: after the opening <body> tag, else at the start\n"
        "of the body)"}},
    {Put(&O::force), {"--force", "", "put the player at the --at or --after text even inside a\n"
        "comment, a tag, a script, style, title or textarea, the\n"
        "head or another video or audio, where it would not show;\n"
        "without it such a page is refused (status 3)"}},
    {Put(&O::print), {"--print", "", "print the head code, a line ----, and the body code for the\n"
        "first PAGE; change no file"}},
    {FillOverwrite, {"--overwrite", "ask|yes|no",
        "a media file of other content already in the media\n"
        "folder: ask (default on a terminal), yes, or no (default);\n"
        "a link where a file is to be written is replaced (the link\n"
        "itself, never what it points to) only with yes", 27, "ask yes no"}},
    {Put(&O::again), {"--again", "", "also publish into pages that already play this media\n"
        "(they are skipped otherwise, so that a run can be repeated)"}},
    {Put(&O::convert), {"--convert", "",
        "make media that browsers do not play web-ready first: an\n"
        "MP4 (H.264/AAC), WebM or M4A made with ffmpeg, published\n"
        "under the original's name; the original is left as it is"}},
    {Put(&O::convertOnly, "--convert-only needs a file to write"), {"--convert-only", "OUT",
        "only write the web-ready file to OUT (its extension as\n"
        "--convert would choose: .mp4, .webm or .m4a); no PAGE", 23, "-f"}},
    {Put(&O::settingsFile), {"--settings", "FILE",
        "read the settings from FILE instead of the user's", 23, "-f"}, kBoth},
    {Put(&O::json), {"--json", "", "list: one JSON document"}, kCommands},
    {Put(&O::keepFiles), {"--keep-files", "",
        "remove: leave the media, poster, captions and player files"}, kCommands},
    {Put(&O::newCaptions), {"--new-captions", "",
        "replace: the captions beside NEW, not the old player's"}, kCommands},
    {Put(&O::keepPoster), {"--keep-poster", "", "replace: each page keeps its poster"}, kCommands},
    {[](O& o, auto&) { o.verbosity = 0; }, {"-q,--quiet", "", "print errors only"}},
    {[](O& o, auto&) { o.verbosity = 2; }, {"-v,--verbose", "", "also name each copied file"}},
    {Put(&O::version), {"--version", "", "print the version and exit"}},
    {Put(&O::help), {"--help", "", "print this help and exit"}, kBoth},
    {Put(&O::help), {"-h", "", ""}, kBoth},
    {Put(&O::manTemplate), {"--man", "TEMPLATE", ""}},
    {FillCompletion, {"--completion", "SHELL", ""}},
};
// clang-format on

std::vector<const OptionRow*> Rows(int scope) {
    std::vector<const OptionRow*> rows;
    for (const OptionRow& row : kOptions) {
        if (row.scope & scope) {
            rows.push_back(&row);
        }
    }
    return rows;
}

std::vector<OptionForm> Forms(int scope) {
    std::vector<OptionForm> forms;
    std::ranges::transform(Rows(scope), std::back_inserter(forms), &OptionRow::form);
    return forms;
}

}  // namespace

std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error) {
    PublishOptions options;
    options.overwrite = stdinIsTerminal ? O::Overwrite::Ask : O::Overwrite::No;
    std::vector<std::string> words = args;
    options.command = TakeSiteCommand(words, Forms(kBoth));
    const int scope = options.command.empty() ? kPublish : kCommands;
    const auto fill = [&, rows = Rows(scope)](size_t i, auto& v) { rows[i]->fill(options, v); };
    std::vector<std::string> positional;
    error = scope == kCommands && std::ranges::count(words, "--")
                ? "unknown option --"
                : ReadOptionArguments(Forms(scope), words, fill, positional);
    if (error.empty() && options.at && options.after) {
        error = "--at and --after cannot be used together";
    } else if (error.empty() && !options.help && !options.version && !options.manTemplate &&
               !options.completion) {
        error = TakeCommandWords(positional, options);
    }
    return error.empty() ? std::optional(options) : std::nullopt;
}

std::string PublishUsage(bool commandsOnly) {
    const std::string commands = SiteCommandsUsage() + OptionHelp(Forms(kCommands));
    if (commandsOnly) {
        return commands;
    }
    return "Usage: dede5-publish [OPTIONS] MEDIA PAGE [PAGE...]\n"
           "       dede5-publish [OPTIONS] --convert-only OUT MEDIA\n"
           "Publishes an HTML5 video or audio file into web pages of a site kept on disk: the\n"
           "player markup goes into each page, the player files into the site's JavaScript\n"
           "folder and the media (with its poster picture) into its media folder.\n\n" +
           OptionHelp(PublishOptionForms()) +
           "\nPublishing also removes from each page the script blocks of the old DHTML menu\n"
           "(kvmenu.js, kvm31.js, kelvary_dhtmlmenu): those menus no longer work.\n\n"
           "Exit status: 0 published, 1 bad arguments, 2 media refused, 3 a page refused,\n"
           "4 writing or copying failed (also: a page changed by another program meanwhile\n"
           "was kept as it was), 5 cancelled at a question, 6 published without the poster\n"
           "asked for, 7 no room left (a full disk) for the converted file, 130 and 143\n"
           "stopped by SIGINT or SIGTERM (pages not yet saved are left as they were; run\n"
           "again to finish).\n" +
           commands;
}

std::vector<OptionForm> PublishOptionForms() {
    return Forms(kPublish);
}

std::string PublishBashCompletion() {
    return OptionBashCompletion(Forms(kBoth), "dede5-publish",
                                fmt::format("{}", fmt::join(kSiteCommandNames, " ")));
}
