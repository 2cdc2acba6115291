// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/PublishRun.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "core/PathUtils.h"

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

CPublishProcess::CPublishProcess(std::vector<std::string> args, const RunOptions& options) {
    // The limit and the other user are set up by small programs that then start the next one.
    ProcessRequest request;
    std::vector<std::string> limits;
    for (const auto& [name, value] : {std::pair{"--fsize=", options.fileSizeLimit},
                                      {"--as=", options.addressSpaceLimit},
                                      {"--cpu=", options.cpuLimit_s}}) {
        if (value >= 0) {
            limits.push_back(name + std::to_string(value));
        }
    }
    if (!limits.empty()) {
        // A write past the file size limit then fails with EFBIG instead of ending the program.
        request.argv = {"env", "--ignore-signal=XFSZ", "prlimit"};
        request.argv.insert(request.argv.end(), limits.begin(), limits.end());
        request.argv.push_back("--");
    }
    if (options.unprivileged && ::geteuid() == 0) {
        request.argv.insert(
            request.argv.end(),
            {"setpriv", "--reuid=" + std::to_string(UnprivilegedUid()),
             "--regid=" + std::to_string(UnprivilegedGid()), "--clear-groups", "--"});
    }
    request.argv.push_back(options.program.empty() ? DEDE5_PUBLISH_PROGRAM : options.program);
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    request.input = ProcessInput::Text;
    request.inputText = options.input;
    request.environment = options.env;
    request.workingFolder = options.workingFolder;
    request.separateErrors = true;
    EXPECT_TRUE(m_process.Start(request)) << request.argv.front();

    m_reader = std::thread([this] {
        const ProcessResult result =
            m_process.Wait([this](std::string_view chunk) { m_result.out += chunk; },
                           [this](std::string_view chunk) { m_result.err += chunk; });
        m_result.status = result.exited ? result.exitCode : -1;
        m_bFinished.store(true);
    });
}

CPublishProcess::~CPublishProcess() {
    Wait();
}

RunResult CPublishProcess::Wait() {
    if (m_reader.joinable()) {
        m_reader.join();
    }
    return m_result;
}

void CPublishProcess::Signal(int signal) {
    if (!m_bFinished.load() && m_process.GetPid() > 0) {
        ::kill(m_process.GetPid(), signal);
    }
}

RunResult Publish(std::vector<std::string> args, const RunOptions& options) {
    CPublishProcess process(std::move(args), options);
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
        if (!entry.is_directory() && entry.path() != program &&
            entry.path().filename() != "dede5-media-probe") {
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

void RunAsUnprivileged(const test::Sandbox& sandbox, RunOptions& options) {
    ::chmod(sandbox.path().c_str(), 0755);
    options.program = CopyInstall(sandbox, "install");
    const std::string home = sandbox.MakeFolder("user/home");
    const std::string tmp = sandbox.MakeFolder("user/tmp");
    for (const std::string& folder : {sandbox / "user", home, tmp}) {
        ::chmod(folder.c_str(), 0777);
    }
    options.unprivileged = true;
    options.env = {{"HOME", home},
                   {"TMPDIR", tmp},
                   {"XDG_CONFIG_HOME", home + "/.config"},
                   {"XDG_DATA_HOME", home + "/.local/share"},
                   {"DEDE5_VARODO_HOME", sandbox / "install"}};
}

std::string WorkFolderIn(const std::string& tmp) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tmp, error)) {
        if (entry.path().filename().string().starts_with("publish-")) {
            return entry.path().string();
        }
    }
    return {};
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
