// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaConverter.h"

#include <csignal>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/PathUtils.h"
#include "core/Process.h"
#include "media/Task.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/Sandbox.h"

namespace {

CMediaInfo2 Details(const std::string& path, int videos, const std::string& video, int sounds,
                    const std::string& sound) {
    CMediaInfo2 details;
    details.m_strPath = path;
    details.m_nVideoCount = videos;
    details.m_strVideoFormat = video;
    details.m_nAudioCount = sounds;
    details.m_strAudioFormat = sound;
    details.m_fDuration = 10;
    details.m_nWidth = 1280;
    details.m_nHeight = 720;
    details.m_fFrameRate = 25;
    details.m_nFileSize = 10'000'000;
    return details;
}

TEST(ConversionPlanTest, TheCheapestWayThatMakesTheFileWebReady) {
    const struct {
        CMediaInfo2 source;
        ConversionKind kind;
        const char* extension;
    } rows[] = {
        {Details("/m/a.mov", 1, "AVC", 1, "AAC"), CONVERSION_REMUX, ".mp4"},
        {Details("/m/a.mkv", 1, "AVC", 0, ""), CONVERSION_REMUX, ".mp4"},
        {Details("/m/a.mkv", 1, "VP9", 1, "Opus"), CONVERSION_REMUX, ".webm"},
        {Details("/m/a.mkv", 1, "VP8", 1, "Vorbis"), CONVERSION_REMUX, ".webm"},
        {Details("/m/a.mkv", 1, "AV1", 1, "Opus"), CONVERSION_REMUX, ".webm"},
        {Details("/m/a.mp4", 1, "AVC", 1, "MP3"), CONVERSION_AUDIO, ".mp4"},
        {Details("/m/a.mkv", 1, "VP9", 1, "AAC"), CONVERSION_AUDIO, ".webm"},
        {Details("/m/a.avi", 1, "MPEG-4 Visual", 1, "MP3"), CONVERSION_ENCODE, ".mp4"},
        {Details("/m/a.mp4", 1, "HEVC", 1, "AAC"), CONVERSION_ENCODE, ".mp4"},
        {Details("/m/a.ogv", 1, "Theora", 1, "Vorbis"), CONVERSION_ENCODE, ".mp4"},
        {Details("/m/a.flac", 0, "", 1, "FLAC"), CONVERSION_ENCODE, ".m4a"},
        {Details("/m/a.aac", 0, "", 1, "AAC"), CONVERSION_REMUX, ".m4a"},
        {Details("/m/a.mka", 0, "", 1, "Opus"), CONVERSION_REMUX, ".webm"},
        {Details("/m/a.mp4", 1, "AVC", 1, "AAC"), CONVERSION_NONE, ""},
        {Details("/m/a.webm", 1, "VP9", 1, "Opus"), CONVERSION_NONE, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source.m_strPath + " " + row.source.m_strVideoFormat + "/" +
                     row.source.m_strAudioFormat);
        const ConversionPlan plan = PlanConversion(row.source);
        EXPECT_EQ(plan.kind, row.kind);
        EXPECT_EQ(plan.extension, row.extension);
        EXPECT_EQ(plan.Describe().empty(), row.kind == CONVERSION_NONE);
    }
    // The estimate: a container change is quick whatever the length; an encode grows with it.
    CMediaInfo2 mov = Details("/m/a.mov", 1, "AVC", 1, "AAC");
    CMediaInfo2 avi = Details("/m/a.avi", 1, "MPEG-4 Visual", 1, "MP3");
    const double shortEncode = PlanConversion(avi).estimate_s;
    avi.m_fDuration = mov.m_fDuration = 600;
    EXPECT_LT(PlanConversion(mov).estimate_s, 5);
    EXPECT_GT(PlanConversion(avi).estimate_s, 30 * shortEncode / 2);
    EXPECT_NE(PlanConversion(mov).Describe().find("quick"), std::string::npos);
    EXPECT_NE(PlanConversion(avi).Describe().find("minutes"), std::string::npos);
}

TEST(ConversionPlanTest, ProgressLinesOfBothKinds) {
    EXPECT_DOUBLE_EQ(CMediaConverter::ParseProgressTime("out_time_us=1500000"), 1.5);
    EXPECT_DOUBLE_EQ(CMediaConverter::ParseProgressTime("out_time_ms=250000"), 0.25);
    EXPECT_DOUBLE_EQ(CMediaConverter::ParseProgressTime("out_time=00:01:02.500000"), 62.5);
    EXPECT_DOUBLE_EQ(CMediaConverter::ParseProgressTime(
                         "frame=  50 fps=0.0 q=-1.0 size=256kB time=01:00:01.00 bitrate=1k"),
                     3601.0);
    EXPECT_LT(CMediaConverter::ParseProgressTime("out_time_us=N/A"), 0);
    EXPECT_LT(CMediaConverter::ParseProgressTime("progress=continue"), 0);
    EXPECT_LT(CMediaConverter::ParseProgressTime("[mp4] runtime=12"), 0);
}

// Hashes of the streams' packets, one line a stream: equal when nothing was re-encoded.
std::string StreamHashes(const std::string& path, const std::string& map = "0") {
    std::string out;
    EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", path, "-map", map, "-c", "copy", "-f",
                         "streamhash", "-"},
                        &out),
              0)
        << out;
    return out;
}

