// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <cstdio>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/StopRequest.h"

extern char** environ;

namespace {

constexpr size_t kReadSize = 4096;
// Read in one round at most, so that a child that never stops writing still gets its end and
// Cancel() looked at.
constexpr size_t kRoundLimit = 64 * 1024;

// Keeps our descriptors off 0..2, where a dup2 onto themselves would leave them close-on-exec.
int AboveStandardStreams(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

// Both ends close-on-exec, so only the copies made onto 0..2 reach the child; ours does not
// block.
int MakePipe(CFileDescriptor& ours, CFileDescriptor& childs) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return errno;
    }
    ours.Reset(AboveStandardStreams(fds[0]));
    childs.Reset(AboveStandardStreams(fds[1]));
    if (!ours.valid() || !childs.valid() || ::fcntl(ours.get(), F_SETFL, O_NONBLOCK) != 0) {
        return errno ? errno : EMFILE;
    }
    return 0;
}

// Everything posix_spawn needs, made before it is called: after a fork nothing is built.
class CSpawnPlan {
public:
    CSpawnPlan() {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
        // The child starts with no blocked signals and with SIGPIPE at its default, whatever
        // this program has set up for itself.
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        SetFlags(0);
    }
    ~CSpawnPlan() {
        posix_spawnattr_destroy(&m_attributes);
        posix_spawn_file_actions_destroy(&m_actions);
    }
    CSpawnPlan(const CSpawnPlan&) = delete;
    CSpawnPlan& operator=(const CSpawnPlan&) = delete;

    // 0, or the errno of a program that cannot be found.
    int SetArguments(const std::vector<std::string>& argv) {
        if (argv.empty() || argv[0].empty()) {
            return ENOENT;
        }
        m_strProgram =
            argv[0].find('/') == std::string::npos ? FindOnPath(argv[0]) : std::string(argv[0]);
        if (m_strProgram.empty()) {
            return ENOENT;
        }
        m_arrArgs = argv;
        m_argv.clear();
        for (std::string& arg : m_arrArgs) {
            m_argv.push_back(arg.data());
        }
        m_argv.push_back(nullptr);
        return 0;
    }

    void SetEnvironment(const std::vector<std::pair<std::string, std::string>>& overrides) {
        if (overrides.empty()) {
            return;
        }
        for (char** entry = environ; *entry; ++entry) {
            const std::string_view text = *entry;
            const bool replaced =
                std::any_of(overrides.begin(), overrides.end(), [&](const auto& pair) {
                    return text.size() > pair.first.size() && text.starts_with(pair.first) &&
                           text[pair.first.size()] == '=';
                });
            if (!replaced) {
                m_arrEnv.emplace_back(text);
            }
        }
        for (const auto& [name, value] : overrides) {
            m_arrEnv.push_back(name + "=" + value);
        }
        m_envp.clear();
        for (std::string& entry : m_arrEnv) {
            m_envp.push_back(entry.data());
        }
        m_envp.push_back(nullptr);
    }

    void NewSession() { SetFlags(POSIX_SPAWN_SETSID); }

    posix_spawn_file_actions_t* Actions() { return &m_actions; }

    // 0, or the errno of a start that failed (posix_spawn reports exec's too).
    int Spawn(pid_t& pid) {
        return ::posix_spawn(&pid, m_strProgram.c_str(), &m_actions, &m_attributes, m_argv.data(),
                             m_envp.empty() ? environ : m_envp.data());
    }

private:
    void SetFlags(short extra) {
        posix_spawnattr_setflags(&m_attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                                   POSIX_SPAWN_SETSIGDEF | extra));
    }

    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
    std::string m_strProgram;
    std::vector<std::string> m_arrArgs, m_arrEnv;
    std::vector<char*> m_argv, m_envp;
};

size_t Available(const CFileDescriptor& fd) {
    int available = 0;
    if (!fd.valid() || ::ioctl(fd.get(), FIONREAD, &available) != 0 || available < 0) {
        return 0;
    }
    return static_cast<size_t>(available);
}

