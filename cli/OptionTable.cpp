// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's options, written once: they drive parsing, --help, the manual page and the
// shell completion.
#include <map>
#include <set>

#include <CLI/CLI.hpp>
#include <fmt/printf.h>

#include "cli/PublishJob.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "media/MediaInfo2.h"
#include "players/PlayerInfo.h"

namespace {

using O = PublishOptions;
using Fill = std::function<void(O&, const std::string&)>;

// A refusal of the command line, in the words users' scripts already know.
struct BadArgument {
    std::string text;
};

// Into `field`: true for a flag, "yes"/"no" for a flag that can say no, else the value (which
// must not be empty when `ifEmpty` says why).
template <typename T, typename C>
Fill Put(T C::*field, std::string ifEmpty = {}) {
    return [field, ifEmpty](O& o, const std::string& v) {
        if constexpr (std::is_same_v<T, bool>) {
            o.*field = true;
        } else if constexpr (std::is_same_v<T, std::optional<bool>>) {
            o.*field = v == "yes";
        } else {
            if (v.empty() && !ifEmpty.empty()) {
                throw BadArgument{ifEmpty};
            }
            o.*field = v;
        }
    };
}

Fill Verbosity(int level) {
    return [level](O& o, const std::string&) { o.verbosity = level; };
}

void FillPlayer(O& o, const std::string& v) {
    o.player = ToLowerAscii(v);
    if (FindVideoPlayerByCliName(*o.player) < 0) {
        throw BadArgument{"unknown player '" + v + "' (" + VideoPlayerCliNames() + ")"};
    }
}

void FillOverwrite(O& o, const std::string& v) {
    using enum O::Overwrite;
    static const std::map<std::string, O::Overwrite> answers = {
        {"ask", Ask}, {"yes", Yes}, {"no", No}};
    if (!answers.contains(v)) {
        throw BadArgument{"--overwrite takes ask, yes or no"};
    }
    o.overwrite = answers.at(v);
}

// A time such as "12" or "2.5"; nothing else, not even blanks.
void FillPosterAt(O& o, const std::string& v) {
    static const CRegex number("^[0-9]{1,7}(\\.[0-9]{1,3})?$");
    if (!number.Search(v, nullptr)) {
        throw BadArgument{"--poster-at takes a number of seconds, e.g. 2.5"};
    }
    o.posterAt = ParseLeadingReal(v);
}

void FillCaptions(O& o, const std::string& v) {
    CaptionsParse parse = ParseCaptionsRequest(v);
    if (!parse.problem.empty()) {
        throw BadArgument{parse.problem};
    }
    o.captions.push_back(std::move(parse.request));
}

void FillCompletion(O& o, const std::string& v) {
    if (v != "bash") {
        throw BadArgument{"--completion takes bash"};
    }
    o.completion = v;
}

struct OptionRow {
    std::string names;  // as CLI11 reads them; "!" marks the form that says no
    std::string value;  // the value's name; empty for a flag, whose fill gets "yes" or "no"
    Fill fill;
    std::string complete;  // for bash: "-d" a folder, "-f" a file, else the words it takes
    size_t column;         // where the help text starts
    std::string help;      // lines after the first are indented; empty hides the option
};

// "{players}" stands for the names of the video players.
// clang-format off
const std::vector<OptionRow> kOptions = {
    {"--player", "NAME", FillPlayer, "{players}", 23, "{players}\n"
        "(video; audio always uses MediaElement). Default: the\n"
        "player last chosen in the wizard."},
    {"--site-root", "DIR", Put(&O::siteRoot), "-d", 23, "the site's root folder (default: the saved one)"},
    {"--js-path", "REL", Put(&O::jsPath), "", 23,
        "JavaScript folder below the root, e.g. /js/ ('/' = the root)"},
    {"--media-path", "REL", Put(&O::mediaPath), "", 23, "media folder below the root, e.g. /medias/"},
    {"--poster,!--no-poster", "", Put(&O::poster), "", 31, "a poster picture for video"},
    {"--poster-optional", "", Put(&O::posterOptional), "", 23,
        "a poster that cannot be taken is no error (no status 6)"},
    {"--poster-at", "SECONDS", FillPosterAt, "", 23,
        "take the poster picture at that moment of the video\n"
        "(default: its first second)"},
    {"--faststart,!--no-faststart", "", Put(&O::fastStart), "", 31,
        "an MP4/M4A whose index is at its end goes in\n"
        "rewritten (losslessly) to start playing at once (default),\n"
        "or as it is"},
    {"--autoplay,!--no-autoplay", "", Put(&O::autoplay), "", 31, "start playing by itself"},
    {"--loop,!--no-loop", "", Put(&O::loop), "", 31, "play in a loop"},
    {"--controls,!--no-controls", "", Put(&O::controls), "", 31, "show the player's controls"},
    {"--fit,!--no-fit", "", Put(&O::fit), "", 23,
        "fit a video player to the page: never wider than its\n"
        "column nor larger than the video"},
    {"--captions", "FILE[:LANG[:LABEL]]", FillCaptions, "-f", 23,
        "captions for the video, WebVTT (.vtt) or SubRip\n"
        "(.srt) in any character set; repeatable, the first is shown\n"
        "by default. LANG is a language tag (en, pt-BR); LABEL is\n"
        "what the player's menu shows (default: from LANG)"},
    {"--no-captions", "", Put(&O::noCaptions), "", 23,
        "leave out the captions found beside the media\n"
        "(MEDIA-TITLE.vtt/.srt, MEDIA-TITLE.LANG.vtt/.srt)"},
    {"--at", "TEXT", Put(&O::at, "--at needs a text to look for"), "", 23,
        "put the player in place of the first TEXT in the page"},
    {"--after", "TEXT", Put(&O::after, "--after needs a text to look for"), "", 23,
        "put the player right after the first TEXT\n"
        "(default: after the opening <body> tag, else at the start\n"
        "of the body)"},
    {"--force", "", Put(&O::force), "", 23,
        "put the player at the --at or --after text even inside a\n"
        "comment, a tag, a script, style, title or textarea, the\n"
        "head or another video or audio, where it would not show;\n"
        "without it such a page is refused (status 3)"},
    {"--print", "", Put(&O::print), "", 23,
        "print the head code, a line ----, and the body code for the\n"
        "first PAGE; change no file"},
    {"--overwrite", "ask|yes|no", FillOverwrite, "ask yes no", 27,
        "a media file of other content already in the media\n"
        "folder: ask (default on a terminal), yes, or no (default);\n"
        "a link where a file is to be written is replaced (the link\n"
        "itself, never what it points to) only with yes"},
    {"--again", "", Put(&O::again), "", 23,
        "also publish into pages that already play this media\n"
        "(they are skipped otherwise, so that a run can be repeated)"},
    {"--convert", "", Put(&O::convert), "", 23,
        "make media that browsers do not play web-ready first: an\n"
        "MP4 (H.264/AAC), WebM or M4A made with ffmpeg, published\n"
        "under the original's name; the original is left as it is"},
    {"--convert-only", "OUT", Put(&O::convertOnly, "--convert-only needs a file to write"), "-f", 23,
        "only write the web-ready file to OUT (its extension as\n"
        "--convert would choose: .mp4, .webm or .m4a); no PAGE"},
    {"--settings", "FILE", Put(&O::settingsFile), "-f", 23,
        "read the settings from FILE instead of the user's"},
    {"-q,--quiet", "", Verbosity(0), "", 23, "print errors only"},
    {"-v,--verbose", "", Verbosity(2), "", 23, "also name each copied file"},
    {"--version", "", Put(&O::version), "", 23, "print the version and exit"},
    {"--help", "", Put(&O::help), "", 23, "print this help and exit"},
    {"-h", "", Put(&O::help), "", 23, ""},
    {"--man", "TEMPLATE", Put(&O::manTemplate), "", 23, ""},
    {"--completion", "SHELL", FillCompletion, "", 23, ""},
};
// clang-format on

// "--poster,!--no-poster" as people write it: --poster, --no-poster.
std::vector<std::string> Names(const OptionRow& row) {
    std::vector<std::string> names;
    for (const auto& name : CLI::detail::split(row.names, ',')) {
        names.push_back(name.starts_with('!') ? name.substr(1) : name);
    }
    return names;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& between) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : between) + part;
    }
    return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

