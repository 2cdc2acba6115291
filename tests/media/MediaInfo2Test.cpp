// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfo2.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/media/MediaTestSupport.h"
#include "tests/support/Sandbox.h"

namespace {

using mediatest::MediaSamples;

class MediaInfo2Test : public ::testing::Test {
protected:
    // A copy of a sample under another name, since the rules look at the file name.
    std::string CopyAs(const std::string& sample, const std::string& name) {
        return env.sandbox.Write(name, test::ReadFile(MediaSamples::Get(sample)));
    }

    test::Environment env;
};

TEST_F(MediaInfo2Test, Mp3ShowsShortNameStereoAndDashesForVideo) {
    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(MediaSamples::Get("tone.mp3")));
    EXPECT_EQ(info.m_nAudioCount, 1);
    EXPECT_EQ(info.m_nVideoCount, 0);
    EXPECT_EQ(info.m_strAudioProfile, "Layer 3");
    EXPECT_EQ(info.GetAudioFormatText(), "MP3");
    EXPECT_EQ(info.GetChannelsText(), "Stereo");
    EXPECT_EQ(info.GetSampleRateText(), "44100 Hz");
    EXPECT_EQ(info.GetFormatText(), "MPEG Audio");
    EXPECT_EQ(info.GetVideoFormatText(), "-");
    EXPECT_EQ(info.GetResolutionText(), "-");
    EXPECT_EQ(info.GetFrameRateText(), "-");
    EXPECT_EQ(info.GetDurationText(), "00:00:01");
    EXPECT_GT(info.m_nAudioBitRate, 0);
    EXPECT_LT(info.m_nAudioBitRate, 1000) << "kbit/s, not bit/s";
    EXPECT_EQ(info.m_nFileSize, static_cast<int64_t>(test::ReadFile(info.m_strPath).size()));
    EXPECT_TRUE(info.IsHTML5Media());
}

TEST_F(MediaInfo2Test, Mp4CodecRuleHoldsOnlyForTheLowerCaseEnding) {
    {
        SCOPED_TRACE("MPEG-4 Visual with an upper-case ending passes");
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(MediaSamples::Get("visual.MP4")));
        EXPECT_EQ(info.m_strVideoFormat, "MPEG-4 Visual");
        EXPECT_TRUE(info.IsHTML5Media());
    }
    {
        SCOPED_TRACE("the same file ending in lower-case .mp4 fails");
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(CopyAs("visual.MP4", "visual.mp4")));
        EXPECT_FALSE(info.IsHTML5Media());
    }
    {
        SCOPED_TRACE("AVC with AAC passes");
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(MediaSamples::Get("avc-aac.mp4")));
        EXPECT_EQ(info.GetVideoFormatText(), "AVC");
        EXPECT_EQ(info.GetAudioFormatText(), "AAC");
        EXPECT_EQ(info.GetResolutionText(), "320 x 240");
        EXPECT_EQ(info.GetFrameRateText(), "25.00 fps");
        EXPECT_NEAR(info.m_fAspectRatio, 4.0f / 3.0f, 0.01f);
        EXPECT_TRUE(info.IsHTML5Media());
    }
    {
        SCOPED_TRACE("AVC without audio passes");
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(MediaSamples::Get("avc-only.mp4")));
        EXPECT_EQ(info.m_nAudioCount, 0);
        EXPECT_TRUE(info.IsHTML5Media());
    }
    {
        SCOPED_TRACE("AVC with MP3 audio fails");
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(MediaSamples::Get("avc-mp3.mp4")));
        EXPECT_EQ(info.m_strAudioFormat, "MP3");
        EXPECT_FALSE(info.IsHTML5Media());
    }
}

TEST_F(MediaInfo2Test, AviFailsEvenWhenFullyParsed) {
    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(MediaSamples::Get("clip.avi")));
    EXPECT_EQ(info.m_nVideoCount, 1);
    EXPECT_EQ(info.m_nAudioCount, 1);
    EXPECT_EQ(info.GetFormatText(), "AVI");
    EXPECT_FALSE(info.IsHTML5Media());
}

TEST_F(MediaInfo2Test, OtherHtml5FormatsPassOnTheirExtension) {
    struct Sample {
        const char* name;
        const char* format;
        const char* audio;
        int videoCount;
    };
    const Sample samples[] = {
        {"clip.webm", "WebM", "Vorbis", 1}, {"clip.ogv", "Ogg", "Vorbis", 1},
        {"tone.m4a", "MPEG-4", "AAC", 0},   {"tone.oga", "Ogg", "Vorbis", 0},
        {"tone.wav", "Wave", "PCM", 0},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.name);
        CMediaInfo2 info;
        ASSERT_TRUE(info.Parse(MediaSamples::Get(s.name)));
        EXPECT_EQ(info.GetFormatText(), s.format);
        EXPECT_EQ(info.GetAudioFormatText(), s.audio);
        EXPECT_EQ(info.m_nVideoCount, s.videoCount);
        EXPECT_EQ(info.GetDurationText(), "00:00:01");
        EXPECT_TRUE(info.IsHTML5Media());
    }
    CMediaInfo2 webm;
    ASSERT_TRUE(webm.Parse(MediaSamples::Get("clip.webm")));
    EXPECT_EQ(webm.GetVideoFormatText(), "VP8");
    EXPECT_EQ(webm.GetResolutionText(), "320 x 240");
}

