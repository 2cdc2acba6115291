// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"

// The four patterns that recognise a script block of the menu-authoring product (caseless,
// dot-all), tested in this order against each block.
const std::array<CRegex, 4>& MenuScriptPatterns();

struct TextRange {
    size_t offset = 0;
    size_t length = 0;
    size_t end() const { return offset + length; }
    bool operator==(const TextRange&) const = default;
};

// The menu product's script blocks in `text`, each with the line break that follows it, left to
// right. Blocks overlapping the `keepLength` bytes at `cursor` (the code just inserted there) are
// left out, so inserted code is never removed.
std::vector<TextRange> FindMenuScripts(std::string_view text, size_t cursor, size_t keepLength);

// Where head code goes: before the first "</head>", else "<body>", else "<html>" (ASCII letters
// in any case, these exact spellings only), else 0.
size_t FindHeadInsertPosition(std::string_view text);

// True when every non-empty line of `headCode` occurs in `text` (case-sensitive).
bool IsHeadCodePresent(std::string_view text, std::string_view headCode);

// Replaces, line by line, each line of `publishedCode` in `text` by the line of `previewCode` at
// the same index. Nothing changes when either has no lines or their counts differ (false); a
// published line that does not occur stops the swap (false), earlier lines staying replaced.
bool SwapCodeLines(std::string& text, std::string_view publishedCode, std::string_view previewCode);

// `code` with its line breaks made to match the page's: when the page's first line break is
// CR LF, every bare LF of the code becomes CR LF. Otherwise the code is returned as it is.
std::string MatchLineBreaks(std::string_view code, std::string_view pageText);
