// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media/MediaInfo2.h"
#include "players/PlayerInfo.h"
#include "players/PlayerRequest.h"

// What the wizard's pages hand on to one another, owned by the sheet: the details of the chosen
// media file, the player request and the chosen player type.
struct CWizardState {
    // 1: publish into an HTML page.
    int m_nMode = 1;
    CMediaInfo2 m_mediaDetails;
    PlayerRequest m_request;
    PlayerType m_nPlayerType = PLAYER_TYPE_VIDEOJS;
};
