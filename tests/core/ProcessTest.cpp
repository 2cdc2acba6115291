// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/CFileDescriptor.h"
#include "tests/support/Sandbox.h"

namespace {

using Args = std::vector<std::string>;

// Longer than a test may take: only output, the child's end or Cancel() can end a wait.
constexpr int kNever_ms = 10 * 60 * 1000;

ProcessRequest Helper(const Args& args) {
    ProcessRequest request;
    request.argv = {DEDE5_PROCESS_HELPER};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    request.idleWaitBeforeOutput_ms = kNever_ms;
    request.idleWaitAfterOutput_ms = kNever_ms;
    return request;
}

struct Outcome {
    ProcessResult result;
    std::string output, errors;
};

Outcome RunChild(const ProcessRequest& request) {
    Outcome outcome;
    outcome.result = RunProcess(
        request, [&](std::string_view chunk) { outcome.output += chunk; },
        [&](std::string_view chunk) { outcome.errors += chunk; });
    return outcome;
}

Args SplitAtNul(const std::string& text) {
    Args parts;
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "unterminated rest";
    return parts;
}

class ProcessTest : public ::testing::Test {
protected:
    test::Environment env;
};

TEST_F(ProcessTest, ArgumentsArriveUnchangedOneEach) {
    const Args args = {
        "",           "two words",   "  blanks around  ",
        "\"double\"", "'single'",    "it's",
        "$PATH",      "${HOME}",     "`id`",
        "$(id)",      "; echo x",    "a|b&c>d<e",
        "*",          "~",           "back\\slash",
        "tab\there",  "line\nbreak", "Grüße ñ",
        "-x",         "--",          "",
    };
    Args command = {"echo"};
    command.insert(command.end(), args.begin(), args.end());
    const Outcome run = RunChild(Helper(command));
    EXPECT_TRUE(run.result.Succeeded());
    EXPECT_EQ(SplitAtNul(run.output), args);
}

TEST_F(ProcessTest, ExitStatusSignalAndFailedStart) {
    {
        SCOPED_TRACE("exit 0");
        const Outcome run = RunChild(Helper({"exit", "0"}));
        EXPECT_TRUE(run.result.started);
        EXPECT_TRUE(run.result.exited);
        EXPECT_EQ(run.result.exitCode, 0);
        EXPECT_TRUE(run.result.Succeeded());
    }
    {
        SCOPED_TRACE("exit 3");
        const Outcome run = RunChild(Helper({"exit", "3"}));
        EXPECT_TRUE(run.result.exited);
        EXPECT_EQ(run.result.exitCode, 3);
        EXPECT_EQ(run.result.signal, 0);
        EXPECT_FALSE(run.result.Succeeded());
    }
    {
        SCOPED_TRACE("killed by a signal");
        const Outcome run = RunChild(Helper({"signal", std::to_string(SIGUSR1)}));
        EXPECT_TRUE(run.result.started);
        EXPECT_FALSE(run.result.exited);
        EXPECT_EQ(run.result.signal, SIGUSR1);
        EXPECT_FALSE(run.result.cancelled);
        EXPECT_FALSE(run.result.Succeeded());
    }

    const std::string folder = env.sandbox.MakeFolder("folder");
    const std::string plain = env.sandbox.Write("plain", "#!/bin/sh\nexit 0\n");
    ProcessRequest elsewhere = Helper({"exit", "0"});
    elsewhere.workingFolder = env.sandbox / "no-such-folder";
    ProcessRequest badInput = Helper({"cat"});
    badInput.input = ProcessInput::Descriptor;
    struct Row {
        const char* name;
        ProcessRequest request;
        int error;
    } rows[] = {
        {"name not on PATH", Helper({}), ENOENT},
        {"missing path", Helper({}), ENOENT},
        {"a folder", Helper({}), EACCES},
        {"not executable", Helper({}), EACCES},
        {"missing working folder", elsewhere, ENOENT},
        {"no input descriptor", badInput, EBADF},
    };
    rows[0].request.argv = {"dede5-no-such-program", "--version"};
    rows[1].request.argv = {env.sandbox / "missing"};
    rows[2].request.argv = {folder};
    rows[3].request.argv = {plain};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool handed = false;
        const ProcessResult result =
            RunProcess(row.request, [&](std::string_view) { handed = true; });
        EXPECT_FALSE(result.started);
        EXPECT_EQ(result.startError, row.error);
        EXPECT_FALSE(result.exited);
        EXPECT_FALSE(result.Succeeded());
        EXPECT_FALSE(handed);
    }
}

