// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a media file of each HTML5 extension, read as the select-media page reads
// it. Checked: a file read as media has a stream, its own size and path; one that is not leaves
// the record's path alone; the HTML5 verdict and every display text follow their rules.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "core/PathUtils.h"
#include "media/MediaInfo2.h"
#include "media/MediaInfoReader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr const char* kExtensions[] = {".mp4", ".webm", ".ogg", ".ogv", ".mp3",
                                       ".m4a", ".oga",  ".wav", ".MP4", ".avi"};

bool ModelIsHtml5(const CMediaInfo2& m, const std::string& extension) {
    if (m.m_nAudioCount + m.m_nVideoCount == 0 || !IsSupportedMediaExt(extension)) {
        return false;
    }
    if (extension == ".mp4") {
        if (m.m_nVideoCount > 0 && !EqualsNoCase(m.m_strVideoFormat, "AVC")) {
            return false;
        }
        if (m.m_nAudioCount >= 1 && !EqualsNoCase(m.m_strAudioFormat, "AAC")) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ConfineEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string extension = kExtensions[in.ConsumeIntegral<uint8_t>() % 10];
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const std::string path = fuzz::WriteScratchFile("media" + extension, bytes);

    CMediaInfo2 info;
    // A child per input would be slow; the fuzzer bounds the library's time and memory itself.
    if (!info.Parse(path, CMediaInfo2::WHOLE, &MakeMediaInfoReader)) {
        FUZZ_CHECK(info.m_strPath.empty());
        ::unlink(path.c_str());
        return 0;
    }
    FUZZ_CHECK(info.m_nAudioCount > 0 || info.m_nVideoCount > 0);
    FUZZ_CHECK(info.m_strPath == path);
    FUZZ_CHECK(info.m_nFileSize == static_cast<int64_t>(bytes.size()));
    FUZZ_CHECK(info.IsHTML5Media() == ModelIsHtml5(info, extension));

    const bool video = info.m_nVideoCount > 0;
    const bool audio = info.m_nAudioCount > 0;
    FUZZ_CHECK(!info.GetSizeText().empty());
    FUZZ_CHECK(info.GetDurationText().size() >= 8);
    FUZZ_CHECK((info.GetVideoFormatText() == "-") == (!video || info.m_strVideoFormat == "-"));
    FUZZ_CHECK(video || info.GetResolutionText() == "-");
    FUZZ_CHECK(video || info.GetFrameRateText() == "-");
    FUZZ_CHECK(audio || info.GetAudioFormatText() == "-");
    FUZZ_CHECK(audio || info.GetSampleRateText() == "-");
    const std::string channels = info.GetChannelsText();
    FUZZ_CHECK(channels.empty() || (audio && info.m_nChannels >= 1 && info.m_nChannels <= 8));
    if (video && info.m_strFrameRateMode != "Constant") {
        FUZZ_CHECK(info.GetFrameRateText() == "Variable");
    }
    FUZZ_CHECK(info.GetFormatText() == info.m_strFormat);
    ::unlink(path.c_str());
    return 0;
}
