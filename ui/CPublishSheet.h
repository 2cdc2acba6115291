// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QWizard>

#include "ui/CWizardState.h"

class QMenu;
class CPageSelectVideo;
class CPageSelectPlayer;
class CPagePublishHTML;

// The main window: the three-page publish wizard. It holds the state the pages hand on, confirms
// quitting (Cancel, Escape and the close box alike) and offers the help menu under its Help
// button.
class CPublishSheet : public QWizard {
    Q_OBJECT
public:
    enum { kPageSelectVideo, kPageSelectPlayer, kPagePublishHTML };

    explicit CPublishSheet(const QString& caption, QWidget* parent = nullptr, int mode = 1);
    ~CPublishSheet() override;

    // Start-up's way of running the wizard: modal, until the user quits.
    static void RunModal(const std::string& caption, int mode);
    // The same with a media file to open on the first page once the window shows.
    static void RunModalWithFile(const std::string& caption, int mode,
                                 const std::string& startFile);

    // The media file to open on the first page once the window shows.
    void SetStartFile(const std::string& path) { m_strStartFile = path; }

    CWizardState& State() { return m_state; }
    QString Caption() const { return m_strCaption; }
    QMenu* HelpMenu() const { return m_pHelpMenu; }

    // The help menu's commands and the application's About and Help.
    void OnCommand(int id);

    // Finish publishes and stays; Cancel, Escape and the close box ask first.
    void done(int result) override;
    // Back to the first page, as Back would go, keeping every page's settings.
    void ReturnToFirstPage();

    CPagePublishHTML* PublishPage() const { return m_pPagePublishHTML; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnHelpButton();
    void OnPageChanged(int id);

    CWizardState m_state;
    QString m_strCaption;
    std::string m_strStartFile;
    QMenu* m_pHelpMenu = nullptr;
    CPageSelectVideo* m_pPageSelectVideo = nullptr;
    CPageSelectPlayer* m_pPageSelectPlayer = nullptr;
    CPagePublishHTML* m_pPagePublishHTML = nullptr;
};
