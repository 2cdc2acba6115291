// SPDX-License-Identifier: GPL-3.0-or-later
// Wall time of making media web-ready through the converter (temporary file, ffmpeg run through
// the encoder runner with its progress read, the result read again and renamed into place)
// against the same ffmpeg command run directly, the median of the ratios of several pairs of runs:
//   convert/ffmpeg  a 30-s 720p MPEG-4 AVI encoded to H.264 + AAC
//   remux/ffmpeg    a large H.264 + AAC MOV whose streams are copied into MP4
// Both sides run the same ffmpeg with the same codec arguments; what the ratios show is what the
// program adds. Usage: bench_convert [MOV size in MB, default 500]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/Films.h"
#include "bench/Timing.h"
#include "core/Process.h"
#include "media/MediaConverter.h"
#include "media/MediaInfo2.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

namespace {

using bench::Median;
using bench::Seconds;

constexpr int kEncodeRuns = 3;
constexpr int kRemuxRuns = 7;
constexpr int kEncodeSeconds = 30;
constexpr long long kRemuxSeconds = 40;

bool MakeSource(const std::vector<std::string>& args, const std::string& path) {
    std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(path);
    return test::Run(argv) == 0;
}

bool ThroughConverter(const CMediaInfo2& source, const std::string& output, int& reports,
                      std::string& problem) {
    CTask task;
    CMediaConverter converter(&task, source);
    converter.SetOutputPath(output);
    converter.SetProgressHandler([&](const ConversionProgress&) { ++reports; });
    if (!converter.Convert()) {
        problem = converter.Problem();
        return false;
    }
    return true;
}

bool Directly(const std::string& ffmpeg, const CMediaInfo2& source, const std::string& output) {
    ProcessRequest request;
    request.argv = {ffmpeg,  "-nostdin", "-hide_banner",  "-loglevel",
                    "error", "-i",       source.m_strPath};
    const std::vector<std::string> codec = CMediaConverter::CodecArguments(PlanConversion(source));
    request.argv.insert(request.argv.end(), codec.begin(), codec.end());
    request.argv.insert(request.argv.end(), {"-y", output});
    request.idleWaitBeforeOutput_ms = 1;
    request.idleWaitAfterOutput_ms = 1;
    return RunProcess(request, {}).Succeeded();
}

// `runs` pairs of runs, the side that goes first alternating, since the state the page cache is
// left in by the pair before moves either side by more than the program adds. `ratio` is the
// median of the pairs' ratios; false when a run fails. `same` says whether both sides wrote the
// same bytes every time. The old results are removed outside the timing: freeing a large file
// is no part of either side's work.
bool Compare(const char* name, const CMediaInfo2& source, int runs, const test::Sandbox& sandbox,
             double& ratio, bool& same) {
    const std::string ffmpeg = GetFfmpegPath(source.m_strPath);
    const std::string extension = PlanConversion(source).extension;
    const std::string a = sandbox / (std::string(name) + "-ours" + extension);
    const std::string b = sandbox / (std::string(name) + "-direct" + extension);
    std::vector<double> converter, plain, pairs;
    int reports = 0;
    same = true;
    for (int i = 0; i < runs; ++i) {
        bool ok = true;
        std::string problem;
        ::unlink(a.c_str());
        ::unlink(b.c_str());
        const auto ours = [&] {
            converter.push_back(
                Seconds([&] { ok = ThroughConverter(source, a, reports, problem) && ok; }));
        };
        const auto direct = [&] {
            plain.push_back(Seconds([&] { ok = Directly(ffmpeg, source, b) && ok; }));
        };
        bench::InTurn(i, ours, direct);
        pairs.push_back(converter.back() / plain.back());
        if (!ok) {
            std::fprintf(stderr, "%s run %d failed: %s\n", name, i + 1, problem.c_str());
            return false;
        }
        same = same && test::ReadFile(a) == test::ReadFile(b);
    }
    ratio = Median(pairs);
    std::printf(
        "%s: converter median %.1f ms (%d progress reports), ffmpeg directly %.1f ms, "
        "outputs %s\n",
        name, Median(converter) * 1000, reports / runs, Median(plain) * 1000,
        same ? "identical" : "differ");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const long long remuxMegabytes = argc > 1 ? std::atoll(argv[1]) : 500;
    if (remuxMegabytes <= 0) {
        std::fprintf(stderr, "usage: bench_convert [MOV size in MB]\n");
        return 2;
    }
    test::Sandbox sandbox;

    // MPEG-4 Visual is refused by browsers: the whole film is encoded.
    const std::string avi = sandbox / "camera.avi";
    const std::string encodeSeconds = std::to_string(kEncodeSeconds);
    if (!MakeSource(
            {"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25:duration=" + encodeSeconds, "-f",
             "lavfi", "-i", "sine=duration=" + encodeSeconds, "-c:v", "mpeg4", "-q:v", "4", "-c:a",
             "libmp3lame", "-shortest"},
            avi)) {
        std::fprintf(stderr, "ffmpeg could not make the AVI\n");
        return 1;
    }
    const std::string mov = sandbox / "phone.mov";
    if (!bench::MakeFilledFilm(mov, remuxMegabytes, kRemuxSeconds)) {
        std::fprintf(stderr, "ffmpeg could not make the MOV\n");
        return 1;
    }

    CMediaInfo2 encodeSource, remuxSource;
    if (!encodeSource.Parse(avi) || !remuxSource.Parse(mov)) {
        std::fprintf(stderr, "the sources cannot be read\n");
        return 1;
    }
    if (PlanConversion(encodeSource).kind != CONVERSION_ENCODE ||
        PlanConversion(remuxSource).kind != CONVERSION_REMUX) {
        std::fprintf(stderr, "the sources do not take the conversions measured\n");
        return 1;
    }
    std::printf("encode: %s (%d s 720p, %lld bytes), %d runs each\n", avi.c_str(), kEncodeSeconds,
                static_cast<long long>(encodeSource.m_nFileSize), kEncodeRuns);
    std::printf("remux: %s (%lld bytes), %d runs each\nffmpeg: %s\n", mov.c_str(),
                static_cast<long long>(remuxSource.m_nFileSize), kRemuxRuns,
                GetFfmpegPath(mov).c_str());

    double encodeRatio = 0, remuxRatio = 0;
    bool encodeSame = false, remuxSame = false;
    if (!Compare("encode", encodeSource, kEncodeRuns, sandbox, encodeRatio, encodeSame)) {
        return 1;
    }
    // One of each first for the large file, so neither side pays for a cold cache.
    {
        int reports = 0;
        std::string problem;
        if (!ThroughConverter(remuxSource, sandbox / "warm.mp4", reports, problem) ||
            !Directly(GetFfmpegPath(mov), remuxSource, sandbox / "warm.mp4")) {
            std::fprintf(stderr, "the warm-up remux failed: %s\n", problem.c_str());
            return 1;
        }
        ::unlink((sandbox / "warm.mp4").c_str());
    }
    if (!Compare("remux", remuxSource, kRemuxRuns, sandbox, remuxRatio, remuxSame)) {
        return 1;
    }
    if (!remuxSame) {
        std::fprintf(stderr, "the stream copies differ: the sides did not do the same work\n");
        return 1;
    }
    std::printf("convert/ffmpeg ratio: %.3f\n", encodeRatio);
    std::printf("remux/ffmpeg ratio: %.3f\n", remuxRatio);
    return 0;
}
