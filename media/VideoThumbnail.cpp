// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/VideoThumbnail.h"

#include <charconv>
#include <climits>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/Regex.h"
#include "media/Task.h"

namespace {

bool IsExecutableFile(const std::string& path) {
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

CVideoThumbnail::CVideoThumbnail(CTask* task, std::string inputPath, std::string outputPath)
    : CEncoder(task),
      m_strInputPath(std::move(inputPath)),
      m_strOutputPath(std::move(outputPath)) {}

bool CVideoThumbnail::Start() {
    m_strArgs =
        fmt::sprintf(" -i \"%s\" -f mjpeg -t 1 -r 1 -y \"%s\"", m_strInputPath, m_strOutputPath);
    m_arrArgs = {"-i", m_strInputPath, "-f", "mjpeg", "-t", "1", "-r", "1", "-y", m_strOutputPath};
    return CEncoder::Start();
}

std::string CVideoThumbnail::GetEncoderPath() {
    return GetFfmpegPath(m_strInputPath);
}

bool CVideoThumbnail::ParseLine(const std::string& line) {
    return ParseFrameCount(line, &m_nFrameCount);
}

bool CVideoThumbnail::ParseFrameCount(std::string_view line, int* frames) {
    static const CRegex pattern(R"(^frame=[ \t]*([0-9]+).*time=[ \t]*([0-9\.]+))");
    CRegex::Match match;
    if (!pattern.Search(line, &match) || match.groups.empty()) {
        return false;
    }
    const auto [offset, length] = match.groups[0];
    const char* first = line.data() + offset;
    long long value = 0;
    if (std::from_chars(first, first + length, value).ec != std::errc()) {
        value = LLONG_MAX;  // only too many digits can fail here
    }
    *frames = value > INT_MAX ? INT_MAX : static_cast<int>(value);
    return true;
}

std::string GetFfmpegPath(std::string_view inputPath) {
    const std::string extension = GetPathExtension(inputPath);
    const bool webm = EqualsNoCase(extension, ".webm") || EqualsNoCase(extension, ".ogg");
    const std::string bundled =
        CombinePath(GetInstallFolder(), webm ? "encoder/ffmpeg-webm" : "encoder/ffmpeg");
    if (IsExecutableFile(bundled)) {
        return bundled;
    }
    std::string onPath = FindOnPath("ffmpeg");
    return onPath.empty() ? std::string("ffmpeg") : onPath;
}

bool MakeStillPicture(const std::string& inputPath, const std::string& jpegPath) {
    // "-y" would truncate the video while ffmpeg still reads it.
    if (SameFile(inputPath, jpegPath)) {
        return false;
    }
    CTask task("");
    CVideoThumbnail thumbnail(&task, inputPath, jpegPath);
    const bool ran = thumbnail.Start();
    return ran && thumbnail.m_nFrameCount > 0;
}
