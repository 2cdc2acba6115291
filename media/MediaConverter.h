// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "media/EncodedCheck.h"
#include "media/Encoder.h"
#include "media/MediaInfo2.h"

// Extensions of files that browsers refuse but that can be made web-ready: offered beside the
// HTML5 ones wherever a file is chosen.
inline constexpr std::array<const char*, 13> kConvertibleExtensions = {
    ".mov", ".mkv", ".m4v",  ".avi", ".flv", ".3gp", ".wmv",
    ".mpg", ".ts",  ".flac", ".wma", ".aac", ".aiff"};

// What it takes to make a file web-ready, cheapest first.
enum ConversionKind : int {
    // Nothing: browsers play it as it is.
    CONVERSION_NONE = 0,
    // The streams are web-ready and only the container is not: they are copied into another.
    CONVERSION_REMUX,
    // The video is copied; only the sound is encoded.
    CONVERSION_AUDIO,
    // Everything is encoded anew.
    CONVERSION_ENCODE,
};

struct ConversionPlan {
    ConversionKind kind = CONVERSION_NONE;
    // ".mp4", ".webm" or ".m4a".
    std::string extension;
    // Rough seconds the conversion takes on an ordinary machine.
    double estimate_s = 0;

    // One sentence for the user: what is done to the file and how long that is likely to take.
    std::string Describe() const;
};

// Decides from the details of a file how it becomes web-ready: H.264 + AAC (or no sound) and
// VP8/VP9/AV1 + Vorbis/Opus change container only, H.264 with other sound keeps its video, the
// rest is encoded to H.264 + AAC; sound alone becomes AAC in M4A (or stays Vorbis/Opus in WebM).
ConversionPlan PlanConversion(const CMediaInfo2& source);

// Media that browsers accept but that does not play in all of the major ones (Theora video).
bool PlaysOnlyInSomeBrowsers(const CMediaInfo2& details);

// "about 5 seconds", "about 2 minutes".
std::string FormatTimeEstimate(double seconds);

struct ConversionProgress {
    // 0..100
    double percent = 0;
    // Negative while it cannot be told yet.
    double secondsLeft = -1;
};

// Makes one file web-ready with ffmpeg through the encoder runner: the result is written under a
// temporary name beside where it belongs, read again, checked, and only then given its name; a
// run that fails or is cancelled leaves no file. The source is only ever read.
class CMediaConverter : public CEncoder {
public:
    using ProgressHandler = std::function<void(const ConversionProgress&)>;
    // Whether a converted file is acceptable media; fills `details` from it. The default reads
    // it with the media library and asks IsHTML5Media.
    using ResultCheck = std::function<bool(const std::string& path, CMediaInfo2& details)>;

    CMediaConverter(CTask* task, CMediaInfo2 source);

    // The result as `<source title><extension>` in `folder`.
    void SetOutputFolder(const std::string& folder);
    // The result at exactly `path` (its extension should fit the plan).
    void SetOutputPath(std::string path) { m_strOutputPath = std::move(path); }
    void SetProgressHandler(ProgressHandler handler) { m_onProgress = std::move(handler); }
    void SetResultCheck(ResultCheck check) { m_check = std::move(check); }

    // The whole conversion; true when the result is in place. Otherwise Problem() says why.
    bool Convert();

    bool Start() override;
    std::string GetEncoderPath() override;
    // Reads ffmpeg's progress ("out_time_us=", "time=") and keeps its other words.
    bool ParseLine(const std::string& line) override;
    bool CanCancel() override { return true; }

    const ConversionPlan& Plan() const { return m_plan; }
    const std::string& OutputPath() const { return m_strOutputPath; }
    const CMediaInfo2& Result() const { return m_result; }
    const std::string& Problem() const { return m_strProblem; }
    // The failure was for want of room: a full disk, quota or file size limit.
    bool NoRoom() const { return EncodedProblem{m_nProblemError, {}}.NoRoom(); }
    // By Cancel() or by a stop of the whole program (StopRequested).
    bool WasCancelled() const { return m_bCancelled; }

    // The ffmpeg arguments for a plan, between the input and the output file.
    static std::vector<std::string> CodecArguments(const ConversionPlan& plan);
    // Seconds of media done by a progress line, or a negative number when it tells none.
    static double ParseProgressTime(std::string_view line);

protected:
    bool Fail(std::string problem, int error = 0);
    // Runs ffmpeg into the temporary path and reads its result again into `result`.
    bool RunAndCheck(CMediaInfo2& result);
    // Runs ffmpeg; false, with the reason, when it was cancelled, stopped or failed.
    bool RunEncoder();
    // Forgets the last run's failure and words before another.
    void ClearOutcome();
    // A private folder beside `output` for ffmpeg to write in; empty, with the failure set,
    // when none can be made.
    std::string PrivateFolderFor(const std::string& output);
    // EFBIG when ffmpeg was ended for writing past the file size limit.
    int ErrorOfSignal() const;
    std::string ReasonOfFailure() const;
    void Report(double done_s);

    CMediaInfo2 m_source;
    ConversionPlan m_plan;
    std::string m_strOutputPath;
    std::string m_strTempPath;
    CMediaInfo2 m_result;
    std::string m_strProblem;
    int m_nProblemError = 0;
    bool m_bCancelled = false;
    ProgressHandler m_onProgress;
    ResultCheck m_check;
    // ffmpeg's last words that were not progress: the reason of a failure is among them.
    std::vector<std::string> m_arrWords;
    std::chrono::steady_clock::time_point m_started;
};
