// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

// One libmediainfo handle, released with the object.
class CMediaInfoHandle {
public:
    enum StreamKind : int { STREAM_GENERAL = 0, STREAM_VIDEO = 1, STREAM_AUDIO = 2 };

    CMediaInfoHandle();
    ~CMediaInfoHandle();
    CMediaInfoHandle(const CMediaInfoHandle&) = delete;
    CMediaInfoHandle& operator=(const CMediaInfoHandle&) = delete;

    // A handle was created.
    bool IsReady() const { return m_pHandle != nullptr; }

    // Reads the regular file at `path`, whatever the locale and the bytes of its name; folders,
    // devices and pipes are refused before the library sees them. False when it cannot be read.
    // `headersOnly` stops at what the container's headers say, without sampling the streams.
    bool Open(const std::string& path, bool headersOnly = false);

    // The text of `parameter` of stream `number` of `kind`, in the system code page; empty when
    // the file does not have it.
    std::string Get(StreamKind kind, size_t number, const char* parameter) const;

private:
    void* m_pHandle = nullptr;
};
