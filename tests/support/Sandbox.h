// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/MessageBox.h"
#include "core/SettingsStore.h"

namespace test {

// A temporary folder of its own, removed with everything in it when the test ends.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& path() const { return m_path; }
    // Absolute path of `relative` inside the sandbox.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }
    // Writes `bytes` to `relative`, creating parent folders; returns the absolute path.
    std::string Write(const std::string& relative, const std::string& bytes) const;
    std::string MakeFolder(const std::string& relative) const;

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);

// Records every message and answers from a queue (then with `fallback`).
class RecordingMessageBox : public IMessageBox {
public:
    struct Message {
        unsigned type;
        std::string text;
    };
    int Show(unsigned type, const std::string& text) override;

    std::vector<Message> messages;
    std::vector<int> answers;
    int fallback = IDOK;
};

// Stands in for a front end: shows the engine's messages in the installed message box, as the
// wizard does (a message without an id shows nothing).
int ShowMessage(const CError& message, unsigned buttons = MB_OK);

// A step's result as a front end takes it: what went wrong is shown.
template <class T>
bool Shown(const CResult<T>& result) {
    test::ShowMessage(result.why);
    return static_cast<bool>(result);
}

class BoxReport : public IReport {
public:
    void Tell(const CError& message) override { test::ShowMessage(message); }
    bool Ask(const CError& question) override {
        return test::ShowMessage(question, MB_YESNO) == IDYES;
    }
};

// Gives the test a fresh in-memory settings store, a recording message box, its own HOME,
// XDG folders and TMPDIR inside a sandbox, and fresh COptions/CLog objects; undoes it all after.
class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    Sandbox sandbox;
    std::shared_ptr<CMemorySettingsStore> store;
    RecordingMessageBox box;
    BoxReport report;
    std::string home, tmp;

private:
    std::vector<std::pair<std::string, std::string>> m_savedEnv;
    void SetEnv(const char* name, const std::string& value);
};

// Runs a command given as an argument vector, standard input /dev/null, and returns its exit
// status (-1 when it cannot run or a signal ends it); `output` gets standard output and error.
int Run(const std::vector<std::string>& argv, std::string* output = nullptr);

// Makes a small media file with ffmpeg (lavfi sources); `args` are the output options, e.g.
// {"-c:v", "libx264", "-c:a", "aac"}. Returns false when ffmpeg fails.
bool MakeMedia(const std::string& path, double seconds, bool video, bool audio,
               const std::vector<std::string>& args, int width = 320, int height = 240,
               int channels = 2);

}  // namespace test
