// SPDX-License-Identifier: GPL-3.0-or-later
// What an encoder prints, cut into pieces as a pipe might deliver it: the lines never hold a line
// break, never depend on where the pieces were cut, and match a plain reading of the rule; each
// line's frame count agrees with a plain reading of the status-line pattern.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/OutputLines.h"
#include "media/VideoThumbnail.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct Split {
    std::vector<std::string> lines;
    std::string pending;
};

// A line ends at CR or LF; the whole run of them that follows is one separator.
Split ModelSplit(std::string_view output) {
    Split split;
    size_t start = 0;
    while (true) {
        const size_t end = output.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            break;
        }
        split.lines.emplace_back(output.substr(start, end - start));
        start = output.find_first_not_of("\r\n", end);
        if (start == std::string_view::npos) {
            start = output.size();
        }
    }
    split.pending = std::string(output.substr(start));
    return split;
}

Split Feed(std::string_view output, const std::vector<size_t>& pieces) {
    COutputLines splitter;
    Split split;
    const auto collect = [&](const std::string& line) { split.lines.push_back(line); };
    size_t at = 0;
    for (size_t piece : pieces) {
        if (at >= output.size()) {
            break;
        }
        const size_t n = std::min(piece, output.size() - at);
        splitter.Append(output.substr(at, n), collect);
        at += n;
    }
    if (at < output.size()) {
        splitter.Append(output.substr(at), collect);
    }
    split.pending = splitter.Pending();
    return split;
}

// "frame=", blanks, digits, then somewhere after them "time=", blanks and a digit or dot.
bool ModelFrameCount(std::string_view line, int& frames) {
    if (!line.starts_with("frame=")) {
        return false;
    }
    size_t i = 6;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    const size_t digits = i;
    long long value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        value = value > INT_MAX ? value : value * 10 + (line[i] - '0');
        ++i;
    }
    if (i == digits) {
        return false;
    }
    for (size_t t = line.find("time=", i); t != std::string_view::npos;
         t = line.find("time=", t + 1)) {
        size_t k = t + 5;
        while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) {
            ++k;
        }
        if (k < line.size() && ((line[k] >= '0' && line[k] <= '9') || line[k] == '.')) {
            frames = value > INT_MAX ? INT_MAX : static_cast<int>(value);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    uint64_t seed = in.ConsumeIntegral<uint64_t>();
    const std::string output = in.ConsumeRemainingBytesAsString();

    std::vector<size_t> pieces;
    for (size_t total = 0; total < output.size();) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        // Mostly the runner's 255-byte reads, sometimes single bytes or runs of a few.
        const size_t kind = (seed >> 60) & 3;
        const size_t piece = kind == 0 ? 1 : kind == 1 ? 255 : 1 + ((seed >> 33) % 300);
        pieces.push_back(piece);
        total += piece;
    }
    const Split model = ModelSplit(output);
    const Split whole = Feed(output, {output.size()});
    const Split cut = Feed(output, pieces);
    const Split bytes = Feed(output.substr(0, 2048), std::vector<size_t>(2048, 1));

    FUZZ_CHECK(whole.lines == model.lines);
    FUZZ_CHECK(whole.pending == model.pending);
    FUZZ_CHECK(cut.lines == model.lines);
    FUZZ_CHECK(cut.pending == model.pending);
    const Split shortModel = ModelSplit(std::string_view(output).substr(0, 2048));
    FUZZ_CHECK(bytes.lines == shortModel.lines);
    FUZZ_CHECK(bytes.pending == shortModel.pending);

    for (size_t i = 0; i < whole.lines.size(); ++i) {
        const std::string& line = whole.lines[i];
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        // Only output that begins with a line end gives an empty line, and only first.
        FUZZ_CHECK(!line.empty() || i == 0);
        int frames = -1, modelFrames = -1;
        const bool parsed = CVideoThumbnail::ParseFrameCount(line, &frames);
        FUZZ_CHECK(parsed == ModelFrameCount(line, modelFrames));
        FUZZ_CHECK(!parsed || (frames == modelFrames && frames >= 0));
    }
    return 0;
}
