// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

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

    // The command line as the log shows it: the quoted executable, a blank, then m_strArgs.
    std::string GetCommandLine(const std::string& encoderPath) const;

    // Not owned.
    CTask* m_pTask;
    // The arguments as text, beginning with a blank; for the log only.
    std::string m_strArgs;
    int m_bOutputSeen = 0;
    // The arguments the process really gets, one element each, never re-parsed by a shell.
    std::vector<std::string> m_arrArgs;
};
