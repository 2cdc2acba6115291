// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// What the watcher keeps of a program's words: the end, where the reason usually is.
constexpr size_t kOutputTail = 2048;
// How often the watcher looks whether the program has ended.
constexpr int kWatchStep_ms = 20;

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The watcher must not hold what the program's parent holds (a display connection, open
// files): they would outlive the parent for as long as the program runs.
void CloseRange(unsigned first, unsigned last) {
    if (::close_range(first, last, 0) == 0) {
        return;
    }
    // Kernels before 5.9 have no close_range.
    const long limit = ::sysconf(_SC_OPEN_MAX);
    const unsigned end = std::min<unsigned>(last, limit > 0 ? static_cast<unsigned>(limit) : 1024U);
    for (unsigned fd = first; fd <= end; ++fd) {
        ::close(static_cast<int>(fd));
    }
}

void CloseAllBut(std::initializer_list<int> keep) {
    std::vector<int> kept(keep);
    std::sort(kept.begin(), kept.end());
    unsigned from = 3;
    for (int fd : kept) {
        if (fd >= static_cast<int>(from)) {
            if (fd > static_cast<int>(from)) {
                CloseRange(from, static_cast<unsigned>(fd) - 1);
            }
            from = static_cast<unsigned>(fd) + 1;
        }
    }
    CloseRange(from, ~0U);
}

// The report is made: reads `output` until every writer is gone, so that no program is stopped
// by a pipe without a reader, then waits for `pid` (when given) and ends the watcher.
[[noreturn]] void Drain(int output, int report, pid_t pid = -1) {
    ::close(report);
    char buffer[4096];
    while (output >= 0) {
        const ssize_t n = ::read(output, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            break;
        }
    }
    while (pid > 0 && ::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    ::_exit(0);
}

// Runs in the watcher process: starts the program and reports on `report` how it fared within
// `window_ms`.
[[noreturn]] void Watch(const char* path, char* const* argv, int output[2], int report,
                        int window_ms) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path, &actions, nullptr, argv, environ);
    ::close(output[1]);
    if (rc != 0) {
        WriteAll(report, "E " + std::to_string(rc) + "\n");
        ::_exit(0);
    }
    std::string tail;
    bool open = true;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(window_ms);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            // Whatever it wrote before it ended is still in the pipe.
            pollfd rest{output[0], POLLIN, 0};
            while (open && ::poll(&rest, 1, 0) > 0) {
                const ssize_t n = ::read(output[0], buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                tail.append(buffer, static_cast<size_t>(n));
            }
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (tail.size() > kOutputTail) {
                tail.erase(0, tail.size() - kOutputTail);
            }
            WriteAll(report, "X " + std::to_string(code) + "\n" + tail);
            // What it started may still write into the pipe.
            Drain(open ? output[0] : -1, report);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd watched{open ? output[0] : -1, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(std::min<long long>(left, kWatchStep_ms))) > 0) {
            const ssize_t n = ::read(output[0], buffer, sizeof buffer);
            if (n > 0) {
                tail.append(buffer, static_cast<size_t>(n));
                if (tail.size() > 2 * kOutputTail) {
                    tail.erase(0, tail.size() - kOutputTail);
                }
            } else if (n == 0) {
                open = false;
            }
        }
    }
    WriteAll(report, "R\n");
    Drain(open ? output[0] : -1, report, pid);
}

}  // namespace

int SpawnWatched(const std::string& program, const std::vector<std::string>& args, int window_ms) {
    const std::string resolved = FindOnPath(program);
    if (resolved.empty()) {
        errno = ENOENT;
        return -1;
    }
    std::vector<char*> argv = Argv(resolved, args);
    int report[2];
    int output[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        errno = error;
        return -1;
    }
    // The first child leaves at once, so the watcher is nobody's zombie.
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() != 0) {
            ::_exit(0);
        }
        ::close(report[0]);
        CloseAllBut({report[1], output[0], output[1]});
        Watch(resolved.c_str(), argv.data(), output, report[1], window_ms);
    }
    const int error = errno;
    ::close(report[1]);
    ::close(output[0]);
    ::close(output[1]);
    if (child < 0) {
        ::close(report[0]);
        errno = error;
        return -1;
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return report[0];
}

SpawnOutcome ReadSpawnOutcome(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    SpawnOutcome outcome;
    const size_t end = text.find('\n');
    const std::string head = text.substr(0, end);
    if (end != std::string::npos) {
        outcome.output = text.substr(end + 1);
    }
    if (head == "R") {
        outcome.running = true;
    } else if (head.starts_with("X ")) {
        outcome.status = std::atoi(head.c_str() + 2);
    } else {
        // "E errno", or a watcher that died before it could say anything.
        outcome.status = -1;
        outcome.error = head.starts_with("E ") ? std::atoi(head.c_str() + 2) : ECHILD;
    }
    return outcome;
}

std::string FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t end = dirs.find(':', pos);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string dir = dirs.substr(pos, end - pos);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        pos = end + 1;
    }
    return {};
}

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
    const std::string resolved = FindOnPath(program);
    if (resolved.empty()) {
        return false;
    }
    std::vector<char*> argv = Argv(resolved, args);
    // The intermediate child starts the program in its own session and exits at once, so the
    // program is re-parented and never becomes our zombie.
    int status = 0;
    pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        ::setsid();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        pid_t pid = 0;
        int rc = posix_spawn(&pid, resolved.c_str(), &actions, nullptr, argv.data(), environ);
        ::_exit(rc == 0 ? 0 : 127);
    }
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                          size_t limit) {
    const std::string resolved = FindOnPath(program);
    if (resolved.empty()) {
        return {};
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = Argv(resolved, args);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, resolved.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) != 0) {
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            if (out.size() < limit) {
                out.append(buffer, static_cast<size_t>(n));
            }
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(fds[0]);
    if (out.size() > limit) {
        out.resize(limit);
    }
    return out;
}
