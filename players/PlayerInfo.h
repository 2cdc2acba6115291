// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

class CHTML5Player;

enum PlayerType : int {
    PLAYER_TYPE_VIDEOJS = 0,
    PLAYER_TYPE_MEDIAELEMENT = 1,
    PLAYER_TYPE_LEANBACK = 2,
    PLAYER_TYPE_PROJEKKTOR = 3,
};

// One row of the player tables the select-player page offers. A new player is one row here and
// one class.
struct PlayerInfo {
    const char* extraHead;
    const char* name;
    const char* cssClass;
    const char* samplePage;
    int pictureId;
    PlayerType playerType;
    // The name the command-line publisher takes for the row.
    const char* cliName;
    std::unique_ptr<CHTML5Player> (*create)();
};

std::span<const PlayerInfo> GetVideoPlayers();
std::span<const PlayerInfo> GetAudioPlayers();

// The first row whose name equals `name` without regard to case, or null.
const PlayerInfo* FindVideoPlayer(std::string_view name);
const PlayerInfo* FindAudioPlayer(std::string_view name);
// The video row the command line names (exactly, in lower case), or -1.
int FindVideoPlayerByCliName(std::string_view cliName);
// "a, b or c": the command-line names of the video rows, for help and error texts.
std::string VideoPlayerCliNames(std::string_view between = ", ", std::string_view last = " or ");
