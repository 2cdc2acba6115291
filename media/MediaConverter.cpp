// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaConverter.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/CSiteFolder.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/EncodedCheck.h"
#include "media/Task.h"
#include "media/VideoThumbnail.h"

namespace {

// ffmpeg's own words kept for the reason of a failure.
constexpr size_t kWordsKept = 4;
// Rough speeds for the estimate: copying streams, encoding sound, and encoding video in
// pixels per second (720p at 50 frames a second with the preset below on a small machine).
constexpr double kCopyBytesPerSecond = 150e6;
constexpr double kSoundSecondsPerSecond = 60;
constexpr double kPixelsPerSecond = 1280.0 * 720.0 * 50.0;

bool IsAny(const std::string& format, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char* name) { return EqualsNoCase(format, name); });
}

bool IsWebVideoForMp4(const std::string& format) {
    return EqualsNoCase(format, "AVC");
}

bool IsWebVideoForWebm(const std::string& format) {
    return IsAny(format, {"VP8", "VP9", "AV1"});
}

bool IsWebSoundForWebm(const std::string& format) {
    return IsAny(format, {"Vorbis", "Opus"});
}

// The progress keys of "-progress"; any other line is something ffmpeg has to say.
bool IsProgressLine(std::string_view line) {
    static constexpr const char* kKeys[] = {
        "frame=",      "fps=",         "stream_", "bitrate=",  "total_size=", "out_time",
        "dup_frames=", "drop_frames=", "speed=",  "progress=", "size="};
    return std::any_of(std::begin(kKeys), std::end(kKeys),
                       [&](const char* key) { return line.starts_with(key); });
}

bool DefaultCheck(const std::string& path, CMediaInfo2& details) {
    return details.Parse(path, CMediaInfo2::HEADERS) && details.IsHTML5Media();
}

}  // namespace

std::string FormatTimeEstimate(double seconds) {
    if (seconds < 1.5) {
        return LoadStringRes(IDS_ABOUT_A_SECOND);
    }
    if (seconds < 90) {
        return fmt::sprintf(LoadStringRes(IDS_ABOUT_SECONDS),
                            static_cast<int>(std::lround(seconds)));
    }
    if (seconds < 90 * 60) {
        return fmt::sprintf(LoadStringRes(IDS_ABOUT_MINUTES),
                            static_cast<int>(std::lround(seconds / 60)));
    }
    return fmt::sprintf(LoadStringRes(IDS_ABOUT_HOURS), seconds / 3600);
}

std::string ConversionPlan::Describe() const {
    const std::string time = FormatTimeEstimate(estimate_s);
    switch (kind) {
        case CONVERSION_REMUX:
            return fmt::sprintf(LoadStringRes(IDS_CONVERT_PLAN_REMUX),
                                extension == ".webm"  ? "WebM"
                                : extension == ".m4a" ? "M4A"
                                                      : "MP4",
                                time);
        case CONVERSION_AUDIO:
            return fmt::sprintf(LoadStringRes(IDS_CONVERT_PLAN_AUDIO),
                                extension == ".webm" ? "Opus in WebM" : "AAC in MP4", time);
        case CONVERSION_ENCODE:
            if (extension == ".m4a") {
                return fmt::sprintf(LoadStringRes(IDS_CONVERT_PLAN_SOUND), "AAC in M4A", time);
            }
            return fmt::sprintf(LoadStringRes(IDS_CONVERT_PLAN_ENCODE), "MP4", time);
        case CONVERSION_NONE:
            break;
    }
    return {};
}

bool PlaysOnlyInSomeBrowsers(const CMediaInfo2& details) {
    return details.m_nVideoCount > 0 && EqualsNoCase(details.m_strVideoFormat, "Theora");
}

