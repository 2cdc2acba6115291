// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// A folder tree whose only top item is the root folder: the folders outside it are never listed,
// so the choice always lies inside the root (or is the root itself).
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

private:
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const QString& text, const std::string& path);
    void Populate(QTreeWidgetItem* item);
    void OnSelectionChanged();

    std::string m_strRoot;
    QTreeWidget* m_pTree;
    QLineEdit* m_pFolderEdit;
    QDialogButtonBox* m_pButtons;
};
