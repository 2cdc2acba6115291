// SPDX-License-Identifier: GPL-3.0-or-later
// What the publisher could not do is said, also with -q, and its status is not 0.
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"
#include "tests/support/Mp4Files.h"

namespace faults {
namespace {

class HonestStatus : public FaultTest {};

TEST_F(HonestStatus, PlayerFilesThatCannotBeWrittenAreAnError) {
    env.sandbox.MakeFolder("site/js/video-js/video.js");
    const RunResult r = Publish(
        Site({"-q", "--no-poster", "--player", "default", SampleMedia("movie.mp4"), index}));
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("video-js files could not be copied into " + site + "/js/"),
              std::string::npos)
        << r.err;
}

TEST_F(HonestStatus, PrintToAFullOutputIsAnError) {
    RunOptions options;
    options.program = "/bin/sh";
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" >/dev/full", DEDE5_PUBLISH_PROGRAM};
    for (const std::string& arg : Site({"--print", SampleMedia("movie.mp4"), index})) {
        args.push_back(arg);
    }
    const RunResult r = Publish(args, options);
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("could not be printed"), std::string::npos) << r.err;
}

TEST_F(HonestStatus, APageNamedThriceIsPublishedOnce) {
    const std::string alias = site + "/alias.htm";
    ASSERT_EQ(::symlink(index.c_str(), alias.c_str()), 0);
    RunOptions options;
    options.workingFolder = site;
    const RunResult r = Publish(
        Site({"--no-poster", SampleMedia("movie.mp4"), index, "./index.htm", alias}), options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(test::ReadFile(index), "<video"), 1u);
}

TEST_F(HonestStatus, CaptionsThatAreNoSmallFileAreRefusedAtOnce) {
    const std::string fifo = env.sandbox / "pipe.vtt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = env.sandbox.Write("film.vtt", "WEBVTT\n");
    ASSERT_EQ(::truncate(big.c_str(), 233 << 20), 0);
    const struct {
        std::string file;
        const char* said;
    } rows[] = {{fifo, "it is not a regular file"},
                {"/dev/zero", "it is not a regular file"},
                {big, "it holds 244318208 bytes, and a captions file may hold at most 10 MB"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const RunResult r = Publish(
            Site({"--no-poster", "--captions", row.file + ":en", SampleMedia("movie.mp4"), index}));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("Cannot use '" + row.file + "' as captions: " + row.said),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(Count(test::ReadFile(index), "<video"), 0u);
    }
}

TEST_F(HonestStatus, EachRunIsToldAndCountedForWhatItDid) {
    const std::string late = env.sandbox / "late.mp4";
    ASSERT_TRUE(test::MakeIndexLastMp4(late, 4));
    const std::string fifo = env.sandbox / "settings.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string noFfmpeg = env.sandbox.MakeFolder("bin");
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> env;
        int status;
        const char* said;
        bool published;
    } rows[] = {
        {"index last without ffmpeg",
         {"--poster", late},
         {{"PATH", noFfmpeg}},
         6,
         "give --no-faststart to publish it so",
         true},
        {"a poster moment after the last picture",
         {"--poster-at", "3.99", late},
         {},
         1,
         "--poster-at 3.99 is past the end",
         false},
        {"settings from /dev/zero",
         {"--settings", "/dev/zero", late},
         {},
         1,
         "'/dev/zero' is not a regular file",
         false},
        {"settings from a FIFO", {"--settings", fifo, late}, {}, 1, "is not a regular file", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string page = env.sandbox.Write(std::string("site/") + row.name + ".htm", kPage);
        std::vector<std::string> args = row.args;
        args.push_back(page);
        RunOptions options;
        options.env = row.env;
        const std::string before = Listing(site);
        const RunResult r = Publish(Site(args), options);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
        EXPECT_EQ(Count(test::ReadFile(page), "<video"), row.published ? 1u : 0u) << r.err;
        if (!row.published) {
            EXPECT_EQ(Listing(site), before) << "nothing written";
        }
    }
}

TEST_F(HonestStatus, AConvertedMediaNameOfTheLongestLengthIsMade) {
    const std::string title(250, 'n');
    const std::string avi = env.sandbox / (title + ".avi");
    ASSERT_TRUE(test::MakeMedia(avi, 1, true, true, {"-c:v", "mpeg4", "-c:a", "mp2"}, 160, 120));
    const RunResult r = Publish(Site({"--no-poster", "--convert", avi, index}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(IsRegularFile(site + "/medias/" + title + ".mp4")) << Listing(site);
}

}  // namespace
}  // namespace faults
