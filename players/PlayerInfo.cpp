// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/PlayerInfo.h"

#include "core/PathUtils.h"

namespace {

constexpr PlayerInfo kVideoPlayers[] = {
    {"", "Default Player", "vjs-default-skin", "default.htm", 340, PLAYER_TYPE_VIDEOJS},
    {"<link rel=\"stylesheet\" href=\"$(path)/video-js/tube.css\">\n", "YouTube Player", "tubecss",
     "tube-css.htm", 341, PLAYER_TYPE_VIDEOJS},
    {"", "MediaElement Player", "", "mediaelement.htm", 1312, PLAYER_TYPE_MEDIAELEMENT},
    {"", "Leanback Player", "", "leanback.htm", 344, PLAYER_TYPE_LEANBACK},
    {"", "Projekktor Player", "", "projekktor.htm", 1319, PLAYER_TYPE_PROJEKKTOR},
};

constexpr PlayerInfo kAudioPlayers[] = {
    {"", "MediaElement Player", "", "mediaelement-audio.htm", 1314, PLAYER_TYPE_MEDIAELEMENT},
};

const PlayerInfo* FindIn(std::span<const PlayerInfo> rows, std::string_view name) {
    for (const PlayerInfo& row : rows) {
        if (EqualsNoCase(row.name, name)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const PlayerInfo> GetVideoPlayers() {
    return kVideoPlayers;
}
std::span<const PlayerInfo> GetAudioPlayers() {
    return kAudioPlayers;
}

const PlayerInfo* FindVideoPlayer(std::string_view name) {
    return FindIn(kVideoPlayers, name);
}
const PlayerInfo* FindAudioPlayer(std::string_view name) {
    return FindIn(kAudioPlayers, name);
}
