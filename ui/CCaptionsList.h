// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include <QWidget>

class CFileDialogEx;
class CPublishJob;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The captions of the job's video: a short list of files with their language and label, both
// editable, and Add and Remove. The job converts and keeps them; this only asks and shows.
class CCaptionsList : public QWidget {
    Q_OBJECT
public:
    CCaptionsList(CPublishJob& job, QWidget* parent = nullptr);

    // Shows the job's tracks (those found beside the media, after a new media).
    void Reload();
    // What Add does with the file chosen: false after a message saying why it was refused.
    bool AddFile(const std::string& path);
    void SetFileDialogRunnerForTesting(std::function<bool(CFileDialogEx&)> runner);

private:
    void OnAdd();
    void OnRemove();
    void OnItemChanged(QTableWidgetItem* item);
    void UpdateButtons();

    CPublishJob& m_job;
    std::function<bool(CFileDialogEx&)> m_fnRunFileDialog;
    QTableWidget* m_pTable;
    QPushButton* m_pAddButton;
    QPushButton* m_pRemoveButton;
};