class MediaConverterTest : public ::testing::Test {
protected:
    std::string Make(const std::string& name, double seconds, bool video, bool audio,
                     const std::vector<std::string>& args, int width = 160, int height = 120) {
        const std::string path = env.sandbox / name;
        EXPECT_TRUE(test::MakeMedia(path, seconds, video, audio, args, width, height)) << name;
        return path;
    }

    CMediaInfo2 Read(const std::string& path) {
        CMediaInfo2 details;
        EXPECT_TRUE(details.Parse(path)) << path;
        return details;
    }

    // Converts into the folder "out"; the result's details, or the test fails.
    CMediaInfo2 Convert(const std::string& path, ConversionKind kind, const std::string& ext) {
        const CMediaInfo2 source = Read(path);
        const std::string before = test::ReadFile(path);
        CTask task;
        CMediaConverter converter(&task, source);
        EXPECT_EQ(converter.Plan().kind, kind) << path;
        EXPECT_EQ(converter.Plan().extension, ext) << path;
        converter.SetOutputFolder(out);
        double last = -1;
        bool ordered = true;
        converter.SetProgressHandler([&](const ConversionProgress& p) {
            ordered = ordered && p.percent >= last;
            last = p.percent;
        });
        EXPECT_TRUE(converter.Convert()) << converter.Problem();
        EXPECT_EQ(converter.OutputPath(), out + "/" + GetPathFileTitle(path) + ext);
        EXPECT_TRUE(ordered);
        EXPECT_DOUBLE_EQ(last, 100.0);
        EXPECT_EQ(test::ReadFile(path), before) << "the original is only read";
        const CMediaInfo2& result = converter.Result();
        EXPECT_TRUE(result.IsHTML5Media());
        EXPECT_EQ(result.m_strPath, converter.OutputPath());
        EXPECT_NEAR(result.m_fDuration, source.m_fDuration, 0.1);
        ExpectSameAsWholeParse(result);
        EXPECT_EQ(Listing(), GetPathFileName(converter.OutputPath()) + "\n")
            << "the result alone, no temporary file";
        if (ext != ".webm") {
            const std::string bytes = test::ReadFile(converter.OutputPath());
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "the index comes first";
        }
        return result;
    }

    // The result was read from its headers alone; the details the user sees must be those a
    // whole parse gives.
    static void ExpectSameAsWholeParse(const CMediaInfo2& quick) {
        CMediaInfo2 whole;
        ASSERT_TRUE(whole.Parse(quick.m_strPath));
        EXPECT_EQ(quick.m_nVideoCount, whole.m_nVideoCount);
        EXPECT_EQ(quick.m_nAudioCount, whole.m_nAudioCount);
        EXPECT_EQ(quick.m_nFileSize, whole.m_nFileSize);
        EXPECT_EQ(quick.m_strFormat, whole.m_strFormat);
        EXPECT_EQ(quick.m_strStreamable, whole.m_strStreamable);
        EXPECT_EQ(quick.m_fDuration, whole.m_fDuration);
        EXPECT_EQ(quick.GetDurationText(), whole.GetDurationText());
        EXPECT_EQ(quick.GetAudioFormatText(), whole.GetAudioFormatText());
        EXPECT_EQ(quick.GetSampleRateText(), whole.GetSampleRateText());
        EXPECT_EQ(quick.GetChannelsText(), whole.GetChannelsText());
        EXPECT_EQ(quick.m_nAudioBitRate, whole.m_nAudioBitRate);
        EXPECT_EQ(quick.GetVideoFormatText(), whole.GetVideoFormatText());
        EXPECT_EQ(quick.GetResolutionText(), whole.GetResolutionText());
        EXPECT_EQ(quick.GetFrameRateText(), whole.GetFrameRateText());
        EXPECT_EQ(quick.GetFastStartText(), whole.GetFastStartText());
        if (whole.m_nVideoCount > 0) {
            EXPECT_EQ(quick.m_strVideoProfile, whole.m_strVideoProfile);
            EXPECT_EQ(quick.m_nVideoBitRate, whole.m_nVideoBitRate);
            EXPECT_EQ(quick.m_fAspectRatio, whole.m_fAspectRatio);
        }
    }

