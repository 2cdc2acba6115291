// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string_view>

enum PlayerType : int {
    PLAYER_TYPE_VIDEOJS = 0,
    PLAYER_TYPE_MEDIAELEMENT = 1,
    PLAYER_TYPE_LEANBACK = 2,
    PLAYER_TYPE_PROJEKKTOR = 3,
};

// One row of the player tables the select-player page offers.
struct PlayerInfo {
    const char* extraHead;
    const char* name;
    const char* cssClass;
    const char* samplePage;
    int pictureId;
    PlayerType playerType;
};

std::span<const PlayerInfo> GetVideoPlayers();
std::span<const PlayerInfo> GetAudioPlayers();

// The first row whose name equals `name` without regard to case, or null.
const PlayerInfo* FindVideoPlayer(std::string_view name);
const PlayerInfo* FindAudioPlayer(std::string_view name);
