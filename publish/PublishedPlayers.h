// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "publish/InsertionEngine.h"

// A video or audio player found in a page's text: one this program published (its body code,
// script included, exactly as a template writes it), or "other video" that only looks alike.
struct FoundPlayer {
    bool ours = false;
    // The command-line name of its row ("default", "youtube", "mediaelement"...); empty for
    // other video.
    std::string player;
    int playerType = -1;
    int row = 0;  // in the video or audio table
    bool audio = false;
    TextRange body;
    // Its head code, when the page holds it where a publish puts it.
    std::optional<TextRange> head;
    // The head code this player needs in the page, and the player files' folder it names.
    std::string headCode;
    std::string jsUrl;
    size_t line = 0;
    // Locations as written in the page, character references read. The sources in the page's
    // order: the media, then the other sources of the same media.
    std::vector<std::string> sources;
    // The playlist of the stream offered before the sources; empty when there is none.
    std::string stream;
    std::string poster;
    std::vector<std::string> captions;
    // Each track's language and label, as the captions.
    std::vector<std::pair<std::string, std::string>> captionNames;
    bool fit = false;
    bool controls = false, autoplay = false, loop = false;
};

// What a page holds: its players, and every location an attribute names (src, href, poster,
// data), so that a file is known to be in use by any markup, ours or not.
struct PageScan {
    std::vector<FoundPlayer> players;
    std::vector<std::string> urls;
};

// Reads the page's structure as a browser does (the text in the page's own bytes or, for a page
// the engine converted, the system code page; the markup searched for is ASCII either way).
PageScan ScanPage(std::string_view text);

// The text without the players `remove` names (indexes into `players`): each one's body code
// and, unless another of our players left in the page still needs it, its head code.
std::string WithoutPlayers(std::string_view text, const std::vector<FoundPlayer>& players,
                           const std::vector<size_t>& remove);

// The file a page at `pagePath` (relative to the site root) reaches through `url`, relative to
// the root; nullopt for another site, a scheme, or a place outside the root.
std::optional<std::string> ResolveSiteUrl(const std::string& pagePath, std::string_view url);
