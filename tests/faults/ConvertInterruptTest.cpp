// SPDX-License-Identifier: GPL-3.0-or-later
// A conversion stopped with SIGTERM or SIGINT at points of its progress, found by watching what
// the run makes (its working folder, ffmpeg's temporary result growing), never by waiting a fixed
// time. Sometimes ffmpeg gets the signal too, as from Ctrl+C on a terminal.
#include <signal.h>

#include <dirent.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return children;
    }
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) {
            continue;
        }
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent &&
            state != 'Z') {
            children.push_back(pid);
        }
    }
    ::closedir(proc);
    return children;
}

bool IsRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

class ConvertInterrupt : public FaultTest {
protected:
    ConvertInterrupt() {
        tmp = env.sandbox.MakeFolder("publisher-tmp");
        out = env.sandbox.MakeFolder("out");
        options.env = {{"TMPDIR", tmp}};
    }

    void SetUp() override {
        // Long enough that every point below comes before ffmpeg is done on any machine that
        // runs the suite; a run that still finishes first is counted, not failed.
        source = env.sandbox / "long film.avi";
        ASSERT_TRUE(test::MakeMedia(source, 30, true, true,
                                    {"-c:v", "mpeg4", "-q:v", "8", "-c:a", "mp2"}, 320, 240));
        sourceBytes = test::ReadFile(source);
    }

    // The working folder of a run, while it is there.
    std::string WorkFolder() const { return WorkFolderIn(tmp); }

    // Bytes of ffmpeg's temporary result in `folder` so far (0 while only its private folder
    // is there); -1 while neither is.
    static long long Temporary(const std::string& folder) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (!entry.path().filename().string().starts_with(".~")) {
                continue;
            }
            if (!entry.is_directory(error)) {
                return static_cast<long long>(entry.file_size(error));
            }
            const fs::directory_iterator inside(entry.path(), error);
            return inside == fs::directory_iterator()
                       ? 0
                       : static_cast<long long>(inside->file_size(error));
        }
        return -1;
    }

    struct Stopped {
        RunResult result;
        int signal = 0;
        // ffmpeg as it ran when the signal went; -1 when none ran.
        pid_t ffmpeg = -1;
    };

    // Starts the publisher, waits until `reached`, then sends the signal to it (and to its
    // ffmpeg when `alsoFfmpeg`).
    Stopped StopAt(const std::vector<std::string>& args, const std::function<bool()>& reached,
                   int signal, bool alsoFfmpeg) {
        Stopped s;
        s.signal = signal;
        CPublishProcess run(args, options);
        while (!run.Finished() && !reached()) {
            std::this_thread::yield();
        }
        if (!run.Finished()) {
            for (const pid_t child : ChildrenOf(run.Pid())) {
                s.ffmpeg = child;
                if (alsoFfmpeg) {
                    ::kill(child, signal);
                }
            }
        }
        run.Signal(signal);
        s.result = run.Wait();
        return s;
    }

    // What every stopped run must have left: nothing of its own, the original as it was, no
    // ffmpeg still at work, and a status that says why it ended.
    void ExpectStoppedCleanly(const Stopped& s, const std::string& folder) {
        if (s.result.status == 0) {
            ++finished;
        } else {
            ++stopped;
            EXPECT_EQ(s.result.status, 128 + s.signal) << s.result.err;
            EXPECT_NE(s.result.err.find("dede5-publish: stopped;"), std::string::npos)
                << s.result.err;
            EXPECT_EQ(s.result.err.find("could not be made web-ready"), std::string::npos)
                << "a stop is no failure of the media:\n"
                << s.result.err;
            EXPECT_EQ(Temporary(folder), -1) << Listing(folder);
        }
        EXPECT_EQ(WorkFolder(), "") << Listing(tmp);
        EXPECT_EQ(test::ReadFile(source), sourceBytes);
        if (s.ffmpeg > 0) {
            EXPECT_FALSE(IsRunning(s.ffmpeg)) << "ffmpeg outlived the publisher";
        }
    }

    std::string tmp, out, source, sourceBytes;
    RunOptions options;
    int stopped = 0, finished = 0;
};

TEST_F(ConvertInterrupt, ConvertOnlyStoppedAnywhereLeavesNoFile) {
    const std::string target = out + "/film.mp4";
    const std::vector<std::string> args = {"--convert-only", target, source};

    // The size of the whole result, to stop at parts of it.
    const RunResult whole = Publish(args, options);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_TRUE(IsRegularFile(target));
    const long long total = static_cast<long long>(fs::file_size(target));
    fs::remove(target);

    std::vector<std::pair<std::string, std::function<bool()>>> stages = {
        {"working folder made", [&] { return !WorkFolder().empty(); }},
        {"temporary result made", [&] { return Temporary(out) >= 0; }},
    };
    for (int quarter = 1; quarter < 4; ++quarter) {
        stages.emplace_back("result written to " + std::to_string(quarter) + "/4",
                            [&, quarter] { return Temporary(out) > total * quarter / 4; });
    }
    int points = 0;
    for (const auto& [stage, reached] : stages) {
        for (const bool alsoFfmpeg : {false, true}) {
            const int signal = points++ % 2 ? SIGINT : SIGTERM;
            SCOPED_TRACE(stage + ", signal " + std::to_string(signal) +
                         (alsoFfmpeg ? ", ffmpeg too" : ""));
            const Stopped s = StopAt(args, reached, signal, alsoFfmpeg);
            ExpectStoppedCleanly(s, out);
            if (s.result.status == 0) {
                EXPECT_EQ(Listing(out), "film.mp4 " + std::to_string(fs::file_size(target)) + "\n");
                fs::remove(target);
            } else {
                EXPECT_EQ(Listing(out), "");
                EXPECT_NE(s.result.err.find(target + " was not written"), std::string::npos)
                    << s.result.err;
            }
            if (HasFailure()) {
                return;
            }
        }
    }
    EXPECT_GE(stopped, 8) << finished << " runs finished before the signal";
    RecordProperty("stopped", stopped);
    RecordProperty("finished", finished);
}

TEST_F(ConvertInterrupt, PublishStoppedWhileConvertingLeavesTheSiteAsItWas) {
    const std::string before = Listing(site);
    const std::string page = test::ReadFile(index);
    const std::vector<std::string> args = Site({"--convert", "--no-poster", source, index});
    // ffmpeg writes its temporary result into the run's working folder.
    const auto converting = [&] {
        const std::string work = WorkFolder();
        return !work.empty() && Temporary(work) > 0;
    };
    int points = 0;
    for (const bool alsoFfmpeg : {false, true}) {
        for (const int signal : {SIGTERM, SIGINT}) {
            SCOPED_TRACE("signal " + std::to_string(signal) + (alsoFfmpeg ? ", ffmpeg too" : ""));
            ++points;
            const Stopped s = StopAt(args, converting, signal, alsoFfmpeg);
            ExpectStoppedCleanly(s, site + "/medias");
            if (s.result.status != 0) {
                EXPECT_EQ(Listing(site), before);
                EXPECT_EQ(test::ReadFile(index), page);
            }
            if (HasFailure()) {
                return;
            }
        }
    }
    EXPECT_GE(stopped, points - 1) << finished << " runs finished before the signal";

    // A run left alone publishes the converted film.
    const RunResult r = Publish(args, options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(IsRegularFile(site + "/medias/long film.mp4")) << Listing(site);
    EXPECT_EQ(Count(test::ReadFile(index), "<video"), 1u);
}

}  // namespace
}  // namespace faults
