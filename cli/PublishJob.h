// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "publish/PublishRun.h"

// What the command line asked for.
struct PublishOptions : PublishRequest {
    std::string settingsFile;
    bool help = false, version = false;
    // For the build: the manual page from this template, or the completion for this shell.
    std::optional<std::string> manTemplate, completion;
};

// Exit statuses, as users' scripts know them; a stop is 128 plus the signal.
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

// Runs the engine's publisher with questions and messages on the terminal (`err`), --print
// output on `out`; the settings must be loaded. Returns the exit status.
int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err);
