// SPDX-License-Identifier: GPL-3.0-or-later
// Wall time of making several qualities of a 60-s 1080p H.264 film through the stream maker
// (private folder, ffmpeg through the encoder runner with its progress read, the stream checked
// and named) against the same ffmpeg command run directly, the median of the pairs' ratios:
//   qualities/ffmpeg
// It also prints the command and the stream's size, for the manual.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/Timing.h"
#include "core/Process.h"
#include "media/StreamMaker.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;

uintmax_t FolderSize(const fs::path& folder) {
    uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        bytes += entry.is_regular_file() ? entry.file_size() : 0;
    }
    return bytes;
}

}  // namespace

int main() {
    test::Sandbox sandbox;
    const std::string film = sandbox / "film.mp4";
    if (test::Run({"ffmpeg",    "-hide_banner",
                   "-loglevel", "error",
                   "-f",        "lavfi",
                   "-i",        "testsrc2=size=1920x1080:rate=25:duration=60",
                   "-f",        "lavfi",
                   "-i",        "sine=duration=60",
                   "-c:v",      "libx264",
                   "-preset",   "ultrafast",
                   "-pix_fmt",  "yuv420p",
                   "-c:a",      "aac",
                   "-shortest", film}) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the film\n");
        return 1;
    }
    CMediaInfo2 source;
    if (!source.Parse(film)) {
        std::fprintf(stderr, "the film cannot be read\n");
        return 1;
    }
    std::vector<std::string> argv = {
        GetFfmpegPath(film), "-nostdin", "-hide_banner", "-loglevel", "error", "-i", film};
    const auto stream = CStreamMaker::StreamArguments(PlanRenditions(source.m_nHeight), true);
    argv.insert(argv.end(), stream.begin(), stream.end());
    std::string command;
    for (const std::string& arg : argv) {
        command += (command.empty() ? "" : " ") +
                   (arg.find_first_of(" ;[") == std::string::npos ? arg : "'" + arg + "'");
    }
    std::printf("ffmpeg alone: %s\n", command.c_str());

    std::vector<double> ours, alone, pairs;
    for (int i = 0; i < kRuns; ++i) {
        const fs::path a = sandbox / ("ours-" + std::to_string(i));
        const fs::path b = sandbox / ("alone-" + std::to_string(i));
        bool ok = true;
        std::string problem;
        bench::InTurn(
            i,
            [&] {
                ours.push_back(bench::Seconds([&] {
                    CTask task;
                    CStreamMaker maker(&task, source);
                    ok = maker.Make(a) && ok;
                    problem = maker.Problem();
                }));
            },
            [&] {
                fs::create_directories(b);
                ProcessRequest request;
                request.argv = argv;
                request.workingFolder = b;
                alone.push_back(
                    bench::Seconds([&] { ok = RunProcess(request, {}).Succeeded() && ok; }));
            });
        if (!ok) {
            std::fprintf(stderr, "run %d failed: %s\n", i + 1, problem.c_str());
            return 1;
        }
        pairs.push_back(ours.back() / alone.back());
        std::printf("run %d: stream %ju bytes, alone %ju bytes\n", i + 1, FolderSize(a),
                    FolderSize(b));
        fs::remove_all(a);
        fs::remove_all(b);
    }
    std::printf("stream maker median %.1f s, ffmpeg alone %.1f s\n", bench::Median(ours),
                bench::Median(alone));
    std::printf("qualities/ffmpeg ratio: %.3f\n", bench::Median(pairs));
    return 0;
}
