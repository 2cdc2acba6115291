// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

class QWidget;

// The folder chooser, starting at `initialFolder`; nothing when cancelled or when the choice is
// not an existing folder.
std::optional<std::string> BrowseForFolder(const std::string& initialFolder,
                                           const std::string& title, QWidget* owner);

// A chooser that shows only `rootFolder` and the folders below it, so the user cannot leave it;
// the chosen folder, or empty when cancelled or when `rootFolder` is not a folder.
std::string BrowseForSubFolder(const std::string& rootFolder, const std::string& title,
                               QWidget* owner);
