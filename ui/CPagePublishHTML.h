// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWizardPage>

#include "app/CBoxReport.h"
#include "publish/CHtmlPage.h"
#include "publish/CPageFile.h"
#include "ui/CDialogFind.h"
#include "ui/CWizardState.h"

class QComboBox;
class QLayout;
class QPushButton;
class QToolButton;
class CFileDialogEx;
class CSourceView;
class ICopyQuestions;
class IFileWriter;

// The last page: a web page under the site root gets the player code and is published by the
// wizard's Finish, which is enabled only once code has been inserted. Publishing never closes
// the wizard; a failed save or media copy leaves the code inserted, ready to try again.
class CPagePublishHTML : public QWizardPage {
    Q_OBJECT
public:
    explicit CPagePublishHTML(CWizardState& state, QWidget* parent = nullptr);
    ~CPagePublishHTML() override;

    // The page becomes active: a new player for the sheet's choice, the page cleared.
    void initializePage() override;
    bool isComplete() const override { return m_bFinishEnabled; }

    // The wizard's Finish: publishes, then asks whether to publish into another page.
    void OnWizardFinish();
    // Code has been inserted into the loaded page and not yet published.
    bool HasUnpublishedCode() const { return m_page.IsPageOpen() && m_bFinishEnabled; }
    // Saves the page and copies the player files and the media; false leaves everything ready
    // for another try.
    bool PublishPage();
    // Loads a page that passed the location check.
    bool OpenPage(const std::string& path);

    void OnBrowse();
    void OnSelectPage(int index);
    void OnLoadTypedPage();
    void OnDropFiles(const QStringList& paths);
    void OnFind();
    void OnFindInPage(const QString& text, int code);
    void OnInsertCode();
    // The page with the player as it will look, in the browser, through the preview's web
    // server; media and player files come from where they are now.
    void PreviewPage();
    void OnReset();

    QComboBox* PathBox() const { return m_pPathBox; }
    QToolButton* BrowseButton() const { return m_pBrowseButton; }
    CSourceView* SourceView() const { return m_pSourceView; }
    QPushButton* FindButton() const { return m_pFindButton; }
    QPushButton* InsertButton() const { return m_pInsertButton; }
    QPushButton* PreviewButton() const { return m_pPreviewButton; }
    QPushButton* ResetButton() const { return m_pResetButton; }
    CDialogFind* FindDialog() const { return m_pFindDialog; }
    const CHtmlPage& Page() const { return m_page; }
    const std::vector<std::string>& History() const { return m_arrHistory; }

    // Tests: how the page reaches the disk, and how the file dialog runs (default: modally).
    void SetFileWriterForTesting(IFileWriter* writer) { m_page.SetFileWriter(writer); }
    void SetFileDialogRunnerForTesting(std::function<bool(CFileDialogEx&)> runner);

signals:
    // The user wants to start again with another media file.
    void returnToFirstPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ClearPage();
    void EnablePageCommands(bool enabled);
    void SetFinishEnabled(bool enabled);
    // The job's poster, taken once, off the user-interface thread.
    void TakePoster();
    // The several qualities of the video for the page at `pagePath`, made once with the
    // conversion's progress when asked for; false, after a message, when they cannot be.
    bool PrepareStream(const std::string& pagePath);
    // The job takes the site as the settings describe it now, and pages are checked against it.
    const SiteLayout& CurrentSite();
    // The path box and its browse button.
    QLayout* MakePathRow();
    // With `keepInUse`, a refused page leaves the page in use rather than an empty one.
    bool CheckAndOpen(const std::string& path, bool keepInUse = false);
    // Back on the page with a page loaded: it stays while the job would make the same code for
    // it, else it is loaded again from the disk.
    void ReturnToLoadedPage();
    // Asks before code goes where the browser would not show it, or over selected text; may
    // move the cursor past the place. False: insert nothing.
    bool ConfirmInsertionPoint();
    void AddToHistory(const std::string& path);
    void ShowHistory(const std::string& current);
    std::string MediaExtension() const;

    CWizardState& m_state;
    bool m_bFinishEnabled = false;
    bool m_bPublishing = false;

    CBoxReport m_report;
    CHtmlPage m_page;
    // What the loaded page's code was made from.
    std::string m_strCodeSource;
    std::vector<std::string> m_arrHistory;
    std::function<bool(CFileDialogEx&)> m_fnRunFileDialog;

    QComboBox* m_pPathBox = nullptr;
    QToolButton* m_pBrowseButton = nullptr;
    CSourceView* m_pSourceView = nullptr;
    QPushButton* m_pFindButton = nullptr;
    QPushButton* m_pInsertButton = nullptr;
    QPushButton* m_pPreviewButton = nullptr;
    QPushButton* m_pResetButton = nullptr;
    QPointer<CDialogFind> m_pFindDialog;
    QString m_strFindText;
    int m_nFindCode = 0;
};
