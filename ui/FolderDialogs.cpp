// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FolderDialogs.h"

#include <QFileDialog>

#include "app/QtText.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "ui/CSubFolderDialog.h"

std::optional<std::string> BrowseForFolder(const std::string& initialFolder,
                                           const std::string& title, QWidget* owner) {
    const std::string start = IsFolder(initialFolder) ? initialFolder : GetHomeFolder();
    const QString chosen = QFileDialog::getExistingDirectory(owner, ToQt(title), ToQt(start),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    std::string folder = FromQt(chosen);
    if (!IsFolder(folder)) {
        return std::nullopt;
    }
    return RemoveBackslash(folder);
}

std::string BrowseForSubFolder(const std::string& rootFolder, const std::string& title,
                               QWidget* owner) {
    if (!IsFolder(rootFolder)) {
        return {};
    }
    CSubFolderDialog dialog(rootFolder, ToQt(title), owner);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.SelectedFolder();
}