std::vector<char*> WatchedArgv(const std::string& program, const std::vector<std::string>& args) {
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
    std::vector<char*> argv = WatchedArgv(resolved, args);
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

CProcess::CProcess() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CProcess::~CProcess() {
    if (m_result.started && !m_bEnded) {
        ::kill(m_pid, SIGKILL);
        CheckEnd(true);
    }
}

bool CProcess::FailStart(int error) {
    m_result.startError = error;
    m_output.Close();
    m_errors.Close();
    m_input.Close();
    return false;
}

bool CProcess::Start(const ProcessRequest& request) {
    if (m_result.started || m_result.startError != 0) {
        return false;
    }
    m_nWaitBefore_ms = request.idleWaitBeforeOutput_ms;
    m_nWaitAfter_ms = request.idleWaitAfterOutput_ms;
    m_nGrace_ms = request.cancelGrace_ms;
    if (m_bCancel.load()) {
        m_result.cancelled = true;
        m_result.startError = ECANCELED;
        return false;
    }

    CSpawnPlan plan;
    CFileDescriptor outputEnd, errorsEnd, inputEnd;
    int error = plan.SetArguments(request.argv);
    if (error == 0) {
        error = MakePipe(m_output, outputEnd);
    }
    if (error == 0 && request.separateErrors) {
        error = MakePipe(m_errors, errorsEnd);
    }
    if (error == 0 && request.input == ProcessInput::Text) {
        // A socket, so that writing to a child that no longer reads gives EPIPE, not SIGPIPE.
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            error = errno;
        } else {
            m_input.Reset(AboveStandardStreams(fds[0]));
            inputEnd.Reset(AboveStandardStreams(fds[1]));
            m_strInput = request.inputText;
        }
    }
    if (error != 0) {
        return FailStart(error);
    }

    posix_spawn_file_actions_t* actions = plan.Actions();
    switch (request.input) {
        case ProcessInput::Null:
            posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            break;
        case ProcessInput::Inherit:
            break;
        case ProcessInput::Descriptor:
            // EBADF for a descriptor that cannot be one, rather than our own input.
            error = posix_spawn_file_actions_adddup2(actions, request.inputFd, STDIN_FILENO);
            break;
        case ProcessInput::Text:
            posix_spawn_file_actions_adddup2(actions, inputEnd.get(), STDIN_FILENO);
            break;
    }
    posix_spawn_file_actions_adddup2(actions, outputEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(
        actions, request.separateErrors ? errorsEnd.get() : outputEnd.get(), STDERR_FILENO);
    if (!request.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(actions, request.workingFolder.c_str());
    }
    // Descriptors that this program left inheritable are not the child's business.
    posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
    plan.SetEnvironment(request.environment);

    pid_t pid = -1;
    if (error == 0) {
        error = plan.Spawn(pid);
    }
    // The child holds its own copies; ours would keep its output open after its end.
    outputEnd.Close();
    errorsEnd.Close();
    inputEnd.Close();
    if (error != 0) {
        return FailStart(error);
    }
    m_pid = pid;
    m_result.started = true;
    // Wakes the idle wait the moment the child ends; without it only output, the end of the
    // output or the time limit end the wait.
    m_pidFd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return true;
}

ProcessResult CProcess::Wait(const OutputHandler& onOutput, const OutputHandler& onErrors) {
    if (!m_result.started || m_bEnded) {
        return m_result;
    }
    bool outputSeen = false;
    while (true) {
        CheckEnd(false);
        if (m_bEnded) {
            // All it wrote before its end is in the pipes by now; whatever a descendant still
            // writes is not waited for.
            Read(m_output, onOutput, Available(m_output));
            Read(m_errors, onErrors, Available(m_errors));
            break;
        }
        CheckCancel();
        WriteInput();
        const bool output = Read(m_output, onOutput, kRoundLimit);
        const bool errors = Read(m_errors, onErrors, kRoundLimit);
        if (output || errors) {
            outputSeen = true;
            continue;
        }

        pollfd waits[5];
        nfds_t count = 0;
        for (const CFileDescriptor* fd : {&m_output, &m_errors, &m_pidFd, &m_wake}) {
            if (fd->valid()) {
                waits[count++] = {fd->get(), POLLIN, 0};
            }
        }
        if (m_input.valid()) {
            waits[count++] = {m_input.get(), POLLOUT, 0};
        }
        if (count == 0 && !(m_result.cancelled && !m_bKilled)) {
            // Nothing is left that could wake us before its end.
            CheckEnd(true);
            continue;
        }
        if (::poll(waits, count, IdleWait_ms(outputSeen)) < 0 && errno != EINTR) {
            break;
        }
        if (m_wake.valid()) {
            std::uint64_t wakes = 0;
            while (::read(m_wake.get(), &wakes, sizeof wakes) > 0) {
            }
        }
    }
    if (!m_bEnded) {
        // poll() itself failed. It runs to its own end; closing the pipes first lets a writer
        // stop.
        m_output.Close();
        m_errors.Close();
        m_input.Close();
        CheckEnd(true);
    }
    m_output.Close();
    m_errors.Close();
    m_input.Close();
    m_pidFd.Close();
    if (m_bReaped) {
        if (WIFEXITED(m_nStatus)) {
            m_result.exited = true;
            m_result.exitCode = WEXITSTATUS(m_nStatus);
        } else if (WIFSIGNALED(m_nStatus)) {
            m_result.signal = WTERMSIG(m_nStatus);
        }
    }
    return m_result;
}

void CProcess::Cancel() {
    m_bCancel.store(true);
    if (m_wake.valid()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake.get(), &one, sizeof one);
    }
}

