// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfo2.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/printf.h>

#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/MediaInfoHandle.h"

namespace {

constexpr std::array<const char*, 9> kChannelLayouts = {"",  "Mono", "Stereo", "3",  "4",
                                                        "5", "5.1",  "7",      "7.1"};

std::string_view SkipBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

float Seconds(std::string_view milliseconds) {
    return static_cast<float>(ParseLeadingReal(milliseconds) / 1000.0);
}

}  // namespace

int64_t ParseLeadingInt64(std::string_view text) {
    text = SkipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const int digit = c - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
            return negative ? std::numeric_limits<int64_t>::min()
                            : std::numeric_limits<int64_t>::max();
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

int32_t ParseLeadingInt(std::string_view text) {
    return static_cast<int32_t>(std::clamp<int64_t>(ParseLeadingInt64(text),
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

double ParseLeadingReal(std::string_view text) {
    text = SkipBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return result.ec == std::errc() && std::isfinite(value) ? value : 0;
}

bool IsSupportedMediaExt(std::string_view extension) {
    return std::ranges::any_of(kHtml5MediaExtensions,
                               [&](const char* known) { return EqualsNoCase(extension, known); });
}

bool CMediaInfo2::Parse(const std::string& path, ParseDepth depth, MediaReaderFactory inProcess) {
    using Stream = CMediaInfoHandle::StreamKind;
    CMediaInfoHandle mi(inProcess);
    // Whether the open worked shows in the stream counts below.
    mi.Open(path, depth == HEADERS);
    if (!mi.IsReady()) {
        CLog::Instance()->Write("Error: MI.IsReady() == FALSE.\r\n");
        return false;
    }
    const auto general = [&](const char* name) { return mi.Get(Stream::STREAM_GENERAL, 0, name); };
    const auto audio = [&](const char* name) { return mi.Get(Stream::STREAM_AUDIO, 0, name); };
    const auto video = [&](const char* name) { return mi.Get(Stream::STREAM_VIDEO, 0, name); };

    m_nAudioCount = ParseLeadingInt(general("AudioCount"));
    m_nVideoCount = ParseLeadingInt(general("VideoCount"));
    if (m_nAudioCount == 0 && m_nVideoCount == 0) {
        CLog::Instance()->Write("Error: m_nAudioCount == 0 && m_nVideoCount == 0.\r\n");
        return false;
    }
    m_strFormat = general("Format");
    m_strStreamable = general("IsStreamable");
    m_nFileSize = ParseLeadingInt64(general("FileSize"));
    m_fDuration = Seconds(general("Duration"));

    if (m_nAudioCount >= 1) {
        m_strAudioFormat = audio("Format");
        m_strAudioProfile = audio("Format_Profile");
        m_fAudioDuration = Seconds(audio("Duration"));
        if (m_strAudioFormat == "MPEG Audio") {
            if (m_strAudioProfile == "Layer 2") {
                m_strAudioFormat = "MP2";
            } else if (m_strAudioProfile == "Layer 3") {
                m_strAudioFormat = "MP3";
            }
        }
        m_nSampleRate = ParseLeadingInt(audio("SamplingRate"));
        m_nAudioBitRate = ParseLeadingInt(audio("BitRate")) / 1000;
        m_strAudioBitRateMode = audio("BitRate_Mode");
        m_nChannels = ParseLeadingInt(audio("Channel(s)"));
    }

    if (m_nVideoCount >= 1) {
        m_strVideoFormat = video("Format");
        m_strVideoProfile = video("Format_Profile");
        m_fVideoDuration = Seconds(video("Duration"));
        if (m_strVideoFormat == "MPEG Video") {
            const std::string version = video("Format_Version");
            if (version == "Version 1") {
                m_strVideoFormat = "MPEG-1";
            } else if (version == "Version 2") {
                m_strVideoFormat = "MPEG-2";
            }
        }
        m_nWidth = ParseLeadingInt(video("Width"));
        m_nHeight = ParseLeadingInt(video("Height"));
        m_fFrameRate = static_cast<float>(ParseLeadingReal(video("FrameRate")));
        m_strFrameRateMode = video("FrameRate_Mode/String");
        m_nVideoBitRate = ParseLeadingInt(video("BitRate")) / 1000;
        m_strVideoBitRateMode = video("BitRate_Mode");
        m_fAspectRatio = static_cast<float>(ParseLeadingReal(video("DisplayAspectRatio")));
    }

    m_strPath = path;
    return true;
}

bool CMediaInfo2::IsHTML5Media() const {
    if (static_cast<int64_t>(m_nAudioCount) + m_nVideoCount == 0) {
        return false;
    }
    const std::string extension = GetPathExtension(m_strPath);
    if (!IsSupportedMediaExt(extension)) {
        return false;
    }
    // Only the exact lower-case ending is held to the codec rule.
    if (extension == ".mp4") {
        if (m_nVideoCount > 0 && !EqualsNoCase(m_strVideoFormat, "AVC")) {
            return false;
        }
        if (m_nAudioCount >= 1 && !EqualsNoCase(m_strAudioFormat, "AAC")) {
            return false;
        }
    }
    return true;
}

std::string CMediaInfo2::GetSizeText() const {
    return FormatFileSize(m_nFileSize);
}

std::string CMediaInfo2::GetDurationText() const {
    float seconds = m_fDuration;
    if (m_nAudioCount > 0 && m_nVideoCount > 0) {
        seconds = m_fAudioDuration <= m_fVideoDuration ? m_fAudioDuration : m_fVideoDuration;
    }
    return FormatDuration(seconds, 0);
}

std::string CMediaInfo2::GetFormatText() const {
    return m_strFormat;
}

std::string CMediaInfo2::GetVideoFormatText() const {
    return m_nVideoCount > 0 ? m_strVideoFormat : std::string("-");
}

std::string CMediaInfo2::GetResolutionText() const {
    return m_nVideoCount > 0 ? fmt::sprintf("%d x %d", m_nWidth, m_nHeight) : std::string("-");
}

std::string CMediaInfo2::GetFrameRateText() const {
    if (m_nVideoCount <= 0) {
        return "-";
    }
    if (m_strFrameRateMode == "Constant") {
        return fmt::sprintf("%.2f fps", m_fFrameRate);
    }
    return "Variable";
}

std::string CMediaInfo2::GetAudioFormatText() const {
    return m_nAudioCount > 0 ? m_strAudioFormat : std::string("-");
}

std::string CMediaInfo2::GetSampleRateText() const {
    return m_nAudioCount > 0 ? fmt::sprintf("%d Hz", m_nSampleRate) : std::string("-");
}

std::string CMediaInfo2::GetChannelsText() const {
    if (m_nAudioCount <= 0 || m_nChannels < 1 || m_nChannels > 8) {
        return {};
    }
    return kChannelLayouts[static_cast<size_t>(m_nChannels)];
}

bool CMediaInfo2::NeedsFastStart() const {
    return m_strFormat == "MPEG-4" && m_strStreamable == "No";
}

std::string CMediaInfo2::GetFastStartText() const {
    if (m_strFormat != "MPEG-4" || m_strStreamable.empty()) {
        return "-";
    }
    return LoadStringRes(NeedsFastStart() ? IDS_FAST_START_NO : IDS_FAST_START_YES);
}