    std::string Listing() const {
        std::set<std::string> sorted;
        if (DIR* dir = ::opendir(out.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    sorted.insert(name);
                }
            }
            ::closedir(dir);
        }
        std::string names;
        for (const std::string& name : sorted) {
            names += name + "\n";
        }
        return names;
    }

    void SetUp() override { CreateFolders(out); }

    test::Environment env;
    std::string out = env.sandbox / "out";
};

TEST_F(MediaConverterTest, WebReadyStreamsChangeContainerOnly) {
    const std::string mov =
        Make("phone.mov", 1, true, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    const CMediaInfo2 mp4 = Convert(mov, CONVERSION_REMUX, ".mp4");
    EXPECT_EQ(StreamHashes(mp4.m_strPath), StreamHashes(mov));
    ::unlink(mp4.m_strPath.c_str());

    const std::string mkv =
        Make("screen.mkv", 1, true, true, {"-c:v", "libvpx-vp9", "-c:a", "libopus"});
    const CMediaInfo2 webm = Convert(mkv, CONVERSION_REMUX, ".webm");
    EXPECT_EQ(webm.m_strVideoFormat, "VP9");
    EXPECT_EQ(StreamHashes(webm.m_strPath), StreamHashes(mkv));
}

TEST_F(MediaConverterTest, H264WithMp3KeepsItsVideoBitForBit) {
    const std::string mp4 = Make("camera.mp4", 1, true, true,
                                 {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "libmp3lame"});
    ::rename(mp4.c_str(), (env.sandbox / "in.mp4").c_str());
    const std::string source = env.sandbox / "in.mp4";
    const CMediaInfo2 result = Convert(source, CONVERSION_AUDIO, ".mp4");
    EXPECT_EQ(result.m_strAudioFormat, "AAC");
    EXPECT_EQ(StreamHashes(result.m_strPath, "0:v"), StreamHashes(source, "0:v"));
    EXPECT_NE(StreamHashes(result.m_strPath, "0:a"), StreamHashes(source, "0:a"));
}

TEST_F(MediaConverterTest, OtherVideoIsEncodedAtItsOwnSize) {
    std::vector<std::pair<std::string, std::vector<std::string>>> sources = {
        {"old.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
        {"flash.flv", {"-c:v", "flv", "-c:a", "libmp3lame", "-ar", "44100"}},
        // Debian's ffmpeg has no AMR encoder: a 3GP of H.263 with AAC sound stands for it.
        {"mobile.3gp", {"-c:v", "h263", "-c:a", "aac", "-ar", "8000", "-ac", "1"}},
    };
    if (test::Run({"sh", "-c", "ffmpeg -hide_banner -encoders | grep -q libx265"}) == 0) {
        sources.push_back({"hevc.mp4", {"-c:v", "libx265", "-c:a", "aac"}});
    }
    for (const auto& [name, args] : sources) {
        SCOPED_TRACE(name);
        const bool h263 = name == "mobile.3gp";
        const std::string path =
            Make(name, 1, true, true, args, h263 ? 176 : 160, h263 ? 144 : 120);
        const CMediaInfo2 result = Convert(path, CONVERSION_ENCODE, ".mp4");
        EXPECT_EQ(result.m_strVideoFormat, "AVC");
        EXPECT_EQ(result.m_strAudioFormat, "AAC");
        EXPECT_EQ(result.m_nWidth, h263 ? 176 : 160);
        EXPECT_EQ(result.m_nHeight, h263 ? 144 : 120);
        EXPECT_NEAR(result.m_fFrameRate, 25, 0.01);
        ::unlink(result.m_strPath.c_str());
    }
}

TEST_F(MediaConverterTest, SoundAloneBecomesAacInM4a) {
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"track.flac", {}}, {"voice.wma", {"-c:a", "wmav2"}}}) {
        SCOPED_TRACE(name);
        const std::string path = Make(name, 1, false, true, args);
        const CMediaInfo2 result = Convert(path, CONVERSION_ENCODE, ".m4a");
        EXPECT_EQ(result.m_nVideoCount, 0);
        EXPECT_EQ(result.m_strAudioFormat, "AAC");
        ::unlink(result.m_strPath.c_str());
    }
}

