// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "core/CFileDescriptor.h"

// Where a child's standard input comes from.
enum class ProcessInput {
    // /dev/null, so that a child never eats input meant for us.
    Null,
    Inherit,
    // ProcessRequest::inputFd, which stays ours.
    Descriptor,
    // ProcessRequest::inputText, then the end of input.
    Text,
};

// What to start and how. argv[0] is the program: a name without "/" is looked up on PATH, never
// in the current folder; anything else is a path. No shell sees any of it.
struct ProcessRequest {
    std::vector<std::string> argv;
    ProcessInput input = ProcessInput::Null;
    int inputFd = -1;
    std::string inputText;
    // Set in the child's environment over what it inherits from ours.
    std::vector<std::pair<std::string, std::string>> environment;
    // The child's current folder; empty keeps ours.
    std::string workingFolder;
    // Standard error on a pipe of its own; by default it shares standard output's.
    bool separateErrors = false;
    // Longest idle wait before the first output and after it. Output, the child's end and
    // Cancel() end a wait at once; the limits matter only where the system cannot tell.
    int idleWaitBeforeOutput_ms = 100;
    int idleWaitAfterOutput_ms = 1000;
    // How long a cancelled child has between SIGTERM and SIGKILL.
    int cancelGrace_ms = 2000;
    // Limits for a child that reads untrusted input; 0 is none. Past the address space its
    // allocations fail; past the processor time, and past the time since Start(), it is killed.
    // A child with limits leaves no core dump.
    size_t addressSpaceLimit_bytes = 0;
    int cpuLimit_s = 0;
    int timeLimit_ms = 0;
};

struct ProcessResult {
    bool started = false;
    // errno of a start that failed: ENOENT for a program that is not there.
    int startError = 0;
    // Ended by exit(), with exitCode; otherwise `signal` ended it, or, when that is 0 too,
    // somebody else collected its status.
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    // Stopped by Cancel() (its signal is in `signal`), or Cancel() came before the start.
    bool cancelled = false;
    // Killed because it ran past ProcessRequest::timeLimit_ms.
    bool timedOut = false;

    bool Succeeded() const { return exited && exitCode == 0 && !cancelled; }
};

// One child process: started from an argument vector, its output read as it comes until it
// ends. Start() and Wait() may run on different threads, one after the other; Cancel() may
// come from any thread and from the output handlers. The child is killed (SIGKILL) when the
// thread that started it ends, so that it never outlives us unattended: start it on a thread
// that lives until its end.
class CProcess {
public:
    using OutputHandler = std::function<void(std::string_view chunk)>;

    CProcess();
    // A child that still runs is killed and collected.
    ~CProcess();
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;

    // Starts the child; false (and the reason in Wait()'s result) when it cannot. Once only.
    bool Start(const ProcessRequest& request);
    // Hands each piece of output to `onOutput` as it is read, writes the input text, and
    // returns when the child has ended. A descendant that still holds the output open is not
    // waited for. Standard error goes to `onErrors` when it has a pipe of its own, and is
    // dropped when `onErrors` is empty.
    ProcessResult Wait(const OutputHandler& onOutput, const OutputHandler& onErrors = {});
    // Ends the child: SIGTERM, then SIGKILL when it is still there after the grace time.
    // Before Start(), the child is never started.
    void Cancel();
    pid_t GetPid() const { return m_pid; }

private:
    // Records why the child could not be started and lets go of the pipes; false.
    bool FailStart(int error);
    bool Read(CFileDescriptor& fd, const OutputHandler& handler, size_t limit_bytes);
    void WriteInput();
    void CheckEnd(bool block);
    void CheckCancel();
    void CheckTimeLimit();
    int IdleWait_ms(bool outputSeen) const;
    bool HasDeadline() const { return m_deadline.time_since_epoch().count() != 0; }

    ProcessResult m_result;
    pid_t m_pid = -1;
    bool m_bEnded = false;
    bool m_bReaped = false;
    bool m_bKilled = false;
    int m_nStatus = 0;
    CFileDescriptor m_output, m_errors, m_input, m_pidFd, m_wake;
    std::string m_strInput;
    size_t m_nInputSent = 0;
    int m_nWaitBefore_ms = 100, m_nWaitAfter_ms = 1000, m_nGrace_ms = 2000;
    std::chrono::steady_clock::time_point m_killAt;
    // Zero when there is no time limit.
    std::chrono::steady_clock::time_point m_deadline;
    std::atomic<bool> m_bCancel{false};
};

// Start and Wait in one.
ProcessResult RunProcess(const ProcessRequest& request, const CProcess::OutputHandler& onOutput,
                         const CProcess::OutputHandler& onErrors = {});

// Starts `program` (looked up on PATH when it has no "/") with `args`, detached in a session of
// its own: it is not waited for and leaves no zombie. True when the program could be started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

// How a program started by SpawnWatched fared in its first moments.
struct SpawnOutcome {
    // Still running when the watch ended: it got going.
    bool running = false;
    // Its exit status, 128 + the signal that ended it, or -1 when it could not be started.
    int status = 0;
    // errno of a failed start.
    int error = 0;
    // The end of what it wrote to standard output and standard error while watched.
    std::string output;
};

// Starts `program` like SpawnDetached, and watches it for up to `window_ms` from a process of
// its own, which stays beside the program for its life and reads what it writes, so that the
// program never writes into a closed pipe. Returns a descriptor (close-on-exec, the caller's to
// close) that becomes readable, with the outcome for ReadSpawnOutcome, as soon as the program
// ends within the window or outlives it; -1 with errno set when nothing could be started.
int SpawnWatched(const std::string& program, const std::vector<std::string>& args, int window_ms);

// Reads the outcome from SpawnWatched's descriptor; waits for it when it is not there yet.
SpawnOutcome ReadSpawnOutcome(int fd);

// Runs `program` with `args` and returns what it printed on standard output (at most `limit`
// bytes); empty when it cannot run.
std::string RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                          size_t limit = 65536);

// Full path of `program` on PATH, or empty.
std::string FindOnPath(const std::string& program);
