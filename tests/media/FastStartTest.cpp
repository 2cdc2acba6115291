// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/FastStart.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/MediaInfo2.h"
#include "media/VideoThumbnail.h"
#include "tests/support/Mp4Files.h"
#include "tests/support/Sandbox.h"

namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FastStartTest : public ::testing::Test {
protected:
    test::Environment env;
};

TEST_F(FastStartTest, DetailsTellWhetherAnMp4OrM4aStartsFast) {
    const std::string last = env.sandbox / "last.mp4";
    const std::string first = env.sandbox / "first.mp4";
    const std::string audio = env.sandbox / "song.m4a";
    const std::string webm = env.sandbox / "clip.webm";
    ASSERT_TRUE(test::MakeIndexLastMp4(last));
    ASSERT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", last, "-c", "copy", "-movflags",
                         "+faststart", first}),
              0);
    ASSERT_TRUE(test::MakeMedia(audio, 1, false, true, {"-c:a", "aac"}));
    ASSERT_TRUE(test::MakeMedia(webm, 1, true, false, {"-c:v", "libvpx", "-deadline", "realtime"}));

    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(last));
    EXPECT_TRUE(info.NeedsFastStart());
    EXPECT_EQ(info.GetFastStartText(), LoadStringRes(IDS_FAST_START_NO));
    EXPECT_EQ(info.GetFastStartText(), "No \u2014 fixed when published");

    // A parse of another file must not keep the last one's answer.
    ASSERT_TRUE(info.Parse(first));
    EXPECT_FALSE(info.NeedsFastStart());
    EXPECT_EQ(info.GetFastStartText(), "Yes");

    ASSERT_TRUE(info.Parse(audio));
    EXPECT_EQ(test::IndexFirst(audio), !info.NeedsFastStart());

    ASSERT_TRUE(info.Parse(webm));
    EXPECT_FALSE(info.NeedsFastStart());
    EXPECT_EQ(info.GetFastStartText(), "-");
}

TEST_F(FastStartTest, RewriteMovesTheIndexFirstAndKeepsEveryStreamBitForBit) {
    const std::string source = env.sandbox / "in.mp4";
    ASSERT_TRUE(test::MakeIndexLastMp4(source));
    ::chmod(source.c_str(), 0640);
    const std::string folder = env.sandbox.MakeFolder("out");
    const std::string target = folder + "/in.mp4";

    std::vector<std::pair<uint64_t, uint64_t>> calls;
    std::string problem;
    ASSERT_TRUE(FastStartCopyFile(
        source, target,
        [&](uint64_t done, uint64_t total) {
            calls.emplace_back(done, total);
            return true;
        },
        &problem))
        << problem;

    EXPECT_TRUE(test::IndexFirst(target));
    EXPECT_FALSE(test::IndexFirst(source));
    const std::string hashes = test::StreamHashes(source);
    EXPECT_NE(hashes.find("0,v,SHA256="), std::string::npos) << hashes;
    EXPECT_NE(hashes.find("1,a,SHA256="), std::string::npos) << hashes;
    EXPECT_EQ(test::StreamHashes(target), hashes);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"in.mp4"});
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u | S_IWUSR);

    // The progress ends at the whole, never goes back, and is measured against the source.
    ASSERT_FALSE(calls.empty());
    const auto size = static_cast<uint64_t>(test::ReadFile(source).size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, size);
        EXPECT_LE(calls[i].first, size);
        if (i > 0) {
            EXPECT_GE(calls[i].first, calls[i - 1].first);
        }
    }
    EXPECT_EQ(calls.back().first, size);
}