bool CProcess::Read(CFileDescriptor& fd, const OutputHandler& handler, size_t limit_bytes) {
    bool any = false;
    size_t total = 0;
    char buffer[kReadSize];
    while (fd.valid() && total < limit_bytes) {
        const ssize_t n = ::read(fd.get(), buffer, std::min(sizeof buffer, limit_bytes - total));
        if (n > 0) {
            total += static_cast<size_t>(n);
            any = true;
            if (handler) {
                handler(std::string_view(buffer, static_cast<size_t>(n)));
            }
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            // Every writer has closed it.
            fd.Close();
        }
    }
    return any;
}

void CProcess::WriteInput() {
    while (m_input.valid() && m_nInputSent < m_strInput.size()) {
        const ssize_t n = ::send(m_input.get(), m_strInput.data() + m_nInputSent,
                                 m_strInput.size() - m_nInputSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            m_nInputSent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            // The child has closed its input.
            break;
        }
    }
    // All written: the child reads the end of its input.
    m_input.Close();
}

void CProcess::CheckEnd(bool block) {
    if (m_bEnded) {
        return;
    }
    int status = 0;
    pid_t rc;
    do {
        rc = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == m_pid) {
        m_bEnded = m_bReaped = true;
        m_nStatus = status;
    } else if (rc < 0) {
        // Somebody else collected it (SIGCHLD ignored): ended, with an unknown outcome.
        m_bEnded = true;
    }
}

void CProcess::CheckCancel() {
    // A stop asked of the whole program ends its children too.
    if (StopRequested()) {
        m_bCancel.store(true);
    }
    if (!m_bCancel.load() || m_bKilled) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_result.cancelled) {
        m_result.cancelled = true;
        m_killAt = now + std::chrono::milliseconds(m_nGrace_ms);
        m_input.Close();
        ::kill(m_pid, SIGTERM);
    } else if (now >= m_killAt) {
        ::kill(m_pid, SIGKILL);
        m_bKilled = true;
    }
}

int CProcess::IdleWait_ms(bool outputSeen) const {
    int wait_ms = outputSeen ? m_nWaitAfter_ms : m_nWaitBefore_ms;
    if (m_result.cancelled && !m_bKilled) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            m_killAt - std::chrono::steady_clock::now());
        wait_ms = std::clamp(static_cast<int>(left.count()), 0, wait_ms);
    }
    return wait_ms;
}

ProcessResult RunProcess(const ProcessRequest& request, const CProcess::OutputHandler& onOutput,
                         const CProcess::OutputHandler& onErrors) {
    CProcess process;
    process.Start(request);
    return process.Wait(onOutput, onErrors);
}

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    CSpawnPlan plan;
    if (plan.SetArguments(argv) != 0) {
        return false;
    }
    posix_spawn_file_actions_addopen(plan.Actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(plan.Actions(), STDERR_FILENO + 1);
    plan.NewSession();
    // The intermediate child starts the program and exits at once, so the program is
    // re-parented and never becomes our zombie.
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        pid_t pid = -1;
        ::_exit(plan.Spawn(pid) == 0 ? 0 : 127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                          size_t limit) {
    ProcessRequest request;
    request.argv = {program};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    // Standard error goes unread: a warning's numbers must not pass for a version.
    request.separateErrors = true;
    std::string out;
    RunProcess(request,
               [&](std::string_view chunk) { out.append(chunk.substr(0, limit - out.size())); });
    return out;
}
