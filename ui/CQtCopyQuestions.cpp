// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CQtCopyQuestions.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <fmt/printf.h>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/StringTable.h"
#include "ui/CDlgCopyExist.h"
#include "ui/CWaitCursor.h"
#include "ui/DialogFrame.h"
#include "core/StringTable.h"

namespace {

constexpr int kDefaultProgressDelay_ms = 1000;
int g_nProgressDelay_ms = kDefaultProgressDelay_ms;
constexpr int kProgressSteps = 1000;

}  // namespace

void CQtCopyQuestions::SetProgressDelayForTesting(int delay_ms) {
    g_nProgressDelay_ms = delay_ms < 0 ? kDefaultProgressDelay_ms : delay_ms;
}

CQtCopyQuestions::CQtCopyQuestions(QWidget* owner) : m_pOwner(owner) {
    m_clock.start();
}

CQtCopyQuestions::~CQtCopyQuestions() = default;

int CQtCopyQuestions::AskOverwrite(const std::string& text) {
    // A question is answered with the arrow, whatever the publish run shows meanwhile.
    CWaitCursor arrow(Qt::ArrowCursor);
    CDlgCopyExist dialog(m_pOwner);
    dialog.SetText(ToQt(text));
    return dialog.exec();
}

int CQtCopyQuestions::AskCopyError(const std::string& text) {
    if (m_bCancelled) {
        return IDABORT;
    }
    CWaitCursor arrow(Qt::ArrowCursor);
    return GetMessageBox().Show(MB_ABORTRETRYIGNORE | MB_ICONERROR, text);
}

bool CQtCopyQuestions::Progress(const std::string& file, uint64_t done, uint64_t total) {
    if (m_bCancelled) {
        return false;
    }
    if (!m_pProgress && done < total && m_clock.elapsed() >= g_nProgressDelay_ms) {
        m_pProgress = std::make_unique<QProgressDialog>(m_pOwner);
        m_pProgress->setWindowTitle(ToQt(LoadStringRes(IDS_APP_TITLE)));
        ApplyDialogFrame(*m_pProgress);
        m_pProgress->setWindowModality(Qt::WindowModal);
        m_pProgress->setRange(0, kProgressSteps);
        m_pProgress->setMinimumDuration(0);
        m_pProgress->setAutoClose(false);
        m_pProgress->setAutoReset(false);
        m_pProgress->show();
    }
    if (m_pProgress) {
        m_pProgress->setLabelText(ToQt(fmt::sprintf(LoadStringRes(IDS_COPYING_FILE), file)));
        const double part =
            total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
        m_pProgress->setValue(static_cast<int>(part * kProgressSteps));
        // The dialog is modal to the wizard, so only it takes clicks now.
        QCoreApplication::processEvents();
        if (m_pProgress->wasCanceled()) {
            m_bCancelled = true;
            return false;
        }
        return true;
    }
    // Before the dialog shows, the window repaints but takes no clicks or keys.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}