// The publisher never took "--name=value" or "-qv", which CLI11 would: the index of the first
// such argument, refused as an unknown option once those before it are read.
size_t FirstForeignForm(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string& arg = args[i];
        if (std::any_of(kOptions.begin(), kOptions.end(), [&](const OptionRow& row) {
                return !row.value.empty() && std::ranges::count(Names(row), arg) > 0;
            })) {
            ++i;
        } else if ((arg.starts_with("--") && arg.find('=') != std::string::npos) ||
                   (arg.size() > 2 && arg[0] == '-' && arg[1] != '-')) {
            return i;
        }
    }
    return args.size();
}

// The options read in their order, so that the first bad argument is the one reported.
std::string ReadOptions(const std::vector<std::string>& args, O& options,
                        std::vector<std::string>& positional) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    for (const OptionRow& row : kOptions) {
        (row.value.empty()
             ? app.add_flag_function(row.names,
                                     [&](int64_t n) { row.fill(options, n > 0 ? "yes" : "no"); })
             : app.add_option_function<std::string>(
                   row.names, [&](const std::string& v) { row.fill(options, v); }))
            ->trigger_on_parse();
    }
    app.add_option("arguments", positional);
    const auto foreign = static_cast<std::ptrdiff_t>(FirstForeignForm(args));
    std::string problem = static_cast<size_t>(foreign) < args.size()
                              ? "unknown option " + args[static_cast<size_t>(foreign)]
                              : "";
    try {
        app.parse(std::vector<std::string>(std::make_reverse_iterator(args.begin() + foreign),
                                           args.rend()));
    } catch (const BadArgument& bad) {
        problem = bad.text;
    } catch (const CLI::ArgumentMismatch& missing) {
        const std::string what = missing.what();
        problem = what.substr(0, what.find(':')) + " needs a value";
    } catch (const CLI::ParseError& other) {
        problem = other.what();
    }
    // Unknown options are set aside as they come: one before a refusal was given first.
    const auto& unknown = app.remaining();
    const auto first = std::find_if(unknown.begin(), unknown.end(),
                                    [](const std::string& a) { return a != "--"; });
    return first == unknown.end() ? problem : "unknown option " + *first;
}

}  // namespace

