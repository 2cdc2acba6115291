// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Folder of the running executable, without a trailing separator.
std::string GetModuleFolder();
// Where the player files, sample pages, Scripts/.htaccess and the encoder folder are:
// $DEDE5_VARODO_HOME, else the executable's folder when it holds "Example" (a build tree), else
// <prefix>/share/dede5-varodo beside the executable's bin folder.
std::string GetInstallFolder();
// Per-user application data ($XDG_DATA_HOME or ~/.local/share), computed once.
std::string GetAppDataFolder();
// The per-user temporary folder: $TMPDIR, else /tmp/dede5-varodo-<uid> (created 0700).
std::string GetTempFolder();
// A new folder of this user's alone ("<prefix>XXXXXX") in the temporary folder, which is never
// made here. Empty when it cannot be, with `problem` naming the folder and the reason.
std::string MakePrivateTempFolder(const std::string& prefix, std::string& problem);
std::string GetHomeFolder();
// The XDG user folders (user-dirs.dirs), else ~/Videos and ~/Documents.
std::string GetUserVideosFolder();
std::string GetUserDocumentsFolder();
