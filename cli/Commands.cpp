// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <fmt/format.h>

#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "publish/CSiteMedia.h"

namespace {

void PrintList(const SiteListing& listing, bool json, std::FILE* out) {
    if (json) {
        std::fputs(ListingJson(listing).c_str(), out);
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
int Replace(const CSiteMedia& media, const PublishOptions& command, std::FILE* out,
            std::FILE* err) {
    const ReplacePlan plan =
        media.PlanReplace(command.media, command.newMedia, command.pages, command.newCaptions);
    PrintProblems(plan.unread, err);
    if (plan.stopped) {
        return ExitStatus(RunEnd::Stopped);
    }
    if (plan.steps.empty()) {
        std::fprintf(err, "dede5-publish: no page shows %s\n", command.media.c_str());
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
    PrintRemoved(media.RemoveUnused(plan.oldFiles), media.Root(), out, err);
    return status;
}

}  // namespace

int RunSiteCommand(const PublishOptions& command, std::FILE* out, std::FILE* err) {
    const SiteDescription site = WithSiteRequest(SiteFromOptions(*COptions::Instance()), command);
    auto media = CSiteMedia::Open(site);
    if (!media) {
        std::fprintf(err, "dede5-publish: %s\n",
                     site.root.empty() ? "no site root: give --site-root"
                                       : (site.root + ": " + GetErrorText(media.error)).c_str());
        return ExitStatus(RunEnd::BadArguments);
    }
    if (command.command == "list") {
        const SiteListing listing = media.value->List();
        PrintList(listing, command.json, out);
        PrintProblems(listing.problems, err);
        return ExitStatus(StopRequested() ? RunEnd::Stopped : RunEnd::Published);
    }
    if (command.command == "replace") {
        return Replace(*media.value, command, out, err);
    }
    const RemoveOutcome outcome =
        media.value->Remove({command.media, command.pages, command.keepFiles}, SilentReport());
    for (const std::string& page : outcome.pages) {
        std::fprintf(out, "removed from %s\n", (site.root + page).c_str());
    }
    PrintRemoved(outcome, site.root, out, err);
    if (outcome.stopped) {
        return ExitStatus(RunEnd::Stopped);
    }
    if (outcome.pages.empty() && outcome.problems.empty()) {
        std::fprintf(err, "dede5-publish: no page shows %s\n", command.media.c_str());
        return ExitStatus(RunEnd::PageRefused);
    }
    return ExitStatus(outcome.problems.empty() ? RunEnd::Published : RunEnd::WriteFailed);
}