std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error,
                                                    bool& help, bool& version) {
    PublishOptions options;
    options.overwrite = stdinIsTerminal ? O::Overwrite::Ask : O::Overwrite::No;
    std::vector<std::string> positional;
    error = ReadOptions(args, options, positional);
    help = options.help;
    version = options.version;
    if (error.empty() && options.at && options.after) {
        error = "--at and --after cannot be used together";
    } else if (error.empty() && !help && !version && !options.manTemplate && !options.completion) {
        error = options.convertOnly && positional.size() != 1
                    ? "--convert-only takes one MEDIA file and no PAGE"
                : !options.convertOnly && positional.size() < 2
                    ? "a MEDIA file and at least one PAGE are needed"
                    : "";
        options.media = positional.empty() ? "" : positional.front();
        options.pages.assign(positional.begin() + (positional.empty() ? 0 : 1), positional.end());
    }
    return error.empty() ? std::optional(options) : std::nullopt;
}

std::string PublishUsage() {
    std::string text =
        "Usage: dede5-publish [OPTIONS] MEDIA PAGE [PAGE...]\n"
        "       dede5-publish [OPTIONS] --convert-only OUT MEDIA\n"
        "Publishes an HTML5 video or audio file into web pages of a site kept on disk: the\n"
        "player markup goes into each page, the player files into the site's JavaScript\n"
        "folder and the media (with its poster picture) into its media folder.\n\n";
    for (const OptionRow& row : kOptions) {
        if (!row.help.empty()) {
            std::string left = "  " + Joined(Names(row), ", ");
            left += row.value.empty() ? "" : " " + row.value;
            left.append(left.size() + 2 > row.column ? 2 : row.column - left.size(), ' ');
            const std::string help = Replaced(row.help, "{players}", VideoPlayerCliNames());
            text += left + Replaced(help, "\n", "\n" + std::string(23, ' ')) + "\n";
        }
    }
    return text +
           "\nPublishing also removes from each page the script blocks of the old DHTML menu\n"
           "(kvmenu.js, kvm31.js, kelvary_dhtmlmenu): those menus no longer work.\n\n"
           "Exit status: 0 published, 1 bad arguments, 2 media refused, 3 a page refused,\n"
           "4 writing or copying failed (also: a page changed by another program meanwhile\n"
           "was kept as it was), 5 cancelled at a question, 6 published without the poster\n"
           "asked for, 7 no room left (a full disk) for the converted file, 130 and 143\n"
           "stopped by SIGINT or SIGTERM (pages not yet saved are left as they were; run\n"
           "again to finish).\n";
}

