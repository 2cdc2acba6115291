// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteCommand.h"

#include <algorithm>

#include <fmt/format.h>

#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "publish/CSiteMedia.h"

namespace {

void PrintList(const SiteListing& listing, bool json, IRunOutput& output) {
    if (json) {
        output.Print(ListingJson(listing));
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
        if (!p.stream.empty()) {
            line += "\tstream " + p.stream;
        }
        for (const std::string& source : p.sources) {
            line += "\tsource " + source;
        }
        output.Print(line + "\t" + FormatFileSize(p.size_bytes) + "\n");
    }
    for (const std::string& file : listing.unused) {
        output.Print("unused\t" + file + "\n");
    }
}

void SayProblems(const std::vector<CError>& problems, IRunOutput& output) {
    for (const CError& problem : problems) {
        const std::string text = problem.id || problem.error
                                     ? ErrorText(problem)
                                     : "not read (it holds a zero byte, or characters the "
                                       "system's character set lacks)";
        output.Say("dede5-publish: " + problem.path + ": " + text);
    }
}

void PrintRemoved(const RemoveOutcome& outcome, const std::string& root, IRunOutput& output) {
    for (const std::string& file : outcome.files) {
        output.Print("deleted " + root + file + "\n");
    }
    SayProblems(outcome.unread, output);
    SayProblems(outcome.problems, output);
}

RunEnd NoPageShows(const std::string& media, IRunOutput& output) {
    output.Say("dede5-publish: no page shows " + media);
    return RunEnd::PageRefused;
}

// Each page's player of OLD published again for NEW in its place, then OLD's files that no page
// uses any more removed.
RunEnd Replace(const CSiteMedia& media, const SiteCommandRequest& request, IRunOutput& output,
               const std::function<RunEnd(const PublishRequest&)>& publish) {
    const ReplacePlan plan = media.PlanReplace(request.media, request.newMedia, request.pages,
                                               request.newCaptions, request.keepPoster);
    SayProblems(plan.unread, output);
    if (plan.stopped) {
        return RunEnd::Stopped;
    }
    if (plan.steps.empty()) {
        return NoPageShows(request.media, output);
    }
    RunEnd end = RunEnd::Published;
    for (const ReplaceStep& step : plan.steps) {
        // The other sources asked for are NEW's; OLD's go with its other files.
        PublishRequest publishing = step.request;
        publishing.sources = request.sources;
        const RunEnd published = publish(publishing);
        end = end == RunEnd::Published ? published : end;
        if (StopRequested()) {
            return RunEnd::Stopped;
        }
    }
    PrintRemoved(media.RemoveUnused(plan.oldFiles), media.Root(), output);
    return end;
}

RunEnd Remove(const CSiteMedia& media, const SiteCommandRequest& request, IRunOutput& output) {
    const RemoveOutcome outcome =
        media.Remove({request.media, request.pages, request.keepFiles}, SilentReport());
    for (const std::string& page : outcome.pages) {
        output.Print("removed from " + media.Root() + page + "\n");
    }
    PrintRemoved(outcome, media.Root(), output);
    if (outcome.stopped) {
        return RunEnd::Stopped;
    }
    if (outcome.pages.empty() && outcome.problems.empty()) {
        return NoPageShows(request.media, output);
    }
    return outcome.problems.empty() ? RunEnd::Published : RunEnd::WriteFailed;
}

}  // namespace

std::string TakeSiteCommand(std::vector<std::string>& args, const std::vector<OptionForm>& forms) {
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const auto form = std::ranges::find_if(forms, [&](const OptionForm& f) {
            return std::ranges::count(OptionNames(f), args[i]);
        });
        if (form == forms.end()) {
            break;
        }
        i += form->value.empty() ? 0 : 1;
    }
    if (i >= args.size() || !std::ranges::count(kSiteCommandNames, args[i])) {
        return {};
    }
    std::string command = args[i];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    return command;
}

std::string TakeCommandWords(const std::vector<std::string>& words, SiteCommandRequest& request) {
    const size_t count = words.size();
    const std::string& name = request.command;
    if (name.empty() && request.convertOnly && count != 1) {
        return "--convert-only takes one MEDIA file and no PAGE";
    }
    if (name.empty() && !request.convertOnly && count < 2) {
        return "a MEDIA file and at least one PAGE are needed";
    }
    if ((name == "list" || name == "remove") && !request.sources.empty()) {
        return "--source is for a publish or replace";
    }
    if (name == "list" && count != 0) {
        return "list takes no PAGE or MEDIA";
    }
    if (name == "remove" && count < 1) {
        return "remove needs the MEDIA to take out";
    }
    if (name == "replace" && count < 2) {
        return "replace needs the OLD media and the NEW one";
    }
    const size_t pages = name == "replace" ? 2 : std::min<size_t>(count, 1);
    request.media = count ? words[0] : "";
    request.newMedia = name == "replace" ? words[1] : "";
    request.pages.assign(words.begin() + static_cast<std::ptrdiff_t>(pages), words.end());
    return {};
}

std::string SiteCommandsUsage() {
    return "\nWhat is published across a site:\n"
           "  dede5-publish list [OPTIONS]            every player: page, line, player, media,\n"
           "                                          poster, captions, stream, other\n"
           "                                          sources, size; then\n"
           "                                          the published files no page uses\n"
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
           "                                          OLD's files no page uses\n";
}

RunEnd RunSiteCommand(const SiteCommandRequest& request, const SiteDescription& saved,
                      IRunOutput& output,
                      const std::function<RunEnd(const PublishRequest&)>& publish) {
    const SiteDescription site = WithSiteRequest(saved, request);
    auto media = CSiteMedia::Open(site);
    if (!media) {
        output.Say("dede5-publish: " + (site.root.empty()
                                            ? "no site root: give --site-root"
                                            : site.root + ": " + GetErrorText(media.error)));
        return RunEnd::BadArguments;
    }
    if (request.command == "list") {
        const SiteListing listing = media.value->List();
        PrintList(listing, request.json, output);
        SayProblems(listing.problems, output);
        return StopRequested() ? RunEnd::Stopped : RunEnd::Published;
    }
    return request.command == "replace" ? Replace(*media.value, request, output, publish)
                                        : Remove(*media.value, request, output);
}
