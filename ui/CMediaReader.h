// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "media/MediaInfo2.h"

// Reads media details without freezing the window: the files are parsed on a worker thread
// while the event loop keeps painting; meanwhile the cursor shows that the program is busy and
// the user's clicks, keys, drops and close requests are dropped, not queued.
class CMediaReader {
public:
    struct Result {
        std::string path;
        bool parsed = false;
        CMediaInfo2 details;
    };

    // Parses each path in turn; returns when all are done, one result per path, in order.
    static std::vector<Result> Read(const std::vector<std::string>& paths);
    // True while a Read is waiting for its worker.
    static bool IsBusy();

    // Tests: runs on the worker thread before each parse.
    static void SetBeforeParseForTesting(std::function<void(const std::string&)> hook);
};
