// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

enum MediaKind : int { MEDIA_KIND_VIDEO = 1, MEDIA_KIND_AUDIO = 2 };

// One HTML5 media format. The texts appear verbatim in generated pages, and the browser list is
// split on "," without trimming, so their uneven blanks and capitals are deliberate.
struct MediaFormat {
    // Every extension without its dot, each followed by ";".
    const char* extensions;
    const char* mimeType;
    const char* displayName;
    const char* browsers;
    bool flashPlayable;
};

// Lookups return the first matching row, so the order matters: a video row before its audio twin.
inline constexpr std::array<MediaFormat, 8> kMediaFormats = {{
    {"webm;", "video/webm", "HTML5 WebM Video", "Chrome, Firefox, Opera", false},
    {"ogg;ogv;", "video/ogg", "HTML5 Ogg Video", "Chrome,Firefox,Opera", false},
    {"mp4;m4v;", "video/mp4", "HTML5 MP4 Video", "IE 9.0+,Chrome,Safari", true},
    {"wav;", "audio/wav", "HTML5 WAV Audio", "Firefox, Chrome, Safari, Opera", false},
    {"mp3;", "audio/mpeg", "HTML5 MP3 Audio", "IE 9.0+,Chrome,Safari", false},
    {"ogg;oga;", "audio/ogg", "HTML5 OGG Audio", "Firefox,Chrome,Opera", false},
    {"m4a;", "audio/mp4", "HTML5 MP4 Audio", "IE 9.0+,Chrome,Safari", false},
    {"webm;", "audio/webm", "HTML5 WebM Audio", "Chrome,Firefox,Opera", false},
}};

inline constexpr int kMediaFormatCount = static_cast<int>(kMediaFormats.size());

// The extensions that make a chosen file HTML5 media, in their order; the rows' extensions
// above are a list of their own (m4v plays, but is not offered).
struct MediaExtension {
    const char* name;
    // Accepted in a drop on the select-media page as well.
    bool droppable;
};
inline constexpr std::array<MediaExtension, 8> kMediaExtensions = {{
    {".mp4", true},
    {".webm", true},
    {".ogg", true},
    {".ogv", false},
    {".mp3", true},
    {".m4a", true},
    {".oga", true},
    {".wav", true},
}};

// The names alone, for lists of file patterns.
inline constexpr auto kHtml5MediaExtensions = [] {
    std::array<const char*, kMediaExtensions.size()> names{};
    for (size_t i = 0; i < names.size(); ++i) {
        names[i] = kMediaExtensions[i].name;
    }
    return names;
}();

// The row `row` (0..7); any other index throws std::out_of_range.
const MediaFormat& GetMediaFormat(int row);

// The first row listing `extension` (dots at either end ignored, letters compared without case),
// or -1. Only MEDIA_KIND_AUDIO narrows the search, to the audio rows; every other kind searches
// all rows, so an audio extension is found for a video request too.
int FindMediaFormat(std::string_view extension, int kind);
