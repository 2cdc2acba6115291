// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Encoder.h"

#include <string_view>

#include <fmt/printf.h>

#include "core/Log.h"
#include "core/Process.h"
#include "media/OutputLines.h"
#include "media/Task.h"

namespace {

constexpr int kWaitBeforeOutputMs = 100;
constexpr int kWaitAfterOutputMs = 1000;

// The exit code as the log shows it: a signal counts as a shell would count it, and a status
// that somebody else collected as -1.
int ExitCodeOf(const ProcessResult& result) {
    if (result.exited) {
        return result.exitCode;
    }
    return result.signal != 0 ? 128 + result.signal : -1;
}

}  // namespace

CEncoder::CEncoder(CTask* task) : m_pTask(task) {}

CEncoder::~CEncoder() = default;

void CEncoder::Cancel() {
    m_bCancel.store(true);
    const std::lock_guard lock(m_processLock);
    if (m_pProcess) {
        m_pProcess->Cancel();
    }
}

pid_t CEncoder::GetRunningPid() const {
    const std::lock_guard lock(m_processLock);
    return m_pProcess ? m_pProcess->GetPid() : -1;
}

std::string CEncoder::GetCommandLine(const std::string& encoderPath) const {
    std::string args = m_strArgs;
    // An encoder that words no log text of its own is logged with its arguments as they are.
    if (args.empty()) {
        for (const std::string& arg : m_arrArgs) {
            args += " " + arg;
        }
    }
    return fmt::sprintf("\"%s\" %s", encoderPath, args);
}

bool CEncoder::Start() {
    CLog* log = CLog::Instance();
    log->Write("Enter CEncode::Start()\r\n");
    const std::string path = GetEncoderPath();
    log->Write("%s\r\n", GetCommandLine(path));

    ProcessRequest request;
    request.argv.push_back(path);
    request.argv.insert(request.argv.end(), m_arrArgs.begin(), m_arrArgs.end());
    // Answers piped to us are not ffmpeg's to read.
    request.input = ProcessInput::Null;
    request.idleWaitBeforeOutput_ms = kWaitBeforeOutputMs;
    request.idleWaitAfterOutput_ms = kWaitAfterOutputMs;
    request.separateErrors = m_bSeparateErrors;
    request.workingFolder = m_strWorkingFolder;

    int exitCode = -1;
    CProcess process;
    {
        const std::lock_guard lock(m_processLock);
        m_pProcess = &process;
        if (m_bCancel.load()) {
            process.Cancel();
        }
    }
    struct Unregister {
        CEncoder& self;
        ~Unregister() {
            const std::lock_guard lock(self.m_processLock);
            self.m_pProcess = nullptr;
        }
    } unregister{*this};
    m_lastResult = {};
    m_strErrors.clear();
    log->Write("CreateProcess(): ");
    const bool started = process.Start(request);
    log->AppendText("Done\r\n");
    if (!started) {
        m_lastResult = process.Wait({});
        if (m_pTask) {
            m_pTask->SetStatus(CTask::TASK_STATUS_FAILED);
        }
    } else {
        // Nothing to wait for: there is no input-idle state for a console program here.
        log->Write("WaitForInputIdle(): ");
        log->AppendText("Done\r\n");

        COutputLines lines;
        const auto onLine = [&](const std::string& line) {
            log->WriteDetail("%s\r\n", line);
            ParseLine(line);
        };
        const ProcessResult result = process.Wait(
            [&](std::string_view chunk) {
                m_bOutputSeen = 1;
                lines.Append(chunk, onLine);
            },
            [&](std::string_view chunk) {
                // Only the end matters, and a flood must not grow it.
                m_strErrors.append(chunk);
                if (m_strErrors.size() > 8192) {
                    m_strErrors.erase(0, m_strErrors.size() - 4096);
                }
            });
        m_lastResult = result;

        exitCode = ExitCodeOf(result);
        log->Write("Encoder exit code: %d\r\n", exitCode);
        if (m_pTask) {
            m_pTask->SetStatus(exitCode == 0 ? CTask::TASK_STATUS_FINISHED
                                             : CTask::TASK_STATUS_FAILED);
        }
    }
    log->Write("Exit CEncoder::Start()\r\n");
    return exitCode == 0;
}
