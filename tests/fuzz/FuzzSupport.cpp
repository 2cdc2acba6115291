// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fuzz/FuzzSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/PathUtils.h"

namespace fuzz {
namespace {

// A run that timed out or crashed (in fork mode, many) could not remove its folder: the folders
// of processes that are gone are removed before a new one is made.
void RemoveStaleScratch(const std::string& base) {
    DIR* dir = ::opendir(base.c_str());
    if (!dir) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        int pid = 0;
        if (std::sscanf(name.c_str(), "dede5-fuzz-%d-", &pid) == 1 && pid > 0 &&
            ::kill(pid, 0) != 0 && errno == ESRCH) {
            DeleteFolder(base + "/" + name);
        }
    }
    ::closedir(dir);
}

std::string MakeScratch() {
    struct stat st {};
    const bool shm =
        ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
    const std::string base = shm ? "/dev/shm" : "/tmp";
    RemoveStaleScratch(base);
    std::string pattern = base + "/dede5-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void RemoveScratch() {
    DeleteFolder(ScratchFolder());
}

}  // namespace

const std::string& ScratchFolder() {
    // Never destroyed: the clean-up at exit still needs it.
    static const std::string* folder = [] {
        auto* made = new std::string(MakeScratch());
        std::atexit(RemoveScratch);
        return made;
    }();
    return *folder;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
    const std::string path = ScratchFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    FUZZ_CHECK(out.good());
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void ConfineEnvironment() {
    const std::string& root = ScratchFolder();
    const std::string home = root + "/home";
    const std::string tmp = root + "/tmp";
    CreateFolders(home);
    CreateFolders(tmp);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root + "/etc-xdg").c_str(), 1);
}

int CAnsweringMessageBox::Show(unsigned type, const std::string& text) {
    const unsigned buttons = type & MB_BUTTONMASK;
    texts.push_back(text);
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
        ++questions;
        return answer;
    }
    if ((type & MB_ICONMASK) == MB_ICONERROR) {
        ++errors;
    }
    return buttons == MB_ABORTRETRYIGNORE ? IDABORT : IDOK;
}

void CAnsweringMessageBox::Reset(int newAnswer) {
    answer = newAnswer;
    questions = errors = 0;
    texts.clear();
}

bool PercentDecode(std::string_view url, std::string& out) {
    out.clear();
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;  // the encoder writes upper-case digits only
    };
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            out += url[i];
            continue;
        }
        if (i + 2 >= url.size()) {
            return false;
        }
        const int high = hex(url[i + 1]);
        const int low = hex(url[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += ch;
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return out;
}

}  // namespace fuzz
