// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher with an MP4 whose index is last, and with a video that opens on black.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/PublishJob.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "tests/cli/CliRun.h"
#include "tests/support/Mp4Files.h"
#include "tests/support/Sandbox.h"

namespace {

using cli_test::Publish;
using cli_test::Result;

// Every name in the folder and below, hidden ones too.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

constexpr const char* kPage = "<html>\n<head>\n</head>\n<body>\n<p>text</p>\n</body>\n</html>\n";

class PublishFastStart : public ::testing::Test {
protected:
    void SetUp() override {
        site = env.sandbox.MakeFolder("site");
        index = env.sandbox.Write("site/index.htm", kPage);
        movie = env.sandbox / "in/movie.mp4";
        CreateFolders(env.sandbox / "in");
        ASSERT_TRUE(test::MakeIndexLastMp4(movie));
    }
    std::vector<std::string> Site(std::vector<std::string> more) {
        std::vector<std::string> args = {"--site-root",  site,       "--js-path",   "/js/",
                                         "--media-path", "/medias/", "--overwrite", "no"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    test::Environment env;
    std::string site, index, movie;
};

TEST(PublishFastStartArguments, PosterMomentAndFastStartOptions) {
    std::string error;
    auto parsed = ParsePublishArguments({"--poster-at", "2.5", "--no-faststart", "m.mp4", "p.htm"},
                                        false, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->posterAt, 2.5);
    EXPECT_EQ(parsed->fastStart, false);
    parsed = ParsePublishArguments({"--faststart", "m.mp4", "p.htm"}, false, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_FALSE(parsed->posterAt);
    EXPECT_EQ(parsed->fastStart, true);
    for (const char* bad : {"-1", "abc", "2,5", " 2", "1e3", "", "2."}) {
        error.clear();
        EXPECT_FALSE(ParsePublishArguments({"--poster-at", bad, "m.mp4", "p.htm"}, false, error))
            << bad;
        EXPECT_NE(error.find("--poster-at"), std::string::npos) << bad;
    }
    const std::string usage = PublishUsage();
    for (const char* option : {"--poster-at", "--faststart", "--no-faststart"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

TEST_F(PublishFastStart, IndexLastMp4IsPublishedIndexFirstWithTheSameStreams) {
    const Result r = Publish(Site({"--no-poster", movie, index}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string published = site + "/medias/movie.mp4";
    EXPECT_TRUE(test::IndexFirst(published));
    EXPECT_EQ(test::StreamHashes(published), test::StreamHashes(movie));
    EXPECT_NE(test::ReadFile(published), test::ReadFile(movie));
    EXPECT_EQ(Names(site + "/medias"), (std::vector<std::string>{".htaccess", "movie.mp4"}));

    // Published again: the rewrite equals what is there, so nothing is asked or replaced.
    const auto before = std::filesystem::last_write_time(published);
    const Result again = Publish({"--site-root", site, "--js-path", "/js/", "--media-path",
                                  "/medias/", "--overwrite", "ask", "--no-poster", movie, index});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(std::filesystem::last_write_time(published), before);
}

TEST_F(PublishFastStart, NoFastStartCopiesTheFileAsItIs) {
    const Result r = Publish(Site({"--no-poster", "--no-faststart", movie, index}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.mp4"), test::ReadFile(movie));
}

TEST_F(PublishFastStart, AFailedRewriteLeavesNoPartialFileAndKeepsTheOldCopy) {
    // An ffmpeg that writes half a file and fails, as a full disk would end it.
    const std::string install = env.sandbox.MakeFolder("install");
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(DEDE5_PUBLISH_PROGRAM).parent_path())) {
        std::filesystem::create_symlink(entry.path(),
                                        std::filesystem::path(install) / entry.path().filename());
    }
    std::filesystem::remove(std::filesystem::path(install) / "encoder");
    const std::string fake = env.sandbox.Write(
        "install/encoder/ffmpeg",
        "#!/bin/sh\nprev=\nfor a; do [ \"$prev\" = -i ] && in=$a; prev=$a; out=$a; done\n"
        "head -c 1000 \"$in\" > \"$out\"\necho 'No space left on device' >&2\nexit 1\n");
    ::chmod(fake.c_str(), 0755);
    env.sandbox.Write("site/medias/movie.mp4", "the copy published before");
    ::setenv("DEDE5_VARODO_HOME", install.c_str(), 1);
    const Result r = Publish(Site({"--no-poster", "--overwrite", "yes", movie, index}));
    ::unsetenv("DEDE5_VARODO_HOME");
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.mp4"), "the copy published before");
    EXPECT_EQ(Names(site + "/medias"), (std::vector<std::string>{".htaccess", "movie.mp4"}));
}

TEST_F(PublishFastStart, BlackFirstSecondIsReportedAndPosterAtTakesAnotherMoment) {
    // Three black seconds, then a test picture.
    const std::string fade = env.sandbox / "in/fade.mp4";
    ASSERT_EQ(test::Run({"ffmpeg",
                         "-v",
                         "error",
                         "-f",
                         "lavfi",
                         "-i",
                         "color=black:size=320x240:rate=25:duration=3",
                         "-f",
                         "lavfi",
                         "-i",
                         "testsrc=size=320x240:rate=25:duration=5",
                         "-filter_complex",
                         "[0][1]concat=n=2:v=1:a=0",
                         "-c:v",
                         "libx264",
                         "-preset",
                         "ultrafast",
                         "-pix_fmt",
                         "yuv420p",
                         "-movflags",
                         "+faststart",
                         fade}),
              0);
    const Result dark = Publish(Site({"--poster", fade, index}));
    ASSERT_EQ(dark.status, 0) << dark.err;
    EXPECT_NE(dark.err.find("nearly black; --poster-at 4 gives a brighter one"), std::string::npos)
        << dark.err;
    const std::string black = test::ReadFile(site + "/medias/fade.jpg");

    const std::string news = env.sandbox.Write("site/news.htm", kPage);
    const Result chosen =
        Publish(Site({"--poster", "--poster-at", "5", "--overwrite", "yes", fade, news}));
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(chosen.err.find("nearly black"), std::string::npos) << chosen.err;
    EXPECT_NE(test::ReadFile(site + "/medias/fade.jpg"), black);

    const Result past = Publish(Site({"--poster", "--poster-at", "60", fade, news}));
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("past the end"), std::string::npos) << past.err;
}

}  // namespace