ConversionPlan PlanConversion(const CMediaInfo2& source) {
    ConversionPlan plan;
    if (source.IsHTML5Media() && !PlaysOnlyInSomeBrowsers(source)) {
        return plan;
    }
    const double duration = std::max<double>(source.m_fDuration, 0);
    const double copy_s =
        static_cast<double>(std::max<int64_t>(source.m_nFileSize, 0)) / kCopyBytesPerSecond;
    const double sound_s = source.m_nAudioCount > 0 ? duration / kSoundSecondsPerSecond : 0;
    const bool sound = source.m_nAudioCount > 0;
    if (source.m_nVideoCount > 0) {
        const std::string& video = source.m_strVideoFormat;
        const std::string& audio = source.m_strAudioFormat;
        if (IsWebVideoForMp4(video) && (!sound || EqualsNoCase(audio, "AAC"))) {
            plan = {CONVERSION_REMUX, ".mp4", copy_s};
        } else if (IsWebVideoForWebm(video) && (!sound || IsWebSoundForWebm(audio))) {
            plan = {CONVERSION_REMUX, ".webm", copy_s};
        } else if (IsWebVideoForMp4(video)) {
            plan = {CONVERSION_AUDIO, ".mp4", copy_s + sound_s};
        } else if (IsWebVideoForWebm(video)) {
            plan = {CONVERSION_AUDIO, ".webm", copy_s + sound_s};
        } else {
            const double fps = source.m_fFrameRate > 0 ? source.m_fFrameRate : 25.0;
            const double pixels = static_cast<double>(std::max(source.m_nWidth, 16)) *
                                  std::max(source.m_nHeight, 16) * fps * duration;
            plan = {CONVERSION_ENCODE, ".mp4", pixels / kPixelsPerSecond + sound_s};
        }
    } else if (EqualsNoCase(source.m_strAudioFormat, "AAC")) {
        plan = {CONVERSION_REMUX, ".m4a", copy_s};
    } else if (IsWebSoundForWebm(source.m_strAudioFormat)) {
        plan = {CONVERSION_REMUX, ".webm", copy_s};
    } else {
        plan = {CONVERSION_ENCODE, ".m4a", sound_s};
    }
    // Starting ffmpeg and reading the result again.
    plan.estimate_s += 0.5;
    return plan;
}

std::vector<std::string> CMediaConverter::CodecArguments(const ConversionPlan& plan) {
    const bool webm = plan.extension == ".webm";
    const bool soundOnly = plan.extension == ".m4a";
    // The first video (not a cover picture) and the first sound; subtitles and data stay out.
    std::vector<std::string> args;
    if (soundOnly) {
        args = {"-vn", "-map", "0:a:0"};
    } else {
        args = {"-map", "0:V:0?", "-map", "0:a:0?"};
    }
    args.insert(args.end(), {"-sn", "-dn"});
    switch (plan.kind) {
        case CONVERSION_REMUX:
            args.insert(args.end(), {"-c", "copy"});
            break;
        case CONVERSION_AUDIO:
            args.insert(args.end(), {"-c:v", "copy"});
            if (webm) {
                args.insert(args.end(), {"-c:a", "libopus", "-b:a", "128k"});
            } else {
                args.insert(args.end(), {"-c:a", "aac", "-b:a", "160k"});
            }
            break;
        case CONVERSION_ENCODE:
            if (!soundOnly) {
                // yuv420p is what every browser decodes; the encoder needs even sizes for it.
                args.insert(args.end(),
                            {"-c:v", "libx264", "-preset", "fast", "-crf", "23", "-pix_fmt",
                             "yuv420p", "-vf", "scale=trunc(iw/2)*2:trunc(ih/2)*2"});
            }
            args.insert(args.end(), {"-c:a", "aac", "-b:a", soundOnly ? "192k" : "160k"});
            break;
        case CONVERSION_NONE:
            break;
    }
    if (webm) {
        args.insert(args.end(), {"-f", "webm"});
    } else {
        // The index first, so that playing starts before the whole file is loaded.
        args.insert(args.end(), {"-movflags", "+faststart", "-f", "mp4"});
    }
    return args;
}

double CMediaConverter::ParseProgressTime(std::string_view line) {
    if (line.starts_with("out_time_us=") || line.starts_with("out_time_ms=")) {
        // ffmpeg writes microseconds under both names.
        const std::string_view value = line.substr(line.find('=') + 1);
        long long us = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), us);
        return ec == std::errc() && us >= 0 ? static_cast<double>(us) / 1e6 : -1;
    }
    // A status line of "-stats": "... time=00:01:02.50 ...".
    const size_t at = line.find("time=");
    if (at == std::string_view::npos || (at > 0 && line[at - 1] != ' ' && line[at - 1] != '_')) {
        return -1;
    }
    int hours = 0, minutes = 0;
    double seconds = 0;
    const std::string value(line.substr(at + 5, 32));
    if (std::sscanf(value.c_str(), "%d:%d:%lf", &hours, &minutes, &seconds) != 3 || hours < 0) {
        return -1;
    }
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

