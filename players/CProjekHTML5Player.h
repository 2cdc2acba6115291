// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "players/CHTML5Player.h"

// The Projekktor player, video only; its element id makes one player per page.
class CProjekHTML5Player : public CHTML5Player {
public:
    CProjekHTML5Player() : CHTML5Player(1, PLAYER_TYPE_PROJEKKTOR) {}
    bool GetHeadCode(const PlayerRequest& request, std::string& out) override;
    bool GetBodyCode(const PlayerRequest& request, std::string& out) override;
    // Puts the Flash fallback player beside the page when the installation has it.
    bool OnPagePublished(const CSiteFolder& site, const std::string& pageFolder) override;
    std::string GetFolderName() const override { return "Projekktor"; }

protected:
    std::vector<std::string> GetResourceFolders() const override {
        return {"Projekktor", "Projekktor/theme"};
    }
};
