// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string MakePrivateTempFolder(const std::string& prefix, std::string& problem) {
    const std::string temp = GetTempFolder();
    std::string pattern = AddBackslash(temp) + prefix + "XXXXXX";
    if (::mkdtemp(pattern.data())) {
        problem.clear();
        return pattern;
    }
    // mkdtemp says EINVAL for a pattern it dislikes; the folder it was to go in is the cause.
    int error = errno;
    struct stat st {};
    if (error == EINVAL) {
        error = ::stat(temp.c_str(), &st) != 0 ? errno : !S_ISDIR(st.st_mode) ? ENOTDIR : error;
    }
    problem = "working folder '" + temp + "' cannot be made: " + GetErrorText(error);
    return {};
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
