// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/PlayerInfo.h"

#include <iterator>

#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/CHTML5LeanBackPlayer.h"
#include "players/CHTML5VideoJsPlayer.h"
#include "players/CMediaElementPLayer.h"
#include "players/CProjekHTML5Player.h"

namespace {

const PlayerInfo kVideoPlayers[] = {
    {"", "Default Player", "vjs-default-skin", "default.htm", 340, PLAYER_TYPE_VIDEOJS, "default",
     MakePlayer<CHTML5VideoJsPlayer>},
    {"<link rel=\"stylesheet\" href=\"$(path)/video-js/tube.css\">\n", "YouTube Player", "tubecss",
     "tube-css.htm", 341, PLAYER_TYPE_VIDEOJS, "youtube", MakePlayer<CHTML5VideoJsPlayer>},
    {"", "MediaElement Player", "", "mediaelement.htm", 1312, PLAYER_TYPE_MEDIAELEMENT,
     "mediaelement", MakePlayer<CMediaElementPLayer>},
    {"", "Leanback Player", "", "leanback.htm", 344, PLAYER_TYPE_LEANBACK, "leanback",
     MakePlayer<CHTML5LeanBackPlayer>},
    {"", "Projekktor Player", "", "projekktor.htm", 1319, PLAYER_TYPE_PROJEKKTOR, "projekktor",
     MakePlayer<CProjekHTML5Player>},
};

const PlayerInfo kAudioPlayers[] = {
    {"", "MediaElement Player", "", "mediaelement-audio.htm", 1314, PLAYER_TYPE_MEDIAELEMENT,
     "mediaelement", MakePlayer<CMediaElementPLayer>},
};

static_assert(std::size(kVideoPlayers) == COptions::kVideoPlayerRows &&
                  std::size(kAudioPlayers) == COptions::kAudioPlayerRows,
              "the settings keep an index into each player table");

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

int FindVideoPlayerByCliName(std::string_view cliName) {
    const auto rows = GetVideoPlayers();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (cliName == rows[i].cliName) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string VideoPlayerCliNames(std::string_view between, std::string_view last) {
    const auto rows = GetVideoPlayers();
    std::string names;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            names += i + 1 == rows.size() ? last : between;
        }
        names += rows[i].cliName;
    }
    return names;
}
