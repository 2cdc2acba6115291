// SPDX-License-Identifier: GPL-3.0-or-later
// The poster is one step of the job: one ffmpeg run however many pages the media goes into.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

// Counts its runs, then takes the picture with the real ffmpeg.
constexpr const char* kCountingFfmpeg =
    "#!/bin/sh\n"
    "echo run >> \"$DEDE5_TEST_COUNT\"\n"
    "exec ffmpeg \"$@\" </dev/null\n";

class PosterOnce : public FaultTest {};

TEST_F(PosterOnce, OneFfmpegRunForAHundredPages) {
    std::vector<std::string> pages;
    for (int i = 0; i < 100; ++i) {
        pages.push_back(env.sandbox.Write("site/pages/page-" + std::to_string(i) + ".htm", kPage));
    }
    const std::string count = env.sandbox / "ffmpeg-runs";
    RunOptions options;
    options.env = {{"DEDE5_VARODO_HOME", FakeInstall(env.sandbox, "install", kCountingFfmpeg)},
                   {"DEDE5_TEST_COUNT", count}};
    std::vector<std::string> args = {"--poster", SampleMedia("movie.mp4")};
    args.insert(args.end(), pages.begin(), pages.end());
    const RunResult r = Publish(Site(args), options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFile(count), "run\n");
    for (const std::string& page : pages) {
        const std::string text = test::ReadFile(page);
        EXPECT_EQ(Count(text, "<video"), 1u) << page;
        EXPECT_NE(text.find("poster=\"../medias/movie.jpg\""), std::string::npos) << page;
    }
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.jpg"));
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.mp4"));
}

TEST_F(PosterOnce, NoRunWhenNoPageCanBeLoadedOrThePosterIsOff) {
    const std::string count = env.sandbox / "ffmpeg-runs";
    RunOptions options;
    options.env = {{"DEDE5_VARODO_HOME", FakeInstall(env.sandbox, "install", kCountingFfmpeg)},
                   {"DEDE5_TEST_COUNT", count}};
    const RunResult refused =
        Publish(Site({"--poster", SampleMedia("movie.mp4"), site + "/missing.htm"}), options);
    EXPECT_EQ(refused.status, 3) << refused.err;
    const RunResult off = Publish(Site({"--no-poster", SampleMedia("movie.mp4"), index}), options);
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_FALSE(PathExists(count)) << "ffmpeg ran";
    EXPECT_EQ(test::ReadFile(index).find("poster="), std::string::npos);
}

}  // namespace
}  // namespace faults
