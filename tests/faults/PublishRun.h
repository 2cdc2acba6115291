// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/Process.h"
#include "tests/support/Sandbox.h"

namespace faults {

struct RunResult {
    int status = -1;  // exit status, -1 when killed by a signal
    std::string out, err;
};

// How the publisher is started: what it reads, what it sees, what it may do.
struct RunOptions {
    std::string input;
    // Added to (or replacing in) the test's own environment.
    std::vector<std::pair<std::string, std::string>> env;
    // RLIMIT_FSIZE: writes past this many bytes fail with EFBIG, as on a full disk.
    long long fileSizeLimit = -1;
    // RLIMIT_AS and RLIMIT_CPU, which its children inherit too.
    long long addressSpaceLimit = -1;
    long long cpuLimit_s = -1;
    // Run as an ordinary user (nobody) when the test runs as root, where permissions do not
    // stop writes; as any other user, run as that user.
    bool unprivileged = false;
    // The publisher's current folder; empty keeps the test's.
    std::string workingFolder;
    // The publisher to start; empty starts the built one.
    std::string program;
};

// The built dede5-publish, started as a separate process whose output is read on a thread of
// its own, so that two can run at once without either blocking on a full pipe.
class CPublishProcess {
public:
    explicit CPublishProcess(std::vector<std::string> args, const RunOptions& options = {});
    ~CPublishProcess();
    CPublishProcess(const CPublishProcess&) = delete;
    CPublishProcess& operator=(const CPublishProcess&) = delete;

    RunResult Wait();
    // Sends `signal` to the publisher unless it has ended already.
    void Signal(int signal);
    bool Finished() const { return m_bFinished.load(); }
    // The publisher's process id; -1 when it could not start.
    pid_t Pid() const { return m_process.GetPid(); }

private:
    CProcess m_process;
    std::atomic<bool> m_bFinished{false};
    RunResult m_result;
    std::thread m_reader;
};

RunResult Publish(std::vector<std::string> args, const RunOptions& options = {});

// The uid and gid an unprivileged run gets.
uid_t UnprivilegedUid();
gid_t UnprivilegedGid();

// An installation folder like the build's, but whose encoder/ffmpeg (and ffmpeg-webm) is the
// given shell script: a stand-in that misbehaves as the test needs, then may run the real one.
std::string FakeInstall(const test::Sandbox& sandbox, const std::string& name,
                        const std::string& ffmpegScript);

// The built publisher and its installation folders, copied (hard-linked where the file system
// allows) into the sandbox folder `name`: another user may not be able to reach the build tree,
// whose parent folders can be private. Returns the copied program.
std::string CopyInstall(const test::Sandbox& sandbox, const std::string& name);

// Makes `options` run the publisher as the unprivileged user: the sandbox opened to it, the
// program and its installation copied into the sandbox (the build tree may be out of its reach)
// and named as the installation, and a home and temporary folder of its own there.
void RunAsUnprivileged(const test::Sandbox& sandbox, RunOptions& options);

// Every file and folder below `folder`, with sizes, one a line; to see what a run left behind.
std::string Listing(const std::string& folder);

// The working folder a running publisher made in `tmp` (its TMPDIR); empty while there is none.
std::string WorkFolderIn(const std::string& tmp);

// The same page markup every fault test publishes into.
inline constexpr const char* kPage =
    "<html>\n<head>\n<title>Home</title>\n</head>\n<body class=\"home\">\n<p>text</p>\n"
    "<!-- video -->\n</body>\n</html>\n";

}  // namespace faults