CMediaConverter::CMediaConverter(CTask* task, CMediaInfo2 source)
    : CEncoder(task), m_source(std::move(source)), m_plan(PlanConversion(m_source)) {}

void CMediaConverter::SetOutputFolder(const std::string& folder) {
    m_strOutputPath = CombinePath(folder, GetPathFileTitle(m_source.m_strPath) + m_plan.extension);
}

std::string CMediaConverter::GetEncoderPath() {
    return GetFfmpegPath(m_source.m_strPath);
}

bool CMediaConverter::Start() {
    m_arrArgs = {"-nostdin",  "-hide_banner", "-nostats", "-loglevel",       "error",
                 "-progress", "pipe:1",       "-i",       m_source.m_strPath};
    const std::vector<std::string> codec = CodecArguments(m_plan);
    m_arrArgs.insert(m_arrArgs.end(), codec.begin(), codec.end());
    m_arrArgs.insert(m_arrArgs.end(), {"-y", m_strTempPath});
    m_strArgs.clear();
    for (const std::string& arg : m_arrArgs) {
        m_strArgs += arg.find(' ') == std::string::npos ? " " + arg : " \"" + arg + "\"";
    }
    return CEncoder::Start();
}

bool CMediaConverter::ParseLine(const std::string& line) {
    const double done_s = ParseProgressTime(line);
    if (done_s >= 0) {
        Report(done_s);
        return true;
    }
    if (!IsProgressLine(line) && !line.empty()) {
        m_arrWords.push_back(line);
        if (m_arrWords.size() > kWordsKept) {
            m_arrWords.erase(m_arrWords.begin());
        }
    }
    return false;
}

