// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/MediaFormat.h"

class IMediaReader;

// The details of one media file. The video fields mean something only while m_nVideoCount > 0
// and the audio fields only while m_nAudioCount > 0: parsing another file leaves the fields of a
// kind it lacks as they were.
class CMediaInfo2 {
public:
    // Fills the record from the file at `path`; false (with a log line) when the file holds
    // neither audio nor video, cannot be read, or is no regular file. A file ffmpeg has just
    // written says all of it in its headers: `HEADERS` reads those alone, where a whole parse
    // reads through most of a large file.
    enum ParseDepth { WHOLE, HEADERS };
    // `inProcess` reads in this process, as CMediaInfoHandle's constructor says.
    bool Parse(const std::string& path, ParseDepth depth = WHOLE,
               std::unique_ptr<IMediaReader> (*inProcess)() = nullptr);
    // Whether the last parsed file plays in browsers as it is.
    bool IsHTML5Media() const;

    std::string GetSizeText() const;
    std::string GetDurationText() const;
    std::string GetFormatText() const;
    std::string GetVideoFormatText() const;
    std::string GetResolutionText() const;
    std::string GetFrameRateText() const;
    std::string GetAudioFormatText() const;
    std::string GetSampleRateText() const;
    std::string GetChannelsText() const;
    // Whether an MP4 or M4A starts playing before it is all loaded; "-" for other formats.
    std::string GetFastStartText() const;
    // An MP4 or M4A whose index comes after its media data.
    bool NeedsFastStart() const;

    int32_t m_nAudioCount = 0;
    int32_t m_nVideoCount = 0;
    int64_t m_nFileSize = 0;
    std::string m_strFormat;
    // MediaInfo's IsStreamable: "Yes" when the index comes first, "No" when it does not, empty
    // when the format has no such thing.
    std::string m_strStreamable;
    float m_fDuration = 0;
    std::string m_strPath;
    std::string m_strVideoFormat;
    std::string m_strVideoProfile;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    float m_fAspectRatio = 0;
    float m_fFrameRate = 0;
    float m_fVideoDuration = 0;
    std::string m_strFrameRateMode;
    // kbit/s
    int32_t m_nVideoBitRate = 0;
    std::string m_strVideoBitRateMode;
    std::string m_strAudioFormat;
    std::string m_strAudioProfile;
    int32_t m_nSampleRate = 0;
    // kbit/s
    int32_t m_nAudioBitRate = 0;
    float m_fAudioDuration = 0;
    std::string m_strAudioBitRateMode;
    int32_t m_nChannels = 0;
};

// The details of one media file, as the wizard and the publisher hand them on.
using MediaDetails = CMediaInfo2;

// `extension` with its dot; letters compared without case.
bool IsSupportedMediaExt(std::string_view extension);

// How MediaInfo's numbers are read: leading digits after optional blanks and sign, 0 when there
// are none, clamped to the type's range rather than overflowing.
int32_t ParseLeadingInt(std::string_view text);
int64_t ParseLeadingInt64(std::string_view text);
// A decimal real in the C locale's form, whatever the user's locale; 0 when there is none.
double ParseLeadingReal(std::string_view text);
