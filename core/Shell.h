// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

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
};

// The shell in use; never null. The default one uses xdg-open and the D-Bus file manager call.
IShell& GetShell();
void SetShell(IShell* shell);

// Opens `path` when it is a folder (flag set), or shows it selected (flag clear); reports
// message 106 when the folder does not exist.
void ShowInExplorer(bool openFolder, const std::string& path);
