// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <string>

// The task an encoder run reports to: a lock and a status. The status is written under the lock
// and only for the moment of the update.
class CTask {
public:
    enum Status : int {
        TASK_STATUS_NOT_STARTED = 0,
        TASK_STATUS_FINISHED = 3,
        TASK_STATUS_FAILED = 4,
    };

    explicit CTask(std::string inputPath = {});
    virtual ~CTask() = default;
    CTask(const CTask&) = delete;
    CTask& operator=(const CTask&) = delete;

    // Seconds of media the task covers; a still-picture task has none.
    virtual double GetDuration() const { return 0; }

    void SetStatus(int status);
    int GetStatus() const;

    std::string m_strInputPath;
    mutable std::mutex m_lock;
    int m_nStatus = TASK_STATUS_NOT_STARTED;
};
