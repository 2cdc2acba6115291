// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoHandle.h"

#include <cstddef>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The library's header uses size_t without declaring it: <cstddef> comes first.
#include <MediaInfoDLL/MediaInfoDLL_Static.h>

#include "core/CFileDescriptor.h"
#include "core/CodePage.h"
#include "core/Folders.h"

CMediaInfoHandle::CMediaInfoHandle() {
    static std::once_flag charset;
    // Texts cross the narrow interface as UTF-8, not in the library's idea of the locale.
    std::call_once(charset, [] { MediaInfoA_Option(nullptr, "CharSet", "UTF-8"); });
    m_pHandle = MediaInfoA_New();
}

CMediaInfoHandle::~CMediaInfoHandle() {
    if (m_pHandle) {
        MediaInfoA_Delete(m_pHandle);
    }
}

bool CMediaInfoHandle::Open(const std::string& path, bool headersOnly) {
    if (!m_pHandle) {
        return false;
    }
    if (headersOnly) {
        MediaInfoA_Option(m_pHandle, "ParseSpeed", "0");
    }
    // Non-blocking, so a named pipe called "x.mp4" cannot hang the open.
    CFileDescriptor file = OpenToRead(path, O_NONBLOCK);
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // The library turns a name into bytes again through the C locale's character set, which
    // loses every non-ASCII name in a C locale; the descriptor's name is plain ASCII and means
    // exactly the file checked above.
    std::string name = "/proc/self/fd/" + std::to_string(file.get());
    if (::access(name.c_str(), R_OK) != 0) {
        name = codepage::SystemToUtf8(path).value_or(path);
    }
    return MediaInfoA_Open(m_pHandle, name.c_str()) != 0;
}

std::string CMediaInfoHandle::Get(StreamKind kind, size_t number, const char* parameter) const {
    if (!m_pHandle) {
        return {};
    }
    // The library reuses one buffer per handle for every answer: copy it at once.
    const char* text = MediaInfoA_Get(m_pHandle, static_cast<MediaInfo_stream_C>(kind), number,
                                      parameter, MediaInfo_Info_Text, MediaInfo_Info_Name);
    if (!text) {
        return {};
    }
    const std::string utf8(text);
    return codepage::Utf8ToSystem(utf8).value_or(utf8);
}
