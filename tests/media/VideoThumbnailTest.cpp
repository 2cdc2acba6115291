// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/VideoThumbnail.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Process.h"
#include "media/Task.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/Sandbox.h"

namespace {

using mediatest::MediaSamples;
using mediatest::ScopedEnv;

constexpr const char* kFrameLine =
    "frame=    1 fps=0.0 q=2.0 Lsize=N/A time=00:00:00.40 bitrate=N/A speed=20.1x\r\n";

class VideoThumbnailTest : public ::testing::Test {
protected:
    VideoThumbnailTest()
        : install(env.sandbox.MakeFolder("install")), home("DEDE5_VARODO_HOME", install) {}

    // ffmpeg played by the stand-in, printing `output`.
    void FakeFfmpeg(const std::string& output) {
        mediatest::InstallStandIn(install, "ffmpeg");
        mediatest::InstallStandIn(install, "ffmpeg-webm");
        m_output.reset();  // restores the old value before the new one is set
        m_output = std::make_unique<ScopedEnv>("DEDE5_STANDIN_OUTPUT",
                                               env.sandbox.Write("output.txt", output));
    }

    test::Environment env;
    std::string install;
    ScopedEnv home;

private:
    std::unique_ptr<ScopedEnv> m_output;
};

TEST_F(VideoThumbnailTest, WebmAndOggInputUseTheWebmBuild) {
    const std::string webm = mediatest::InstallStandIn(install, "ffmpeg-webm");
    const std::string general = mediatest::InstallStandIn(install, "ffmpeg");
    EXPECT_EQ(GetFfmpegPath("/v/movie.webm"), webm);
    EXPECT_EQ(GetFfmpegPath("/v/movie.OGG"), webm);
    EXPECT_EQ(GetFfmpegPath("/v/movie.WebM"), webm);
    EXPECT_EQ(GetFfmpegPath("/v/movie.ogv"), general);
    EXPECT_EQ(GetFfmpegPath("/v/movie.oga"), general);
    EXPECT_EQ(GetFfmpegPath("/v/movie.mp4"), general);
    EXPECT_EQ(GetFfmpegPath("/v/x.webm/movie"), general);
}

TEST_F(VideoThumbnailTest, WithoutAUsableBundledBuildTheOneOnPathRuns) {
    const std::string onPath = FindOnPath("ffmpeg");
    ASSERT_FALSE(onPath.empty()) << "the tests need ffmpeg on PATH";
    EXPECT_EQ(GetFfmpegPath("/v/movie.mp4"), onPath);
    {
        SCOPED_TRACE("not executable");
        env.sandbox.Write("install/encoder/ffmpeg", "#!/bin/sh\n");
        EXPECT_EQ(GetFfmpegPath("/v/movie.mp4"), onPath);
    }
    {
        SCOPED_TRACE("a folder");
        env.sandbox.MakeFolder("install/encoder/ffmpeg-webm");
        EXPECT_EQ(GetFfmpegPath("/v/movie.webm"), onPath);
    }
    {
        SCOPED_TRACE("nothing on PATH either");
        ScopedEnv path("PATH", env.sandbox.MakeFolder("empty-bin"));
        EXPECT_EQ(GetFfmpegPath("/v/movie.mp4"), "ffmpeg");
        EXPECT_FALSE(MakeStillPicture(env.sandbox / "a.mp4", env.sandbox / "a.jpg"));
    }
}

TEST_F(VideoThumbnailTest, ArgumentTextAndCommandLineForTheLog) {
    FakeFfmpeg(kFrameLine);
    CTask task("");
    CVideoThumbnail thumbnail(&task, "/srv/site/a.mp4", "/srv/site/a.jpg");
    EXPECT_TRUE(thumbnail.Start());
    EXPECT_EQ(thumbnail.m_strArgs,
              " -i \"/srv/site/a.mp4\" -f mjpeg -t 1 -r 1 -y \"/srv/site/a.jpg\"");
    const std::string path = install + "/encoder/ffmpeg";
    EXPECT_EQ(thumbnail.GetCommandLine(path),
              "\"" + path + "\"  -i \"/srv/site/a.mp4\" -f mjpeg -t 1 -r 1 -y \"/srv/site/a.jpg\"");
    EXPECT_EQ(thumbnail.m_nFrameCount, 1);
    EXPECT_FALSE(thumbnail.CanPause());
    EXPECT_FALSE(thumbnail.CanCancel());
}

TEST_F(VideoThumbnailTest, FileNamesReachFfmpegUnchanged) {
    FakeFfmpeg(kFrameLine);
    const std::string argsFile = env.sandbox / "args";
    ScopedEnv record("DEDE5_STANDIN_ARGS", argsFile);
    const std::string input = env.sandbox / "-my \"best\" clip's $HOME; rm -rf ~ Grüße.webm";
    const std::string picture = env.sandbox / "-out `id` & ñ.jpg";
    EXPECT_TRUE(MakeStillPicture(input, picture));
    EXPECT_EQ(mediatest::ReadArgs(argsFile),
              (std::vector<std::string>{install + "/encoder/ffmpeg-webm", "-i", input, "-f",
                                        "mjpeg", "-t", "1", "-r", "1", "-y", picture}));
    EXPECT_TRUE(MakeStillPicture("-relative.mp4", "-out.jpg"));
    EXPECT_EQ(mediatest::ReadArgs(argsFile)[2], "-relative.mp4");
}

TEST_F(VideoThumbnailTest, ResultNeedsExitZeroAndAFrame) {
    {
        SCOPED_TRACE("exit 0 without a frame line");
        FakeFfmpeg("Input #0, mov,mp4\r\nOutput #0, mjpeg\r\nvideo:0kB\n");
        EXPECT_FALSE(MakeStillPicture(env.sandbox / "a.mp4", env.sandbox / "a.jpg"));
    }
    {
        SCOPED_TRACE("frame 0 only");
        FakeFfmpeg("frame=    0 fps=0.0 q=0.0 size=N/A time=00:00:00.00\n");
        EXPECT_FALSE(MakeStillPicture(env.sandbox / "a.mp4", env.sandbox / "a.jpg"));
    }
    {
        SCOPED_TRACE("a frame, then exit 1");
        FakeFfmpeg(kFrameLine);
        ScopedEnv code("DEDE5_STANDIN_EXIT", "1");
        EXPECT_FALSE(MakeStillPicture(env.sandbox / "a.mp4", env.sandbox / "a.jpg"));
    }
    {
        SCOPED_TRACE("a frame and exit 0");
        FakeFfmpeg(kFrameLine);
        EXPECT_TRUE(MakeStillPicture(env.sandbox / "a.mp4", env.sandbox / "a.jpg"));
    }
}

TEST_F(VideoThumbnailTest, PictureOverTheVideoItselfIsRefusedUnrun) {
    FakeFfmpeg(kFrameLine);
    const std::string argsFile = env.sandbox / "args";
    ScopedEnv record("DEDE5_STANDIN_ARGS", argsFile);
    const std::string video = env.sandbox.Write("clip.mp4", "precious");
    EXPECT_FALSE(MakeStillPicture(video, env.sandbox / "./clip.mp4"));
    EXPECT_FALSE(PathExists(argsFile));
    EXPECT_EQ(test::ReadFile(video), "precious");
}

TEST_F(VideoThumbnailTest, RealFfmpegWritesAJpegFromAVideo) {
    const std::string picture = env.sandbox.Write("poster.jpg", "old picture");
    ASSERT_TRUE(MakeStillPicture(MediaSamples::Get("avc-aac.mp4"), picture));
    const std::string jpeg = test::ReadFile(picture);
    ASSERT_GE(jpeg.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);

    const std::string odd = env.sandbox.Write("it's \"my\" $clip; Grüße.webm",
                                              test::ReadFile(MediaSamples::Get("clip.webm")));
    const std::string oddPicture = env.sandbox / "it's \"my\" $clip; Grüße.jpg";
    EXPECT_TRUE(MakeStillPicture(odd, oddPicture));
    EXPECT_EQ(test::ReadFile(oddPicture).substr(0, 2), "\xFF\xD8");
}

TEST_F(VideoThumbnailTest, RealFfmpegGivesNoPictureFromAudio) {
    EXPECT_FALSE(MakeStillPicture(MediaSamples::Get("tone.mp3"), env.sandbox / "tone.jpg"));
}

TEST(FrameCountTest, StatusLinesAtTheLineStartOnly) {
    const struct {
        const char* line;
        bool match;
        int frames;
    } cases[] = {
        {"frame=    1 fps=0.0 q=2.0 size=N/A time=00:00:00.40 bitrate=N/A", true, 1},
        {"frame=\t12 q=2.0 time=\t1.5", true, 12},
        {"frame=25 time=00:00:01.00", true, 25},
        {"frame=99999999999 time=0", true, 2147483647},
        {" frame=1 time=0.40", false, 0},
        {"frame=1 fps=0.0", false, 0},
        {"frame= x time=0.40", false, 0},
        {"Frame=1 time=0.40", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        int frames = 0;
        EXPECT_EQ(CVideoThumbnail::ParseFrameCount(c.line, &frames), c.match) << c.line;
        EXPECT_EQ(frames, c.frames) << c.line;
    }
}

}  // namespace