TEST_F(MediaInfo2Test, SixChannelsRead51) {
    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(MediaSamples::Get("six.wav")));
    EXPECT_EQ(info.m_nChannels, 6);
    EXPECT_EQ(info.GetChannelsText(), "5.1");
}

TEST_F(MediaInfo2Test, DurationShowsTheShorterStream) {
    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(MediaSamples::Get("long-audio.mp4")));
    EXPECT_GT(info.m_fDuration, 2.0f);
    EXPECT_GT(info.m_fAudioDuration, 2.0f);
    EXPECT_LT(info.m_fVideoDuration, 1.5f);
    EXPECT_EQ(info.GetDurationText(), "00:00:01");
}

TEST_F(MediaInfo2Test, ReparsingAudioAfterVideoKeepsOldPictureSizeButShowsDash) {
    CMediaInfo2 info;
    ASSERT_TRUE(info.Parse(MediaSamples::Get("avc-aac.mp4")));
    ASSERT_TRUE(info.Parse(MediaSamples::Get("tone.mp3")));
    EXPECT_EQ(info.m_nVideoCount, 0);
    EXPECT_EQ(info.m_nWidth, 320);
    EXPECT_EQ(info.m_nHeight, 240);
    EXPECT_EQ(info.m_strVideoFormat, "AVC");
    EXPECT_EQ(info.GetResolutionText(), "-");
    EXPECT_EQ(info.GetVideoFormatText(), "-");
    EXPECT_EQ(info.m_strPath, MediaSamples::Get("tone.mp3"));
}

TEST_F(MediaInfo2Test, NamesThatNeedNoLocaleToOpen) {
    // Test processes run in the C locale: the name must not pass through a locale conversion.
    CMediaInfo2 info;
    const std::string odd = CopyAs("tone.mp3", "Grüße 'a' \"b\" $x; -y.mp3");
    ASSERT_TRUE(info.Parse(odd));
    EXPECT_EQ(info.m_strPath, odd);
    EXPECT_EQ(info.GetAudioFormatText(), "MP3");
}

TEST_F(MediaInfo2Test, BadInputFailsWithoutCrashOrHang) {
    mediatest::EnableLog(env, 0);
    const std::string mp4 = test::ReadFile(MediaSamples::Get("avc-aac.mp4"));
    std::mt19937 random(20240607);
    std::string noise(64 * 1024, '\0');
    std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random()); });
    const std::string fifo = env.sandbox / "pipe.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::string path;
    } inputs[] = {
        // The index sits at the end of an MP4 written without faststart.
        {"truncated mp4", env.sandbox.Write("cut.mp4", mp4.substr(0, mp4.size() / 2))},
        {"random bytes", env.sandbox.Write("noise.mp4", noise)},
        {"zero bytes", env.sandbox.Write("empty.mp4", "")},
        {"a folder", env.sandbox.MakeFolder("x.mp4")},
        {"missing", env.sandbox / "missing.mp4"},
        {"named pipe", fifo},
        {"device", "/dev/zero"},
    };
    for (const auto& input : inputs) {
        CMediaInfo2 info;
        info.m_strPath = "before";
        EXPECT_FALSE(info.Parse(input.path)) << input.name;
        EXPECT_EQ(info.m_nAudioCount, 0) << input.name;
        EXPECT_EQ(info.m_nVideoCount, 0) << input.name;
        EXPECT_EQ(info.m_strPath, "before") << input.name;
        EXPECT_FALSE(info.IsHTML5Media()) << input.name;
    }
    const auto lines = mediatest::LogLines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), "Error: m_nAudioCount == 0 && m_nVideoCount == 0."),
        static_cast<long>(std::size(inputs)));
}

TEST(MediaInfo2TextTest, FrameRateShowsConstantRatesOnly) {
    CMediaInfo2 info;
    info.m_nVideoCount = 1;
    info.m_fFrameRate = 29.97f;
    info.m_strFrameRateMode = "Constant";
    EXPECT_EQ(info.GetFrameRateText(), "29.97 fps");
    info.m_strFrameRateMode = "Variable";
    EXPECT_EQ(info.GetFrameRateText(), "Variable");
    info.m_strFrameRateMode = "";
    EXPECT_EQ(info.GetFrameRateText(), "Variable");
    info.m_strFrameRateMode = "constant";
    EXPECT_EQ(info.GetFrameRateText(), "Variable");
}

