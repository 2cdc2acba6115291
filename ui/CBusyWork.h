// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Runs slow engine work (reading media, taking a poster) without freezing the window: the work
// runs on a worker thread while the event loop keeps painting; meanwhile the cursor shows that
// the program is busy and the user's clicks, keys, drops and close requests are dropped, not
// queued.
class CBusyWork {
public:
    // Returns when `work` has ended.
    static void Run(const std::function<void()>& work);
    // True while a Run is waiting for its worker.
    static bool IsBusy();
};
