// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MediaCopy.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/FileCopy.h"
#include "core/MessageBox.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/FastStart.h"

CStatus PrepareMediaFolder(const PlayerRequest& request, const CSiteFolder& site,
                           const std::string& mediaFolder) {
    if (request.mediaFolderUrl.empty()) {
        return {};
    }
    const auto folder = site.Folder(mediaFolder, true);
    if (folder) {
        return {};
    }
    return Failure(folder.error, MESSAGE_ERROR, IDS_MEDIA_FOLDER_FAILED,
                   AddBackslash(site.PathOf(mediaFolder)), GetErrorText(folder.error));
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

// A name the kernel resolves to the open file itself, for helpers that take a path.
std::string FdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Whether the regular file at `relative` already holds what publishing `source` would put there.
bool AlreadyThere(const CSiteFolder& site, const std::string& relative, const std::string& source,
                  bool fastStart) {
    const auto target = site.OpenAt(relative, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (!target || ::fstat(target.value.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // A rewrite with its index first is recognised by its streams, so that nothing is rewritten
    // to find out.
    return fastStart ? IsFastStartCopyOf(source, target.value.get())
                     : FilesDiffer(FdPath(target.value.get()), source) == 0;
}

// "clip-2.vtt", "clip-3.vtt"... the first that is free or already holds `source`.
std::optional<std::string> FreeName(const CSiteFolder& site, const std::string& folder,
                                    const std::string& name, const std::string& source,
                                    bool fastStart, bool& present) {
    const std::string title = std::filesystem::path(name).stem();
    const std::string extension = std::filesystem::path(name).extension();
    for (int n = 2; n < 1000; ++n) {
        const std::string candidate = title + "-" + std::to_string(n) + extension;
        struct stat st {};
        const std::string relative = std::filesystem::path(folder) / candidate;
        const int error = site.Stat(relative, st);
        if (error == ENOENT) {
            present = false;
            return candidate;
        }
        if (error == 0 && S_ISREG(st.st_mode) && AlreadyThere(site, relative, source, fastStart)) {
            present = true;
            return candidate;
        }
    }
    return std::nullopt;
}

// Writes `source` into the site at `relative`, asking whether to retry when it fails; `raced`
// when another run put a file there meanwhile.
CStatus CopyIn(const std::string& source, MediaCopyPlace& place, const std::string& name,
               const std::string& relative, bool fastStart, bool replace, ICopyQuestions& questions,
               bool& raced) {
    const CSiteFolder& site = *place.site;
    const auto progress = [&](uint64_t done, uint64_t total) {
        return questions.Progress(name, done, total);
    };
    CFastStartCopy rewritten;
    while (true) {
        int error = 0;
        if (fastStart && rewritten.TempPath().empty() &&
            !rewritten.Make(source, place.workFolder, progress)) {
            error = errno;
        } else {
            error = CopyFileIntoSite(fastStart ? rewritten.TempPath() : source, site, relative,
                                     fastStart ? CopyProgress() : CopyProgress(progress), replace);
        }
        if (error == 0) {
            if (place.memo) {
                place.memo->Remember(source, site.PathOf(relative));
            }
            return {};
        }
        if (error == EEXIST && !replace) {
            raced = true;
            return {};
        }
        const std::string reason =
            fastStart && rewritten.TempPath().empty() ? rewritten.Problem() : GetErrorText(error);
        const int answer =
            questions.AskCopyError(fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), name, reason));
        if (answer == IDRETRY) {
            continue;
        }
        return answer == IDIGNORE ? CStatus() : CStatus(CError{error});
    }
}

// Copies one file of the copy list; a file with its index last goes in rewritten, made in the
// working folder and then copied in like any other. A failure stops publishing.
CStatus CopyOne(const std::string& source, MediaCopyPlace& place, bool fastStart,
                ICopyQuestions& questions, bool& yesToAll) {
    const CSiteFolder& site = *place.site;
    std::string name = GetPathFileName(source);
    std::string relative = std::filesystem::path(place.folder) / name;
    const std::string mediaFolder = AddBackslash(site.PathOf(place.folder));
    struct stat at {};
    int looked = site.Stat(relative, at);
    if (looked == 0 && S_ISLNK(at.st_mode)) {
        // The page would play what the link leads to, from outside the site's own files:
        // the link goes only when the user agrees, else the page is not published.
        const std::string shown = site.PathOf(relative);
        const int answer =
            yesToAll
                ? COPY_EXIST_YES_TO_ALL
                : questions.AskOverwrite(fmt::sprintf(LoadStringRes(IDS_LINK_IN_THE_WAY), shown));
        if (answer == COPY_EXIST_CANCEL) {
            return CError{};
        }
        if (answer == COPY_EXIST_NO) {
            return Failure(ELOOP, MESSAGE_ERROR, IDS_LINK_LEFT_ALONE, shown);
        }
        yesToAll = yesToAll || answer == COPY_EXIST_YES_TO_ALL;
        if (const int error = site.Unlink(relative); error != 0 && error != ENOENT) {
            return Failure(error, MESSAGE_ERROR, IDS_COPY_ERROR, name, GetErrorText(error));
        }
        looked = ENOENT;
    } else if (place.memo && place.memo->KnownEqual(source, site.PathOf(relative))) {
        return {};
    }
    bool replace = false;
    if (looked == 0) {
        if (AlreadyThere(site, relative, source, fastStart)) {
            if (place.memo) {
                place.memo->Remember(source, site.PathOf(relative));
            }
            return {};
        }
        int answer = COPY_EXIST_YES_TO_ALL;
        if (!yesToAll) {
            answer = questions.AskOverwrite(
                fmt::sprintf(LoadStringRes(IDS_FILE_EXISTS_DIFFERENT), name, mediaFolder));
        }
        if (answer == COPY_EXIST_CANCEL) {
            return CError{};
        }
        if (answer == COPY_EXIST_NO) {
            // The user's file stays, and the page shows the user's media under a name of its own.
            bool present = false;
            const auto free = FreeName(site, place.folder, name, source, fastStart, present);
            if (!free) {
                return CError{EEXIST};
            }
            questions.Tell(Message(MESSAGE_NOTE, IDS_PUBLISHED_AS, name, mediaFolder, *free));
            place.renamed[source] = *free;
            if (present) {
                return {};
            }
            name = *free;
            relative = std::filesystem::path(place.folder) / name;
        } else {
            yesToAll = yesToAll || answer == COPY_EXIST_YES_TO_ALL;
            replace = true;
        }
    }
    bool raced = false;
    CStatus copied = CopyIn(source, place, name, relative, fastStart, replace, questions, raced);
    // A file put there meanwhile is looked at like any other.
    return raced ? CopyOne(source, place, fastStart, questions, yesToAll) : copied;
}

}  // namespace

CStatus CopyMediaFiles(PlayerRequest& request, MediaCopyPlace& place, ICopyQuestions& questions) {
    const auto folder = place.site->Folder(place.folder, true);
    if (!folder) {
        return folder.why;
    }
    SweepDebrisAt(folder.value.get());
    bool yesToAll = false;
    for (const std::string& source : request.copyList) {
        const bool fastStart = std::find(request.fastStartList.begin(), request.fastStartList.end(),
                                         source) != request.fastStartList.end();
        if (auto copied = CopyOne(source, place, fastStart, questions, yesToAll); !copied) {
            return copied;
        }
    }
    // A file already inside the media folder is the published copy itself.
    const std::string inside = place.site->PathOf(place.folder);
    for (const std::string& temp : request.tempList) {
        if (!IsInOrBelow(temp, inside)) {
            RemoveWorkingFile(temp);
        }
    }
    request.tempList.clear();
    return {};
}

int CopyPlayerFiles(const CSiteFolder& site, const std::string& jsFolder,
                    const std::vector<std::string>& folders, std::string& failed,
                    CEqualFilesMemo* memo) {
    const std::string install = GetInstallFolder();
    for (const std::string& folder : folders) {
        const std::string source = CombinePath(install, folder);
        const std::string relative = std::filesystem::path(jsFolder) / folder;
        DIR* dir = ::opendir(source.c_str());
        if (!dir) {
            failed.clear();
            return errno;
        }
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
        // A link as the player's own folder is refused here by the kernel, like any other.
        const auto made = site.Folder(relative, true);
        if (!made) {
            failed = relative;
            return made.error;
        }
        SweepDebrisAt(made.value.get());
        for (const std::string& name : names) {
            const std::string from = std::filesystem::path(source) / name;
            if (name == "." || name == ".." || !IsRegularFile(from)) {
                continue;
            }
            const std::string to = std::filesystem::path(relative) / name;
            // A batch puts the same files into one site again and again: an equal file stays.
            const std::string shown = site.PathOf(to);
            if (memo && memo->KnownEqual(from, shown)) {
                continue;
            }
            if (!AlreadyThere(site, to, from, false)) {
                if (const int error = CopyFileIntoSite(from, site, to)) {
                    failed = to;
                    return error;
                }
            }
            if (memo) {
                memo->Remember(from, shown);
            }
        }
    }
    return 0;
}

namespace {

constexpr std::string_view kBlockStart = "# Media types added by Ombrel DEDE5 Varodo\n";
constexpr std::string_view kBlockEnd = "# End of the media types added by Ombrel DEDE5 Varodo\n";
constexpr size_t kServerConfigLimit_bytes = size_t{1} << 20;

// Why a file of the site could not be read, in words that name the real cause.
std::string ReasonText(int error, size_t limit_bytes) {
    if (error == EFBIG) {
        return fmt::sprintf(LoadStringRes(IDS_FILE_OVER_LIMIT), limit_bytes >> 20);
    }
    if (error == EINVAL || error == EISDIR) {
        return LoadStringRes(IDS_NOT_A_REGULAR_FILE);
    }
    return GetErrorText(error);
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = OpenToRead(path, O_NOFOLLOW).release();
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

// The extensions that AddType lines of `config` give a type, in lower case with their dot.
std::set<std::string> TypedExtensions(std::string_view config) {
    std::set<std::string> extensions;
    for (const auto& words : AddTypeLines(config)) {
        for (size_t i = 2; i < words.size(); ++i) {
            const std::string extension = ToLowerAscii(words[i]);
            extensions.insert(extension.starts_with('.') ? extension : "." + extension);
        }
    }
    return extensions;
}

// Our AddType lines for the extensions `present` does not type yet.
std::string MissingTypeLines(std::string_view ours, const std::set<std::string>& present) {
    std::string lines;
    for (const auto& words : AddTypeLines(ours)) {
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
    return lines;
}

}  // namespace

std::vector<std::vector<std::string>> AddTypeLines(std::string_view config) {
    std::vector<std::string> lines;
    SplitString(config, "\n", lines);
    std::vector<std::vector<std::string>> found;
    for (const std::string& line : lines) {
        std::vector<std::string> words;
        if (SplitString(line, " \t\r", words) > 2 && EqualsNoCase(words[0], "AddType")) {
            found.push_back(std::move(words));
        }
    }
    return found;
}

std::string ServerConfigSource() {
    return GetInstallFolder() + "/Scripts/.htaccess";
}

CStatus CopyServerConfig(const CSiteFolder& site, const std::string& mediaFolder,
                         const std::string& moreTypes) {
    const std::string source = ServerConfigSource();
    if (const auto folder = site.Folder(mediaFolder, true); !folder) {
        return folder.why;
    }
    const std::string relative = std::filesystem::path(mediaFolder) / ".htaccess";
    const std::string target = site.PathOf(relative);
    struct stat st {};
    if (site.Stat(relative, st) == ENOENT) {
        const int error = CopyFileIntoSite(source, site, relative, {}, false);
        if (error != EEXIST && (error != 0 || moreTypes.empty())) {
            return error == 0 ? CStatus() : CStatus(CError{error});
        }
    }
    // The site's own configuration (passwords, rewrites) is never replaced: only the media types
    // it lacks are added, in one block of ours at its end.
    auto ours = ReadSmallFile(source);
    if (!ours) {
        return CError{errno};
    }
    *ours += moreTypes;
    const auto theirs = site.ReadSmall(relative, kServerConfigLimit_bytes);
    int error = theirs.error;
    std::string missing =
        MissingTypeLines(*ours, theirs ? TypedExtensions(theirs.value) : std::set<std::string>());
    if (theirs) {
        if (missing.empty()) {
            return {};
        }
        const auto file = site.OpenAt(relative, O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY);
        error = file.error;
        if (file) {
            std::string block(theirs.value.empty() || theirs.value.ends_with('\n') ? "" : "\n");
            block += std::string(kBlockStart) + missing + std::string(kBlockEnd);
            const int fd = file.value.get();
            if (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()) &&
                ::fsync(fd) == 0) {
                return {};
            }
            error = errno;
        }
    }
    return Failure(error, MESSAGE_WARNING, IDS_SERVER_CONFIG_LINES, target,
                   ReasonText(error, kServerConfigLimit_bytes), missing);
}
