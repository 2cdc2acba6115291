// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/OptionTable.h"
#include "publish/SiteCommand.h"

// What the command line asked for.
struct PublishOptions : SiteCommandRequest {
    std::string settingsFile;
    bool help = false, version = false;
    // For the build: the manual page from this template, or the completion for this shell.
    std::optional<std::string> manTemplate, completion;
};

// Parses the arguments (without the program name). Nullopt with `error` set on bad arguments.
std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& args,
                                                    bool stdinIsTerminal, std::string& error);

// --help: a publish's options, then the commands'.
std::string PublishUsage(bool commandsOnly = false);
// A publish's options as --help and the manual page show them.
std::vector<OptionForm> PublishOptionForms();
// The bash completion of every option and command.
std::string PublishBashCompletion();

// Runs the engine's publisher, or the command on the site the options name, with questions and
// messages on the terminal (`err`), --print output on `out`; the settings must be loaded. Returns
// the exit status.
int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err);
// The exit status users' scripts know for each end of a run; a stop is 128 plus the signal.
int ExitStatus(RunEnd end);
