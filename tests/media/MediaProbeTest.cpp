// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoHandle.h"
#include "media/MediaInfoReader.h"

#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "media/MediaInfo2.h"
#include "tests/media/MediaTestSupport.h"

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
        for (const auto depth : {CMediaInfo2::WHOLE, CMediaInfo2::HEADERS}) {
            SCOPED_TRACE(std::string(sample) + (depth == CMediaInfo2::WHOLE ? "" : ", headers"));
            const std::string& path = mediatest::MediaSamples::Get(sample);
            CMediaInfo2 probed, here;
            ASSERT_TRUE(probed.Parse(path, depth));
            CMediaInfoHandle::ReadInThisProcess(&MakeMediaInfoReader);
            EXPECT_TRUE(here.Parse(path, depth));
            CMediaInfoHandle::ReadInThisProcess(nullptr);
            EXPECT_EQ(Details(probed), Details(here));
        }
    }
}

}  // namespace
