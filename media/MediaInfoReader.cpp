// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoReader.h"

#include <cstddef>
#include <mutex>
#include <string>

#include <unistd.h>

// The library's header uses size_t without declaring it: <cstddef> comes first.
#include <MediaInfoDLL/MediaInfoDLL_Static.h>

#include "core/CodePage.h"
#include "media/MediaFields.h"

namespace {

constexpr int kStreamKinds[] = {MediaInfo_Stream_General, MediaInfo_Stream_Video,
                                MediaInfo_Stream_Audio};
// Cover pictures and the like: the engine reads no field this long, and they would only
// swell the probe's answer.
constexpr size_t kLongestValue = size_t{64} * 1024;

}  // namespace

CMediaInfoReader::CMediaInfoReader() {
    static std::once_flag charset;
    // Texts leave as UTF-8, not in the library's idea of the locale.
    std::call_once(charset, [] { MediaInfoA_Option(nullptr, "CharSet", "UTF-8"); });
    m_pHandle = MediaInfoA_New();
}

CMediaInfoReader::~CMediaInfoReader() {
    if (m_pHandle) {
        MediaInfoA_Delete(m_pHandle);
    }
}

bool CMediaInfoReader::Open(int fd, const std::string& path, bool headersOnly) {
    if (!m_pHandle) {
        return false;
    }
    if (headersOnly) {
        MediaInfoA_Option(m_pHandle, "ParseSpeed", "0");
    }
    // The library turns a name into bytes again through the C locale's character set, which
    // loses every non-ASCII name in a C locale; the descriptor's name is plain ASCII and means
    // exactly the file the caller checked.
    std::string name = "/proc/self/fd/" + std::to_string(fd);
    if (::access(name.c_str(), R_OK) != 0) {
        name = codepage::SystemToUtf8(path).value_or(path);
    }
    return MediaInfoA_Open(m_pHandle, name.c_str()) != 0;
}

std::string CMediaInfoReader::Get(int kind, size_t number, const char* parameter) const {
    if (!m_pHandle) {
        return {};
    }
    // The library reuses one buffer per handle for every answer: copy it at once.
    const char* text = MediaInfoA_Get(m_pHandle, static_cast<MediaInfo_stream_C>(kind), number,
                                      parameter, MediaInfo_Info_Text, MediaInfo_Info_Name);
    return text ? std::string(text) : std::string();
}

std::string CMediaInfoReader::Fields() const {
    std::string out;
    if (!m_pHandle) {
        return out;
    }
    for (int kind : kStreamKinds) {
        const auto stream = static_cast<MediaInfo_stream_C>(kind);
        const size_t streams = MediaInfoA_Count_Get(m_pHandle, stream, static_cast<size_t>(-1));
        for (size_t number = 0; number < streams; ++number) {
            const size_t fields = MediaInfoA_Count_Get(m_pHandle, stream, number);
            for (size_t i = 0; i < fields; ++i) {
                const char* name =
                    MediaInfoA_GetI(m_pHandle, stream, number, i, MediaInfo_Info_Name);
                const std::string copied = name ? name : "";
                const char* value =
                    MediaInfoA_GetI(m_pHandle, stream, number, i, MediaInfo_Info_Text);
                const std::string_view text = value ? value : "";
                // An empty value reads the same as one that is not there.
                if (copied.empty() || text.empty() || text.size() > kLongestValue) {
                    continue;
                }
                AppendMediaField(out, kind, number, copied, text);
            }
        }
    }
    return out;
}

std::unique_ptr<IMediaReader> MakeMediaInfoReader() {
    return std::make_unique<CMediaInfoReader>();
}