TEST_F(ProcessTest, StandardOutputAndErrorShareOnePipeInOrder) {
    {
        SCOPED_TRACE("one pipe");
        const Outcome run = RunChild(Helper({"interleave", "3"}));
        EXPECT_EQ(run.output, "out 0\nerr 0\nout 1\nerr 1\nout 2\nerr 2\n");
        EXPECT_EQ(run.errors, "");
    }
    {
        SCOPED_TRACE("apart");
        ProcessRequest request = Helper({"interleave", "3"});
        request.separateErrors = true;
        const Outcome run = RunChild(request);
        EXPECT_EQ(run.output, "out 0\nout 1\nout 2\n");
        EXPECT_EQ(run.errors, "err 0\nerr 1\nerr 2\n");
    }
    {
        SCOPED_TRACE("errors apart and dropped");
        ProcessRequest request = Helper({"interleave", "2"});
        request.separateErrors = true;
        std::string output;
        EXPECT_TRUE(
            RunProcess(request, [&](std::string_view chunk) { output += chunk; }).Succeeded());
        EXPECT_EQ(output, "out 0\nout 1\n");
    }
    {
        SCOPED_TRACE("no final line end");
        EXPECT_EQ(RunChild(Helper({"partial", "no line end"})).output, "no line end");
    }
}

// Far more than a pipe holds, on both pipes at once: neither may stall the other.
TEST_F(ProcessTest, MuchOutputOnBothPipesArrivesWhole) {
    constexpr size_t kBytes = 3'000'000;
    ProcessRequest request = Helper({"flood", std::to_string(kBytes)});
    const Outcome shared = RunChild(request);
    EXPECT_TRUE(shared.result.Succeeded());
    EXPECT_EQ(shared.output, std::string(2 * kBytes, 'x'));

    request.separateErrors = true;
    const Outcome apart = RunChild(request);
    EXPECT_TRUE(apart.result.Succeeded());
    EXPECT_EQ(apart.output, std::string(kBytes, 'x'));
    EXPECT_EQ(apart.errors, std::string(kBytes, 'x'));
}

TEST_F(ProcessTest, InputFromEachSource) {
    {
        SCOPED_TRACE("/dev/null by default");
        const Outcome run = RunChild(Helper({"cat"}));
        EXPECT_TRUE(run.result.Succeeded());
        EXPECT_EQ(run.output, "");
    }
    {
        SCOPED_TRACE("text, then its end");
        ProcessRequest request = Helper({"cat"});
        request.input = ProcessInput::Text;
        request.inputText = "y\nanswer two\n";
        EXPECT_EQ(RunChild(request).output, "y\nanswer two\n");
        request.inputText.clear();
        const Outcome empty = RunChild(request);
        EXPECT_TRUE(empty.result.Succeeded());
        EXPECT_EQ(empty.output, "");
    }
    {
        // Written while the child's answer is read: neither side may wait for the other.
        SCOPED_TRACE("text larger than a pipe holds");
        ProcessRequest request = Helper({"cat"});
        request.input = ProcessInput::Text;
        for (int i = 0; request.inputText.size() < 2'000'000; ++i) {
            request.inputText += "line " + std::to_string(i) + "\n";
        }
        const Outcome run = RunChild(request);
        EXPECT_TRUE(run.result.Succeeded());
        EXPECT_TRUE(run.output == request.inputText) << run.output.size() << " bytes";
    }
    {
        SCOPED_TRACE("text the child never reads");
        ProcessRequest request = Helper({"exit", "0"});
        request.input = ProcessInput::Text;
        request.inputText = std::string(1'000'000, 'z');
        EXPECT_TRUE(RunChild(request).result.Succeeded());
    }
    {
        SCOPED_TRACE("a descriptor");
        const std::string file = env.sandbox.Write("input.txt", "from a file\n");
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ProcessRequest request = Helper({"cat"});
        request.input = ProcessInput::Descriptor;
        request.inputFd = fd;
        EXPECT_EQ(RunChild(request).output, "from a file\n");
        ::close(fd);
    }
    {
        SCOPED_TRACE("inherited");
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], "ours\n", 5), 5);
        ::close(fds[1]);
        const int saved = ::dup(STDIN_FILENO);
        ::dup2(fds[0], STDIN_FILENO);
        ::close(fds[0]);
        ProcessRequest request = Helper({"cat"});
        request.input = ProcessInput::Inherit;
        const Outcome run = RunChild(request);
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        EXPECT_EQ(run.output, "ours\n");
    }
}

