// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The commands on what is published across a site (list, remove, replace), given as the first
// argument. Nullopt when `args` (without the program name) starts with none of them, so that the
// publishing command line is read as it always was; else the exit status.
std::optional<int> RunSiteCommand(const std::vector<std::string>& args, std::FILE* out,
                                  std::FILE* err);

// Their lines of --help.
std::string SiteCommandsUsage();
