// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A captions file made ready for a page: UTF-8 WebVTT, or the message saying why it cannot be.
struct CaptionsText {
    std::string webvtt;
    std::string problem;

    bool Ok() const { return problem.empty(); }
};

// The bytes of a WebVTT or SubRip file in any character set as UTF-8 WebVTT. WebVTT keeps its
// text (only its character set changes); SubRip is rewritten. `name` names the file in messages.
CaptionsText ConvertCaptions(std::string_view bytes, std::string_view name);
// Reads a regular file of at most kCaptionsMaxBytes, in that much memory at most; anything else
// (a FIFO, a device, a video given by mistake) is refused at once.
CaptionsText ReadCaptions(const std::string& path);
inline constexpr size_t kCaptionsMaxBytes = 10 * 1000 * 1000;

// The bytes as UTF-8: a byte-order mark decides, else valid UTF-8 stays, else the character set
// is detected. Nullopt when they cannot be read; `charset` then says what they seemed to be.
std::optional<std::string> CaptionsToUtf8(std::string_view bytes, std::string& charset);

// A language tag of the form the track element takes ("en", "pt-BR", "zh-Hant").
bool IsCaptionsLanguage(std::string_view language);
// The label a track of that language gets unless the user gives one: the language's English
// name for the common ones, else the tag; "Captions" without a language.
std::string CaptionsLabelFor(std::string_view language);

struct CaptionsBeside {
    std::string path;
    std::string language;  // from the file's name; empty for "<title>.vtt"
};
// The captions files lying beside the media: "<title>.vtt", "<title>.srt" and the same with a
// language tag before the extension. Sorted, those without a language first; a WebVTT file
// hides a SubRip file of the same language.
std::vector<CaptionsBeside> FindCaptionsBeside(const std::string& mediaPath);

// The names the tracks are published under in the media folder: "<title>.vtt" for a track
// without a language, "<title>.<language>.vtt" else, with a number added where two would meet.
std::vector<std::string> CaptionsFileNames(std::string_view mediaTitle,
                                           const std::vector<std::string>& languages);
