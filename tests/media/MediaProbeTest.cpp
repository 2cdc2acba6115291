// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoHandle.h"
#include "media/MediaInfoReader.h"

#include <string>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "media/MediaInfo2.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/Sandbox.h"

namespace {

auto Details(const CMediaInfo2& m) {
    return std::tie(m.m_nAudioCount, m.m_nVideoCount, m.m_nFileSize, m.m_strFormat,
                    m.m_strStreamable, m.m_fDuration, m.m_strPath, m.m_strVideoFormat,
                    m.m_strVideoProfile, m.m_nWidth, m.m_nHeight, m.m_fAspectRatio, m.m_fFrameRate,
                    m.m_fVideoDuration, m.m_strFrameRateMode, m.m_nVideoBitRate,
                    m.m_strVideoBitRateMode, m.m_strAudioFormat, m.m_strAudioProfile,
                    m.m_nSampleRate, m.m_nAudioBitRate, m.m_fAudioDuration, m.m_strAudioBitRateMode,
                    m.m_nChannels);
}

// The probe answers by the names the library lists; the engine asks by name, "/String" forms
// included. Whatever it reads must come back as the library in this process says it.
TEST(MediaProbeTest, EveryDetailReadsAsInThisProcess) {
    for (const char* sample : {"avc-aac.mp4", "avc-only.mp4", "avc-mp3.mp4", "visual.MP4",
                               "clip.webm", "clip.ogv", "clip.avi", "tone.mp3", "tone.m4a",
                               "tone.oga", "tone.wav", "six.wav", "long-audio.mp4"}) {
        // Headers first: a whole read's answer, kept, would serve the headers-only read.
        for (const auto depth : {CMediaInfo2::HEADERS, CMediaInfo2::WHOLE}) {
            SCOPED_TRACE(std::string(sample) + (depth == CMediaInfo2::WHOLE ? "" : ", headers"));
            const std::string& path = mediatest::MediaSamples::Get(sample);
            CMediaInfo2 probed, here;
            ASSERT_TRUE(probed.Parse(path, depth));
            EXPECT_TRUE(here.Parse(path, depth, &MakeMediaInfoReader));
            EXPECT_EQ(Details(probed), Details(here));
        }
    }
}

// A file read once is not read again while unchanged; a change that keeps its size and, set back
// by hand, its modification time must still be seen.
TEST(MediaProbeTest, AFileChangedInPlaceIsReadAgain) {
    test::Sandbox sandbox;
    const std::string bytes = test::ReadFile(mediatest::MediaSamples::Get("tone.wav"));
    const size_t format = bytes.find("fmt ");
    ASSERT_NE(format, std::string::npos);
    const std::string path = sandbox.Write("tone.wav", bytes);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    // Another file first, so that this one's times lie in a clock tick before its first read.
    CMediaInfo2 other, first, again, changed;
    ASSERT_TRUE(other.Parse(mediatest::MediaSamples::Get("tone.oga")));
    ASSERT_TRUE(first.Parse(path, CMediaInfo2::WHOLE));
    ASSERT_TRUE(again.Parse(path, CMediaInfo2::HEADERS));
    EXPECT_EQ(Details(first), Details(again));

    // The sample rate, halved in the header, in the same file.
    const uint32_t rate = static_cast<uint32_t>(first.m_nSampleRate) / 2;
    const unsigned char little[] = {static_cast<unsigned char>(rate),
                                    static_cast<unsigned char>(rate >> 8),
                                    static_cast<unsigned char>(rate >> 16), 0};
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pwrite(fd, little, 4, static_cast<off_t>(format + 12)), 4);
    ::close(fd);
    const timespec times[] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_TRUE(changed.Parse(path));
    EXPECT_EQ(changed.m_nSampleRate, static_cast<int32_t>(rate));
}

}  // namespace
