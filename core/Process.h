// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Starts `program` (looked up on PATH when it has no "/") with `args`, detached: it is not
// waited for and leaves no zombie. True when the program could be started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

// Runs `program` with `args` and returns what it printed on standard output (at most `limit`
// bytes); empty when it cannot run.
std::string RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                          size_t limit = 65536);

// Full path of `program` on PATH, or empty.
std::string FindOnPath(const std::string& program);
