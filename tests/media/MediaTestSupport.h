// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Log.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace mediatest {

// Sets an environment variable for the scope of the object, restoring the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

inline std::string StandInPath() {
    return DEDE5_ENCODER_STAND_IN;
}

// Puts the stand-in at `installFolder`/encoder/`name`, as a bundled ffmpeg would be.
inline std::string InstallStandIn(const std::string& installFolder, const std::string& name) {
    const std::string folder = installFolder + "/encoder";
    CreateFolders(folder);
    const std::string path = folder + "/" + name;
    ::unlink(path.c_str());
    EXPECT_EQ(::symlink(StandInPath().c_str(), path.c_str()), 0) << path;
    return path;
}

// The argv the stand-in recorded.
inline std::vector<std::string> ReadArgs(const std::string& file) {
    const std::string bytes = test::ReadFile(file);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') {
            args.push_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return args;
}

// Switches the trace log on (with "Log Level" `level`) for a test Environment made just before.
inline void EnableLog(test::Environment& env, int level) {
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    env.store->WriteInt("Options/General", "Log Level", level);
    CLog::DestroyInstance();
}

// The log's lines without their time stamps ("HH:MM:SS ") and line ends.
inline std::vector<std::string> LogLines() {
    const std::string text = test::ReadFile(CLog::Instance()->GetFilePath());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        lines.push_back(line.size() >= 9 ? line.substr(9) : line);
        start = end + 2;
    }
    return lines;
}

// Real media made by ffmpeg, each file at most once per test process and only when a test asks
// for it; all of it removed when the process ends.
class MediaSamples {
public:
    static const std::string& Get(const std::string& name) {
        MediaSamples& self = Instance();
        auto found = self.m_made.find(name);
        if (found != self.m_made.end()) {
            return found->second;
        }
        const std::string path = self.m_sandbox / name;
        if (!Make(name, path)) {
            ADD_FAILURE() << "ffmpeg could not make " << name;
        }
        return self.m_made.emplace(name, path).first->second;
    }

private:
    static MediaSamples& Instance() {
        static MediaSamples samples;
        return samples;
    }

    static bool Make(const std::string& name, const std::string& path) {
        const std::vector<std::string> x264 = {"-c:v",      "libx264",  "-preset",
                                               "ultrafast", "-pix_fmt", "yuv420p"};
        auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        if (name == "avc-aac.mp4") {
            return test::MakeMedia(path, 1, true, true, with(x264, {"-c:a", "aac"}));
        }
        if (name == "avc-only.mp4") {
            return test::MakeMedia(path, 1, true, false, x264);
        }
        if (name == "avc-mp3.mp4") {
            return test::MakeMedia(path, 1, true, true, with(x264, {"-c:a", "libmp3lame"}));
        }
        if (name == "visual.MP4") {
            return test::MakeMedia(path, 1, true, true,
                                   {"-c:v", "mpeg4", "-c:a", "aac", "-f", "mp4"});
        }
        if (name == "clip.webm") {
            return test::MakeMedia(
                path, 1, true, true,
                {"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-c:a", "libvorbis"});
        }
        if (name == "clip.ogv") {
            return test::MakeMedia(path, 1, true, true, {"-c:v", "libtheora", "-c:a", "libvorbis"});
        }
        if (name == "clip.avi") {
            return test::MakeMedia(path, 1, true, true, {"-c:v", "mpeg4", "-c:a", "libmp3lame"});
        }
        if (name == "tone.mp3") {
            return test::MakeMedia(path, 1, false, true, {"-c:a", "libmp3lame"});
        }
        if (name == "tone.m4a") {
            return test::MakeMedia(path, 1, false, true, {"-c:a", "aac"});
        }
        if (name == "tone.oga") {
            return test::MakeMedia(path, 1, false, true, {"-c:a", "libvorbis"});
        }
        if (name == "tone.wav") {
            return test::MakeMedia(path, 1, false, true, {"-c:a", "pcm_s16le"});
        }
        if (name == "six.wav") {
            return test::MakeMedia(path, 1, false, true, {"-c:a", "pcm_s16le"}, 320, 240, 6);
        }
        if (name == "long-audio.mp4") {
            // One second of picture, two and a half of sound.
            return test::MakeMedia(path, 1, true, true,
                                   with(x264, {"-c:a", "aac", "-af", "apad=pad_dur=1.5"}));
        }
        return false;
    }

    test::Sandbox m_sandbox;
    std::map<std::string, std::string> m_made;
};

}  // namespace mediatest
