// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include "cli/PublishJob.h"

// Runs a command on what is published across the site (list, remove, replace) with its output
// on `out` and problems on `err`; the settings must be loaded. Returns the exit status.
int RunSiteCommand(const PublishOptions& options, std::FILE* out, std::FILE* err);
