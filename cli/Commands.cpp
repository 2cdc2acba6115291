// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <algorithm>
#include <functional>
#include <memory>

#include <fmt/format.h>

#include "app/CQtSettingsStore.h"
#include "app/CReadOnlySettingsStore.h"
#include "cli/PublishJob.h"
#include "core/OptionTable.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "publish/CSiteMedia.h"

namespace {

struct SiteCommand {
    std::string name;
    std::vector<std::string> positional;
    std::optional<std::string> siteRoot, jsPath, mediaPath, settingsFile;
    bool json = false, keepFiles = false, newCaptions = false, help = false;
};

using Fill = std::function<void(SiteCommand&, const std::string&)>;

struct CommandOption {
    Fill fill;
    OptionForm form;
};

// clang-format off
const std::vector<CommandOption> kCommandOptions = {
    {[](SiteCommand& c, auto& v) { c.siteRoot = v; }, {"--site-root", "DIR",
        "the site's root folder (default: the saved one)"}},
    {[](SiteCommand& c, auto& v) { c.jsPath = v; }, {"--js-path", "REL",
        "its JavaScript folder, e.g. /js/ (default: the saved one)"}},
    {[](SiteCommand& c, auto& v) { c.mediaPath = v; }, {"--media-path", "REL",
        "its media folder, e.g. /medias/ (default: the saved one)"}},
    {[](SiteCommand& c, auto& v) { c.settingsFile = v; }, {"--settings", "FILE",
        "read the settings from FILE instead of the user's"}},
    {[](SiteCommand& c, auto&) { c.json = true; }, {"--json", "", "list: one JSON document"}},
    {[](SiteCommand& c, auto&) { c.keepFiles = true; }, {"--keep-files", "",
        "remove: leave the media, poster, captions and player files"}},
    {[](SiteCommand& c, auto&) { c.newCaptions = true; }, {"--new-captions", "",
        "replace: the captions beside NEW, not the old player's"}},
    {[](SiteCommand& c, auto&) { c.help = true; }, {"--help", "", "print this help and exit"}},
    {[](SiteCommand& c, auto&) { c.help = true; }, {"-h", "", ""}},
};
// clang-format on

// The first argument that is neither an option (of either command line) nor an option's value.
size_t FirstPositional(const std::vector<std::string>& args) {
    std::vector<OptionForm> forms = PublishOptionForms();
    for (const CommandOption& row : kCommandOptions) {
        forms.push_back(row.form);
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const auto form = std::ranges::find_if(forms, [&](const OptionForm& f) {
            const std::vector<std::string> names = OptionNames(f);
            return std::ranges::find(names, args[i]) != names.end();
        });
        if (form == forms.end()) {
            return i;
        }
        i += form->value.empty() ? 0 : 1;
    }
    return args.size();
}

std::string Parse(const std::vector<std::string>& args, SiteCommand& command) {
    command.name = args.front();
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto row = std::ranges::find_if(
            kCommandOptions, [&](const CommandOption& o) { return o.form.names == arg; });
        if (row == kCommandOptions.end()) {
            if (arg.starts_with("-") && arg != "-") {
                return "unknown option " + arg;
            }
            command.positional.push_back(arg);
        } else if (row->form.value.empty()) {
            row->fill(command, "");
        } else if (++i < args.size()) {
            row->fill(command, args[i]);
        } else {
            return arg + " needs a value";
        }
    }
    const size_t count = command.positional.size();
    if (command.help) {
        return {};
    }
    if (command.name == "list" && count != 0) {
        return "list takes no PAGE or MEDIA";
    }
    if (command.name == "remove" && count < 1) {
        return "remove needs the MEDIA to take out";
    }
    if (command.name == "replace" && count < 2) {
        return "replace needs the OLD media and the NEW one";
    }
    return {};
}