TEST_F(ProcessTest, EnvironmentWorkingFolderAndDescriptors) {
    const auto value = [](const std::string& name,
                          std::vector<std::pair<std::string, std::string>> environment = {}) {
        ProcessRequest request = Helper({"env", name});
        request.environment = std::move(environment);
        return RunChild(request).output;
    };
    EXPECT_EQ(value("TMPDIR"), env.tmp) << "inherited";
    EXPECT_EQ(value("TMPDIR", {{"TMPDIR", "/elsewhere"}}), "/elsewhere");
    EXPECT_EQ(value("TMPDIR", {{"TMP", "/short"}}), env.tmp) << "a shorter name is another";
    EXPECT_EQ(value("TMP", {{"TMP", "/short"}}), "/short");
    EXPECT_EQ(value("DEDE5_NEW", {{"DEDE5_NEW", "a=b c"}}), "a=b c");
    EXPECT_EQ(value("DEDE5_NEW"), "(unset)");

    ProcessRequest where = Helper({"cwd"});
    where.workingFolder = env.sandbox.MakeFolder("work place");
    EXPECT_EQ(RunChild(where).output, std::filesystem::canonical(where.workingFolder).string());

    // A descriptor this program left inheritable is still not the child's.
    const int leaked = ::open(env.sandbox.Write("open.txt", "").c_str(), O_RDONLY);
    ASSERT_GT(leaked, STDERR_FILENO);
    EXPECT_EQ(RunChild(Helper({"fds"})).output, "");
    ::close(leaked);
}

TEST_F(ProcessTest, ChildsEndIsSeenWhileADescendantHoldsTheOutput) {
    const Outcome run = RunChild(Helper({"grandchild"}));
    EXPECT_TRUE(run.result.Succeeded());
    const pid_t grandchild = static_cast<pid_t>(std::atol(run.output.c_str()));
    ASSERT_GT(grandchild, 0) << run.output;
    EXPECT_EQ(::kill(grandchild, SIGKILL), 0);
}

TEST_F(ProcessTest, CancelEndsTheChild) {
    // Cancels once the child says it is ready, through `cancel`.
    const auto runUntilReady = [](CProcess& process, const ProcessRequest& request,
                                  const std::function<void()>& cancel) {
        std::string output;
        EXPECT_TRUE(process.Start(request));
        const ProcessResult result = process.Wait([&](std::string_view chunk) {
            output += chunk;
            if (output == "ready\n") {
                cancel();
            }
        });
        EXPECT_EQ(output, "ready\n");
        return result;
    };
    {
        SCOPED_TRACE("from the output handler");
        CProcess process;
        const ProcessResult result =
            runUntilReady(process, Helper({"wait"}), [&] { process.Cancel(); });
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.signal, SIGTERM);
        EXPECT_FALSE(result.Succeeded());
    }
    {
        SCOPED_TRACE("from another thread");
        CProcess process;
        std::promise<void> ready;
        std::thread canceller([&] {
            ready.get_future().wait();
            process.Cancel();
        });
        const ProcessResult result =
            runUntilReady(process, Helper({"wait"}), [&] { ready.set_value(); });
        canceller.join();
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.signal, SIGTERM);
    }
    {
        SCOPED_TRACE("SIGTERM ignored");
        ProcessRequest request = Helper({"wait-ignoring-term"});
        request.cancelGrace_ms = 50;
        CProcess process;
        const ProcessResult result = runUntilReady(process, request, [&] { process.Cancel(); });
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.signal, SIGKILL);
    }
    {
        SCOPED_TRACE("before the start");
        CProcess process;
        process.Cancel();
        EXPECT_FALSE(process.Start(Helper({"exit", "0"})));
        const ProcessResult result = process.Wait({});
        EXPECT_FALSE(result.started);
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.startError, ECANCELED);
    }
    {
        SCOPED_TRACE("a process that goes away kills its child");
        pid_t pid = -1;
        {
            CProcess process;
            ASSERT_TRUE(process.Start(Helper({"wait"})));
            pid = process.GetPid();
        }
        EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1) << "already collected";
        EXPECT_EQ(errno, ECHILD);
    }
}

