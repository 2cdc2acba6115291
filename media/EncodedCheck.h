// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/MediaInfo2.h"

// Why a file ffmpeg made cannot be used.
struct EncodedProblem {
    // ENOSPC, EDQUOT or EFBIG when there was no room for it, another system error number when
    // one is known, else 0.
    int error = 0;
    std::string text;

    bool NoRoom() const;
};

// What a made file must hold: the length and the kinds of streams of what it was made from.
struct EncodedExpectation {
    // 0 when not known.
    double duration_s = 0;
    bool video = false;
    bool audio = false;

    static EncodedExpectation Of(const CMediaInfo2& source);
};

// The error number ffmpeg's own words name for a failed write ("Error writing trailer of x: No
// space left on device"); nullopt when they name no failed write.
std::optional<EncodedProblem> ProblemInEncoderWords(const std::vector<std::string>& words);

// Reads `result` again after ffmpeg said it made it, whatever its exit status: the words it
// printed, a file cut off before its containers end (MP4 boxes, WebM segment), and the length
// and streams against `expected`. Nullopt when it is whole; `details` then describe it, as
// `read` fills them (by default the media library reads the result's headers).
using ResultReader = bool (*)(const std::string& result, CMediaInfo2& details);
std::optional<EncodedProblem> CheckEncodedResult(const EncodedExpectation& expected,
                                                 const std::string& result,
                                                 const std::vector<std::string>& ffmpegWords,
                                                 CMediaInfo2& details, ResultReader read = nullptr);