// Long enough that ffmpeg reports progress before its end, whatever the machine.
class ConversionFaultTest : public MediaConverterTest {
protected:
    std::string LongSource() {
        return Make("long.avi", 120, true, true, {"-c:v", "mpeg4", "-q:v", "20", "-c:a", "mp2"},
                    320, 240);
    }

    void ExpectNothingLeft(const std::string& source, const std::string& before) {
        EXPECT_EQ(Listing(), "");
        EXPECT_EQ(test::ReadFile(source), before);
    }
};

TEST_F(ConversionFaultTest, CancelAndAKilledFfmpegLeaveNoFile) {
    const std::string source = LongSource();
    const std::string before = test::ReadFile(source);
    {
        SCOPED_TRACE("Cancel at the first progress");
        CTask task;
        CMediaConverter converter(&task, Read(source));
        converter.SetOutputFolder(out);
        double at = -1;
        converter.SetProgressHandler([&](const ConversionProgress& p) {
            if (at < 0) {
                at = p.percent;
                converter.Cancel();
            }
        });
        EXPECT_FALSE(converter.Convert());
        EXPECT_TRUE(converter.WasCancelled());
        EXPECT_GE(at, 0);
        EXPECT_LT(at, 100);
        EXPECT_EQ(converter.Problem(), "cancelled");
        ExpectNothingLeft(source, before);
    }
    {
        SCOPED_TRACE("ffmpeg killed from outside");
        CTask task;
        CMediaConverter converter(&task, Read(source));
        converter.SetOutputFolder(out);
        converter.SetProgressHandler([&](const ConversionProgress&) {
            const pid_t pid = converter.GetRunningPid();
            if (pid > 0) {
                ::kill(pid, SIGKILL);
            }
        });
        EXPECT_FALSE(converter.Convert());
        EXPECT_FALSE(converter.WasCancelled());
        EXPECT_EQ(converter.Problem(), "ffmpeg was stopped by signal 9 (Killed)");
        ExpectNothingLeft(source, before);
    }
}

TEST_F(ConversionFaultTest, TruncatedOriginalAndMissingFfmpegSayWhy) {
    const std::string mkv = Make("cut.mkv", 4, true, true, {"-c:v", "mpeg4", "-c:a", "mp2"});
    const CMediaInfo2 whole = Read(mkv);
    const std::string bytes = test::ReadFile(mkv);
    ASSERT_EQ(::truncate(mkv.c_str(), static_cast<off_t>(bytes.size() / 2)), 0);
    const std::string before = test::ReadFile(mkv);
    {
        CTask task;
        CMediaConverter converter(&task, Read(mkv));
        converter.SetOutputFolder(out);
        EXPECT_FALSE(converter.Convert());
        EXPECT_NE(converter.Problem().find("the original seems to be incomplete or damaged"),
                  std::string::npos)
            << converter.Problem();
        ExpectNothingLeft(mkv, before);
    }
    {
        bool converted = true;
        CTask task;
        CMediaConverter converter(&task, whole);
        converter.SetOutputFolder(out);
        {
            const mediatest::ScopedEnv path("PATH", env.sandbox / "nothing");
            const mediatest::ScopedEnv home("DEDE5_VARODO_HOME", env.sandbox / "nothing");
            converted = converter.Convert();
        }
        EXPECT_FALSE(converted);
        EXPECT_EQ(converter.Problem(), "ffmpeg was not found; install the ffmpeg package");
        EXPECT_EQ(Listing(), "");
    }
    {
        // The result would take the original's place.
        const std::string mov = Make("same.mov", 1, true, false, {"-c:v", "libx264"});
        CTask task;
        CMediaConverter converter(&task, Read(mov));
        converter.SetOutputPath(mov);
        EXPECT_FALSE(converter.Convert());
        EXPECT_NE(converter.Problem().find("original"), std::string::npos);
    }
}

}  // namespace
