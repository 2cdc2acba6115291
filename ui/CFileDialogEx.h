// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QStringList>

class QFileDialog;
class QWidget;

// A file dialog that remembers, per dialog name, the filter chosen last ("Filter Index",
// counted from 1) and the folder of the file chosen last ("Last Path") in the settings section
// "File Dialogs/<name>".
class CFileDialogEx {
public:
    // `filter` is "Text(*.x)|*.x|Text(*.y;*.z)|*.y;*.z||".
    CFileDialogEx(const std::string& name, const std::string& filter, bool openFile,
                  QWidget* owner);
    ~CFileDialogEx();
    CFileDialogEx(const CFileDialogEx&) = delete;
    CFileDialogEx& operator=(const CFileDialogEx&) = delete;

    // Opens in `root` unless the folder chosen last lies inside it.
    void StartBelow(const std::string& root);
    // Shows the dialog modally; true when a file was chosen.
    bool DoModal();
    std::string GetPathName() const;
    QFileDialog& Dialog() { return *m_pDialog; }

    // The Qt form of a "description|patterns|...||" filter: "description (patterns)", with the
    // patterns separated by blanks and "*.*" meaning every file.
    static QStringList ToQtFilters(std::string_view filter);

private:
    void OnAccepted();

    std::string m_strSection;
    std::string m_strLastPath;
    QStringList m_filters;
    std::unique_ptr<QFileDialog> m_pDialog;
};
