// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CMediaElementPLayer.h"

#include <fmt/printf.h>

#include "core/MediaFormat.h"
#include "players/PlayerMarkup.h"

namespace {

constexpr const char* kHead =
    "<script src=\"$(path)/mediaelement/jquery.js\"></script>\n"
    "<script src=\"$(path)/mediaelement/mediaelement-and-player.min.js\"></script>\n"
    "<link rel=\"stylesheet\" href=\"$(path)/mediaelement/mediaelementplayer.min.css\" />\n";

constexpr const char* kVideoBody =
    "<video  $(controls) $(autoplay) width=\"%d\" height=\"%d\"$(fit) $(video_poster) "
    "$(video_loop) preload=\"auto\" >\n%s</video>";

constexpr const char* kAudioBody =
    "<audio  $(controls) $(autoplay)  $(video_loop) preload=\"auto\" >\n%s</audio>";

// MediaElement takes the first source its first renderer can play: the stream goes to the
// stream script's renderer before the MP4 goes to the browser's.
constexpr const char* kStreamFirst =
    "\n<script>\nmejs.Renderers.order = ['native_hls'].concat(mejs.Renderers.order.filter("
    "function (name) { return name !== 'native_hls'; }));\n</script>";

constexpr const char* kScript =
    "\n<script>\n$('audio,video').mediaelementplayer({\nsuccess: function(player, node) {\n"
    "$('#' + node.id + '-mode').html('mode: ' + player.pluginType);\n}\n});\n</script>";

}  // namespace

bool CMediaElementPLayer::GetHeadCode(const PlayerRequest&, std::string& out) {
    out = kHead;
    return true;
}

bool CMediaElementPLayer::GetBodyCode(const PlayerRequest& request, std::string& out) {
    if (!Serves(request)) {
        return false;
    }
    const std::string sources = BuildSourceList(request) + BuildTrackList(request);
    std::string text = request.mediaKind == MEDIA_KIND_VIDEO
                           ? fmt::sprintf(kVideoBody, request.width, request.height, sources)
                           : fmt::sprintf(kAudioBody, sources);
    if (FindRequestFormat(request) < 0) {
        return false;
    }
    out = ReplaceCommonMacros(std::move(text), request, request.mediaKind == MEDIA_KIND_VIDEO);
    if (!StreamUrl(request).empty()) {
        out += kStreamFirst;
    }
    return true;
}

std::string_view CMediaElementPLayer::StreamOrderCode() {
    return kStreamFirst;
}

std::string CMediaElementPLayer::GetScriptCode() const {
    return kScript;
}
