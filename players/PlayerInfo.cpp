// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/PlayerInfo.h"

#include "core/PathUtils.h"
#include "players/CHTML5LeanBackPlayer.h"
#include "players/CHTML5VideoJsPlayer.h"
#include "players/CMediaElementPLayer.h"
#include "players/CProjekHTML5Player.h"

namespace {

const PlayerInfo* FindIn(std::span<const PlayerInfo> rows, std::string_view name) {
    for (const PlayerInfo& row : rows) {
        if (EqualsNoCase(row.name, name)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

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

std::unique_ptr<CHTML5Player> CreatePlayer(int type) {
    // Without a default, a PlayerType left out here is a compiler warning.
    switch (static_cast<PlayerType>(type)) {
        case PLAYER_TYPE_VIDEOJS:
            return std::make_unique<CHTML5VideoJsPlayer>();
        case PLAYER_TYPE_MEDIAELEMENT:
            return std::make_unique<CMediaElementPLayer>();
        case PLAYER_TYPE_LEANBACK:
            return std::make_unique<CHTML5LeanBackPlayer>();
        case PLAYER_TYPE_PROJEKKTOR:
            return std::make_unique<CProjekHTML5Player>();
    }
    return nullptr;
}
