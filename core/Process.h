// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Starts `program` (looked up on PATH when it has no "/") with `args`, detached: it is not
// waited for and leaves no zombie. True when the program could be started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

// How a program started by SpawnWatched fared in its first moments.
struct SpawnOutcome {
    // Still running when the watch ended: it got going.
    bool running = false;
    // Its exit status, 128 + the signal that ended it, or -1 when it could not be started.
    int status = 0;
    // errno of a failed start.
    int error = 0;
    // The end of what it wrote to standard output and standard error while watched.
    std::string output;
};

// Starts `program` like SpawnDetached, and watches it for up to `window_ms` from a process of
// its own, which stays beside the program for its life and reads what it writes, so that the
// program never writes into a closed pipe. Returns a descriptor (close-on-exec, the caller's to
// close) that becomes readable, with the outcome for ReadSpawnOutcome, as soon as the program
// ends within the window or outlives it; -1 with errno set when nothing could be started.
int SpawnWatched(const std::string& program, const std::vector<std::string>& args, int window_ms);

// Reads the outcome from SpawnWatched's descriptor; waits for it when it is not there yet.
SpawnOutcome ReadSpawnOutcome(int fd);

// Runs `program` with `args` and returns what it printed on standard output (at most `limit`
// bytes); empty when it cannot run.
std::string RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                          size_t limit = 65536);

// Full path of `program` on PATH, or empty.
std::string FindOnPath(const std::string& program);
