// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

#include "core/CFileDescriptor.h"

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
// A new folder of this user's alone, "<prefix><process id>-XXXXXX" in `parent` (never made
// here), once the folders of that prefix that this user's runs left there and whose process is
// gone are removed. Empty when it cannot be, with `problem` naming `parent` and the reason.
std::string MakePrivateFolder(const std::string& parent, const std::string& prefix,
                              std::string& problem);
// The same in the temporary folder.
std::string MakePrivateTempFolder(const std::string& prefix, std::string& problem);
// Removes from `parent` the folders MakePrivateFolder made with `prefix` whose process is gone.
void SweepPrivateFolders(const std::string& parent, const std::string& prefix);

// Our own working files, outside any site (false, with errno set, on failure). A file inside
// a site is reached through its CSiteFolder only.
bool RemoveWorkingFile(const std::string& path);
bool MoveWorkingFile(const std::string& from, const std::string& to);
bool SetWorkingFileMode(const std::string& path, mode_t mode);
// A working folder with its missing parents; an absolute path only.
bool MakeWorkingFolder(const std::string& path);
// Writes `bytes` as the whole of the file at `path`, made where missing; a link is refused.
bool WriteWorkingFile(const std::string& path, std::string_view bytes);
// A file outside any site (the media, the installation's files) opened for reading, with
// `flags` added; invalid, with errno set, on failure.
CFileDescriptor OpenToRead(const std::string& path, int flags = 0);
std::string GetHomeFolder();
// The XDG user folders (user-dirs.dirs), else ~/Videos and ~/Documents.
std::string GetUserVideosFolder();
std::string GetUserDocumentsFolder();
