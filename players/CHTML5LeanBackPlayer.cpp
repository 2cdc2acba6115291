// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CHTML5LeanBackPlayer.h"

#include <fmt/printf.h>

#include "core/MediaFormat.h"
#include "players/PlayerMarkup.h"

namespace {

constexpr const char* kHead =
    "<link rel=\"stylesheet\" media=\"screen\" type=\"text/css\" "
    "href=\"$(path)/leanback/css/leanbackPlayer.default.css\" />\n"
    "<script type=\"text/javascript\" "
    "src=\"$(path)/leanback/js/leanbackPlayer.pack.js\"></script>\n"
    "<script type=\"text/javascript\" src=\"$(path)/leanback/js/leanbackPlayer.en.js\"></script>\n";

constexpr const char* kVideoBody =
    "<div class=\"leanback-player-video\">\n<video  $(controls) $(autoplay) width=\"%d\" "
    "height=\"%d\"$(fit) $(video_poster) $(video_loop) preload=\"auto\" >\n%s$(fall_back)\n"
    "</video>\n%s\n</div>\n";

constexpr const char* kAudioBody =
    "<div class=\"leanback-player-audio\" style=\"width: 411px;\">\n<audio  $(controls) "
    "$(autoplay)  $(video_loop) preload=\"auto\">\n%s</audio>\n</div>\n%s\n";

constexpr const char* kFlashClassId = "classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"";
constexpr const char* kFlashMarked =
    "class=\"leanback-player-flash-fallback\" "
    "classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"";

}  // namespace

bool CHTML5LeanBackPlayer::GetHeadCode(const PlayerRequest&, std::string& out) {
    out = kHead;
    return true;
}

bool CHTML5LeanBackPlayer::GetBodyCode(const PlayerRequest& request, std::string& out) {
    if (!Serves(request)) {
        return false;
    }
    const std::string sources = BuildSourceList(request) + BuildTrackList(request);
    const bool video = request.mediaKind == MEDIA_KIND_VIDEO;
    std::string text = video ? fmt::sprintf(kVideoBody, request.width, request.height, sources, "")
                             : fmt::sprintf(kAudioBody, sources, "");
    const int row = FindRequestFormat(request);
    if (row < 0) {
        return false;
    }
    if (!GetMediaFormat(row).flashPlayable || request.fit) {
        ReplaceMacro(text, "fall_back", BuildFallbackText(row));
    } else {
        std::string flash = BuildFlashObject(request, GetFolderName());
        if (size_t at = flash.find(kFlashClassId); at != std::string::npos) {
            flash.replace(at, std::string(kFlashClassId).size(), kFlashMarked);
        }
        ReplaceMacro(text, "fall_back", flash);
    }
    out = ReplaceCommonMacros(std::move(text), request, video);
    return true;
}
