// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CHTML5Player.h"

#include <dirent.h>

#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/CHTML5LeanBackPlayer.h"
#include "players/CHTML5VideoJsPlayer.h"
#include "players/CMediaElementPLayer.h"
#include "players/CProjekHTML5Player.h"
#include "players/PlayerMarkup.h"

namespace {

// Copies the files directly in `source` into `target`, overwriting read-only ones.
bool CopyFolderFiles(const std::string& source, const std::string& target) {
    if (!IsFolder(source) || !IsValidPath(target) || !CreateFolders(target)) {
        return false;
    }
    DIR* dir = ::opendir(source.c_str());
    if (!dir) {
        return false;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string from = source + "/" + name;
        if (name == "." || name == ".." || !IsRegularFile(from)) {
            continue;
        }
        const std::string to = target + "/" + name;
        if (PathExists(to)) {
            ClearReadOnly(to);
        }
        if (!CopyFileOverwrite(from, to)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool CHTML5Player::CopyResources(const std::string& targetFolder) {
    const std::string install = GetInstallFolder();
    for (const std::string& folder : GetResourceFolders()) {
        if (!CopyFolderFiles(CombinePath(install, folder),
                             RemoveBackslash(CombinePath(targetFolder, folder)))) {
            return false;
        }
    }
    return true;
}

bool CHTML5Player::OnPagePublished(const std::string&) {
    return true;
}

void CHTML5Player::ReplaceControls(std::string& text) {
    ReplaceMacro(text, "controls", COptions::Instance()->m_bVideoControl ? kControlsSnippet : "");
}

void CHTML5Player::ReplaceLoop(std::string& text) {
    ReplaceMacro(text, "video_loop", COptions::Instance()->m_bVideoLoop ? kLoopSnippet : "");
}

void CHTML5Player::ReplaceAutoplay(std::string& text, int mediaKind) {
    const COptions* o = COptions::Instance();
    const bool on = mediaKind == MEDIA_KIND_VIDEO ? o->m_bAutoPlay : o->m_bAudioAutoPlay;
    ReplaceMacro(text, "autoplay", on ? kAutoplaySnippet : "");
}

void CHTML5Player::ReplacePoster(std::string& text, PlayerRequest& request) {
    if (text.find("$(video_poster)") == std::string::npos) {
        return;
    }
    const bool on = COptions::Instance()->m_bVideoPoster != 0;
    ReplaceMacro(text, "video_poster", on ? BuildPosterAttribute(request) : std::string());
}

std::unique_ptr<CHTML5Player> CreatePlayer(int type) {
    switch (type) {
        case PLAYER_TYPE_VIDEOJS:
            return std::make_unique<CHTML5VideoJsPlayer>();
        case PLAYER_TYPE_MEDIAELEMENT:
            return std::make_unique<CMediaElementPLayer>();
        case PLAYER_TYPE_LEANBACK:
            return std::make_unique<CHTML5LeanBackPlayer>();
        case PLAYER_TYPE_PROJEKKTOR:
            return std::make_unique<CProjekHTML5Player>();
        default:
            return nullptr;
    }
}