TEST(MediaInfo2TextTest, ChannelNamesCoverOneToEight) {
    CMediaInfo2 info;
    info.m_nAudioCount = 1;
    const struct {
        int channels;
        const char* text;
    } cases[] = {{0, ""},  {1, "Mono"}, {2, "Stereo"}, {3, "3"}, {6, "5.1"},
                 {7, "7"}, {8, "7.1"},  {9, ""},       {-1, ""}};
    for (const auto& c : cases) {
        info.m_nChannels = c.channels;
        EXPECT_EQ(info.GetChannelsText(), c.text) << c.channels << " channels";
    }
    info.m_nAudioCount = 0;
    info.m_nChannels = 2;
    EXPECT_EQ(info.GetChannelsText(), "");
    EXPECT_EQ(info.GetSampleRateText(), "-");
    EXPECT_EQ(info.GetAudioFormatText(), "-");
}

TEST(MediaInfo2TextTest, DurationUsesTheShorterStreamOnlyWhenBothExist) {
    CMediaInfo2 info;
    info.m_fDuration = 3725.9f;
    info.m_nAudioCount = 1;
    info.m_fAudioDuration = 1.0f;  // ignored without video
    EXPECT_EQ(info.GetDurationText(), "01:02:05");
    info.m_nVideoCount = 1;
    info.m_fAudioDuration = 10.4f;
    info.m_fVideoDuration = 10.0f;
    EXPECT_EQ(info.GetDurationText(), "00:00:10");
    info.m_fAudioDuration = 9.9f;
    EXPECT_EQ(info.GetDurationText(), "00:00:09");
    info.m_nFileSize = 1536;
    EXPECT_EQ(info.GetSizeText(), "1.50 KB");
}

TEST(MediaInfo2TextTest, Html5RuleOnHandFilledRecords) {
    CMediaInfo2 info;
    info.m_nVideoCount = 1;
    info.m_strVideoFormat = "avc";
    info.m_nAudioCount = 1;
    info.m_strAudioFormat = "aac";
    const struct {
        const char* path;
        bool html5;
    } cases[] = {
        {"/m/a.mp4", true}, {"/m/a.Mp4", true},      {"/m/a.webm", true},      {"/m/a.m4v", false},
        {"/m/a", false},    {"/m/a.mp4.avi", false}, {"/m/x.mp4/clip", false},
    };
    for (const auto& c : cases) {
        info.m_strPath = c.path;
        EXPECT_EQ(info.IsHTML5Media(), c.html5) << c.path;
    }
    info.m_strPath = "/m/a.mp4";
    info.m_strAudioFormat = "MP3";
    EXPECT_FALSE(info.IsHTML5Media());
    info.m_strPath = "/m/a.MP4";
    EXPECT_TRUE(info.IsHTML5Media());
    info.m_nAudioCount = 0;
    info.m_nVideoCount = 0;
    EXPECT_FALSE(info.IsHTML5Media());
}

TEST(MediaInfo2TextTest, SupportedExtensionsIgnoreCaseButNeedTheDot) {
    for (const char* ext : {".mp4", ".WEBM", ".ogg", ".Ogv", ".mp3", ".m4a", ".oga", ".wav"}) {
        EXPECT_TRUE(IsSupportedMediaExt(ext)) << ext;
    }
    for (const char* ext : {"mp4", ".m4v", ".avi", "", ".", ".mp44"}) {
        EXPECT_FALSE(IsSupportedMediaExt(ext)) << ext;
    }
}

TEST(MediaInfo2TextTest, NumbersAreReadFromTheirLeadingDigits) {
    EXPECT_EQ(ParseLeadingInt("1499999") / 1000, 1499);
    EXPECT_EQ(ParseLeadingInt("128000 / 64000"), 128000);
    EXPECT_EQ(ParseLeadingInt("  42 px"), 42);
    EXPECT_EQ(ParseLeadingInt("25.000"), 25);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("n/a"), 0);
    EXPECT_EQ(ParseLeadingInt("-3"), -3);
    EXPECT_EQ(ParseLeadingInt("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInt64("5000000000"), INT64_C(5000000000));
    EXPECT_EQ(ParseLeadingInt64("99999999999999999999999"), INT64_MAX);
    EXPECT_DOUBLE_EQ(ParseLeadingReal("1003.000000"), 1003.0);
    EXPECT_DOUBLE_EQ(ParseLeadingReal(" 1.333 (4:3)"), 1.333);
    EXPECT_DOUBLE_EQ(ParseLeadingReal("x"), 0.0);
    EXPECT_DOUBLE_EQ(ParseLeadingReal(""), 0.0);
}

}  // namespace
