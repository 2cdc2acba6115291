// SPDX-License-Identifier: GPL-3.0-or-later
// Wall time of the fast-start copy of a 200 MB MP4 with its index last (ffmpeg run through the
// process runner, progress read, temporary renamed into place) against the same ffmpeg stream
// copy run directly, median of several runs each. Both sides write the same bytes; what the
// ratio shows is what the program adds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "bench/Timing.h"
#include "core/Process.h"
#include "media/FastStart.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

namespace {

using bench::Median;
using bench::Seconds;

constexpr int kRuns = 8;
constexpr long long kTargetBytes = 200LL << 20;
constexpr long long kSeconds = 40;

// CPU time of this process and its ended children, which is what the machine's other work
// does not change.
double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double CpuSeconds() {
    return CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
}

bool RunDirectly(const std::string& ffmpeg, const std::string& input, const std::string& output) {
    ProcessRequest request;
    request.argv = {
        ffmpeg, "-nostdin", "-hide_banner", "-loglevel",  "error", "-i",  input, "-map", "0",
        "-c",   "copy",     "-movflags",    "+faststart", "-f",    "mp4", "-y",  output};
    request.idleWaitBeforeOutput_ms = 1;
    request.idleWaitAfterOutput_ms = 1;
    return RunProcess(request, {}).Succeeded();
}

}  // namespace

int main() {
    test::Sandbox sandbox;
    const std::string video = sandbox / "big.mp4";
    // A test picture encoded at a constant rate with filler comes to 200 MB quickly: the
    // encoder pads every second to the rate instead of working for it.
    const std::string rate = std::to_string(kTargetBytes * 8 / 1000 / kSeconds) + "k";
    const std::string seconds = std::to_string(kSeconds);
    if (test::Run({"ffmpeg",
                   "-hide_banner",
                   "-loglevel",
                   "error",
                   "-y",
                   "-f",
                   "lavfi",
                   "-i",
                   "testsrc2=size=1280x720:rate=25:duration=" + seconds,
                   "-f",
                   "lavfi",
                   "-i",
                   "sine=duration=" + seconds,
                   "-c:v",
                   "libx264",
                   "-preset",
                   "ultrafast",
                   "-x264-params",
                   "nal-hrd=cbr",
                   "-b:v",
                   rate,
                   "-minrate",
                   rate,
                   "-maxrate",
                   rate,
                   "-bufsize",
                   rate,
                   "-pix_fmt",
                   "yuv420p",
                   "-c:a",
                   "aac",
                   video}) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the test video\n");
        return 1;
    }
    const std::string ffmpeg = GetFfmpegPath(video);
    const std::string ours = sandbox / "ours.mp4";
    const std::string direct = sandbox / "direct.mp4";
    std::printf("video: %s (%lld bytes, index last)\nffmpeg: %s\nruns: %d each\n", video.c_str(),
                static_cast<long long>(test::ReadFile(video).size()), ffmpeg.c_str(), kRuns);

    // One of each first, so neither side pays for a cold cache.
    std::string problem;
    if (!FastStartCopyFile(video, ours, {}, &problem) || !RunDirectly(ffmpeg, video, direct)) {
        std::fprintf(stderr, "a fast-start copy failed: %s\n", problem.c_str());
        return 1;
    }
    std::vector<double> runner, plain, runnerCpu, plainCpu, runnerSelf, pairs;
    uint64_t seen = 0;
    const auto ours_ = [&] {
        return FastStartCopyFile(video, ours, [&](uint64_t done, uint64_t) {
            seen = done;
            return true;
        });
    };
    for (int i = 0; i < kRuns; ++i) {
        bool ok = true;
        ::unlink(ours.c_str());
        ::unlink(direct.c_str());
        const auto measureOurs = [&] {
            const double cpu = CpuSeconds();
            const double self = CpuSeconds(RUSAGE_SELF);
            runner.push_back(Seconds([&] { ok = ours_() && ok; }));
            runnerCpu.push_back(CpuSeconds() - cpu);
            runnerSelf.push_back(CpuSeconds(RUSAGE_SELF) - self);
        };
        const auto measurePlain = [&] {
            const double cpu = CpuSeconds();
            plain.push_back(Seconds([&] { ok = RunDirectly(ffmpeg, video, direct) && ok; }));
            plainCpu.push_back(CpuSeconds() - cpu);
        };
        bench::InTurn(i, measureOurs, measurePlain);
        pairs.push_back(runner.back() / plain.back());
        std::printf(
            "run %d: fast-start copy %.1f ms (CPU %.1f ms, %.1f ms of it this process), "
            "ffmpeg directly %.1f ms (CPU %.1f ms)\n",
            i + 1, runner.back() * 1000, runnerCpu.back() * 1000, runnerSelf.back() * 1000,
            plain.back() * 1000, plainCpu.back() * 1000);
        if (!ok || test::ReadFile(ours) != test::ReadFile(direct)) {
            std::fprintf(stderr, "run %d failed or the outputs differ\n", i + 1);
            return 1;
        }
    }
    std::printf("fast-start copy median: %.1f ms, CPU %.1f ms (progress reached %llu bytes)\n",
                Median(runner) * 1000, Median(runnerCpu) * 1000,
                static_cast<unsigned long long>(seen));
    std::printf("ffmpeg directly median: %.1f ms, CPU %.1f ms\n", Median(plain) * 1000,
                Median(plainCpu) * 1000);
    std::printf("ratio of the medians: %.3f, of the CPU medians: %.3f\n",
                Median(runner) / Median(plain), Median(runnerCpu) / Median(plainCpu));
    // The two runs of a pair share the machine's load of the moment, which on a busy machine
    // moves either side by more than the program adds; the median of the pairs' ratios follows
    // what the program adds, not who else was running.
    std::printf("faststart/ffmpeg ratio: %.3f\n", Median(pairs));
    return 0;
}
