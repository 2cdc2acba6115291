// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MediaFormat.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace {

struct Lookup {
    const char* name;
    const char* extension;
    int kind;
    int row;
};

TEST(MediaFormatTest, LookupsFindTheFirstRowOfTheirKind) {
    const Lookup cases[] = {
        {"mp4 with any dots and case", ".MP4.", MEDIA_KIND_VIDEO, 2},
        {"m4v is a video extension", "m4v", MEDIA_KIND_VIDEO, 2},
        {"m4v refused for audio", ".M4V", MEDIA_KIND_AUDIO, -1},
        {"mp4 refused for audio", "mp4", MEDIA_KIND_AUDIO, -1},
        {"m4a for audio", "m4a", MEDIA_KIND_AUDIO, 6},
        {"ogg video row first", "ogg", MEDIA_KIND_VIDEO, 1},
        {"ogg audio row for audio", "ogg", MEDIA_KIND_AUDIO, 5},
        {"webm video row first", "webm", MEDIA_KIND_VIDEO, 0},
        {"webm audio row for audio", "WebM", MEDIA_KIND_AUDIO, 7},
        {"ogv is video only", "ogv", MEDIA_KIND_AUDIO, -1},
        {"oga found for video requests too", "oga", MEDIA_KIND_VIDEO, 5},
        {"wav found for a video request", "wav", MEDIA_KIND_VIDEO, 3},
        {"mp3 found for a video request", "mp3", MEDIA_KIND_VIDEO, 4},
        {"unknown kinds search everything", "mp3", 0, 4},
        {"empty extension", "", MEDIA_KIND_VIDEO, -1},
        {"only dots", "...", MEDIA_KIND_AUDIO, -1},
        {"a dot inside is not ignored", "m.p4", MEDIA_KIND_VIDEO, -1},
        {"a piece of a list entry is no match", "og", MEDIA_KIND_VIDEO, -1},
        {"no prefix match", "mp4x", MEDIA_KIND_VIDEO, -1},
        {"separator never matches", ";", MEDIA_KIND_VIDEO, -1},
        {"avi is not HTML5", "avi", MEDIA_KIND_VIDEO, -1},
    };
    for (const Lookup& c : cases) {
        EXPECT_EQ(FindMediaFormat(c.extension, c.kind), c.row) << c.name;
    }
}

// Pages show these texts verbatim and the browser picker splits them on "," without trimming.
TEST(MediaFormatTest, TextsKeepTheirUnevenBlanksAndCapitals) {
    EXPECT_STREQ(GetMediaFormat(0).browsers, "Chrome, Firefox, Opera");
    EXPECT_STREQ(GetMediaFormat(1).browsers, "Chrome,Firefox,Opera");
    EXPECT_STREQ(GetMediaFormat(3).browsers, "Firefox, Chrome, Safari, Opera");
    EXPECT_STREQ(GetMediaFormat(1).displayName, "HTML5 Ogg Video");
    EXPECT_STREQ(GetMediaFormat(5).displayName, "HTML5 OGG Audio");
    EXPECT_STREQ(GetMediaFormat(4).mimeType, "audio/mpeg");
}

TEST(MediaFormatTest, OnlyMp4VideoIsFlashPlayable) {
    for (int row = 0; row < kMediaFormatCount; ++row) {
        EXPECT_EQ(GetMediaFormat(row).flashPlayable, row == 2) << "row " << row;
    }
}

TEST(MediaFormatTest, RowOutsideTheTableThrowsInsteadOfReadingPastIt) {
    EXPECT_THROW(GetMediaFormat(-1), std::out_of_range);
    EXPECT_THROW(GetMediaFormat(8), std::out_of_range);
}

}  // namespace