TEST_F(FastStartTest, CancelAndFailureLeaveNoPartialFileAndTheOldTargetAsItWas) {
    const std::string source = env.sandbox / "in.mp4";
    ASSERT_TRUE(test::MakeIndexLastMp4(source));
    const std::string folder = env.sandbox.MakeFolder("out");
    const std::string target = env.sandbox.Write("out/in.mp4", "the old copy");
    {
        SCOPED_TRACE("cancelled at the first progress");
        int calls = 0;
        CFastStartCopy copy;
        errno = 0;
        EXPECT_FALSE(copy.Make(source, folder, [&](uint64_t, uint64_t) {
            ++calls;
            return false;
        }));
        EXPECT_EQ(errno, ECANCELED);
        EXPECT_TRUE(copy.Cancelled());
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(copy.TempPath().empty());
        EXPECT_FALSE(copy.Commit(target));
    }
    {
        SCOPED_TRACE("a source ffmpeg cannot read");
        const std::string broken = env.sandbox.Write("broken.mp4", std::string(4096, 'x'));
        std::string problem;
        EXPECT_FALSE(FastStartCopyFile(broken, target, {}, &problem));
        EXPECT_FALSE(problem.empty());
    }
    {
        SCOPED_TRACE("made, then dropped");
        CFastStartCopy copy;
        ASSERT_TRUE(copy.Make(source, folder));
        ASSERT_FALSE(copy.TempPath().empty());
        EXPECT_TRUE(copy.TempPath().starts_with(folder + "/.~dede5-")) << copy.TempPath();
        EXPECT_TRUE(test::IndexFirst(copy.TempPath()));
        EXPECT_EQ(FolderEntries(folder).size(), 2u);
    }
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"in.mp4"});
    EXPECT_EQ(test::ReadFile(target), "the old copy");
    {
        SCOPED_TRACE("no folder to write into");
        std::string problem;
        errno = 0;
        EXPECT_FALSE(FastStartCopyFile(source, env.sandbox / "gone/in.mp4", {}, &problem));
        EXPECT_EQ(errno, ENOENT);
    }
}

TEST_F(FastStartTest, NearlyBlackPicturesAndABrighterMoment) {
    // Four black seconds, as a fade in from black would start, then six of a test picture.
    const std::string video = env.sandbox / "fade.mp4";
    ASSERT_EQ(test::Run({"ffmpeg",
                         "-v",
                         "error",
                         "-f",
                         "lavfi",
                         "-i",
                         "color=black:size=320x240:rate=25:duration=4",
                         "-f",
                         "lavfi",
                         "-i",
                         "testsrc=size=320x240:rate=25:duration=6",
                         "-filter_complex",
                         "[0][1]concat=n=2:v=1:a=0",
                         "-c:v",
                         "libx264",
                         "-preset",
                         "ultrafast",
                         "-pix_fmt",
                         "yuv420p",
                         video}),
              0);
    const std::string first = env.sandbox / "first.jpg";
    const std::string later = env.sandbox / "later.jpg";
    ASSERT_TRUE(MakeStillPicture(video, first));
    ASSERT_TRUE(MakeStillPicture(video, later, 5.5));
    const auto dark = MeasurePictureLuma(first);
    const auto bright = MeasurePictureLuma(later);
    ASSERT_TRUE(dark && bright);
    EXPECT_TRUE(IsNearlyBlack(*dark)) << *dark;
    EXPECT_FALSE(IsNearlyBlack(*bright)) << *bright;
    EXPECT_LT(*dark, 20);

    const std::string scratch = env.sandbox / "scratch.jpg";
    const auto moment = FindBrighterMoment(video, 10, scratch);
    ASSERT_TRUE(moment);
    EXPECT_GE(*moment, 4);
    EXPECT_LT(*moment, 10);
    EXPECT_FALSE(PathExists(scratch));

    // All black: nothing to suggest. Not a picture: nothing to measure.
    const std::string black = env.sandbox / "black.mp4";
    ASSERT_EQ(test::Run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                         "color=black:size=160x120:rate=10:duration=5", "-c:v", "libx264",
                         "-preset", "ultrafast", "-pix_fmt", "yuv420p", black}),
              0);
    EXPECT_FALSE(FindBrighterMoment(black, 5, scratch));
    EXPECT_FALSE(MeasurePictureLuma(env.sandbox.Write("text.jpg", "not a picture")));
    EXPECT_FALSE(MeasurePictureLuma(env.sandbox / "missing.jpg"));
}

}  // namespace