std::vector<std::string> PublishOptionNames() {
    std::vector<std::string> names;
    for (const OptionRow& row : kOptions) {
        const auto more = row.help.empty() ? std::vector<std::string>() : Names(row);
        names.insert(names.end(), more.begin(), more.end());
    }
    return names;
}

std::optional<std::string> PublishManPage(const std::string& manTemplate, std::string& error) {
    std::string page;
    std::set<std::string> entered;
    for (const std::string& line : CLI::detail::split(manTemplate, '\n')) {
        const std::string name = line.substr(1, line.size() < 3 ? 0 : line.size() - 2);
        const auto row = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionRow& r) {
            return !r.help.empty() && Names(r).front() == name;
        });
        if (line.size() < 3 || !line.starts_with('@') || !line.ends_with('@')) {
            page += line + "\n";
        } else if (row == kOptions.end()) {
            error = "the template names an option that does not exist: " + name;
            return std::nullopt;
        } else {
            entered.insert(name);
            const std::string value = row->value.empty() ? "" : " \\fI" + row->value + "\\fR";
            page += ".TP\n\\fB" + Replaced(Joined(Names(*row), "\\fR, \\fB"), "-", "\\-") + "\\fR" +
                    value + "\n";
        }
    }
    for (const OptionRow& row : kOptions) {
        if (!row.help.empty() && !entered.contains(Names(row).front())) {
            error = "the template has no entry for " + Names(row).front();
            return std::nullopt;
        }
    }
    return page;
}

std::string PublishBashCompletion() {
    std::string cases;
    for (const OptionRow& row : kOptions) {
        std::string words = row.complete;
        for (const auto& player : GetVideoPlayers()) {
            words = row.complete == "{players}" ? words + " " + player.cliName : words;
        }
        words = row.complete == "{players}" ? words.substr(10) : words;
        const std::string reply = row.complete.empty() ? ""
                                  : row.complete.starts_with('-')
                                      ? "$(compgen " + row.complete + " -- \"$cur\")"
                                      : "$(compgen -W '" + words + "' -- \"$cur\")";
        cases +=
            row.help.empty() || row.value.empty()
                ? ""
                : "        " + Joined(Names(row), "|") + ") COMPREPLY=(" + reply + "); return ;;\n";
    }
    return fmt::sprintf(
        "# bash completion for dede5-publish\n"
        "_dede5_publish() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    case $prev in\n%s    esac\n"
        "    if [[ $cur == -* ]]; then\n"
        "        COMPREPLY=($(compgen -W '%s' -- \"$cur\"))\n"
        "    else\n"
        "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        "    fi\n"
        "}\n"
        "complete -o filenames -F _dede5_publish dede5-publish\n",
        cases, Joined(PublishOptionNames(), " "));
}
