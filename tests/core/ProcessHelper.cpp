// SPDX-License-Identifier: GPL-3.0-or-later
// The child in the process runner tests. The first argument says what it does:
//   echo ARGS...         each argument on standard output, each followed by a NUL byte
//   exit CODE            ends with that exit code
//   signal NUMBER        ends by that signal
//   interleave COUNT     "out N" on standard output and "err N" on standard error, in turns
//   partial TEXT         TEXT without a line end
//   cat                  copies standard input to standard output
//   env NAME             the variable's value, or "(unset)"
//   cwd                  its current folder
//   fds                  its open descriptors above 2, one a line
//   flood BYTES          that many bytes on each of standard output and standard error
//   wait                 "ready", then waits for a signal
//   wait-ignoring-term   the same with SIGTERM ignored
//   grandchild           leaves a child holding the output open, prints its pid and exits
//   detached FIFO        writes whether it leads a session of its own into FIFO
//   pid-wait             its pid on a line, then waits for a signal, SIGTERM and SIGHUP ignored
//   limits               its address space, processor time (soft:hard) and core limits
//   spin                 uses the processor until it is stopped
//   parent HOW ARGS...   starts ARGS through the runner (HOW: start, run or detached), passes
//                        its output on and waits to be killed
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include "core/Process.h"

namespace {

[[noreturn]] void WaitForSignal() {
    WriteAll(STDOUT_FILENO, "ready\n");
    while (true) {
        ::pause();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 64;
    }
    const std::string command = argv[1];
    const std::string arg = argc > 2 ? argv[2] : "";
    if (command == "echo") {
        std::string out;
        for (int i = 2; i < argc; ++i) {
            out.append(argv[i], std::strlen(argv[i]) + 1);
        }
        return WriteAll(STDOUT_FILENO, out) ? 0 : 1;
    }
    if (command == "exit") {
        return std::atoi(arg.c_str());
    }
    if (command == "signal") {
        const int number = std::atoi(arg.c_str());
        std::signal(number, SIG_DFL);
        std::raise(number);
        return 1;
    }
    if (command == "interleave") {
        for (int i = 0; i < std::atoi(arg.c_str()); ++i) {
            WriteAll(STDOUT_FILENO, "out " + std::to_string(i) + "\n");
            WriteAll(STDERR_FILENO, "err " + std::to_string(i) + "\n");
        }
        return 0;
    }
    if (command == "partial") {
        return WriteAll(STDOUT_FILENO, arg) ? 0 : 1;
    }
    if (command == "cat") {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
            if (!WriteAll(STDOUT_FILENO, std::string(buffer, static_cast<size_t>(n)))) {
                return 1;
            }
        }
        return n == 0 ? 0 : 1;
    }
    if (command == "env") {
        const char* value = std::getenv(arg.c_str());
        return WriteAll(STDOUT_FILENO, value ? value : "(unset)") ? 0 : 1;
    }
    if (command == "cwd") {
        char buffer[4096];
        return ::getcwd(buffer, sizeof buffer) && WriteAll(STDOUT_FILENO, buffer) ? 0 : 1;
    }
    if (command == "fds") {
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir) {
            return 1;
        }
        std::string out;
        while (const dirent* entry = ::readdir(dir)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && fd > STDERR_FILENO && fd != ::dirfd(dir)) {
                out += std::to_string(fd) + "\n";
            }
        }
        ::closedir(dir);
        return WriteAll(STDOUT_FILENO, out) ? 0 : 1;
    }
    if (command == "flood") {
        const std::string block(1000, 'x');
        for (long left = std::atol(arg.c_str()); left > 0; left -= 1000) {
            const std::string piece = block.substr(0, static_cast<size_t>(std::min(left, 1000L)));
            if (!WriteAll(STDOUT_FILENO, piece) || !WriteAll(STDERR_FILENO, piece)) {
                return 1;
            }
        }
        return 0;
    }
    if (command == "limits") {
        rlimit as{}, cpu{}, core{};
        ::getrlimit(RLIMIT_AS, &as);
        ::getrlimit(RLIMIT_CPU, &cpu);
        ::getrlimit(RLIMIT_CORE, &core);
        WriteAll(STDOUT_FILENO, std::to_string(as.rlim_cur) + " " + std::to_string(cpu.rlim_cur) +
                                    ":" + std::to_string(cpu.rlim_max) + " " +
                                    std::to_string(core.rlim_cur));
        return 0;
    }
    if (command == "spin") {
        volatile unsigned long n = 0;
        while (true) {
            n = n + 1;
        }
    }
    if (command == "wait") {
        WaitForSignal();
    }
    if (command == "wait-ignoring-term") {
        std::signal(SIGTERM, SIG_IGN);
        WaitForSignal();
    }
    if (command == "grandchild") {
        const pid_t pid = ::fork();
        if (pid == 0) {
            while (true) {
                ::pause();
            }
        }
        return pid > 0 && WriteAll(STDOUT_FILENO, std::to_string(pid) + "\n") ? 0 : 1;
    }
    if (command == "detached") {
        const int fd = ::open(arg.c_str(), O_WRONLY);
        const bool leader = ::getsid(0) == ::getpid();
        return fd >= 0 && WriteAll(fd, leader ? "session leader" : "in another session") ? 0 : 1;
    }
    if (command == "pid-wait") {
        std::signal(SIGTERM, SIG_IGN);
        std::signal(SIGHUP, SIG_IGN);
        WriteAll(STDOUT_FILENO, std::to_string(::getpid()) + "\n");
        while (true) {
            ::pause();
        }
    }
    if (command == "parent" && argc > 3) {
        const std::vector<std::string> child(argv + 3, argv + argc);
        const auto passOn = [](std::string_view chunk) {
            WriteAll(STDOUT_FILENO, std::string(chunk));
        };
        if (arg == "detached") {
            SpawnDetached(child[0], std::vector<std::string>(child.begin() + 1, child.end()));
        } else if (arg == "run") {
            ProcessRequest request;
            request.argv = child;
            RunProcess(request, passOn);
        } else {
            ProcessRequest request;
            request.argv = child;
            request.input = ProcessInput::Text;
            CProcess process;
            process.Start(request);
            process.Wait(passOn);
        }
        while (true) {
            ::pause();
        }
    }
    return 64;
}
