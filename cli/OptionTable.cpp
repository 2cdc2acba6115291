// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's options, written once: they drive parsing, --help, the manual page and the
// shell completion.
#include <functional>
#include <map>
#include <set>

#include <CLI/CLI.hpp>
#include <fmt/printf.h>

#include "cli/PublishJob.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "media/MediaInfo2.h"
#include "players/PlayerInfo.h"
#include "publish/Captions.h"

namespace {

using Fill = std::function<void(PublishOptions&, const std::string&)>;

struct OptionRow {
    std::string names;  // as CLI11 reads them; "!" marks the form that says no
    std::string value;  // the value's name; empty for a flag, whose fill gets "yes" or "no"
    std::string help;   // lines after the first are indented; empty hides the option
    Fill fill;
    std::string complete = {};  // for bash: "-d" a folder, "-f" a file, else the words it takes
    size_t column = 23;         // where the help text starts
};

// A refusal of the command line, in the words users' scripts already know.
struct BadArgument {
    std::string text;
};

Fill Choice(std::optional<bool> PublishOptions::*field) {
    return [field](PublishOptions& o, const std::string& v) { o.*field = v == "yes"; };
}

Fill Set(bool PublishOptions::*field) {
    return [field](PublishOptions& o, const std::string&) { o.*field = true; };
}

Fill Text(std::optional<std::string> PublishOptions::*field, std::string ifEmpty = {}) {
    return [field, ifEmpty](PublishOptions& o, const std::string& v) {
        if (v.empty() && !ifEmpty.empty()) {
            throw BadArgument{ifEmpty};
        }
        o.*field = v;
    };
}

Fill Verbosity(int level) {
    return [level](PublishOptions& o, const std::string&) { o.verbosity = level; };
}

void FillPlayer(PublishOptions& o, const std::string& v) {
    o.player = ToLowerAscii(v);
    if (FindVideoPlayerByCliName(*o.player) < 0) {
        throw BadArgument{"unknown player '" + v + "' (" + VideoPlayerCliNames() + ")"};
    }
}

void FillOverwrite(PublishOptions& o, const std::string& v) {
    using enum PublishOptions::Overwrite;
    static const std::map<std::string, PublishOptions::Overwrite> answers = {
        {"ask", Ask}, {"yes", Yes}, {"no", No}};
    const auto answer = answers.find(v);
    if (answer == answers.end()) {
        throw BadArgument{"--overwrite takes ask, yes or no"};
    }
    o.overwrite = answer->second;
}

// A time such as "12" or "2.5"; nothing else, not even blanks.
void FillPosterAt(PublishOptions& o, const std::string& v) {
    static const CRegex number("^[0-9]{1,7}(\\.[0-9]{1,3})?$");
    if (!number.Search(v, nullptr)) {
        throw BadArgument{"--poster-at takes a number of seconds, e.g. 2.5"};
    }
    o.posterAt = ParseLeadingReal(v);
}

// FILE[:LANG[:LABEL]]. A file name may hold colons: the file part ends after ".vtt" or ".srt"
// where that is followed by a colon.
void FillCaptions(PublishOptions& o, const std::string& v) {
    auto isCaptions = [](std::string_view ext) {
        return EqualsNoCase(ext, ".vtt") || EqualsNoCase(ext, ".srt");
    };
    size_t end = std::string::npos;
    for (size_t colon = v.find(':'); colon != std::string::npos && end == std::string::npos;
         colon = v.find(':', colon + 1)) {
        end = colon >= 4 && isCaptions(v.substr(colon - 4, 4)) ? colon : std::string::npos;
    }
    if (end == std::string::npos && !isCaptions(GetPathExtension(v))) {
        end = v.find(':');
    }
    CaptionsRequest captions{v.substr(0, end), {}, {}};
    if (end != std::string::npos) {
        const std::string rest = v.substr(end + 1);
        const size_t colon = rest.find(':');
        captions.language = rest.substr(0, colon);
        captions.label = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    if (captions.file.empty()) {
        throw BadArgument{"--captions needs a file"};
    }
    if (!captions.language.empty() && !IsCaptionsLanguage(captions.language)) {
        throw BadArgument{"--captions: '" + captions.language +
                          "' is not a language tag (en, fr, pt-BR...)"};
    }
    o.captions.push_back(std::move(captions));
}

void FillCompletion(PublishOptions& o, const std::string& v) {
    if (v != "bash") {
        throw BadArgument{"--completion takes bash"};
    }
    o.completion = v;
}

std::string PlayerWords() {
    std::string words;
    for (const auto& row : GetVideoPlayers()) {
        words += (words.empty() ? "" : " ") + std::string(row.cliName);
    }
    return words;
}

using O = PublishOptions;

// "{players}" stands for the names of the video players.
const std::vector<OptionRow> kOptions = {
    {"--player", "NAME",
     "{players}\n(video; audio always uses MediaElement). Default: the\n"
     "player last chosen in the wizard.",
     FillPlayer, "{players}"},
    {"--site-root", "DIR", "the site's root folder (default: the saved one)", Text(&O::siteRoot),
     "-d"},
    {"--js-path", "REL", "JavaScript folder below the root, e.g. /js/ ('/' = the root)",
     Text(&O::jsPath)},
    {"--media-path", "REL", "media folder below the root, e.g. /medias/", Text(&O::mediaPath)},
    {"--poster,!--no-poster", "", "a poster picture for video", Choice(&O::poster), "", 31},
    {"--poster-optional", "", "a poster that cannot be taken is no error (no status 6)",
     Set(&O::posterOptional)},
    {"--poster-at", "SECONDS",
     "take the poster picture at that moment of the video\n(default: its first second)",
     FillPosterAt},
    {"--faststart,!--no-faststart", "",
     "an MP4/M4A whose index is at its end goes in\nrewritten (losslessly) to start playing "
     "at once (default),\nor as it is",
     Choice(&O::fastStart), "", 31},
    {"--autoplay,!--no-autoplay", "", "start playing by itself", Choice(&O::autoplay), "", 31},
    {"--loop,!--no-loop", "", "play in a loop", Choice(&O::loop), "", 31},
    {"--controls,!--no-controls", "", "show the player's controls", Choice(&O::controls), "", 31},
    {"--fit,!--no-fit", "",
     "fit a video player to the page: never wider than its\ncolumn nor larger than the video",
     Choice(&O::fit)},
    {"--captions", "FILE[:LANG[:LABEL]]",
     "captions for the video, WebVTT (.vtt) or SubRip\n(.srt) in any character set; "
     "repeatable, the first is shown\nby default. LANG is a language tag (en, pt-BR); LABEL "
     "is\nwhat the player's menu shows (default: from LANG)",
     FillCaptions, "-f"},
    {"--no-captions", "",
     "leave out the captions found beside the media\n(MEDIA-TITLE.vtt/.srt, "
     "MEDIA-TITLE.LANG.vtt/.srt)",
     Set(&O::noCaptions)},
    {"--at", "TEXT", "put the player in place of the first TEXT in the page",
     Text(&O::at, "--at needs a text to look for")},
    {"--after", "TEXT",
     "put the player right after the first TEXT\n(default: after the opening <body> tag, "
     "else at the start\nof the body)",
     Text(&O::after, "--after needs a text to look for")},
    {"--force", "",
     "put the player at the --at or --after text even inside a\ncomment, a tag, a script, "
     "style, title or textarea, the\nhead or another video or audio, where it would not "
     "show;\nwithout it such a page is refused (status 3)",
     Set(&O::force)},
    {"--print", "",
     "print the head code, a line ----, and the body code for the\nfirst PAGE; change no file",
     Set(&O::print)},
    {"--overwrite", "ask|yes|no",
     "a media file of other content already in the media\nfolder: ask (default on a "
     "terminal), yes, or no (default);\na link where a file is to be written is replaced "
     "(the link\nitself, never what it points to) only with yes",
     FillOverwrite, "ask yes no", 27},
    {"--again", "",
     "also publish into pages that already play this media\n(they are skipped otherwise, so "
     "that a run can be repeated)",
     Set(&O::again)},
    {"--convert", "",
     "make media that browsers do not play web-ready first: an\nMP4 (H.264/AAC), WebM or M4A "
     "made with ffmpeg, published\nunder the original's name; the original is left as it is",
     Set(&O::convert)},
    {"--convert-only", "OUT",
     "only write the web-ready file to OUT (its extension as\n--convert would choose: .mp4, "
     ".webm or .m4a); no PAGE",
     Text(&O::convertOnly, "--convert-only needs a file to write"), "-f"},
    {"--settings", "FILE", "read the settings from FILE instead of the user's",
     [](O& o, const std::string& v) { o.settingsFile = v; }, "-f"},
    {"-q,--quiet", "", "print errors only", Verbosity(0)},
    {"-v,--verbose", "", "also name each copied file", Verbosity(2)},
    {"--version", "", "print the version and exit", Set(&O::version)},
    {"--help", "", "print this help and exit", Set(&O::help)},
    {"-h", "", "", Set(&O::help)},
    {"--man", "TEMPLATE", "", Text(&O::manTemplate)},
    {"--completion", "SHELL", "", FillCompletion},
};

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

std::string ManSynopsis(const OptionRow& row) {
    std::vector<std::string> names;
    for (const std::string& name : Names(row)) {
        names.push_back("\\fB" + Replaced(name, "-", "\\-") + "\\fR");
    }
    return Joined(names, ", ") + (row.value.empty() ? "" : " \\fI" + row.value + "\\fR");
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

}  // namespace

std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error,
                                                    bool& help, bool& version) {
    PublishOptions options;
    options.overwrite =
        stdinIsTerminal ? PublishOptions::Overwrite::Ask : PublishOptions::Overwrite::No;
    std::vector<std::string> positional;
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    for (const OptionRow& row : kOptions) {
        // Filled as they come, so that the first bad argument is the one reported.
        (row.value.empty()
             ? app.add_flag_function(row.names,
                                     [&](int64_t n) { row.fill(options, n > 0 ? "yes" : "no"); })
             : app.add_option_function<std::string>(
                   row.names, [&](const std::string& v) { row.fill(options, v); }))
            ->trigger_on_parse();
    }
    app.add_option("arguments", positional);
    // Unknown options are set aside as they come: one before a refusal was given first.
    auto refuse = [&](const std::string& text) {
        const auto& unknown = app.remaining();
        const auto first = std::find_if(unknown.begin(), unknown.end(),
                                        [](const std::string& a) { return a != "--"; });
        error = first == unknown.end() ? text : "unknown option " + *first;
        return std::nullopt;
    };
    const auto foreign = static_cast<std::ptrdiff_t>(FirstForeignForm(args));
    try {
        app.parse(std::vector<std::string>(std::make_reverse_iterator(args.begin() + foreign),
                                           args.rend()));
    } catch (const BadArgument& bad) {
        return refuse(bad.text);
    } catch (const CLI::ArgumentMismatch& missing) {
        const std::string what = missing.what();
        return refuse(what.substr(0, what.find(':')) + " needs a value");
    } catch (const CLI::ParseError& other) {
        return refuse(other.what());
    }
    refuse(static_cast<size_t>(foreign) < args.size()
               ? "unknown option " + args[static_cast<size_t>(foreign)]
               : "");
    if (!error.empty()) {
        return std::nullopt;
    }
    help = options.help;
    version = options.version;
    if (options.at && options.after) {
        error = "--at and --after cannot be used together";
        return std::nullopt;
    }
    if (help || version || options.manTemplate || options.completion) {
        return options;
    }
    if (options.convertOnly && positional.size() != 1) {
        error = "--convert-only takes one MEDIA file and no PAGE";
        return std::nullopt;
    }
    if (!options.convertOnly && positional.size() < 2) {
        error = "a MEDIA file and at least one PAGE are needed";
        return std::nullopt;
    }
    options.media = positional.front();
    options.pages.assign(positional.begin() + 1, positional.end());
    return options;
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
        if (!row.help.empty()) {
            const auto more = Names(row);
            names.insert(names.end(), more.begin(), more.end());
        }
    }
    return names;
}

