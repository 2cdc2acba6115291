// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/InsertionEngine.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/PathUtils.h"

namespace {

// A block runs from "<script" to the nearest "</script>" at most 4096 characters on; longer ones
// are left alone. The line break after it goes with it, whichever form the page uses.
const CRegex& ScriptBlockPattern() {
    static const CRegex pattern("(<script.{1,4096}?</script>(?:\\r?\\n)?)",
                                CRegex::Caseless | CRegex::DotAll);
    return pattern;
}

std::vector<std::string_view> SplitCodeLines(std::string_view code) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < code.size()) {
        size_t end = code.find('\n', start);
        if (end == std::string_view::npos) {
            end = code.size();
        }
        if (end > start) {
            lines.push_back(code.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool EqualsNoCaseAscii(const char* a, std::string_view lowerB) {
    for (size_t i = 0; i < lowerB.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lowerB[i]) {
            return false;
        }
    }
    return true;
}

// Only ASCII letters fold: folding other characters could change byte lengths and so offsets.
size_t FindNoCase(std::string_view text, std::string_view lowerNeedle) {
    const char* data = text.data();
    size_t pos = 0;
    while (pos + lowerNeedle.size() <= text.size()) {
        const void* hit = std::memchr(data + pos, lowerNeedle[0], text.size() - pos);
        if (!hit) {
            return std::string_view::npos;
        }
        pos = static_cast<size_t>(static_cast<const char*>(hit) - data);
        if (pos + lowerNeedle.size() > text.size()) {
            return std::string_view::npos;
        }
        if (EqualsNoCaseAscii(data + pos, lowerNeedle)) {
            return pos;
        }
        ++pos;
    }
    return std::string_view::npos;
}

// glibc's memmem is several times faster than a first-character scan on markup full of '<'.
size_t FindText(std::string_view text, std::string_view needle, size_t start = 0) {
    if (start > text.size()) {
        return std::string_view::npos;
    }
    const void* hit =
        ::memmem(text.data() + start, text.size() - start, needle.data(), needle.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
}

}  // namespace

const std::array<CRegex, 4>& MenuScriptPatterns() {
    constexpr unsigned flags = CRegex::Caseless | CRegex::DotAll;
    static const std::array<CRegex, 4> patterns = {
        CRegex(
            "\\s+id[ \\t]*=[ \\t]*\"kelvary_dhtmlmenu\">[ \\t]*<!--.{1,1024}?//-->[ \\t]*</script>",
            flags),
        CRegex("\\s+src[ \\t]*=[ \\t]*.*?kvmenu\\.js.*?>\\s*</script>", flags),
        CRegex("\\s+src[ \\t]*=[ \\t]*.*?kvm31\\.js.*?>\\s*</script>", flags),
        CRegex("kv_path[ \\t]*=.*?kv_lib[ \\t]*=", flags),
    };
    return patterns;
}

std::vector<TextRange> FindMenuScripts(std::string_view text, size_t cursor, size_t keepLength) {
    // Each pattern needs one of these words, so a page without them has nothing to remove, and
    // the search for blocks can stop after the last of them. The words cannot overlap, so every
    // occurrence is found.
    static const CRegex words("kelvary_dhtmlmenu|kvmenu\\.js|kvm31\\.js|kv_path", CRegex::Caseless);
    const std::vector<CRegex::Match> hits = words.FindAll(text);
    std::vector<TextRange> removed;
    if (hits.empty()) {
        return removed;
    }
    const size_t keepEnd = cursor + keepLength;
    size_t next = 0;
    size_t start = 0;
    CRegex::Match block;
    // The same left-to-right walk as a search for all blocks, cut short.
    while (ScriptBlockPattern().Search(text, &block, start) && block.offset <= hits.back().offset) {
        const size_t blockEnd = block.offset + block.length;
        start = blockEnd;
        while (next < hits.size() && hits[next].offset < block.offset) {
            ++next;
        }
        if (next == hits.size() || hits[next].offset >= blockEnd) {
            continue;
        }
        if (block.offset < keepEnd && cursor < blockEnd) {
            continue;
        }
        const std::string_view body = text.substr(block.offset, block.length);
        for (const CRegex& pattern : MenuScriptPatterns()) {
            if (pattern.Search(body)) {
                removed.push_back({block.offset, block.length});
                break;
            }
        }
    }
    return removed;
}

size_t FindHeadInsertPosition(std::string_view text) {
    for (std::string_view tag : {"</head>", "<body>", "<html>"}) {
        size_t pos = FindNoCase(text, tag);
        if (pos != std::string_view::npos) {
            return pos;
        }
    }
    return 0;
}

bool IsHeadCodePresent(std::string_view text, std::string_view headCode) {
    const std::vector<std::string_view> lines = SplitCodeLines(headCode);
    return !lines.empty() && std::ranges::all_of(lines, [&](std::string_view line) {
        return FindText(text, line) != std::string_view::npos;
    });
}

bool SwapCodeLines(std::string& text, std::string_view publishedCode,
                   std::string_view previewCode) {
    const std::vector<std::string_view> published = SplitCodeLines(publishedCode);
    const std::vector<std::string_view> preview = SplitCodeLines(previewCode);
    if (published.empty() || preview.empty() || published.size() != preview.size()) {
        return false;
    }
    for (size_t i = 0; i < published.size(); ++i) {
        // A blank line would otherwise replace every run of blanks or CR in the page.
        if (IsBlank(published[i]) || published[i] == preview[i]) {
            continue;
        }
        if (ReplaceAll(text, published[i], preview[i]) == 0) {
            return false;
        }
    }
    return true;
}

std::string MatchLineBreaks(std::string_view code, std::string_view pageText) {
    const size_t firstBreak = pageText.find('\n');
    if (firstBreak == std::string_view::npos || firstBreak == 0 ||
        pageText[firstBreak - 1] != '\r') {
        return std::string(code);
    }
    std::string out;
    out.reserve(code.size() + code.size() / 16);
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '\n' && (i == 0 || code[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(code[i]);
    }
    return out;
}
