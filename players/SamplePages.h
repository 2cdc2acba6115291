// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "core/Error.h"
#include "players/PlayerRequest.h"

// Copies the sample media of the kind (1 video, else audio) into `workFolder`; files already
// there are kept, missing ones skipped.
bool CopySampleMedia(int kind, const std::string& workFolder);

// Fills a sample page's macros with the user's choices and the installation folder's URL.
void ApplySampleOptions(std::string& text, const std::string& installFolder,
                        const std::string& posterText, int kind, const PlayerChoices& choices);

// Writes the filled sample page into `workFolder` as html5-player.htm (then -0, -1, ...) and
// returns its path, or why that cannot be done (a file error with its message).
CResult<std::string> WriteSamplePage(int kind, const std::string& samplePagePath,
                                     const PlayerChoices& choices, const std::string& workFolder);

// WriteSamplePage, then opens the page in a browser.
CStatus ShowSamplePage(int kind, const std::string& samplePagePath, const PlayerChoices& choices,
                       const std::string& workFolder);
