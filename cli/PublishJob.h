// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "publish/PublishRun.h"

// What the command line asked for.
struct PublishOptions {
    std::string media;
    std::vector<std::string> pages;
    std::optional<std::string> player;
    std::optional<std::string> siteRoot, jsPath, mediaPath;
    std::optional<bool> poster, autoplay, loop, controls;
    std::optional<bool> fit;
    std::optional<std::string> at, after;
    // --captions FILE[:LANG[:LABEL]], in their order; --no-captions drops those found beside
    // the media.
    using Captions = CaptionsRequest;
    std::vector<Captions> captions;
    bool noCaptions = false;
    bool print = false;
    bool posterOptional = false;
    // Publish into pages that already play this media too.
    bool again = false;
    // Put the player at --at/--after even where it would not show (a comment, a script...).
    bool force = false;
    enum class Overwrite { Ask, Yes, No } overwrite = Overwrite::No;
    std::string settingsFile;
    int verbosity = 1;  // 0 quiet, 1 normal, 2 verbose
    // An MP4/M4A with its index last is rewritten with the index first unless this is false.
    std::optional<bool> fastStart;
    // The moment the poster is taken from, in seconds.
    std::optional<double> posterAt;
    // Refused media is made web-ready first; with convertOnly, written there and nothing else.
    bool convert = false;
    std::optional<std::string> convertOnly;
    bool help = false, version = false;
    // For the build: the manual page from this template, or the completion for this shell.
    std::optional<std::string> manTemplate, completion;
};

enum PublishStatus : int {
    PUBLISH_OK = 0,
    PUBLISH_BAD_ARGUMENTS = 1,
    PUBLISH_MEDIA_REFUSED = 2,
    PUBLISH_PAGE_REFUSED = 3,
    PUBLISH_WRITE_FAILED = 4,
    PUBLISH_CANCELLED = 5,
    PUBLISH_NO_POSTER = 6,
    PUBLISH_NO_ROOM = 7,
};

// Parses the arguments (without the program name). Nullopt with `error` set on bad arguments;
// `help`/`version` are set when asked for.
std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error,
                                                    bool& help, bool& version);

std::string PublishUsage();
// Every option --help shows, each of its names.
std::vector<std::string> PublishOptionNames();
// The manual page: `manTemplate` with each line "@NAME@" made the entry of that option. Nullopt
// with `error` set when an option has no entry or an entry names no option.
std::optional<std::string> PublishManPage(const std::string& manTemplate, std::string& error);
std::string PublishBashCompletion();

// Publishes the media into every page with the engine the wizard uses; the settings must be
// loaded. Messages go to `err`, --print output to `out`. Returns the first non-zero status, or
// 128 plus the signal when a stop was asked for (StopRequested).
int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err);
