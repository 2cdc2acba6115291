// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MediaCopy.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <vector>

#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/FastStart.h"

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

namespace {

enum class CopyStep { Done, Stop };

// A file with its index last goes in rewritten. The rewrite is made first and then compared,
// so the equal-file check and the overwrite question are about what would really be published.
CopyStep CopyWithIndexFirst(const std::string& source, const std::string& target,
                            const std::string& mediaFolder, ICopyQuestions& questions,
                            CEqualFilesMemo* memo, bool& yesToAll) {
    const std::string name = GetPathFileName(source);
    const auto progress = [&](uint64_t done, uint64_t total) {
        return questions.Progress(name, done, total);
    };
    CFastStartCopy copy;
    while (!copy.Make(source, target, progress)) {
        const int answer = questions.AskCopyError(
            fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), name, copy.Problem()));
        if (answer == IDIGNORE) {
            return CopyStep::Done;
        }
        if (answer != IDRETRY) {
            return CopyStep::Stop;
        }
    }
    if (PathExists(target)) {
        if (FilesDiffer(target, copy.TempPath()) == 0) {
            if (memo) {
                memo->Remember(source, target);
            }
            return CopyStep::Done;
        }
        if (!yesToAll) {
            const int answer = questions.AskOverwrite(
                fmt::sprintf(LoadStringRes(IDS_FILE_EXISTS_DIFFERENT), name, mediaFolder));
            if (answer == COPY_EXIST_CANCEL) {
                return CopyStep::Stop;
            }
            if (answer == COPY_EXIST_NO) {
                return CopyStep::Done;
            }
            yesToAll = answer == COPY_EXIST_YES_TO_ALL;
        }
    }
    if (!copy.Commit()) {
        const std::string reason = GetErrorText(errno);
        const int answer =
            questions.AskCopyError(fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), name, reason));
        if (answer == IDRETRY) {
            return CopyWithIndexFirst(source, target, mediaFolder, questions, memo, yesToAll);
        }
        return answer == IDIGNORE ? CopyStep::Done : CopyStep::Stop;
    }
    if (memo) {
        memo->Remember(source, target);
    }
    return CopyStep::Done;
}

}  // namespace

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
        struct stat at {};
        if (::lstat(target.c_str(), &at) == 0 && S_ISLNK(at.st_mode)) {
            // The page would play what the link leads to, from outside the site's own files:
            // the link goes only when the user agrees, else the page is not published.
            int answer = yesToAll ? COPY_EXIST_YES_TO_ALL
                                  : questions.AskOverwrite(
                                        fmt::sprintf(LoadStringRes(IDS_LINK_IN_THE_WAY), target));
            if (answer == COPY_EXIST_CANCEL) {
                return false;
            }
            if (answer == COPY_EXIST_NO) {
                MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_LINK_LEFT_ALONE), target);
                errno = ELOOP;
                return false;
            }
            yesToAll = yesToAll || answer == COPY_EXIST_YES_TO_ALL;
            // unlink() removes the link itself, never the file it leads to.
            if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
                const int error = errno;
                MessageBoxFormat(MB_OK | MB_ICONERROR, LoadStringRes(IDS_COPY_ERROR), name,
                                 GetErrorText(error));
                errno = error;
                return false;
            }
        } else if (memo && memo->KnownEqual(source, target)) {
            continue;
        }
        if (std::find(request.fastStartList.begin(), request.fastStartList.end(), source) !=
            request.fastStartList.end()) {
            if (CopyWithIndexFirst(source, target, mediaFolder, questions, memo, yesToAll) ==
                CopyStep::Stop) {
                return false;
            }
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

namespace {

constexpr std::string_view kBlockStart = "# Media types added by Ombrel DEDE5 Varodo\n";
constexpr std::string_view kBlockEnd = "# End of the media types added by Ombrel DEDE5 Varodo\n";

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    const int error = errno;
    ::close(fd);
    if (n < 0) {
        errno = error;
        return std::nullopt;
    }
    return text;
}

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.emplace_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

// The extensions that AddType lines of `config` give a type, in lower case with their dot.
std::set<std::string> TypedExtensions(std::string_view config) {
    std::set<std::string> extensions;
    size_t pos = 0;
    while (pos < config.size()) {
        const size_t end = std::min(config.find('\n', pos), config.size());
        const auto words = Words(config.substr(pos, end - pos));
        if (words.size() > 2 && EqualsNoCase(words[0], "AddType")) {
            for (size_t i = 2; i < words.size(); ++i) {
                std::string extension = ToLowerAscii(words[i]);
                if (!extension.starts_with('.')) {
                    extension.insert(extension.begin(), '.');
                }
                extensions.insert(extension);
            }
        }
        pos = end + 1;
    }
    return extensions;
}

// Our AddType lines for the extensions `present` does not type yet.
std::string MissingTypeLines(std::string_view ours, const std::set<std::string>& present) {
    std::string lines;
    size_t pos = 0;
    while (pos < ours.size()) {
        const size_t end = std::min(ours.find('\n', pos), ours.size());
        const auto words = Words(ours.substr(pos, end - pos));
        if (words.size() > 2 && EqualsNoCase(words[0], "AddType")) {
            std::string line;
            for (size_t i = 2; i < words.size(); ++i) {
                if (!present.count(ToLowerAscii(words[i]))) {
                    line += " " + words[i];
                }
            }
            if (!line.empty()) {
                lines += words[0] + " " + words[1] + line + "\n";
            }
        }
        pos = end + 1;
    }
    return lines;
}

}  // namespace

std::string ServerConfigSource() {
    return GetInstallFolder() + "/Scripts/.htaccess";
}

bool CopyServerConfig(const std::string& mediaFolder) {
    const std::string source = ServerConfigSource();
    if (!IsValidPath(mediaFolder) || !CreateFolders(mediaFolder)) {
        return false;
    }
    const std::string target = JoinPath(".htaccess", mediaFolder, true);
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
        return CopyFileOverwrite(source, target);
    }
    // The site's own configuration (passwords, rewrites) is never replaced: only the media types
    // it lacks are added, in one block of ours at its end.
    const auto ours = ReadSmallFile(source);
    const auto theirs = S_ISREG(st.st_mode) ? ReadSmallFile(target) : std::nullopt;
    if (!ours) {
        return false;
    }
    std::string missing;
    int error = 0;
    if (theirs) {
        missing = MissingTypeLines(*ours, TypedExtensions(*theirs));
        if (missing.empty()) {
            return true;
        }
        const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            std::string block(theirs->empty() || theirs->ends_with('\n') ? "" : "\n");
            block += std::string(kBlockStart) + missing + std::string(kBlockEnd);
            const bool written =
                ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()) &&
                ::fsync(fd) == 0;
            error = errno;
            ::close(fd);
            if (written) {
                return true;
            }
        } else {
            error = errno;
        }
    } else {
        error = S_ISREG(st.st_mode) ? errno : S_ISLNK(st.st_mode) ? ELOOP : EISDIR;
        missing = MissingTypeLines(*ours, {});
    }
    MessageBoxFormat(MB_OK | MB_ICONWARNING, LoadStringRes(IDS_SERVER_CONFIG_LINES), target,
                     GetErrorText(error), missing);
    errno = error;
    return false;
}
