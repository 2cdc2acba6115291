// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

enum PlayerMode : int { PLAYER_MODE_PUBLISH = 0, PLAYER_MODE_PREVIEW = 2 };

// One captions track of the media: the user's file and the UTF-8 WebVTT made of it, which is
// what the page refers to and what goes into the media folder.
struct CaptionTrack {
    std::string source;
    std::string file;
    std::string language;  // a language tag such as "en" or "pt-BR"
    std::string label;
};

// The user's markup choices, as the settings keep them: autoplay is chosen apart for video and
// audio.
struct PlayerChoices {
    bool controls = false;
    bool autoPlay = false;
    bool audioAutoPlay = false;
    bool loop = false;
    bool poster = false;
    bool fit = false;
    // Video only: an adaptive stream of several qualities beside the MP4.
    bool qualities = false;
};

// Everything a player template needs about one publishing job. A plain value: templates read it
// and change nothing, so one request serves every page, preview and reload of a session.
struct PlayerRequest {
    std::vector<std::string> mediaFiles;  // full paths; the first is the request's media
    // The order the source list offers them in (indexes into mediaFiles); in theirs when it does
    // not cover them all.
    std::vector<size_t> sourceOrder;
    std::string pagePath;
    std::string mediaTitle;
    int width = 0;
    int height = 0;
    int mode = PLAYER_MODE_PUBLISH;
    int mediaKind = 0;
    int playerIndex = 0;
    std::string jsFolderUrl;
    std::string mediaFolderUrl;
    // Where the publish step puts the player files and the media: the page's JavaScript and
    // media folders as full paths.
    std::string jsFolder;
    std::string mediaFolder;
    std::vector<std::string> copyList;
    std::vector<std::string> tempList;

    // The user's choices, taken once from the settings by the front end.
    bool showControls = false;
    bool autoPlay = false;  // for the request's kind
    bool loop = false;
    bool poster = false;
    // Video only: the player shrinks to the element it sits in, keeping the video's proportions.
    bool fit = false;
    // The picture taken for the poster; empty when there is none (yet).
    std::string posterFile;
    // In the order the player offers them; the first is shown by default.
    std::vector<CaptionTrack> captions;
    // Where the poster picture is taken from, in seconds; 0 is the first second.
    double posterAt = 0;
    // Files of the copy list that are copied rewritten with their index first.
    std::vector<std::string> fastStartList;
    // Asked for: the video also as an adaptive stream of several qualities.
    bool qualities = false;
    // The stream's folder in the media folder once it is made or found there; the markup
    // offers its playlist only then.
    std::string streamFolder;
};
