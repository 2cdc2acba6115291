// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/printf.h>

#include "core/Error.h"

// The trace log: time-stamped lines in a file of the temporary folder, written only while
// "Enable Logging" is on, each flushed at once so the file is whole if the program dies.
class CLog {
public:
    static CLog* Instance();
    // Destroys the process-wide log (shutdown); the next Instance() makes a new one.
    static void DestroyInstance();
    // Where a log file that cannot be opened is told of (not owned); null says nothing.
    static void SetReport(IReport* report);

    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    template <typename... Args>
    void Write(const std::string& format, Args&&... args) {
        if (!Ready()) {
            return;
        }
        Emit(true, fmt::sprintf(format, std::forward<Args>(args)...));
    }
    // Finishes a line that an earlier Write left open: no time stamp.
    template <typename... Args>
    void AppendText(const std::string& format, Args&&... args) {
        if (!Ready()) {
            return;
        }
        Emit(false, fmt::sprintf(format, std::forward<Args>(args)...));
    }
    // Written only when "Log Level" is above 0.
    template <typename... Args>
    void WriteDetail(const std::string& format, Args&&... args) {
        if (m_nLevel <= 0 || !Ready()) {
            return;
        }
        Emit(true, fmt::sprintf(format, std::forward<Args>(args)...));
    }

    bool Open();
    bool IsEnabled() const { return m_bEnabled; }
    std::string GetFilePath() const { return m_strFilePath; }

private:
    CLog();
    bool Ready() const { return m_bEnabled && m_pFile != nullptr; }
    void Emit(bool stamp, const std::string& text);

    bool m_bEnabled = false;
    std::FILE* m_pFile = nullptr;
    std::string m_strFilePath;
    std::unique_ptr<std::mutex> m_pLock;
    int m_nLevel = 0;
};
