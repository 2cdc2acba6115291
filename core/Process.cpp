// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
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

}  // namespace

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
