// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

// The folder choosers a dialog uses; tests answer them without showing a dialog.
struct CFolderChoosers {
    std::function<std::optional<std::string>(const std::string& initialFolder,
                                             const std::string& title, QWidget* owner)>
        browseForFolder;
    std::function<std::string(const std::string& rootFolder, const std::string& title,
                              QWidget* owner)>
        browseForSubFolder;

    // BrowseForFolder and BrowseForSubFolder.
    static CFolderChoosers Dialogs();
};
