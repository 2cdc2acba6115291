// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A folder tree whose only top item is the root folder: the folders outside it are never listed,
// so the choice always lies inside the root (or is the root itself). Folders can be made (New
// Folder) and renamed (F2) in place, so a site can be laid out without leaving the program.
class CSubFolderDialog : public QDialog {
    Q_OBJECT
public:
    CSubFolderDialog(const std::string& rootFolder, const QString& title,
                     QWidget* parent = nullptr);

    // Opens the tree down to `folder` and selects it; false when it is not a folder in the root.
    bool SelectFolder(const std::string& folder);
    // The selected folder without a trailing "/" (except the root "/"), or empty.
    std::string SelectedFolder() const;
    QTreeWidget* Tree() const { return m_pTree; }
    QPushButton* NewFolderButton() const { return m_pNewFolder; }

    // Makes "New Folder" (or "New Folder (2)", ...) in the selected folder, selects it and opens
    // its name for editing; reports why when it cannot.
    void OnNewFolder();
    // Opens the selected folder's name for editing; the root keeps its name.
    void OnRename();

private:
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const QString& text, const std::string& path);
    void Populate(QTreeWidgetItem* item);
    void OnSelectionChanged();
    void OnItemChanged(QTreeWidgetItem* item, int column);
    void OnContextMenu(const QPoint& where);
    // Gives `item` and everything below it the paths under `path`.
    void MovePaths(QTreeWidgetItem* item, const std::string& path);

    std::string m_strRoot;
    QTreeWidget* m_pTree;
    QLineEdit* m_pFolderEdit;
    QDialogButtonBox* m_pButtons;
    QPushButton* m_pNewFolder;
};
