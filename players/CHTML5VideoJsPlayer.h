// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "players/CHTML5Player.h"

// The Video.js player; serves the "Default Player" and "YouTube Player" rows.
class CHTML5VideoJsPlayer : public CHTML5Player {
public:
    CHTML5VideoJsPlayer() : CHTML5Player(1, PLAYER_TYPE_VIDEOJS) {}
    bool GetHeadCode(const PlayerRequest& request, std::string& out) override;
    bool GetBodyCode(const PlayerRequest& request, std::string& out) override;
    std::string GetFolderName() const override { return "video-js"; }
    bool PlaysStreams() const override { return true; }
};
