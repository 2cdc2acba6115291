// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/OptionTable.h"
#include "publish/PublishRun.h"

// What the command line asked for.
struct PublishOptions : PublishRequest {
    std::string settingsFile;
    bool help = false, version = false;
    // For the build: the manual page from this template, or the completion for this shell.
    std::optional<std::string> manTemplate, completion;
};

// Parses the arguments (without the program name). Nullopt with `error` set on bad arguments.
std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error);

std::string PublishUsage();
// The options as --help, the manual page and the completion show them.
std::vector<OptionForm> PublishOptionForms();

// Runs the engine's publisher with questions and messages on the terminal (`err`), --print
// output on `out`; the settings must be loaded. Returns the exit status.
int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err);
// The exit status users' scripts know for each end of a run; a stop is 128 plus the signal.
int ExitStatus(RunEnd end);
