// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

class CMediaInfoReader;

// What libmediainfo says of one file. The library reads the file in a child process
// (dede5-media-probe) with bounded memory and time, since a damaged file can make it take
// gigabytes and minutes; a child that fails, is killed or runs too long reads as a file that
// cannot be parsed.
class CMediaInfoHandle {
public:
    enum StreamKind : int { STREAM_GENERAL = 0, STREAM_VIDEO = 1, STREAM_AUDIO = 2 };

    CMediaInfoHandle();
    ~CMediaInfoHandle();
    CMediaInfoHandle(const CMediaInfoHandle&) = delete;
    CMediaInfoHandle& operator=(const CMediaInfoHandle&) = delete;

    // A handle was created.
    bool IsReady() const;

    // Reads the regular file at `path`, whatever the locale and the bytes of its name; folders,
    // devices and pipes are refused before the library sees them. False when it cannot be read.
    // `headersOnly` stops at what the container's headers say, without sampling the streams.
    bool Open(const std::string& path, bool headersOnly = false);

    // The text of `parameter` of stream `number` of `kind`, in the system code page; empty when
    // the file does not have it.
    std::string Get(StreamKind kind, size_t number, const char* parameter) const;

    // Handles made from now on read media in this process, without the child's limits: for the
    // fuzz target, which bounds the library by itself, and for comparing both ways.
    static void ReadInThisProcess(bool inThisProcess);

private:
    bool RunProbe(int fd, const std::string& path, bool headersOnly);

    // Only when reading in this process.
    std::unique_ptr<CMediaInfoReader> m_pReader;
    // The child's answer, by MediaFieldKey.
    std::map<std::string, std::string> m_mapFields;
};
