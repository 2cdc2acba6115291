// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "publish/CPublishJob.h"

// Checks media files without freezing the window (CBusyWork): each file is read and judged by
// the engine's media check on a worker thread.
class CMediaReader {
public:
    struct Result {
        std::string path;
        MediaCheck check;
    };

    // Checks each path in turn; returns when all are done, one result per path, in order.
    static std::vector<Result> Read(const std::vector<std::string>& paths);
    // True while a Read is waiting for its worker.
    static bool IsBusy();

    // Tests: runs on the worker thread before each check.
    static void SetBeforeParseForTesting(std::function<void(const std::string&)> hook);
};
