// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Shell.h"

#include <atomic>
#include <cerrno>

#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/Process.h"

namespace {

class CDesktopShell : public IShell {
public:
    bool OpenDefault(const std::string& pathOrUrl) override {
        return SpawnDetached("xdg-open", {pathOrUrl});
    }
    bool ShowItem(const std::string& path) override {
        return ShowInFileManager(path) || OpenDefault(GetPathFolder(path));
    }
    bool Launch(const std::string& program, const std::vector<std::string>& args) override {
        return SpawnDetached(program, args);
    }
};

std::atomic<IShell*> g_shell{nullptr};

}  // namespace

bool IShell::StartFirst(const std::vector<ShellCommand>& commands, const std::string& target) {
    int error = ENOENT;
    for (const ShellCommand& command : commands) {
        errno = 0;
        const bool started = command.program.empty()
                                 ? !command.args.empty() && OpenDefault(command.args.front())
                                 : Launch(command.program, command.args);
        if (started) {
            return true;
        }
        // A program that could not be started leaves no error of its own.
        error = errno != 0 ? errno : ENOENT;
    }
    MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_OPEN_FAILED, target, GetErrorText(error));
    return false;
}

IShell& GetShell() {
    static CDesktopShell fallback;
    IShell* shell = g_shell.load();
    return shell ? *shell : fallback;
}

void SetShell(IShell* shell) {
    g_shell.store(shell);
}

bool ShowInFileManager(const std::string& path) {
    return SpawnDetached("dbus-send",
                         {"--session", "--dest=org.freedesktop.FileManager1", "--type=method_call",
                          "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1.ShowItems",
                          "array:string:" + PathToUrl(path), "string:"});
}

bool OpenDefaultOrReport(const std::string& pathOrUrl) {
    errno = 0;
    if (GetShell().OpenDefault(pathOrUrl)) {
        return true;
    }
    const int error = errno != 0 ? errno : ENOENT;
    MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_OPEN_FAILED, pathOrUrl, GetErrorText(error));
    return false;
}

void ShowInExplorer(bool openFolder, const std::string& path) {
    if (openFolder) {
        if (IsFolder(path)) {
            GetShell().OpenDefault(path);
        } else {
            MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_NOT_EXIST, path);
        }
        return;
    }
    if (PathExists(path)) {
        GetShell().ShowItem(path);
        return;
    }
    const std::string folder = GetPathFolder(path);
    if (IsFolder(folder)) {
        GetShell().OpenDefault(folder);
    } else {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_NOT_EXIST, folder);
    }
}
