// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/FastStart.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "media/MediaInfo2.h"
#include "media/OutputLines.h"
#include "media/VideoThumbnail.h"

namespace {

// The last line ffmpeg wrote on standard error is the one that says why it failed.
std::string LastLine(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) {
        return {};
    }
    const size_t start = text.find_last_of("\r\n", end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace

CFastStartCopy::~CFastStartCopy() {
    Discard();
}

void CFastStartCopy::Discard() {
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

bool CFastStartCopy::Make(const std::string& source, const std::string& target,
                          const CopyProgress& progress) {
    Discard();
    m_bCancelled = false;
    m_strProblem.clear();
    m_strTarget = target;
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) {
        m_strProblem = GetErrorText(errno);
        return false;
    }
    const auto total = static_cast<uint64_t>(st.st_size);
    // Hidden and beside the target, so the rename that publishes it cannot cross a file system.
    std::string pattern =
        AddBackslash(GetPathFolder(target)) + ".~" + GetPathFileName(target) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        const int error = errno;
        m_strProblem = GetErrorText(error);
        errno = error;
        return false;
    }
    // The published file gets the source's permissions, as a plain copy would.
    const bool permitted = ::fchmod(fd, (st.st_mode & 0777) | S_IWUSR) == 0;
    const int chmodError = errno;
    ::close(fd);
    m_strTemp = name.data();
    if (!permitted) {
        m_strProblem = GetErrorText(chmodError);
        Discard();
        errno = chmodError;
        return false;
    }

    ProcessRequest request;
    // -progress gives the bytes written so far as "total_size=" lines on standard output.
    request.argv = {GetFfmpegPath(source),
                    "-nostdin",
                    "-hide_banner",
                    "-loglevel",
                    "error",
                    "-nostats",
                    "-progress",
                    "pipe:1",
                    "-stats_period",
                    "0.2",
                    "-i",
                    source,
                    "-map",
                    "0",
                    "-c",
                    "copy",
                    "-movflags",
                    "+faststart",
                    "-f",
                    "mp4",
                    "-y",
                    m_strTemp};
    request.separateErrors = true;
    CLog::Instance()->Write("Fast start: \"%s\" -> \"%s\"\r\n", source, m_strTemp);

    CProcess process;
    std::string errors;
    COutputLines lines;
    const auto onLine = [&](const std::string& line) {
        constexpr std::string_view kSize = "total_size=";
        if (!line.starts_with(kSize) || !progress || m_bCancelled) {
            return;
        }
        const auto done = static_cast<uint64_t>(
            std::max<int64_t>(0, ParseLeadingInt64(std::string_view(line).substr(kSize.size()))));
        if (!progress(std::min(done, total), total)) {
            m_bCancelled = true;
            process.Cancel();
        }
    };
    ProcessResult result;
    if (process.Start(request)) {
        result = process.Wait([&](std::string_view chunk) { lines.Append(chunk, onLine); },
                              [&](std::string_view chunk) {
                                  // Only the end matters, and a flood must not grow it.
                                  errors.append(chunk);
                                  if (errors.size() > 8192) {
                                      errors.erase(0, errors.size() - 4096);
                                  }
                              });
    } else {
        result = process.Wait({});
    }
    // A stop asked for once ffmpeg had nothing more to say still counts.
    if (result.Succeeded() && !m_bCancelled && progress && !progress(total, total)) {
        m_bCancelled = true;
    }
    if (result.Succeeded() && !m_bCancelled) {
        return true;
    }
    int error = EIO;
    if (m_bCancelled || result.cancelled) {
        m_bCancelled = true;
        error = ECANCELED;
        m_strProblem = GetErrorText(error);
    } else if (!result.started) {
        error = result.startError != 0 ? result.startError : ENOENT;
        m_strProblem = request.argv[0] + ": " + GetErrorText(error);
    } else {
        const std::string said = LastLine(errors);
        m_strProblem = said.empty() ? request.argv[0] + " failed" : said;
    }
    CLog::Instance()->Write("Fast start failed: %s\r\n", m_strProblem);
    Discard();
    errno = error;
    return false;
}

bool CFastStartCopy::Commit() {
    if (m_strTemp.empty()) {
        errno = ENOENT;
        return false;
    }
    if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
        const int error = errno;
        m_strProblem = GetErrorText(error);
        Discard();
        errno = error;
        return false;
    }
    m_strTemp.clear();
    return true;
}

bool FastStartCopyFile(const std::string& source, const std::string& target,
                       const CopyProgress& progress, std::string* problem) {
    CFastStartCopy copy;
    const bool done = copy.Make(source, target, progress) && copy.Commit();
    if (!done && problem) {
        const int error = errno;
        *problem = copy.Problem();
        errno = error;
    }
    return done;
}
