// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MediaCopy.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

int CMessageBoxCopyQuestions::AskOverwrite(const std::string& text) {
    switch (GetMessageBox().Show(MB_YESNOCANCEL | MB_ICONQUESTION, text)) {
        case IDYES:
            return COPY_EXIST_YES;
        case IDNO:
            return COPY_EXIST_NO;
        default:
            return COPY_EXIST_CANCEL;
    }
}

int CMessageBoxCopyQuestions::AskCopyError(const std::string& text) {
    return GetMessageBox().Show(MB_ABORTRETRYIGNORE | MB_ICONERROR, text);
}

bool PrepareMediaFolder(const PlayerRequest& request, const std::string& mediaFolder) {
    if (request.mediaFolderUrl.empty()) {
        return true;
    }
    if (IsValidPath(mediaFolder) && CreateFolders(mediaFolder)) {
        return true;
    }
    const std::string folder = RemoveBackslash(mediaFolder);
    const int error = !IsValidPath(mediaFolder)                 ? EINVAL
                      : PathExists(folder) && !IsFolder(folder) ? ENOTDIR
                                                                : errno;
    MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_MEDIA_FOLDER_FAILED), mediaFolder,
                     GetErrorText(error));
    return false;
}

bool CEqualFilesMemo::LookOf(const std::string& path, Look& look) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    look = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return true;
}

bool CEqualFilesMemo::KnownEqual(const std::string& source, const std::string& target) const {
    const auto it = m_pairs.find({source, target});
    Look sourceNow, targetNow;
    return it != m_pairs.end() && LookOf(source, sourceNow) && LookOf(target, targetNow) &&
           it->second == std::pair{sourceNow, targetNow};
}

void CEqualFilesMemo::Remember(const std::string& source, const std::string& target) {
    Look sourceNow, targetNow;
    if (LookOf(source, sourceNow) && LookOf(target, targetNow)) {
        m_pairs[{source, target}] = {sourceNow, targetNow};
    }
}

bool CopyMediaFiles(PlayerRequest& request, const std::string& mediaFolder,
                    ICopyQuestions& questions, CEqualFilesMemo* memo) {
    if (!request.mediaFolderUrl.empty()) {
        if (!IsValidPath(mediaFolder) || !CreateFolders(mediaFolder)) {
            return false;
        }
    }
    bool yesToAll = false;
    for (const std::string& source : request.copyList) {
        const std::string name = GetPathFileName(source);
        const std::string target = JoinPath(name, mediaFolder, true);
        if (memo && memo->KnownEqual(source, target)) {
            continue;
        }
        if (PathExists(target)) {
            if (FilesDiffer(target, source) == 0) {
                if (memo) {
                    memo->Remember(source, target);
                }
                continue;
            }
            if (!yesToAll) {
                const int answer = questions.AskOverwrite(
                    fmt::sprintf(LoadStringRes(IDS_FILE_EXISTS_DIFFERENT), name, mediaFolder));
                if (answer == COPY_EXIST_CANCEL) {
                    return false;
                }
                if (answer == COPY_EXIST_NO) {
                    continue;
                }
                yesToAll = answer == COPY_EXIST_YES_TO_ALL;
            }
        }
        while (true) {
            if (PathExists(target)) {
                ClearReadOnly(target);
            }
            const bool copied =
                CopyFileOverwrite(source, target, [&](uint64_t done, uint64_t total) {
                    return questions.Progress(name, done, total);
                });
            if (copied) {
                if (memo) {
                    memo->Remember(source, target);
                }
                break;
            }
            const std::string reason = GetErrorText(errno);
            const int answer =
                questions.AskCopyError(fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), name, reason));
            if (answer == IDRETRY) {
                continue;
            }
            if (answer == IDIGNORE) {
                break;
            }
            return false;
        }
    }
    // A file already inside the media folder is the published copy itself.
    const std::string inside = AddBackslash(mediaFolder);
    for (const std::string& temp : request.tempList) {
        if (!temp.starts_with(inside)) {
            ::unlink(temp.c_str());
        }
    }
    request.tempList.clear();
    return true;
}

bool CopyServerConfig(const std::string& mediaFolder) {
    const std::string source = GetInstallFolder() + "/Scripts/.htaccess";
    if (!IsValidPath(mediaFolder) || !CreateFolders(mediaFolder)) {
        return false;
    }
    const std::string target = JoinPath(".htaccess", mediaFolder, true);
    if (PathExists(target) && FilesDiffer(target, source) == 0) {
        return true;
    }
    if (PathExists(target)) {
        ClearReadOnly(target);
    }
    return CopyFileOverwrite(source, target);
}
