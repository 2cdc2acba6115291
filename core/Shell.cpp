// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Shell.h"

#include <atomic>
#include <cerrno>

#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"

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

CError OpenFailed(const std::string& target, int error) {
    return Failure(error, MESSAGE_WARNING, IDS_OPEN_FAILED, target, GetErrorText(error));
}

}  // namespace

CStatus IShell::StartFirst(const std::vector<ShellCommand>& commands, const std::string& target) {
    int error = ENOENT;
    for (const ShellCommand& command : commands) {
        errno = 0;
        const bool started = command.program.empty()
                                 ? !command.args.empty() && OpenDefault(command.args.front())
                                 : Launch(command.program, command.args);
        if (started) {
            return {};
        }
        // A program that could not be started leaves no error of its own.
        error = errno != 0 ? errno : ENOENT;
    }
    return OpenFailed(target, error);
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

CStatus OpenDefaultOrReport(const std::string& pathOrUrl) {
    errno = 0;
    if (GetShell().OpenDefault(pathOrUrl)) {
        return {};
    }
    return OpenFailed(pathOrUrl, errno != 0 ? errno : ENOENT);
}

CStatus ShowInExplorer(bool openFolder, const std::string& path) {
    if (openFolder || !PathExists(path)) {
        const std::string folder = openFolder ? path : GetPathFolder(path);
        if (!IsFolder(folder)) {
            return Message(MESSAGE_WARNING, IDS_FOLDER_NOT_EXIST, folder);
        }
        GetShell().OpenDefault(folder);
    } else {
        GetShell().ShowItem(path);
    }
    return {};
}
