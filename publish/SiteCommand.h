// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/OptionTable.h"
#include "publish/PublishRun.h"
#include "publish/SiteLayout.h"

// A command on what is published across a site.
struct SiteCommandRequest : PublishRequest {
    // "list", "remove" or "replace"; empty for a publish. For replace, `media` is OLD and
    // `newMedia` NEW.
    std::string command, newMedia;
    bool json = false, keepFiles = false, newCaptions = false, keepPoster = false;
};

inline constexpr const char* kSiteCommandNames[] = {"list", "remove", "replace"};

// Takes the command word out of `args` and returns it: the first argument that is neither one
// of `forms` nor an option's value, when it names a command; empty (and `args` as they were) for
// a publish. A media file is never named so (it has no extension a browser plays), so these
// words take nothing from a publish.
std::string TakeSiteCommand(std::vector<std::string>& args, const std::vector<OptionForm>& forms);
// Takes the words after the options (MEDIA, NEW, PAGE...) into `request`, for a publish or its
// command; the refusal, empty when they fit.
std::string TakeCommandWords(const std::vector<std::string>& words, SiteCommandRequest& request);
// The commands as --help describes them, before their options.
std::string SiteCommandsUsage();

// Runs the command over `saved` with what the request gives over it: the listing and the files
// deleted go to the output's Print, problems to its Say. Replace publishes through `publish`.
RunEnd RunSiteCommand(const SiteCommandRequest& request, const SiteDescription& saved,
                      IRunOutput& output,
                      const std::function<RunEnd(const PublishRequest&)>& publish);
