// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CHTML5VideoJsPlayer.h"

#include <fmt/printf.h>

#include "core/MediaFormat.h"
#include "players/PlayerMarkup.h"

namespace {

constexpr const char* kHead =
    "<script src=\"$(path)/video-js/video.js\" type=\"text/javascript\"></script>\n"
    "<link rel=\"stylesheet\" href=\"$(path)/video-js/video-js.css\">\n";

constexpr const char* kBody =
    "<video class=\"video-js $(html5_player_css)\" $(controls) $(autoplay) width=\"%d\" "
    "height=\"%d\"$(fit) $(video_poster) $(video_loop) preload=\"auto\" "
    "data-setup=\"$(setup)\">\n%s$(fall_back)\n</video>";

// What the Flash fallback of old needed; the script reads neither value.
constexpr const char* kFlashSetup =
    "{'media_path':'$(media_path)','flash_player_path':'$(flash_player_path)'}";

const PlayerInfo* VideoRow(int index) {
    auto rows = GetVideoPlayers();
    return index >= 0 && static_cast<size_t>(index) < rows.size()
               ? &rows[static_cast<size_t>(index)]
               : nullptr;
}

}  // namespace

bool CHTML5VideoJsPlayer::GetHeadCode(const PlayerRequest& request, std::string& out) {
    out = kHead;
    // The skin's style sheet and the class list both follow the request's row.
    if (const PlayerInfo* row = VideoRow(request.playerIndex)) {
        out += row->extraHead;
    }
    return true;
}

bool CHTML5VideoJsPlayer::GetBodyCode(const PlayerRequest& request, std::string& out) {
    if (!(request.mediaKind & MEDIA_KIND_VIDEO)) {
        return false;
    }
    std::string text = fmt::sprintf(kBody, request.width, request.height,
                                    BuildSourceList(request) + BuildTrackList(request));
    const int row = FindRequestFormat(request);
    if (row < 0) {
        out.clear();
        return true;
    }
    // The attribute stays: it is what makes the script set the player up.
    ReplaceMacro(text, "setup", request.fit ? "{}" : kFlashSetup);
    if (GetMediaFormat(row).flashPlayable) {
        ReplaceMacro(text, "fall_back", "");
    } else {
        ReplaceMacro(text, "fall_back", BuildFallbackText(row));
    }
    ReplaceMacro(text, "media_path", MediaPathUrl(request, GetFolderName()).value_or(""));
    ReplaceMacro(text, "flash_player_path", PlayerPathUrl(request, GetFolderName()).value_or(""));
    const PlayerInfo* skin = VideoRow(request.playerIndex);
    ReplaceMacro(text, "html5_player_css", skin ? skin->cssClass : "");
    out = ReplaceCommonMacros(std::move(text), request, true);
    return true;
}
