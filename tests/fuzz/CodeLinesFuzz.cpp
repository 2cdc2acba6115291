// SPDX-License-Identifier: GPL-3.0-or-later
// The line-by-line helpers of the insertion engine against plain models of their rules: the
// preview swap, the head-code presence test, the head position and the line-break matching.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "publish/InsertionEngine.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::vector<std::string> Lines(std::string_view code) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : code) {
        if (c == '\n') {
            if (!line.empty()) {
                lines.push_back(line);
            }
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

bool ModelPresent(const std::string& text, std::string_view head) {
    const std::vector<std::string> lines = Lines(head);
    return !lines.empty() && std::all_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return text.find(l) != std::string::npos;
    });
}

// Blank published lines (blanks, tabs, CR only) are left alone, as are unchanged ones.
bool ModelSwap(std::string& text, std::string_view published, std::string_view preview) {
    const std::vector<std::string> from = Lines(published);
    const std::vector<std::string> to = Lines(preview);
    if (from.empty() || to.empty() || from.size() != to.size()) {
        return false;
    }
    for (size_t i = 0; i < from.size(); ++i) {
        if (from[i].find_first_not_of(" \t\r") == std::string::npos || from[i] == to[i]) {
            continue;
        }
        if (text.find(from[i]) == std::string::npos) {
            return false;
        }
        std::string out;
        size_t pos = 0;
        for (size_t hit; (hit = text.find(from[i], pos)) != std::string::npos;
             pos = hit + from[i].size()) {
            out.append(text, pos, hit - pos);
            out += to[i];
        }
        out.append(text, pos);
        text = out;
    }
    return true;
}

size_t ModelHeadPosition(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    for (const char* tag : {"</head>", "<body>", "<html>"}) {
        const size_t pos = text.find(tag);
        if (pos != std::string::npos) {
            return pos;
        }
    }
    return 0;
}

std::string WithoutCrBeforeLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string published = in.ConsumeRandomLengthString(512);
    const std::string preview = in.ConsumeRandomLengthString(512);
    const std::string text = in.ConsumeRemainingBytesAsString();

    FUZZ_CHECK(IsHeadCodePresent(text, published) == ModelPresent(text, published));
    FUZZ_CHECK(IsHeadCodePresent(text + published, published) == !Lines(published).empty());
    FUZZ_CHECK(!IsHeadCodePresent(text, ""));

    std::string swapped = text;
    std::string model = text;
    const bool ok = SwapCodeLines(swapped, published, preview);
    FUZZ_CHECK(ok == ModelSwap(model, published, preview));
    FUZZ_CHECK(swapped == model);
    if (Lines(published).size() != Lines(preview).size()) {
        FUZZ_CHECK(!ok && swapped == text);
    }
    // Swapping a code for itself changes nothing.
    std::string same = text;
    FUZZ_CHECK(SwapCodeLines(same, published, published) == !Lines(published).empty());
    FUZZ_CHECK(same == text);

    FUZZ_CHECK(FindHeadInsertPosition(text) == ModelHeadPosition(text));

    const std::string matched = MatchLineBreaks(published, text);
    const size_t lf = text.find('\n');
    const bool crlf = lf != std::string::npos && lf > 0 && text[lf - 1] == '\r';
    if (!crlf) {
        FUZZ_CHECK(matched == published);
    } else {
        // A CR before every line feed, and nothing else added.
        for (size_t i = 0; i < matched.size(); ++i) {
            FUZZ_CHECK(matched[i] != '\n' || (i > 0 && matched[i - 1] == '\r'));
        }
        FUZZ_CHECK(WithoutCrBeforeLf(matched) == WithoutCrBeforeLf(published));
    }
    return 0;
}
