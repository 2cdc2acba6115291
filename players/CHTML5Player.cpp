// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/CHTML5Player.h"

#include <filesystem>

#include <dirent.h>
#include <sys/stat.h>

#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "players/PlayerMarkup.h"

namespace {

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

// Copies the files directly in `source` into `target`, overwriting read-only ones.
bool CHTML5Player::CopyFolderFiles(const std::string& source, const std::string& target) {
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
        const std::string from = std::filesystem::path(source) / name;
        if (name == "." || name == ".." || !IsRegularFile(from)) {
            continue;
        }
        const std::string to = std::filesystem::path(target) / name;
        // A batch puts the same files into one site again and again: an equal file stays. A
        // link of equal content still leads out of the site's own files.
        if (!IsLink(to) && PathExists(to) && FilesDiffer(to, from) == 0) {
            continue;
        }
        if (!CopyPlayerFile(from, to)) {
            return false;
        }
    }
    return true;
}

bool CHTML5Player::CopyPlayerFile(const std::string& source, const std::string& target) {
    if (PathExists(target)) {
        ClearReadOnly(target);
    }
    if (!CopyFileOverwrite(source, target)) {
        m_strFailedFile = target;
        return false;
    }
    return true;
}

bool CHTML5Player::CopyResources(const std::string& targetFolder) {
    m_strFailedFile.clear();
    const std::string install = GetInstallFolder();
    for (const std::string& folder : GetResourceFolders()) {
        if (!CopyFolderFiles(CombinePath(install, folder), CombinePath(targetFolder, folder))) {
            return false;
        }
    }
    return true;
}

bool CHTML5Player::OnPagePublished(const CSiteFolder&, const std::string&) {
    m_strFailedFile.clear();
    return true;
}

std::string CHTML5Player::ReplaceCommonMacros(std::string text, const PlayerRequest& request,
                                              bool video) {
    ReplaceMacro(text, "controls", request.showControls ? kControlsSnippet : "");
    ReplaceMacro(text, "video_loop", request.loop ? kLoopSnippet : "");
    ReplaceMacro(text, "autoplay", AutoplaySnippet(request));
    if (video) {
        ReplaceMacro(text, "video_poster",
                     request.poster ? BuildPosterAttribute(request) : std::string());
        ReplaceMacro(text, "fit", BuildFitAttribute(request));
    }
    return request.fit ? TidyFittedBody(text, request) : std::move(text);
}
