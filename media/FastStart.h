// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/FileCopy.h"

// An MP4 or M4A rewritten with its index (the moov box) ahead of the media data, so that a
// browser can start playing before it has the end of the file. ffmpeg copies every stream as it
// is; only the boxes move. ffmpeg writes into a private folder of ours in the working folder,
// never where another user could swap its output; the result stays there until the object ends.
class CFastStartCopy {
public:
    CFastStartCopy() = default;
    ~CFastStartCopy();
    CFastStartCopy(const CFastStartCopy&) = delete;
    CFastStartCopy& operator=(const CFastStartCopy&) = delete;

    // Writes the rewritten `source` into a private folder made in `workFolder`. `progress` gets
    // the bytes written against the source's size; false from it stops ffmpeg. On failure
    // nothing is left behind, errno tells why (ECANCELED for a stop) and Problem() says what
    // went wrong.
    bool Make(const std::string& source, const std::string& workFolder,
              const CopyProgress& progress = {});
    // The rewritten file; empty when there is none.
    const std::string& TempPath() const { return m_strTemp; }
    // Renames the rewritten file over `target`, which lies outside any site (same file system).
    bool Commit(const std::string& target);
    // Deletes the rewritten file and its folder.
    void Discard();

    bool Cancelled() const { return m_bCancelled; }
    const std::string& Problem() const { return m_strProblem; }

private:
    // Sets the problem, leaves nothing behind and errno at `error`; false.
    bool Fail(int error, const std::string& problem, bool log);

    std::string m_strTemp, m_strFolder, m_strProblem;
    bool m_bCancelled = false;
};

// True when `publishedFd`, an open file, is already the rewrite of `source`: its index comes
// first and ffmpeg finds the same streams, packet for packet, in both. Nothing is written.
bool IsFastStartCopyOf(const std::string& source, int publishedFd);

// Make (beside `target`) and Commit in one.
bool FastStartCopyFile(const std::string& source, const std::string& target,
                       const CopyProgress& progress = {}, std::string* problem = nullptr);
