// SPDX-License-Identifier: GPL-3.0-or-later
// Wall time of MakeStillPicture on a 10-second 640x360 MP4 against the same ffmpeg command run
// directly, median of several runs each. The runner should add next to nothing: a runner that
// slept a whole second after the first output would show a ratio near 4.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "core/PathUtils.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

extern char** environ;

namespace {

constexpr int kRuns = 11;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Fn>
double Seconds(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The same command with the same inherited standard input, its output read by nobody.
bool RunDirectly(const std::string& ffmpeg, const std::string& input, const std::string& jpeg) {
    std::vector<std::string> args = {ffmpeg, "-i", input, "-f", "mjpeg", "-t",
                                     "1",    "-r", "1",   "-y", jpeg};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
    test::Sandbox sandbox;
    const std::string video = sandbox / "bench.mp4";
    if (!test::MakeMedia(
            video, 10, true, true,
            {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac"}, 640,
            360)) {
        std::fprintf(stderr, "ffmpeg could not make the test video\n");
        return 1;
    }
    const std::string ffmpeg = GetFfmpegPath(video);
    const std::string jpeg = sandbox / "bench.jpg";
    std::printf("video: %s (10 s, 640x360, %lld bytes)\nffmpeg: %s\nruns: %d each\n", video.c_str(),
                static_cast<long long>(test::ReadFile(video).size()), ffmpeg.c_str(), kRuns);

    // One of each first, so neither side pays for a cold cache.
    if (!MakeStillPicture(video, jpeg) || !RunDirectly(ffmpeg, video, jpeg)) {
        std::fprintf(stderr, "a still picture could not be made\n");
        return 1;
    }
    std::vector<double> runner, direct;
    for (int i = 0; i < kRuns; ++i) {
        bool ok = true;
        runner.push_back(Seconds([&] { ok = MakeStillPicture(video, jpeg) && ok; }));
        direct.push_back(Seconds([&] { ok = RunDirectly(ffmpeg, video, jpeg) && ok; }));
        if (!ok) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
    }
    const double a = Median(runner);
    const double b = Median(direct);
    std::printf("MakeStillPicture median: %.1f ms\n", a * 1000);
    std::printf("ffmpeg directly median: %.1f ms\n", b * 1000);
    std::printf("still-picture/ffmpeg ratio: %.3f\n", a / b);
    return 0;
}
