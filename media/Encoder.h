// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/Process.h"

class CTask;

// Runs an external command-line encoder to its end as a child process: standard output and
// standard error on one pipe, standard input from /dev/null, no terminal. What it prints is cut
// into lines for ParseLine, and the outcome goes into the task's status.
class CEncoder {
public:
    explicit CEncoder(CTask* task);
    virtual ~CEncoder();
    CEncoder(const CEncoder&) = delete;
    CEncoder& operator=(const CEncoder&) = delete;

    // Runs the whole process; true only when it was started and exited with code 0. Concrete
    // encoders fill m_strArgs and m_arrArgs first and then call this.
    virtual bool Start();
    virtual std::string GetEncoderPath() = 0;
    // One line of output; the runner ignores the answer.
    virtual bool ParseLine(const std::string& line) = 0;
    virtual bool CanPause() { return false; }
    virtual bool CanCancel() { return false; }

    // Stops a run from any thread: the child is asked to end, then killed after a grace time.
    // A run that has not started yet never starts.
    void Cancel();
    bool IsCancelled() const { return m_bCancel.load(); }
    // The running child's process id; -1 when none runs.
    pid_t GetRunningPid() const;
    // How the last run's child ended.
    const ProcessResult& LastResult() const { return m_lastResult; }

    // The command line as the log shows it: the quoted executable, a blank, then m_strArgs
    // (m_arrArgs when that is empty).
    std::string GetCommandLine(const std::string& encoderPath) const;
    // The end of what the last run wrote on standard error, when it was kept apart.
    const std::string& ErrorsTail() const { return m_strErrors; }

    // Not owned.
    CTask* m_pTask;
    // The arguments as text, beginning with a blank; for the log only.
    std::string m_strArgs;
    int m_bOutputSeen = 0;
    // The arguments the process really gets, one element each, never re-parsed by a shell.
    std::vector<std::string> m_arrArgs;

protected:
    // Standard error is kept apart from standard output: ParseLine gets only the latter.
    bool m_bSeparateErrors = false;
    // The child's current folder; empty keeps ours.
    std::string m_strWorkingFolder;

private:
    std::atomic<bool> m_bCancel{false};
    mutable std::mutex m_processLock;
    CProcess* m_pProcess = nullptr;
    ProcessResult m_lastResult;
    std::string m_strErrors;
};
