// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "players/CHTML5Player.h"

// The MediaElement player, for video and audio.
class CMediaElementPLayer : public CHTML5Player {
public:
    CMediaElementPLayer() : CHTML5Player(3, PLAYER_TYPE_MEDIAELEMENT) {}
    bool GetHeadCode(const PlayerRequest& request, std::string& out) override;
    bool GetBodyCode(const PlayerRequest& request, std::string& out) override;
    std::string GetScriptCode() const override;
    std::string GetFolderName() const override { return "mediaelement"; }
    // What the body code holds between the video and the script when it offers a stream.
    static std::string_view StreamOrderCode();
};
