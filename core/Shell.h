// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "core/Error.h"

// One way to show something: `program` with `args`, or, with no program, the desktop's default
// program for `args[0]`.
struct ShellCommand {
    std::string program;
    std::vector<std::string> args;
};

// What the program asks of the desktop: open documents and addresses, show files, start programs.
class IShell {
public:
    virtual ~IShell() = default;
    // Opens a file or address with its default program.
    virtual bool OpenDefault(const std::string& pathOrUrl) = 0;
    // Shows a file selected in the file manager (or at least its folder).
    virtual bool ShowItem(const std::string& path) = 0;
    // Starts a program detached; `program` is looked up on PATH.
    virtual bool Launch(const std::string& program, const std::vector<std::string>& args) = 0;
    // Shows `target` with the first of `commands` that gets going; when none does, the failure
    // is message 105 with the reason. The default tries them in turn and learns only whether each
    // could be started; a shell that can wait for programs may also go on when one fails right
    // away. A failure when it is already known that none started.
    virtual CStatus StartFirst(const std::vector<ShellCommand>& commands,
                               const std::string& target);
};

// The shell in use; never null. The default one uses xdg-open and the D-Bus file manager call.
IShell& GetShell();
void SetShell(IShell* shell);

// Asks the desktop's file manager over D-Bus to show `path` selected; false when the request
// cannot be sent.
bool ShowInFileManager(const std::string& path);

// OpenDefault; the failure is message 105 with the reason when the program cannot be started.
CStatus OpenDefaultOrReport(const std::string& pathOrUrl);

// Opens `path` when it is a folder (flag set), or shows it selected (flag clear); the failure is
// message 106 when the folder does not exist.
CStatus ShowInExplorer(bool openFolder, const std::string& path);
