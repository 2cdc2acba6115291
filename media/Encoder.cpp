// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Encoder.h"

#include <cerrno>
#include <csignal>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/CFileDescriptor.h"
#include "core/Log.h"
#include "core/Process.h"
#include "media/OutputLines.h"
#include "media/Task.h"

extern char** environ;

namespace {

constexpr size_t kReadSize = 255;
constexpr int kWaitBeforeOutputMs = 100;
constexpr int kWaitAfterOutputMs = 1000;
// The exit code of a process that has not ended yet.
constexpr int kStillActive = 259;

// Keeps pipe ends off 0..2, where a dup2 onto themselves would leave them close-on-exec.
int AboveStandardStreams(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

struct Child {
    pid_t pid = -1;
    int status = 0;
    bool ended = false;
    bool reaped = false;
};

// Notes the child's end without waiting for it.
void PollEnd(Child& child, bool block) {
    if (child.ended) {
        return;
    }
    int status = 0;
    pid_t rc;
    do {
        rc = ::waitpid(child.pid, &status, block ? 0 : WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == child.pid) {
        child.ended = child.reaped = true;
        child.status = status;
    } else if (rc < 0) {
        // Someone else reaped it (SIGCHLD ignored): ended, with an unknown outcome.
        child.ended = true;
        child.status = -1;
    }
}

int ExitCodeOf(const Child& child) {
    if (!child.ended) {
        return kStillActive;
    }
    if (child.status == -1) {
        return -1;
    }
    if (WIFEXITED(child.status)) {
        return WEXITSTATUS(child.status);
    }
    if (WIFSIGNALED(child.status)) {
        return 128 + WTERMSIG(child.status);
    }
    return -1;
}

std::optional<pid_t> Spawn(const std::string& program, const std::vector<std::string>& args,
                           int outputFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    // Answers piped to us are not ffmpeg's to read.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    // The child starts with no blocked signals and with SIGPIPE at its default, whatever the
    // program here has set up for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return std::nullopt;
    }
    return pid;
}

}  // namespace

CEncoder::CEncoder(CTask* task) : m_pTask(task) {}

CEncoder::~CEncoder() = default;

std::string CEncoder::GetCommandLine(const std::string& encoderPath) const {
    return fmt::sprintf("\"%s\" %s", encoderPath, m_strArgs);
}

bool CEncoder::Start() {
    CLog* log = CLog::Instance();
    log->Write("Enter CEncode::Start()\r\n");
    const std::string path = GetEncoderPath();
    log->Write("%s\r\n", GetCommandLine(path));

    int exitCode = -1;
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        // Both ends are close-on-exec: only the copies made onto 1 and 2 reach the child.
        CFileDescriptor readEnd(AboveStandardStreams(fds[0]));
        CFileDescriptor writeEnd(AboveStandardStreams(fds[1]));

        log->Write("CreateProcess(): ");
        // A bare name is looked up on PATH here, never in the current folder.
        const std::string program = path.find('/') == std::string::npos ? FindOnPath(path) : path;
        std::optional<pid_t> pid;
        if (readEnd.valid() && writeEnd.valid() && !program.empty()) {
            pid = Spawn(program, m_arrArgs, writeEnd.get());
        }
        log->AppendText("Done\r\n");
        // The child holds its own copies; ours would keep the pipe open after its end.
        writeEnd.Close();

        if (!pid) {
            if (m_pTask) {
                m_pTask->SetStatus(CTask::TASK_STATUS_FAILED);
            }
        } else {
            // Nothing to wait for: there is no input-idle state for a console program here.
            log->Write("WaitForInputIdle(): ");
            log->AppendText("Done\r\n");

            Child child;
            child.pid = *pid;
            // Wakes the idle wait the moment the child ends; without it only data or the
            // pipe's end wakes it early.
            CFileDescriptor pidFd(static_cast<int>(::syscall(SYS_pidfd_open, *pid, 0)));
            bool pipeClosed = false;
            COutputLines lines;
            const auto onLine = [&](const std::string& line) {
                log->WriteDetail("%s\r\n", line);
                ParseLine(line);
            };
            while (true) {
                PollEnd(child, false);
                int available = 0;
                if (::ioctl(readEnd.get(), FIONREAD, &available) != 0) {
                    break;
                }
                if (available <= 0) {
                    if (child.ended) {
                        break;
                    }
                    pollfd waits[2];
                    nfds_t count = 0;
                    if (!pipeClosed) {
                        waits[count++] = {readEnd.get(), POLLIN, 0};
                    }
                    if (pidFd.valid()) {
                        waits[count++] = {pidFd.get(), POLLIN, 0};
                    }
                    if (count == 0) {
                        // The pipe has no writer left, so only the child's end can follow.
                        PollEnd(child, true);
                        continue;
                    }
                    const int timeout = m_bOutputSeen ? kWaitAfterOutputMs : kWaitBeforeOutputMs;
                    if (::poll(waits, count, timeout) > 0 && !pipeClosed &&
                        (waits[0].revents & (POLLHUP | POLLERR)) && !(waits[0].revents & POLLIN)) {
                        pipeClosed = true;
                    }
                    continue;
                }
                char buffer[kReadSize];
                ssize_t n;
                do {
                    n = ::read(readEnd.get(), buffer, sizeof buffer);
                } while (n < 0 && errno == EINTR);
                if (n <= 0) {
                    break;
                }
                m_bOutputSeen = 1;
                lines.Append(std::string_view(buffer, static_cast<size_t>(n)), onLine);
            }

            exitCode = ExitCodeOf(child);
            log->Write("Encoder exit code: %d\r\n", exitCode);
            if (m_pTask) {
                m_pTask->SetStatus(exitCode == 0 ? CTask::TASK_STATUS_FINISHED
                                                 : CTask::TASK_STATUS_FAILED);
            }
            if (!child.reaped) {
                // It runs to its own end; closing the pipe first lets a writer stop.
                readEnd.Close();
                child.ended = false;
                PollEnd(child, true);
            }
        }
    }
    log->Write("Exit CEncoder::Start()\r\n");
    return exitCode == 0;
}
