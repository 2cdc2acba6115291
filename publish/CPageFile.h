// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "publish/IFileWriter.h"

// An open page or preview file, closed when the object goes. Failures return false with errno set.
class CPageFile {
public:
    CPageFile() = default;
    ~CPageFile();
    CPageFile(const CPageFile&) = delete;
    CPageFile& operator=(const CPageFile&) = delete;
    CPageFile(CPageFile&& other) noexcept;
    CPageFile& operator=(CPageFile&& other) noexcept;

    // Opens an existing regular file for reading and writing.
    bool Open(const std::string& path);
    // Creates a file that must not exist yet, for reading and writing (the preview file).
    bool Create(const std::string& path);
    void Close();

    bool IsOpen() const { return m_nFd >= 0; }
    int Fd() const { return m_nFd; }
    const std::string& Path() const { return m_strPath; }

    // The whole content, read from the start.
    bool ReadAll(std::string& bytes) const;
    // Writes `parts` one after the other from the start and cuts the file after them; the file
    // stays open.
    bool WriteInPlace(std::initializer_list<std::string_view> parts, IFileWriter& writer);
    // Replaces the file on disk by one holding `parts`: a temporary file beside it, flushed and
    // renamed over it with its mode and owner, so a failure at any point leaves the old content
    // whole. A symbolic link is kept; its target is replaced. Afterwards this object holds the
    // new file.
    bool ReplaceContents(std::initializer_list<std::string_view> parts, IFileWriter& writer);

private:
    int m_nFd = -1;
    std::string m_strPath;
};
