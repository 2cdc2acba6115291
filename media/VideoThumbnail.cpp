// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/VideoThumbnail.h"

#include <algorithm>
#include <charconv>
#include <csetjmp>
#include <cstdio>
#include <vector>
#include <climits>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>
#include <jpeglib.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/Regex.h"
#include "media/Task.h"

namespace {

bool IsExecutableFile(const std::string& path) {
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
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
    if (m_fAt > 0) {
        // Before the input, so ffmpeg seeks instead of decoding everything up to the moment.
        const std::string at = fmt::sprintf("%.3f", m_fAt);
        m_strArgs = " -ss " + at + m_strArgs;
        m_arrArgs.insert(m_arrArgs.begin(), {"-ss", at});
    }
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

bool IsFfmpegFound(std::string_view inputPath) {
    return GetFfmpegPath(inputPath).find('/') != std::string::npos;
}

double LastPictureMoment(const CMediaInfo2& video) {
    const double duration = video.m_fVideoDuration > 0 ? video.m_fVideoDuration : video.m_fDuration;
    const double frame_s = 1.0 / (video.m_fFrameRate > 0 ? video.m_fFrameRate : 25.0);
    return std::max(0.0, duration - frame_s);
}

bool MakeStillPicture(const std::string& inputPath, const std::string& jpegPath, double atSeconds) {
    // "-y" would truncate the video while ffmpeg still reads it.
    if (SameFile(inputPath, jpegPath)) {
        return false;
    }
    CTask task("");
    CVideoThumbnail thumbnail(&task, inputPath, jpegPath);
    thumbnail.m_fAt = atSeconds;
    const bool ran = thumbnail.Start();
    return ran && thumbnail.m_nFrameCount > 0;
}

namespace {

// Mean luma below this (of 255) is a picture nobody can make out: black, or the first frames of
// a fade in. Video black is 16, so this leaves room for noise and a logo's few bright pixels.
constexpr double kNearlyBlackLuma = 32;
constexpr size_t kLumaComponents = 1;

std::FILE* OpenStream(const std::string& path) {
    CFileDescriptor fd = OpenToRead(path);
    std::FILE* file = fd.valid() ? ::fdopen(fd.get(), "rb") : nullptr;
    if (file) {
        fd.release();  // the stream's now
    }
    return file;
}

}  // namespace

std::optional<double> MeasurePictureLuma(const std::string& picturePath) {
    std::FILE* file = OpenStream(picturePath);
    if (!file) {
        return std::nullopt;
    }
    struct ErrorExit {
        jpeg_error_mgr manager;
        std::jmp_buf back;
    } errors{};
    jpeg_decompress_struct jpeg{};
    jpeg.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr info) {
        std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->back, 1);
    };
    errors.manager.output_message = [](j_common_ptr) {};
    // Nothing with a destructor starts life between the setjmp and a jump back to it.
    std::vector<JSAMPLE> row;
    uint64_t sum = 0;
    uint64_t count = 0;
    volatile bool read = false;
    if (setjmp(errors.back) == 0) {
        jpeg_create_decompress(&jpeg);
        jpeg_stdio_src(&jpeg, file);
        jpeg_read_header(&jpeg, TRUE);
        // The gray channel an eighth the size: the mean hardly changes, the work does.
        jpeg.out_color_space = JCS_GRAYSCALE;
        jpeg.scale_num = 1;
        jpeg.scale_denom = 8;
        jpeg_start_decompress(&jpeg);
        const JDIMENSION width = jpeg.output_width;
        row.resize(static_cast<size_t>(width) * kLumaComponents);
        while (jpeg.output_scanline < jpeg.output_height) {
            JSAMPROW rows[1] = {row.data()};
            jpeg_read_scanlines(&jpeg, rows, 1);
            for (JDIMENSION x = 0; x < width; ++x) {
                sum += row[x];
            }
            count += width;
        }
        jpeg_finish_decompress(&jpeg);
        read = true;
    }
    jpeg_destroy_decompress(&jpeg);
    std::fclose(file);
    if (!read || count == 0) {
        return std::nullopt;
    }
    return static_cast<double>(sum) / static_cast<double>(count);
}

bool IsNearlyBlack(double luma) {
    return luma < kNearlyBlackLuma;
}

std::optional<double> FindBrighterMoment(const std::string& inputPath, double duration,
                                         const std::string& scratchJpeg) {
    std::optional<double> found;
    // Later points first would skip a title that is there after a short fade; earlier ones alone
    // would miss a video that opens on a long black.
    for (const double fraction : {0.1, 0.25, 0.5, 0.75}) {
        // Tenths of a second, as the user can type them.
        const double at = static_cast<double>(static_cast<int64_t>(duration * fraction * 10)) / 10;
        if (at < 1) {
            continue;
        }
        if (!MakeStillPicture(inputPath, scratchJpeg, at)) {
            continue;
        }
        const auto luma = MeasurePictureLuma(scratchJpeg);
        if (luma && !IsNearlyBlack(*luma)) {
            found = at;
            break;
        }
    }
    RemoveWorkingFile(scratchJpeg);
    return found;
}
