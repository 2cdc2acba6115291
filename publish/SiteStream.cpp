// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteStream.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "media/StreamMaker.h"
#include "publish/ContentHash.h"

namespace {

// Empties and removes the folder `name` of `parentFd`, never following a link.
void RemoveTreeAt(int parentFd, const std::string& name) {
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
        if (!dir) {
            ::close(fd);
        }
        while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
            const std::string child = entry->d_name;
            if (child != "." && child != ".." && ::unlinkat(fd, child.c_str(), 0) != 0) {
                RemoveTreeAt(fd, child);
            }
        }
    }
    ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

int CopyFolderIntoSite(const std::filesystem::path& from, const CSiteFolder& site,
                       const std::string& to, const CopyProgress& progress) {
    std::error_code failed;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(from, failed)) {
        const std::string target =
            std::filesystem::path(to) / entry.path().lexically_relative(from);
        if (entry.is_directory()) {
            if (const auto made = site.Folder(target, true); !made) {
                return made.error;
            }
        } else if (const int error =
                       CopyFileIntoSite(entry.path(), site, target, progress, false)) {
            return error;
        }
    }
    return failed.value();
}

}  // namespace

std::string StreamFolderName(const std::string& media) {
    return GetPathFileTitle(media) + ".hls";
}

std::string StreamMark(const std::string& media) {
    const CFileDescriptor file = OpenToRead(media);
    struct stat st {};
    const std::optional<uint64_t> hash =
        file.get() >= 0 && ::fstat(file.get(), &st) == 0 ? HashFile(file.get()) : std::nullopt;
    return hash ? fmt::format("{} {:016x}\n", st.st_size, *hash) : std::string();
}

bool SiteHoldsStream(const CSiteFolder& site, const std::string& relative,
                     const std::string& mark) {
    const auto held = site.ReadSmall(std::filesystem::path(relative) / kStreamMarkFile, 256);
    struct stat st {};
    return held && !mark.empty() && held.value == mark &&
           site.Stat(std::filesystem::path(relative) / kStreamPlaylist, st) == 0;
}

int CopyStreamIntoSite(const std::string& stream, const CSiteFolder& site,
                       const std::string& relative, const std::string& mark,
                       const CopyProgress& progress) {
    const auto [parent, name] = SplitSitePath(relative);
    const auto parentFd = site.Folder(parent, true);
    if (!parentFd) {
        return parentFd.error;
    }
    const std::string temp = DebrisName() + name;
    const std::string tempPath = std::filesystem::path(parent) / temp;
    int error = CopyFolderIntoSite(stream, site, tempPath, progress);
    if (error == 0) {
        // The mark goes in last: a folder that has it is whole.
        const std::string markFile = std::filesystem::path(stream) / kStreamMarkFile;
        std::ofstream(markFile, std::ios::binary | std::ios::trunc) << mark;
        error = CopyFileIntoSite(markFile, site, std::filesystem::path(tempPath) / kStreamMarkFile,
                                 progress, false);
    }
    const int fd = parentFd.value.get();
    if (error == 0 && ::renameat2(fd, temp.c_str(), fd, name.c_str(), RENAME_NOREPLACE) != 0) {
        // The stream of other media there goes out in the same step as ours comes in.
        error =
            errno == EEXIST && ::renameat2(fd, temp.c_str(), fd, name.c_str(), RENAME_EXCHANGE) == 0
                ? 0
                : errno;
    }
    RemoveTreeAt(fd, temp);
    return error;
}

bool IsSiteStream(const CSiteFolder& site, const std::string& relative) {
    struct stat st {};
    return site.Stat(std::filesystem::path(relative) / kStreamMarkFile, st) == 0 &&
           S_ISREG(st.st_mode);
}

bool RemoveSiteStream(const CSiteFolder& site, const std::string& relative) {
    const auto [parent, name] = SplitSitePath(relative);
    const auto parentFd = site.Folder(parent);
    if (!parentFd || !IsSiteStream(site, relative)) {
        return false;
    }
    RemoveTreeAt(parentFd.value.get(), name);
    struct stat st {};
    return site.Stat(relative, st) != 0;
}
