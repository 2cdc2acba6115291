// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "media/MediaInfoHandle.h"

// libmediainfo in this process: one handle, released with the object. A damaged file can make
// the library take gigabytes and minutes, so only the media probe, which runs with limits, and
// the fuzz target, which bounds the library itself, read media this way.
class CMediaInfoReader : public IMediaReader {
public:
    CMediaInfoReader();
    ~CMediaInfoReader();
    CMediaInfoReader(const CMediaInfoReader&) = delete;
    CMediaInfoReader& operator=(const CMediaInfoReader&) = delete;

    bool IsReady() const override { return m_pHandle != nullptr; }
    // Reads the regular file open on `fd`; `path`, its name, is used only where /proc is not
    // there. `headersOnly` stops at what the container's headers say.
    bool Open(int fd, const std::string& path, bool headersOnly) override;
    // The UTF-8 text of `parameter` of stream `number` of `kind` (0 general, 1 video, 2 audio).
    std::string Get(int kind, size_t number, const char* parameter) const override;
    // Every field of every general, video and audio stream, as lines for ParseMediaFields.
    std::string Fields() const;

private:
    void* m_pHandle = nullptr;
};

// A MediaReaderFactory for CMediaInfoHandle and CMediaInfo2::Parse.
std::unique_ptr<IMediaReader> MakeMediaInfoReader();
