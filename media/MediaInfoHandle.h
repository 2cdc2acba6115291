// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

// libmediainfo read in this process, for the fuzz target and for comparing both ways; only
// programs that link the library itself (media/MediaInfoReader) provide one.
class IMediaReader {
public:
    virtual ~IMediaReader() = default;
    virtual bool IsReady() const = 0;
    virtual bool Open(int fd, const std::string& path, bool headersOnly) = 0;
    virtual std::string Get(int kind, size_t number, const char* parameter) const = 0;
};
// Makes a fresh reader for one file.
using MediaReaderFactory = std::unique_ptr<IMediaReader> (*)();

// What libmediainfo says of one file. The library reads the file in a child process
// (dede5-media-probe) with bounded memory and time, since a damaged file can make it take
// gigabytes and minutes; a child that fails, is killed or runs too long reads as a file that
// cannot be parsed.
class CMediaInfoHandle {
public:
    enum StreamKind : int { STREAM_GENERAL = 0, STREAM_VIDEO = 1, STREAM_AUDIO = 2 };

    // With `inProcess`, media is read in this process through a reader it makes, without the
    // child's limits (the fuzz target bounds the library by itself).
    explicit CMediaInfoHandle(MediaReaderFactory inProcess = nullptr);
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

private:
    bool RunProbe(int fd, const std::string& path, bool headersOnly);

    // Only when reading in this process.
    std::unique_ptr<IMediaReader> m_pReader;
    // The child's answer, by MediaFieldKey.
    std::map<std::string, std::string> m_mapFields;
};