void CMediaConverter::Report(double done_s) {
    if (!m_onProgress) {
        return;
    }
    ConversionProgress progress;
    const double total = m_source.m_fDuration;
    if (total > 0) {
        progress.percent = std::clamp(done_s * 100.0 / total, 0.0, 100.0);
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    if (progress.percent >= 1 && elapsed > 0) {
        progress.secondsLeft = elapsed * (100.0 - progress.percent) / progress.percent;
    }
    m_onProgress(progress);
}

bool CMediaConverter::Fail(std::string problem, int error) {
    m_strProblem = std::move(problem);
    m_nProblemError = error;
    return false;
}

int CMediaConverter::ErrorOfSignal() const {
    const ProcessResult& result = LastResult();
    return result.started && !result.exited && result.signal == SIGXFSZ ? EFBIG : 0;
}

std::string CMediaConverter::ReasonOfFailure() const {
    const ProcessResult& result = LastResult();
    if (!result.started) {
        if (result.startError == ENOENT) {
            return LoadStringRes(IDS_FFMPEG_NOT_FOUND);
        }
        return fmt::sprintf(LoadStringRes(IDS_FFMPEG_NOT_STARTED), GetErrorText(result.startError));
    }
    std::string words;
    for (const std::string& word : m_arrWords) {
        words += (words.empty() ? "" : " ") + word;
    }
    if (!result.exited && result.signal != 0) {
        return fmt::sprintf(LoadStringRes(IDS_FFMPEG_SIGNALLED), result.signal,
                            ::strsignal(result.signal));
    }
    if (result.exitCode == 0) {
        return fmt::sprintf(LoadStringRes(IDS_FFMPEG_NOT_WRITTEN), words);
    }
    if (words.empty()) {
        return fmt::sprintf(LoadStringRes(IDS_FFMPEG_STATUS), result.exitCode);
    }
    return fmt::sprintf(LoadStringRes(IDS_FFMPEG_STATUS_WORDS), result.exitCode, words);
}

bool CMediaConverter::Convert() {
    ClearOutcome();
    if (m_plan.kind == CONVERSION_NONE) {
        return Fail(LoadStringRes(IDS_CONVERT_NOT_NEEDED));
    }
    if (m_strOutputPath.empty()) {
        SetOutputFolder(GetPathFolder(m_source.m_strPath));
    }
    if (m_strOutputPath == m_source.m_strPath || SameFile(m_strOutputPath, m_source.m_strPath)) {
        return Fail(LoadStringRes(IDS_CONVERT_OVER_ORIGINAL));
    }
    // ffmpeg makes its result in a private folder beside the result's place, so that naming it
    // is one rename on the same file system and nobody can put a file or a link where it
    // writes. It makes the file itself: one made for it would be truncated on open, and ext4
    // then writes the whole result out when ffmpeg closes it.
    const std::string pattern = PrivateFolderFor(m_strOutputPath);
    if (pattern.empty()) {
        return false;
    }
    m_strTempPath = CombinePath(pattern, GetPathFileName(m_strOutputPath));
    struct TempFile {
        std::string& path;
        std::string folder;
        ~TempFile() {
            if (!path.empty()) {
                RemoveWorkingFile(path);
                path.clear();
            }
            ::rmdir(folder.c_str());
        }
    } temp{m_strTempPath, pattern};
    CMediaInfo2 result;
    if (!RunAndCheck(result)) {
        return false;
    }
    if (!MoveWorkingFile(m_strTempPath, m_strOutputPath)) {
        return Fail(fmt::sprintf(LoadStringRes(IDS_CONVERT_NOT_NAMED), m_strOutputPath,
                                 GetErrorText(errno)));
    }
    m_strTempPath.clear();
    result.m_strPath = m_strOutputPath;
    m_result = std::move(result);
    Report(m_source.m_fDuration);
    return true;
}

bool CMediaConverter::RunAndCheck(CMediaInfo2& result) {
    if (!RunEncoder()) {
        return false;
    }
    EncodedExpectation expected = EncodedExpectation::Of(m_source);
    expected.video = expected.video && m_plan.extension != ".m4a";
    if (const auto problem = CheckEncodedResult(expected, m_strTempPath, m_arrWords, result)) {
        return Fail(problem->text, problem->error);
    }
    const ResultCheck& check = m_check ? m_check : ResultCheck(DefaultCheck);
    if (!check(m_strTempPath, result)) {
        return Fail(
            m_arrWords.empty()
                ? LoadStringRes(IDS_CONVERT_NOT_WEB_READY)
                : fmt::sprintf(LoadStringRes(IDS_CONVERT_NOT_WEB_READY_WORDS), m_arrWords.back()));
    }
    // A stop while the result was read again: the run did not finish, so nothing is named.
    if (StopRequested()) {
        m_bCancelled = true;
        return Fail(LoadStringRes(IDS_CONVERT_WORD_STOPPED));
    }
    return true;
}

void CMediaConverter::ClearOutcome() {
    m_strProblem.clear();
    m_nProblemError = 0;
    m_bCancelled = false;
    m_arrWords.clear();
}

std::string CMediaConverter::PrivateFolderFor(const std::string& output) {
    const std::string folder = GetPathFolder(output);
    // A result named relative to the current folder would be made among the user's own files;
    // one left by a run that is gone is swept away.
    std::string unusable;
    const std::string pattern = MakePrivateFolder(folder, kDebrisPrefix, unusable);
    if (pattern.empty()) {
        const int error = errno;
        Fail(fmt::sprintf(LoadStringRes(IDS_CONVERT_NO_FILE), folder, GetErrorText(error)), error);
    }
    return pattern;
}

bool CMediaConverter::RunEncoder() {
    m_started = std::chrono::steady_clock::now();
    const bool ran = Start();
    if (IsCancelled()) {
        m_bCancelled = true;
        return Fail(LoadStringRes(IDS_CONVERT_WORD_CANCELLED));
    }
    // The runner has ended ffmpeg for a stop of the whole program; what it left is no failure
    // of the original's.
    if (StopRequested()) {
        m_bCancelled = true;
        return Fail(LoadStringRes(IDS_CONVERT_WORD_STOPPED));
    }
    // ffmpeg 5 reports a failed write of its output and still exits with 0: its words and the
    // file itself are read again whatever its status.
    if (!ran) {
        const auto written = ProblemInEncoderWords(m_arrWords);
        return Fail(ReasonOfFailure(), written ? written->error : ErrorOfSignal());
    }
    return true;
}
