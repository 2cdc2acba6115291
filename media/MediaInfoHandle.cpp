// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoHandle.h"

#include <cstddef>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The library's header uses size_t without declaring it: <cstddef> comes first.
#include <MediaInfoDLL/MediaInfoDLL_Static.h>

#include "core/CFileDescriptor.h"
#include "core/CodePage.h"

namespace {

// The library, and the forty others it needs, are loaded on the first media read rather than at
// every start of the programs. All null when it cannot be loaded.
struct MediaInfoLibrary {
    decltype(&MediaInfoA_New) create = nullptr;
    decltype(&MediaInfoA_Delete) destroy = nullptr;
    decltype(&MediaInfoA_Option) option = nullptr;
    decltype(&MediaInfoA_Open) open = nullptr;
    decltype(&MediaInfoA_Get) get = nullptr;
};

template <typename Fn>
void Find(void* library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(::dlsym(library, name));
}

const MediaInfoLibrary& Library() {
    static const MediaInfoLibrary library = [] {
        MediaInfoLibrary found;
        void* handle = ::dlopen("libmediainfo.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            return found;
        }
        Find(handle, "MediaInfoA_New", found.create);
        Find(handle, "MediaInfoA_Delete", found.destroy);
        Find(handle, "MediaInfoA_Option", found.option);
        Find(handle, "MediaInfoA_Open", found.open);
        Find(handle, "MediaInfoA_Get", found.get);
        if (!found.create || !found.destroy || !found.option || !found.open || !found.get) {
            return MediaInfoLibrary();
        }
        // Texts cross the narrow interface as UTF-8, not in the library's idea of the locale.
        found.option(nullptr, "CharSet", "UTF-8");
        return found;
    }();
    return library;
}

}  // namespace

CMediaInfoHandle::CMediaInfoHandle() {
    if (Library().create) {
        m_pHandle = Library().create();
    }
}

CMediaInfoHandle::~CMediaInfoHandle() {
    if (m_pHandle) {
        Library().destroy(m_pHandle);
    }
}

bool CMediaInfoHandle::Open(const std::string& path, bool headersOnly) {
    if (!m_pHandle) {
        return false;
    }
    if (headersOnly) {
        Library().option(m_pHandle, "ParseSpeed", "0");
    }
    // Non-blocking, so a named pipe called "x.mp4" cannot hang the open.
    CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
    return Library().open(m_pHandle, name.c_str()) != 0;
}

std::string CMediaInfoHandle::Get(StreamKind kind, size_t number, const char* parameter) const {
    if (!m_pHandle) {
        return {};
    }
    // The library reuses one buffer per handle for every answer: copy it at once.
    const char* text = Library().get(m_pHandle, static_cast<MediaInfo_stream_C>(kind), number,
                                     parameter, MediaInfo_Info_Text, MediaInfo_Info_Name);
    if (!text) {
        return {};
    }
    const std::string utf8(text);
    return codepage::Utf8ToSystem(utf8).value_or(utf8);
}
