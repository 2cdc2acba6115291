// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/PublishRun.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "core/PathUtils.h"

extern char** environ;

namespace faults {

uid_t UnprivilegedUid() {
    if (::geteuid() != 0) {
        return ::geteuid();
    }
    const passwd* nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}

gid_t UnprivilegedGid() {
    if (::geteuid() != 0) {
        return ::getegid();
    }
    const passwd* nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_gid : 65534;
}

CPublishProcess::CPublishProcess(const test::Sandbox& sandbox, std::vector<std::string> args,
                                 const RunOptions& options) {
    static int runs = 0;
    const std::string base = sandbox / ("publish-run-" + std::to_string(++runs));
    m_strIn = sandbox.Write(GetPathFileName(base) + ".in", options.input);
    m_strOut = base + ".out";
    m_strErr = base + ".err";

    // Everything the child needs is made before the fork: it only opens, limits and executes.
    args.insert(args.begin(), options.program.empty() ? DEDE5_PUBLISH_PROGRAM : options.program);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : options.env) {
            replaced = replaced || entry.starts_with(name + "=");
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : options.env) {
        env.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const bool dropRoot = options.unprivileged && ::geteuid() == 0;
    const std::string workingFolder = options.workingFolder;
    const uid_t uid = UnprivilegedUid();
    const gid_t gid = UnprivilegedGid();
    const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                       static_cast<rlim_t>(options.fileSizeLimit)};

    m_pid = ::fork();
    if (m_pid == 0) {
        const int in = ::open(m_strIn.c_str(), O_RDONLY);
        const int out = ::open(m_strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = ::open(m_strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(125);
        }
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) {
            ::_exit(125);
        }
        if (options.fileSizeLimit >= 0) {
            // A write past the limit then fails with EFBIG instead of ending the program.
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(125);
            }
        }
        if (dropRoot &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            ::_exit(125);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    EXPECT_GT(m_pid, 0) << std::strerror(errno);
}

CPublishProcess::~CPublishProcess() {
    if (m_pid > 0) {
        Wait();
    }
}

RunResult CPublishProcess::Wait() {
    RunResult result;
    if (m_pid <= 0) {
        return result;
    }
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = test::ReadFile(m_strOut);
    result.err = test::ReadFile(m_strErr);
    return result;
}

RunResult Publish(const test::Sandbox& sandbox, std::vector<std::string> args,
                  const RunOptions& options) {
    CPublishProcess process(sandbox, std::move(args), options);
    return process.Wait();
}

std::string FakeInstall(const test::Sandbox& sandbox, const std::string& name,
                        const std::string& ffmpegScript) {
    namespace fs = std::filesystem;
    const std::string folder = sandbox.MakeFolder(name);
    for (const auto& entry : fs::directory_iterator(DEDE5_BUILD_HOME)) {
        const std::string entryName = entry.path().filename().string();
        if (entryName != "encoder") {
            fs::create_symlink(entry.path(), fs::path(folder) / entryName);
        }
    }
    for (const char* program : {"encoder/ffmpeg", "encoder/ffmpeg-webm"}) {
        const std::string path = sandbox.Write(name + "/" + program, ffmpegScript);
        ::chmod(path.c_str(), 0755);
    }
    return folder;
}

std::string CopyInstall(const test::Sandbox& sandbox, const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path folder = sandbox.MakeFolder(name);
    const fs::path program = DEDE5_PUBLISH_PROGRAM;
    for (const auto& entry : fs::directory_iterator(DEDE5_BUILD_HOME)) {
        if (!entry.is_directory() && entry.path() != program) {
            continue;
        }
        const fs::path target = folder / entry.path().filename();
        std::error_code error;
        fs::copy(entry.path(), target,
                 fs::copy_options::recursive | fs::copy_options::create_hard_links, error);
        if (error) {
            fs::remove_all(target);
            fs::copy(entry.path(), target, fs::copy_options::recursive);
        }
    }
    return (folder / program.filename()).string();
}

std::string Listing(const std::string& folder) {
    namespace fs = std::filesystem;
    std::set<std::string> lines;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = fs::relative(it->path(), folder);
        std::string line = relative.string();
        if (it->is_regular_file(error)) {
            line += " " + std::to_string(it->file_size(error));
        } else if (it->is_directory(error)) {
            line += "/";
        }
        lines.insert(line);
    }
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\n";
    }
    return out;
}

}  // namespace faults