// The saved settings, for what the command line does not give, while the command runs.
class CSavedSettings {
public:
    explicit CSavedSettings(const std::string& file) {
        auto source =
            file.empty() ? std::make_unique<CQtSettingsStore>()
                         : std::make_unique<CQtSettingsStore>(QString::fromLocal8Bit(file.c_str()));
        SetSettingsStore(std::make_shared<CReadOnlySettingsStore>(std::move(source)));
        COptions::Instance()->LoadState();
    }
    ~CSavedSettings() {
        COptions::DestroyInstance();
        SetSettingsStore(nullptr);
    }
    CSavedSettings(const CSavedSettings&) = delete;
    CSavedSettings& operator=(const CSavedSettings&) = delete;
};

// The site as given, the rest from the saved settings.
SiteDescription SiteOf(const SiteCommand& command) {
    SiteDescription site = SiteFromOptions(*COptions::Instance());
    if (command.siteRoot) {
        site.root = AddBackslash(AbsolutePath(*command.siteRoot));
    }
    site.jsPath = SiteLayout::StoredSubFolder(command.jsPath.value_or(site.jsPath));
    site.mediaPath = SiteLayout::StoredSubFolder(command.mediaPath.value_or(site.mediaPath));
    return site;
}

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += fmt::format("\\u{:04x}", c);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        out += (out.size() > 1 ? ", " : "") + Json(item);
    }
    return out + "]";
}

void PrintList(const SiteListing& listing, bool json, std::FILE* out) {
    if (json) {
        std::string text = "{\"players\": [";
        for (const SitePlayer& p : listing.players) {
            text += fmt::format(
                "{}\n  {{\"page\": {}, \"line\": {}, \"player\": {}, \"media\": {}, "
                "\"poster\": {}, \"captions\": {}, \"files\": {}, \"size_bytes\": {}}}",
                &p == listing.players.data() ? "" : ",", Json(p.page), p.found.line,
                Json(p.found.ours ? p.found.player : "other video"), Json(p.media), Json(p.poster),
                JsonList(p.captions), JsonList(p.files), p.size_bytes);
        }
        text += "],\n\"unused\": " + JsonList(listing.unused) + "}\n";
        std::fputs(text.c_str(), out);
        return;
    }
    for (const SitePlayer& p : listing.players) {
        std::string line = fmt::format("{}:{}\t{}\t{}", p.page, p.found.line,
                                       p.found.ours ? p.found.player : "other video", p.media);
        if (!p.poster.empty()) {
            line += "\tposter " + p.poster;
        }
        for (const std::string& captions : p.captions) {
            line += "\tcaptions " + captions;
        }
        std::fputs((line + "\t" + FormatFileSize(p.size_bytes) + "\n").c_str(), out);
    }
    for (const std::string& file : listing.unused) {
        std::fputs(("unused\t" + file + "\n").c_str(), out);
    }
}

void PrintProblems(const std::vector<CError>& problems, std::FILE* err) {
    for (const CError& problem : problems) {
        const std::string text = problem.id || problem.error
                                     ? ErrorText(problem)
                                     : "not read (it holds a zero byte, or characters the "
                                       "system's character set lacks)";
        std::fprintf(err, "dede5-publish: %s: %s\n", problem.path.c_str(), text.c_str());
    }
}

void PrintRemoved(const RemoveOutcome& outcome, const std::string& root, std::FILE* out,
                  std::FILE* err) {
    for (const std::string& file : outcome.files) {
        std::fprintf(out, "deleted %s\n", (root + file).c_str());
    }
    PrintProblems(outcome.unread, err);
    PrintProblems(outcome.problems, err);
}

// Each page's player of OLD published again for NEW in its place, then OLD's files that no page
// uses any more removed.
int Replace(const CSiteMedia& media, const SiteCommand& command, std::FILE* out, std::FILE* err) {
    const std::string& old = command.positional[0];
    const ReplacePlan plan = media.PlanReplace(
        old, command.positional[1], {command.positional.begin() + 2, command.positional.end()},
        command.newCaptions);
    PrintProblems(plan.unread, err);
    if (plan.stopped) {
        return ExitStatus(RunEnd::Stopped);
    }
    if (plan.steps.empty()) {
        std::fprintf(err, "dede5-publish: no page shows %s\n", old.c_str());
        return ExitStatus(RunEnd::PageRefused);
    }
    int status = 0;
    for (const ReplaceStep& step : plan.steps) {
        PublishOptions options;
        static_cast<PublishRequest&>(options) = step.request;
        const int published = RunPublishJob(options, out, err);
        status = status ? status : published;
        if (StopRequested()) {
            return ExitStatus(RunEnd::Stopped);
        }
    }
    const RemoveOutcome removed = media.RemoveUnused(plan.oldFiles);
    PrintRemoved(removed, media.Root(), out, err);
    return status;
}

}  // namespace

