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

#include "bench/Films.h"
#include "bench/Timing.h"
#include "core/Process.h"
#include "media/FastStart.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

namespace {

using bench::Median;
using bench::Seconds;

constexpr int kRuns = 8;
constexpr long long kMegabytes = 200;
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

// What each pair of runs measured.
struct Samples {
    std::vector<double> runner, plain, runnerCpu, plainCpu, runnerSelf, pairs;
    uint64_t seen = 0;  // the last progress reported
};

// Pair `i` of runs, in turn; false when one failed or the two wrote different bytes.
bool MeasurePair(int i, const std::string& ffmpeg, const std::string& video,
                 const std::string& ours, const std::string& direct, Samples& s) {
    bool ok = true;
    ::unlink(ours.c_str());
    ::unlink(direct.c_str());
    const auto measureOurs = [&] {
        const double cpu = CpuSeconds();
        const double self = CpuSeconds(RUSAGE_SELF);
        s.runner.push_back(Seconds([&] {
            ok = FastStartCopyFile(video, ours,
                                   [&](uint64_t done, uint64_t) {
                                       s.seen = done;
                                       return true;
                                   }) &&
                 ok;
        }));
        s.runnerCpu.push_back(CpuSeconds() - cpu);
        s.runnerSelf.push_back(CpuSeconds(RUSAGE_SELF) - self);
    };
    const auto measurePlain = [&] {
        const double cpu = CpuSeconds();
        s.plain.push_back(Seconds([&] { ok = RunDirectly(ffmpeg, video, direct) && ok; }));
        s.plainCpu.push_back(CpuSeconds() - cpu);
    };
    bench::InTurn(i, measureOurs, measurePlain);
    s.pairs.push_back(s.runner.back() / s.plain.back());
    std::printf(
        "run %d: fast-start copy %.1f ms (CPU %.1f ms, %.1f ms of it this process), "
        "ffmpeg directly %.1f ms (CPU %.1f ms)\n",
        i + 1, s.runner.back() * 1000, s.runnerCpu.back() * 1000, s.runnerSelf.back() * 1000,
        s.plain.back() * 1000, s.plainCpu.back() * 1000);
    return ok && test::ReadFile(ours) == test::ReadFile(direct);
}

}  // namespace

int main() {
    test::Sandbox sandbox;
    const std::string video = sandbox / "big.mp4";
    if (!bench::MakeFilledFilm(video, kMegabytes, kSeconds)) {
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
    Samples s;
    for (int i = 0; i < kRuns; ++i) {
        if (!MeasurePair(i, ffmpeg, video, ours, direct, s)) {
            std::fprintf(stderr, "run %d failed or the outputs differ\n", i + 1);
            return 1;
        }
    }
    std::printf("fast-start copy median: %.1f ms, CPU %.1f ms (progress reached %llu bytes)\n",
                Median(s.runner) * 1000, Median(s.runnerCpu) * 1000,
                static_cast<unsigned long long>(s.seen));
    std::printf("ffmpeg directly median: %.1f ms, CPU %.1f ms\n", Median(s.plain) * 1000,
                Median(s.plainCpu) * 1000);
    std::printf("ratio of the medians: %.3f, of the CPU medians: %.3f\n",
                Median(s.runner) / Median(s.plain), Median(s.runnerCpu) / Median(s.plainCpu));
    // The two runs of a pair share the machine's load of the moment, which on a busy machine
    // moves either side by more than the program adds; the median of the pairs' ratios follows
    // what the program adds, not who else was running.
    std::printf("faststart/ffmpeg ratio: %.3f\n", Median(s.pairs));
    return 0;
}
