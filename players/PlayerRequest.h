// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

enum PlayerMode : int { PLAYER_MODE_PUBLISH = 0, PLAYER_MODE_PREVIEW = 2 };

// Everything a player template needs about one publishing job. A plain value: the publish page
// copies the wizard's request field by field.
struct PlayerRequest {
    std::vector<std::string> mediaFiles;  // full paths; the first is the request's media
    std::string pagePath;
    std::string mediaTitle;
    int width = 0;
    int height = 0;
    int mode = PLAYER_MODE_PUBLISH;
    int mediaKind = 0;
    int playerIndex = 0;
    std::string jsFolderUrl;
    std::string mediaFolderUrl;
    std::vector<std::string> copyList;
    std::vector<std::string> tempList;
};
