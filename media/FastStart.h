// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/FileCopy.h"

// An MP4 or M4A rewritten with its index (the moov box) ahead of the media data, so that a
// browser can start playing before it has the end of the file. ffmpeg copies every stream as it
// is; only the boxes move. The rewrite goes into a temporary file beside the target, which
// stays until Commit() renames it over the target or the object ends and deletes it.
class CFastStartCopy {
public:
    CFastStartCopy() = default;
    ~CFastStartCopy();
    CFastStartCopy(const CFastStartCopy&) = delete;
    CFastStartCopy& operator=(const CFastStartCopy&) = delete;

    // Writes the rewritten `source` into a temporary beside `target`. `progress` gets the bytes
    // written against the source's size; false from it stops ffmpeg. On failure nothing is left
    // behind, errno tells why (ECANCELED for a stop) and Problem() says what went wrong.
    bool Make(const std::string& source, const std::string& target,
              const CopyProgress& progress = {});
    // The rewritten file; empty when there is none.
    const std::string& TempPath() const { return m_strTemp; }
    // Renames the rewritten file over the target.
    bool Commit();
    // Deletes the rewritten file.
    void Discard();

    bool Cancelled() const { return m_bCancelled; }
    const std::string& Problem() const { return m_strProblem; }

private:
    std::string m_strTemp, m_strTarget, m_strProblem;
    bool m_bCancelled = false;
};

// Make and Commit in one.
bool FastStartCopyFile(const std::string& source, const std::string& target,
                       const CopyProgress& progress = {}, std::string* problem = nullptr);
