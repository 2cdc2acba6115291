// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CProjekHTML5Player.h"

#include <filesystem>

#include <fmt/printf.h>

#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "players/PlayerMarkup.h"

namespace {

constexpr const char* kHead =
    "<link rel=\"stylesheet\" href=\"$(path)/Projekktor/theme/style.css\" type=\"text/css\" "
    "media=\"screen\" />\n"
    "<script type=\"text/javascript\" src=\"$(path)/Projekktor/jquery.min.js\"></script>\n"
    "<script type=\"text/javascript\" src=\"$(path)/Projekktor/projekktor.min.js\"></script>\n";

constexpr const char* kBody =
    "<video id=\"player_a\" title=\"%s\" $(controls) $(autoplay) width=\"%d\" height=\"%d\"$(fit) "
    "$(video_poster) $(video_loop) preload=\"auto\" >\n%s</video>\n%s\n"
    "<script type=\"text/javascript\">\n$(document).ready(function() {projekktor('#player_a', { "
    "playerFlashMP4: 'jarisplayer.swf'});});\n</script>";

}  // namespace

bool CProjekHTML5Player::GetHeadCode(const PlayerRequest&, std::string& out) {
    out = kHead;
    return true;
}

bool CProjekHTML5Player::GetBodyCode(const PlayerRequest& request, std::string& out) {
    if (!Serves(request)) {
        return false;
    }
    const std::string sources = BuildSourceList(request) + BuildTrackList(request);
    if (FindRequestFormat(request) < 0) {
        return false;
    }
    // The title comes from a file name: it must not be able to end the attribute.
    std::string text = fmt::sprintf(kBody, EscapeHtmlText(request.mediaTitle), request.width,
                                    request.height, sources, "");
    if (request.fit) {
        ReplaceAll(text, ", { playerFlashMP4: 'jarisplayer.swf'}", "");
    }
    out = ReplaceCommonMacros(std::move(text), request, true);
    return true;
}

bool CProjekHTML5Player::OnPagePublished(const CSiteFolder& site, const std::string& pageFolder) {
    m_strFailedFile.clear();
    const std::string source = GetInstallFolder() + "/Projekktor/jarisplayer.swf";
    if (!IsRegularFile(source)) {
        return true;
    }
    const std::string target = std::filesystem::path(pageFolder) / "jarisplayer.swf";
    if (const int error = CopyFileIntoSite(source, site, target)) {
        m_strFailedFile = site.PathOf(target);
        errno = error;
        return false;
    }
    return true;
}
