// SPDX-License-Identifier: GPL-3.0-or-later
// Wall time of MakeStillPicture on a 10-second 640x360 MP4 against the same ffmpeg command run
// through the bare process runner with 1 ms idle waits, median of several runs each. The encoder
// should add next to nothing: one that slept a whole second after the first output would show a
// ratio near 4.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Timing.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

namespace {

using bench::Median;
using bench::Seconds;

constexpr int kRuns = 11;

// The same command through the bare process runner, its output read by nobody and every idle
// wait cut to 1 ms: what starting and waiting for ffmpeg costs at best.
bool RunDirectly(const std::string& ffmpeg, const std::string& input, const std::string& jpeg) {
    ProcessRequest request;
    request.argv = {ffmpeg, "-i", input, "-f", "mjpeg", "-t", "1", "-r", "1", "-y", jpeg};
    request.idleWaitBeforeOutput_ms = 1;
    request.idleWaitAfterOutput_ms = 1;
    return RunProcess(request, {}).Succeeded();
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
