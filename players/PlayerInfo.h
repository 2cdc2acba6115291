// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

// The player classes CreatePlayer makes; several rows may share one.
enum PlayerType : int {
    PLAYER_TYPE_VIDEOJS = 0,
    PLAYER_TYPE_MEDIAELEMENT = 1,
    PLAYER_TYPE_LEANBACK = 2,
    PLAYER_TYPE_PROJEKKTOR = 3,
};

// One row of the player tables the select-player page offers. A new player is one row here, its
// class (with a PlayerType and its case in CreatePlayer) and its folder's line in
// resources/folders.txt and recipe in resources/build.mjs.
struct PlayerInfo {
    const char* extraHead;
    const char* name;
    const char* cssClass;
    const char* samplePage;
    int pictureId;
    PlayerType playerType;
    // The name the command-line publisher takes for the row.
    const char* cliName;
};

// Plain constants, so that the settings size the stored row indexes by them.
inline constexpr PlayerInfo kVideoPlayers[] = {
    {"", "Default Player", "vjs-default-skin", "default.htm", 340, PLAYER_TYPE_VIDEOJS, "default"},
    {"<link rel=\"stylesheet\" href=\"$(path)/video-js/tube.css\">\n", "YouTube Player", "tubecss",
     "tube-css.htm", 341, PLAYER_TYPE_VIDEOJS, "youtube"},
    {"", "MediaElement Player", "", "mediaelement.htm", 1312, PLAYER_TYPE_MEDIAELEMENT,
     "mediaelement"},
    {"", "Leanback Player", "", "leanback.htm", 344, PLAYER_TYPE_LEANBACK, "leanback"},
    {"", "Projekktor Player", "", "projekktor.htm", 1319, PLAYER_TYPE_PROJEKKTOR, "projekktor"},
};
inline constexpr PlayerInfo kAudioPlayers[] = {
    {"", "MediaElement Player", "", "mediaelement-audio.htm", 1314, PLAYER_TYPE_MEDIAELEMENT,
     "mediaelement"},
};

constexpr std::span<const PlayerInfo> GetVideoPlayers() {
    return kVideoPlayers;
}
constexpr std::span<const PlayerInfo> GetAudioPlayers() {
    return kAudioPlayers;
}

// The first row whose name equals `name` without regard to case, or null.
const PlayerInfo* FindVideoPlayer(std::string_view name);
const PlayerInfo* FindAudioPlayer(std::string_view name);
// The video row the command line names (exactly, in lower case), or -1.
int FindVideoPlayerByCliName(std::string_view cliName);
// "a, b or c": the command-line names of the video rows, for help and error texts.
std::string VideoPlayerCliNames(std::string_view between = ", ", std::string_view last = " or ");
