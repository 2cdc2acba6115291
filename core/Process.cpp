// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/PathUtils.h"
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

// What ours a child must not run: handlers that would act in its copy of us before exec, and an
// ignored SIGPIPE, which exec would hand on. Async-signal-safe.
void ResetSignals() {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_DFL &&
            (current.sa_handler != SIG_IGN || sig == SIGPIPE)) {
            ::sigaction(sig, &defaults, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// A fork during which none of our signal handlers can run, in the parent or in the child; the
// child starts with every signal blocked.
pid_t ForkQuietly() {
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    const int error = errno;
    if (pid != 0) {
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    errno = error;
    return pid;
}

void CloseRange(unsigned first, unsigned last) {
    if (first > last || ::close_range(first, last, 0) == 0) {
        return;
    }
    // Kernels before 5.9 have no close_range.
    const long limit = ::sysconf(_SC_OPEN_MAX);
    const unsigned end = std::min<unsigned>(last, limit > 0 ? static_cast<unsigned>(limit) : 1024U);
    for (unsigned fd = first; fd <= end; ++fd) {
        ::close(static_cast<int>(fd));
    }
}

// Closes every descriptor above the standard streams except those in `keep` (sorted).
void CloseAllBut(std::initializer_list<int> keep) {
    unsigned from = STDERR_FILENO + 1;
    for (int fd : keep) {
        if (fd >= static_cast<int>(from)) {
            CloseRange(from, static_cast<unsigned>(fd) - 1);
            from = static_cast<unsigned>(fd) + 1;
        }
    }
    CloseRange(from, ~0U);
}

// Everything a child needs, made before the fork: after it nothing is allocated, so that a
// child forked while another thread holds the allocator's lock cannot hang.
class CLaunchPlan {
public:
    // Stream settings besides a descriptor of ours.
    static constexpr int kInherit = -100;
    static constexpr int kNullDevice = -101;

    // 0, or the errno of a program that cannot be found.
    int SetArguments(const std::vector<std::string>& argv) {
        if (argv.empty() || argv[0].empty()) {
            return ENOENT;
        }
        m_strProgram = argv[0].find('/') == std::string::npos ? FindOnPath(argv[0]) : argv[0];
        if (m_strProgram.empty()) {
            return ENOENT;
        }
        m_arrArgs = argv;
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
        for (std::string& entry : m_arrEnv) {
            m_envp.push_back(entry.data());
        }
        m_envp.push_back(nullptr);
    }

    // Standard stream `target` of the child: a copy of `fd`, kInherit or kNullDevice.
    void SetStream(int target, int fd) { m_streams[target] = fd; }
    void SetWorkingFolder(const std::string& folder) { m_strFolder = folder; }
    void NewSession() { m_bNewSession = true; }
    // The child is killed when the thread that started it ends, so that no ffmpeg writes on
    // after a `kill -9` of ours.
    void DieWithParent() { m_bDieWithParent = true; }
    // Upper bounds for the child; 0 leaves one as inherited.
    void SetLimits(size_t addressSpace_bytes, int cpu_s) {
        m_nAddressSpace = addressSpace_bytes;
        m_nCpu_s = cpu_s;
    }

    // Starts the child; 0, or the errno of the step that failed (exec's included). Safe to call
    // in a forked child of a program with threads.
    int Launch(pid_t& pid) {
        pid = -1;
        for (int fd : m_streams) {
            if (fd < 0 && fd != kInherit && fd != kNullDevice) {
                return EBADF;
            }
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return errno;
        }
        CFileDescriptor failures(AboveStandardStreams(fds[0]));
        CFileDescriptor report(AboveStandardStreams(fds[1]));
        if (!failures.valid() || !report.valid()) {
            return EMFILE;
        }
        m_parent = ::getpid();
        const pid_t child = ForkQuietly();
        if (child == 0) {
            RunChild(report.get());
        }
        if (child < 0) {
            return errno;
        }
        report.Close();
        // Nothing to read means exec closed the pipe: the program runs.
        int error = 0;
        ssize_t n;
        while ((n = ::read(failures.get(), &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (n == static_cast<ssize_t>(sizeof error)) {
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
            return error != 0 ? error : ECHILD;
        }
        pid = child;
        return 0;
    }

private:
    // Lowers a limit, never raises one: a limit handed down to us stays in force.
    static int Lower(int resource, rlim_t soft, rlim_t hard) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) != 0) {
            return errno;
        }
        limit.rlim_max = std::min(hard, limit.rlim_max);
        limit.rlim_cur = std::min({soft, limit.rlim_cur, limit.rlim_max});
        return ::setrlimit(resource, &limit) == 0 ? 0 : errno;
    }

    int ApplyLimits() const {
        if (m_nAddressSpace == 0 && m_nCpu_s <= 0) {
            return 0;
        }
        // A child killed at its limits must not leave a core of up to its whole memory.
        int error = Lower(RLIMIT_CORE, 0, 0);
        if (error == 0 && m_nAddressSpace != 0) {
            error = Lower(RLIMIT_AS, m_nAddressSpace, m_nAddressSpace);
        }
        if (error == 0 && m_nCpu_s > 0) {
            // SIGXCPU at the soft limit, SIGKILL a second later should it be caught.
            const auto cpu = static_cast<rlim_t>(m_nCpu_s);
            error = Lower(RLIMIT_CPU, cpu, cpu + 1);
        }
        return error;
    }

    [[noreturn]] static void Fail(int report, int error) {
        WriteAll(report, {reinterpret_cast<const char*>(&error), sizeof error});
        ::_exit(127);
    }

    [[noreturn]] void RunChild(int report) const {
        ResetSignals();
        if (m_bNewSession) {
            ::setsid();
        }
        if (m_bDieWithParent) {
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
                Fail(report, errno);
            }
            // The parent died before the signal was armed: nobody will send it.
            if (::getppid() != m_parent) {
                ::_exit(127);
            }
        }
        if (const int error = ApplyLimits(); error != 0) {
            Fail(report, error);
        }
        for (int target = STDIN_FILENO; target <= STDERR_FILENO; ++target) {
            int fd = m_streams[target];
            if (fd == kNullDevice) {
                fd = ::open("/dev/null", target == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            }
            if (fd == kInherit) {
                continue;
            }
            if (fd < 0 || (fd == target ? ::fcntl(fd, F_SETFD, 0) : ::dup2(fd, target)) < 0) {
                Fail(report, errno);
            }
        }
        if (!m_strFolder.empty() && ::chdir(m_strFolder.c_str()) != 0) {
            Fail(report, errno);
        }
        // Descriptors that this program left inheritable are not the child's business.
        CloseAllBut({report});
        ::execve(m_strProgram.c_str(), m_argv.data(), m_envp.empty() ? environ : m_envp.data());
        Fail(report, errno);
    }

    std::string m_strProgram, m_strFolder;
    std::vector<std::string> m_arrArgs, m_arrEnv;
    std::vector<char*> m_argv, m_envp;
    int m_streams[3] = {kNullDevice, kInherit, kInherit};
    bool m_bNewSession = false;
    bool m_bDieWithParent = false;
    size_t m_nAddressSpace = 0;
    int m_nCpu_s = 0;
    pid_t m_parent = 0;
};

size_t Available(const CFileDescriptor& fd) {
    int available = 0;
    if (!fd.valid() || ::ioctl(fd.get(), FIONREAD, &available) != 0 || available < 0) {
        return 0;
    }
    return static_cast<size_t>(available);
}

// What the watcher keeps of a program's words: the end, where the reason usually is.
constexpr size_t kOutputTail = 2048;
// How often the watcher looks whether the program has ended.
constexpr int kWatchStep_ms = 20;

// The end of what a watched program wrote, in a buffer of fixed size.
class CTail {
public:
    void Append(const char* bytes, size_t n) {
        if (n > kOutputTail) {
            bytes += n - kOutputTail;
            n = kOutputTail;
        }
        if (m_nSize + n > sizeof m_data) {
            const size_t keep = std::min(m_nSize, kOutputTail - n);
            std::memmove(m_data, m_data + m_nSize - keep, keep);
            m_nSize = keep;
        }
        std::memcpy(m_data + m_nSize, bytes, n);
        m_nSize += n;
    }
    const char* data() const { return m_data + m_nSize - size(); }
    size_t size() const { return std::min(m_nSize, kOutputTail); }

private:
    char m_data[2 * kOutputTail];
    size_t m_nSize = 0;
};

// Writes "<tag> <number>\n" and the words after it on `report`.
void Report(int report, char tag, int number, const CTail* words = nullptr) {
    char line[32] = {tag, ' '};
    char* end = std::to_chars(line + 2, line + sizeof line - 1, number).ptr;
    *end++ = '\n';
    WriteAll(report, {line, static_cast<size_t>(end - line)});
    if (words) {
        WriteAll(report, {words->data(), words->size()});
    }
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
// `window_ms`. Allocates nothing: it is a forked copy of a program that may have threads.
[[noreturn]] void Watch(CLaunchPlan& plan, int output, int outputEnd, int report, int window_ms) {
    pid_t pid = -1;
    const int error = plan.Launch(pid);
    ::close(outputEnd);
    if (error != 0) {
        Report(report, 'E', error);
        ::_exit(0);
    }
    CTail tail;
    bool open = true;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(window_ms);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            // Whatever it wrote before it ended is still in the pipe.
            pollfd rest{output, POLLIN, 0};
            while (open && ::poll(&rest, 1, 0) > 0) {
                const ssize_t n = ::read(output, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                tail.Append(buffer, static_cast<size_t>(n));
            }
            Report(report, 'X', WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                   &tail);
            // What it started may still write into the pipe.
            Drain(open ? output : -1, report);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd watched{open ? output : -1, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(std::min<long long>(left, kWatchStep_ms))) > 0) {
            const ssize_t n = ::read(output, buffer, sizeof buffer);
            if (n > 0) {
                tail.Append(buffer, static_cast<size_t>(n));
            } else if (n == 0) {
                open = false;
            }
        }
    }
    WriteAll(report, "R\n");
    Drain(open ? output : -1, report, pid);
}

}  // namespace

int SpawnWatched(const std::string& program, const std::vector<std::string>& args, int window_ms) {
    std::vector<std::string> argv = {FindOnPath(program)};
    argv.insert(argv.end(), args.begin(), args.end());
    CLaunchPlan plan;
    if (const int error = plan.SetArguments(argv); error != 0) {
        errno = error;
        return -1;
    }
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
    plan.SetStream(STDOUT_FILENO, output[1]);
    plan.SetStream(STDERR_FILENO, output[1]);
    // The first child leaves at once, so the watcher is nobody's zombie.
    const pid_t child = ForkQuietly();
    if (child == 0) {
        ::setsid();
        if (::fork() != 0) {
            ::_exit(0);
        }
        ResetSignals();
        ::close(report[0]);
        // The watcher must not hold what the program's parent holds (a display connection, open
        // files): they would outlive the parent for as long as the program runs.
        int keep[3] = {report[1], output[0], output[1]};
        std::sort(keep, keep + 3);
        CloseAllBut({keep[0], keep[1], keep[2]});
        Watch(plan, output[0], output[1], report[1], window_ms);
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
    std::vector<std::string> dirs;
    SplitString(path ? path : "/usr/local/bin:/usr/bin:/bin", ":", dirs);
    for (const std::string& dir : dirs) {
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
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

    CLaunchPlan plan;
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

    switch (request.input) {
        case ProcessInput::Null:
            break;
        case ProcessInput::Inherit:
            plan.SetStream(STDIN_FILENO, CLaunchPlan::kInherit);
            break;
        case ProcessInput::Descriptor:
            // EBADF for a descriptor that cannot be one, rather than our own input.
            plan.SetStream(STDIN_FILENO, request.inputFd < 0 ? -1 : request.inputFd);
            break;
        case ProcessInput::Text:
            plan.SetStream(STDIN_FILENO, inputEnd.get());
            break;
    }
    plan.SetStream(STDOUT_FILENO, outputEnd.get());
    plan.SetStream(STDERR_FILENO, request.separateErrors ? errorsEnd.get() : outputEnd.get());
    plan.SetWorkingFolder(request.workingFolder);
    plan.SetEnvironment(request.environment);
    plan.DieWithParent();
    plan.SetLimits(request.addressSpaceLimit_bytes, request.cpuLimit_s);
    pid_t pid = -1;
    error = plan.Launch(pid);
    // The child holds its own copies; ours would keep its output open after its end.
    outputEnd.Close();
    errorsEnd.Close();
    inputEnd.Close();
    if (error != 0) {
        return FailStart(error);
    }
    m_pid = pid;
    m_result.started = true;
    if (request.timeLimit_ms > 0) {
        m_deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(request.timeLimit_ms);
    }
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
        CheckTimeLimit();
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
        const bool killPending = !m_bKilled && (m_result.cancelled || HasDeadline());
        if (count == 0 && !killPending) {
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

void CProcess::CheckTimeLimit() {
    if (HasDeadline() && !m_bKilled && std::chrono::steady_clock::now() >= m_deadline) {
        ::kill(m_pid, SIGKILL);
        m_bKilled = true;
        m_result.timedOut = true;
    }
}

int CProcess::IdleWait_ms(bool outputSeen) const {
    int wait_ms = outputSeen ? m_nWaitAfter_ms : m_nWaitBefore_ms;
    const auto until = [&](std::chrono::steady_clock::time_point when) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
        wait_ms = std::clamp(static_cast<int>(left.count()), 0, wait_ms);
    };
    if (m_result.cancelled && !m_bKilled) {
        until(m_killAt);
    }
    if (HasDeadline() && !m_bKilled) {
        until(m_deadline);
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
    CLaunchPlan plan;
    if (const int error = plan.SetArguments(argv); error != 0) {
        errno = error;
        return false;
    }
    plan.NewSession();
    // The intermediate child starts the program and exits at once, with the errno of a start
    // that failed, so the program is re-parented and never becomes our zombie.
    const pid_t child = ForkQuietly();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        pid_t pid = -1;
        ::_exit(plan.Launch(pid));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const int error = WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
    errno = error;
    return error == 0;
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
