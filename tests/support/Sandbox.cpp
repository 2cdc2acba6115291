// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Sandbox.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "core/Log.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/Process.h"

namespace test {

Sandbox::Sandbox() {
    const char* base = std::getenv("TEST_TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dede5-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        std::abort();
    }
    m_path = buffer.data();
}

Sandbox::~Sandbox() {
    DeleteFolder(m_path);
}

std::string Sandbox::Write(const std::string& relative, const std::string& bytes) const {
    std::string full = *this / relative;
    CreateFolders(GetPathFolder(full));
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

std::string Sandbox::MakeFolder(const std::string& relative) const {
    std::string full = *this / relative;
    CreateFolders(full);
    return full;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int RecordingMessageBox::Show(unsigned type, const std::string& text) {
    messages.push_back({type, text});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    return fallback;
}

int ShowMessage(const CError& message, unsigned buttons) {
    if (message.id == 0) {
        return IDCANCEL;
    }
    static const unsigned kIcons[] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION};
    return GetMessageBox().Show(buttons | kIcons[message.kind], ErrorText(message));
}

Environment::Environment() : store(std::make_shared<CMemorySettingsStore>()) {
    home = sandbox.MakeFolder("home");
    tmp = sandbox.MakeFolder("tmp");
    SetEnv("HOME", home);
    SetEnv("TMPDIR", tmp);
    SetEnv("XDG_CONFIG_HOME", home + "/.config");
    SetEnv("XDG_DATA_HOME", home + "/.local/share");
    SetSettingsStore(store);
    SetMessageBox(&box);
    COptions::DestroyInstance();
    CLog::DestroyInstance();
}

Environment::~Environment() {
    COptions::DestroyInstance();
    CLog::DestroyInstance();
    SetMessageBox(nullptr);
    SetSettingsStore(nullptr);
    for (auto it = m_savedEnv.rbegin(); it != m_savedEnv.rend(); ++it) {
        if (it->second == "\x01unset") {
            ::unsetenv(it->first.c_str());
        } else {
            ::setenv(it->first.c_str(), it->second.c_str(), 1);
        }
    }
}

void Environment::SetEnv(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    m_savedEnv.emplace_back(name, old ? std::string(old) : std::string("\x01unset"));
    ::setenv(name, value.c_str(), 1);
}

int Run(const std::vector<std::string>& argv, std::string* output) {
    ProcessRequest request;
    request.argv = argv;
    const ProcessResult result = RunProcess(request, [&](std::string_view chunk) {
        if (output) {
            output->append(chunk);
        }
    });
    return result.exited ? result.exitCode : -1;
}

bool MakeMedia(const std::string& path, double seconds, bool video, bool audio,
               const std::vector<std::string>& args, int width, int height, int channels) {
    std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    const std::string duration = std::to_string(seconds);
    if (video) {
        argv.insert(argv.end(), {"-f", "lavfi", "-i",
                                 "testsrc=size=" + std::to_string(width) + "x" +
                                     std::to_string(height) + ":rate=25:duration=" + duration});
    }
    if (audio) {
        argv.insert(argv.end(), {"-f", "lavfi", "-i",
                                 "sine=frequency=440:sample_rate=44100:duration=" + duration});
    }
    if (audio) {
        argv.insert(argv.end(), {"-ac", std::to_string(channels)});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(path);
    return Run(argv) == 0;
}

}  // namespace test