std::optional<int> RunSiteCommand(const std::vector<std::string>& args, std::FILE* out,
                                  std::FILE* err) {
    // A media file is never named so (it has no extension a browser plays), so these words
    // take nothing from the publishing command line.
    const size_t at = FirstPositional(args);
    if (at == args.size() ||
        (args[at] != "list" && args[at] != "remove" && args[at] != "replace")) {
        return std::nullopt;
    }
    std::vector<std::string> words = {args[at]};
    words.insert(words.end(), args.begin(), args.begin() + static_cast<std::ptrdiff_t>(at));
    words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(at) + 1, args.end());
    SiteCommand command;
    if (const std::string error = Parse(words, command); !error.empty()) {
        std::fprintf(err, "dede5-publish: %s\nTry 'dede5-publish --help'.\n", error.c_str());
        return ExitStatus(RunEnd::BadArguments);
    }
    if (command.help) {
        std::fputs(SiteCommandsUsage().c_str(), out);
        return ExitStatus(RunEnd::Published);
    }
    const CSavedSettings settings(command.settingsFile.value_or(""));
    const SiteDescription site = SiteOf(command);
    auto media = CSiteMedia::Open(site);
    if (!media) {
        std::fprintf(err, "dede5-publish: %s\n",
                     site.root.empty() ? "no site root: give --site-root"
                                       : (site.root + ": " + GetErrorText(media.error)).c_str());
        return ExitStatus(RunEnd::BadArguments);
    }
    CatchStopSignals();
    if (command.name == "list") {
        const SiteListing listing = media.value->List();
        PrintList(listing, command.json, out);
        PrintProblems(listing.problems, err);
        return ExitStatus(StopRequested() ? RunEnd::Stopped : RunEnd::Published);
    }
    if (command.name == "replace") {
        return Replace(*media.value, command, out, err);
    }
    RemoveRequest request{command.positional.front(),
                          {command.positional.begin() + 1, command.positional.end()},
                          command.keepFiles};
    const RemoveOutcome outcome = media.value->Remove(request, SilentReport());
    for (const std::string& page : outcome.pages) {
        std::fprintf(out, "removed from %s\n", (site.root + page).c_str());
    }
    PrintRemoved(outcome, site.root, out, err);
    if (outcome.stopped) {
        return ExitStatus(RunEnd::Stopped);
    }
    if (outcome.pages.empty() && outcome.problems.empty()) {
        std::fprintf(err, "dede5-publish: no page shows %s\n", request.media.c_str());
        return ExitStatus(RunEnd::PageRefused);
    }
    return ExitStatus(outcome.problems.empty() ? RunEnd::Published : RunEnd::WriteFailed);
}

std::string SiteCommandsUsage() {
    return "\nWhat is published across a site:\n"
           "  dede5-publish list [OPTIONS]            every player: page, line, player, media,\n"
           "                                          poster, captions, size; then the\n"
           "                                          published files no page uses\n"
           "  dede5-publish remove [OPTIONS] MEDIA [PAGE...]\n"
           "                                          take MEDIA's players out of every page\n"
           "                                          (or those named), leaving each page as\n"
           "                                          it was before; then delete the files no\n"
           "                                          page uses any more\n"
           "  dede5-publish replace [OPTIONS] OLD NEW [PAGE...]\n"
           "                                          publish NEW in place of OLD's players,\n"
           "                                          with their player, choices and captions\n"
           "                                          (a new poster), under a name of its own\n"
           "                                          unless of the same content; then delete\n"
           "                                          OLD's files no page uses\n" +
           OptionHelp([] {
               std::vector<OptionForm> forms;
               for (const CommandOption& row : kCommandOptions) {
                   forms.push_back(row.form);
               }
               return forms;
           }());
}