// The media probe's bounds: a damaged file must cost the child, never us.
TEST_F(ProcessTest, LimitsBoundWhatTheChildMayUse) {
    constexpr size_t k256MiB = size_t{256} << 20;
    const struct {
        const char* name;
        Args args;
        size_t addressSpace_bytes;
        int cpu_s, time_ms;
        const char* output;
        int signal;
    } rows[] = {
        {"limits are set, with no core dump", {"limits"}, k256MiB, 3, 0, "268435456 3:4 0", 0},
        {"a spinning child ends at its processor time", {"spin"}, 0, 1, 0, "", SIGXCPU},
        {"a waiting child is killed at the time limit", {"wait"}, 0, 0, 200, "ready\n", SIGKILL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
#ifdef __SANITIZE_ADDRESS__
        if (row.addressSpace_bytes != 0) {
            continue;  // AddressSanitizer reserves far more address space at start.
        }
#endif
        ProcessRequest request = Helper(row.args);
        request.addressSpaceLimit_bytes = row.addressSpace_bytes;
        request.cpuLimit_s = row.cpu_s;
        request.timeLimit_ms = row.time_ms;
        const Outcome run = RunChild(request);
        EXPECT_EQ(run.output, row.output);
        EXPECT_EQ(run.result.signal, row.signal);
        EXPECT_EQ(run.result.exited, row.signal == 0);
        EXPECT_EQ(run.result.timedOut, row.time_ms != 0);
    }
}

// The browser version probe: standard output only, cut at the limit.
TEST_F(ProcessTest, RunAndCaptureKeepsStandardOutputUpToTheLimit) {
    EXPECT_EQ(RunAndCapture(DEDE5_PROCESS_HELPER, {"interleave", "2"}), "out 0\nout 1\n");
    EXPECT_EQ(RunAndCapture(DEDE5_PROCESS_HELPER, {"interleave", "2"}, 3), "out");
    EXPECT_EQ(RunAndCapture(DEDE5_PROCESS_HELPER, {"flood", "100000"}, 65536),
              std::string(65536, 'x'));
    EXPECT_EQ(RunAndCapture("dede5-no-such-program", {"--version"}), "");
}

TEST_F(ProcessTest, DetachedProgramRunsInItsOwnSessionAndIsNotOurChild) {
    const std::string fifo = env.sandbox / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(SpawnDetached(DEDE5_PROCESS_HELPER, {"detached", fifo}));
    // Opening blocks until the program opens its end: no waiting for time to pass.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string text;
    char buffer[64];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(text, "session leader");
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child of ours is left";
    EXPECT_EQ(errno, ECHILD);

    EXPECT_FALSE(SpawnDetached("dede5-no-such-program", {}));
    EXPECT_FALSE(SpawnDetached(env.sandbox / "missing", {}));
}

// A `kill -9` of ours must not leave ffmpeg running; a browser started detached stays.
TEST_F(ProcessTest, ChildDiesWithTheParentThatStartedItUnlessDetached) {
    // Only a fault waits this long: the death signal is sent as the parent ends.
    constexpr int kBound_ms = 10000;
    const struct {
        const char* how;
        bool dies;
    } rows[] = {{"start", true}, {"run", true}, {"detached", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        CProcess parent;
        ASSERT_TRUE(parent.Start(Helper({"parent", row.how, DEDE5_PROCESS_HELPER, "pid-wait"})));
        std::string output;
        CFileDescriptor child;
        parent.Wait([&](std::string_view chunk) {
            output += chunk;
            if (!child.valid() && output.find('\n') != std::string::npos) {
                const auto pid = static_cast<pid_t>(std::atol(output.c_str()));
                child.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
                ::kill(parent.GetPid(), SIGKILL);
            }
        });
        ASSERT_TRUE(child.valid()) << output;
        pollfd ended{child.get(), POLLIN, 0};
        EXPECT_EQ(::poll(&ended, 1, row.dies ? kBound_ms : 0), row.dies ? 1 : 0);
        ::syscall(SYS_pidfd_send_signal, child.get(), SIGKILL, nullptr, 0);
    }
}

}  // namespace