std::optional<std::string> PublishManPage(const std::string& manTemplate, std::string& error) {
    std::string page;
    std::set<std::string> entered;
    for (const std::string& line : CLI::detail::split(manTemplate, '\n')) {
        if (line.size() < 3 || !line.starts_with('@') || !line.ends_with('@')) {
            page += line + "\n";
            continue;
        }
        const std::string name = line.substr(1, line.size() - 2);
        const auto row = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionRow& r) {
            return !r.help.empty() && Names(r).front() == name;
        });
        if (row == kOptions.end()) {
            error = "the template names an option that does not exist: " + name;
            return std::nullopt;
        }
        entered.insert(name);
        page += ".TP\n" + ManSynopsis(*row) + "\n";
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
        if (row.help.empty() || row.value.empty()) {
            continue;
        }
        const std::string words = row.complete == "{players}" ? PlayerWords() : row.complete;
        const std::string reply = row.complete.empty()   ? ""
                                  : row.complete == "-d" ? "compgen -d -- \"$cur\""
                                  : row.complete == "-f" ? "compgen -f -- \"$cur\""
                                                         : "compgen -W '" + words + "' -- \"$cur\"";
        cases += "        " + Joined(Names(row), "|") + ") COMPREPLY=(" +
                 (reply.empty() ? "" : "$(" + reply + ")") + "); return ;;\n";
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
