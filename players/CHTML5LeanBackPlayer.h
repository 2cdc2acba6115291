// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "players/CHTML5Player.h"

// The Leanback player, for video and audio, with a Flash fallback for MP4 video.
class CHTML5LeanBackPlayer : public CHTML5Player {
public:
    CHTML5LeanBackPlayer() : CHTML5Player(3, PLAYER_TYPE_LEANBACK) {}
    bool GetHeadCode(const PlayerRequest& request, std::string& out) override;
    bool GetBodyCode(const PlayerRequest& request, std::string& out) override;
    std::string GetFolderName() const override { return "leanback"; }

protected:
    std::vector<std::string> GetResourceFolders() const override {
        return {"leanback", "leanback/js", "leanback/css", "leanback/css/themes"};
    }
};
