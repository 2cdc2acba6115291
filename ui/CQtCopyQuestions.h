// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QElapsedTimer>
#include <QPointer>

#include "app/CBoxReport.h"
#include "publish/MediaCopy.h"

class QProgressDialog;
class QWidget;

// The copy questions of the wizard: the overwrite question as CDlgCopyExist, a copy error as an
// Abort/Retry/Ignore box, and a progress dialog once copying has taken more than a second. The
// window stays responsive meanwhile; the user's input reaches only the progress dialog.
class CQtCopyQuestions : public ICopyQuestions {
public:
    // The clock for the progress dialog starts here.
    explicit CQtCopyQuestions(QWidget* owner);
    ~CQtCopyQuestions() override;
    CQtCopyQuestions(const CQtCopyQuestions&) = delete;
    CQtCopyQuestions& operator=(const CQtCopyQuestions&) = delete;

    int AskOverwrite(const std::string& text) override;
    // After the user cancelled the copy in the progress dialog, the answer is Abort unasked.
    int AskCopyError(const std::string& text) override;
    bool Progress(const std::string& file, uint64_t done, uint64_t total) override;
    void Tell(const CError& note) override { ShowMessage(note); }

    bool Cancelled() const { return m_bCancelled; }
    QProgressDialog* ProgressDialog() const { return m_pProgress.get(); }

    // How long copying runs before the progress dialog shows; negative restores the second.
    static void SetProgressDelayForTesting(int delay_ms);

private:
    QPointer<QWidget> m_pOwner;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_pProgress;
    bool m_bCancelled = false;
};
