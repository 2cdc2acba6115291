// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CSiteFolder.h"
#include "core/PathUtils.h"

#ifndef DEDE5_SHARE_RELATIVE
#define DEDE5_SHARE_RELATIVE "share/dede5-varodo"
#endif

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Reads XDG_<name>_DIR from user-dirs.dirs; "$HOME/Videos" style values are expanded.
std::string XdgUserDir(const std::string& name) {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = GetHomeFolder() + "/.config";
    }
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_" + name + "_DIR=";
    while (std::getline(in, line)) {
        if (!line.starts_with(key)) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.starts_with("$HOME")) {
            value = GetHomeFolder() + value.substr(5);
        }
        return RemoveBackslash(value);
    }
    return {};
}

}  // namespace

std::string GetModuleFolder() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    buffer[n] = '\0';
    return GetPathFolder(buffer);
}

std::string GetInstallFolder() {
    std::string home = Env("DEDE5_VARODO_HOME");
    if (!home.empty()) {
        return RemoveBackslash(home);
    }
    const std::string module = GetModuleFolder();
    if (IsFolder(module + "/Example")) {
        return module;
    }
    return CombinePath(GetPathFolder(module), DEDE5_SHARE_RELATIVE);
}

std::string GetAppDataFolder() {
    static const std::string folder = [] {
        std::string data = Env("XDG_DATA_HOME");
        if (data.empty() || data.front() != '/') {
            data = GetHomeFolder() + "/.local/share";
        }
        return RemoveBackslash(data);
    }();
    return folder;
}

std::string GetTempFolder() {
    std::string tmp = Env("TMPDIR");
    if (!tmp.empty() && tmp.front() == '/') {
        return RemoveBackslash(tmp);
    }
    std::string folder = "/tmp/dede5-varodo-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0) {
        // It must be ours and a real folder, or another user could read or plant our files.
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
            return "/tmp";
        }
        if ((st.st_mode & 077) != 0) {
            ::chmod(folder.c_str(), 0700);
        }
    }
    return folder;
}

void SweepPrivateFolders(const std::string& parent, const std::string& prefix) {
    DIR* dir = ::opendir(parent.c_str());
    if (!dir) {
        return;
    }
    std::vector<std::string> gone;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        const std::string path = std::filesystem::path(parent) / entry->d_name;
        // Only a real folder of this user's: never another user's, never through a link.
        if (MadeByAGoneRun(entry->d_name, prefix) && ::lstat(path.c_str(), &st) == 0 &&
            S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) {
            gone.push_back(path);
        }
    }
    ::closedir(dir);
    for (const std::string& path : gone) {
        DeleteFolder(path);
    }
}

std::string MakePrivateFolder(const std::string& parent, const std::string& prefix,
                              std::string& problem) {
    SweepPrivateFolders(parent, prefix);
    // The process id in the name tells a later run whether the folder's maker is gone.
    std::string pattern =
        std::filesystem::path(parent) / (prefix + std::to_string(::getpid()) + "-XXXXXX");
    if (parent.starts_with('/') && ::mkdtemp(pattern.data())) {
        problem.clear();
        return pattern;
    }
    // mkdtemp says EINVAL for a pattern it dislikes; the folder it was to go in is the cause.
    int error = parent.starts_with('/') ? errno : ENOENT;
    struct stat st {};
    if (error == EINVAL) {
        error = ::stat(parent.c_str(), &st) != 0 ? errno : !S_ISDIR(st.st_mode) ? ENOTDIR : error;
    }
    problem = "working folder '" + parent + "' cannot be made: " + GetErrorText(error);
    errno = error;
    return {};
}

std::string MakePrivateTempFolder(const std::string& prefix, std::string& problem) {
    return MakePrivateFolder(GetTempFolder(), prefix, problem);
}

bool RemoveWorkingFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool MoveWorkingFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool SetWorkingFileMode(const std::string& path, mode_t mode) {
    return ::chmod(path.c_str(), mode) == 0;
}

bool MakeWorkingFolder(const std::string& path) {
    return IsValidPath(path) && CreateFolders(path);
}

CFileDescriptor OpenToRead(const std::string& path, int flags) {
    return CFileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags));
}

bool WriteWorkingFile(const std::string& path, std::string_view bytes) {
    CFileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    // A write the file system refuses late shows at the close.
    return fd.valid() && WriteAll(fd.get(), bytes) && fd.Close();
}

std::string GetHomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) {
        return RemoveBackslash(home);
    }
    if (passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        return RemoveBackslash(pw->pw_dir);
    }
    return {};
}

std::string GetUserVideosFolder() {
    std::string dir = XdgUserDir("VIDEOS");
    return dir.empty() ? GetHomeFolder() + "/Videos" : dir;
}

std::string GetUserDocumentsFolder() {
    std::string dir = XdgUserDir("DOCUMENTS");
    return dir.empty() ? GetHomeFolder() + "/Documents" : dir;
}
