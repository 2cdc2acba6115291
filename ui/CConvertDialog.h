// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include <QDialog>

#include "media/MediaConverter.h"
#include "media/Task.h"

class QLabel;
class QProgressBar;
class QPushButton;

// Makes one file web-ready while the window goes on painting and answering: the conversion runs
// on a worker thread, the dialog shows its progress and time left, and Cancel (or Escape, or
// closing) stops it. A failure or a cancel is reported before the dialog is gone. Other work that
// reports as a conversion does (the several qualities of a video) runs in it the same way.
class CConvertDialog : public QDialog {
    Q_OBJECT
public:
    // Work run on the worker thread: it reports to `progress`, ends early once `stop` is asked
    // for, and is true when its result is there.
    using Work =
        std::function<bool(const CMediaConverter::ProgressHandler& progress, std::stop_token stop)>;

    CConvertDialog(const CMediaInfo2& source, const std::string& folder, QWidget* parent);
    // `what` is made as `plan` says.
    CConvertDialog(const std::string& what, const std::string& plan, Work work, QWidget* parent);
    ~CConvertDialog() override;

    // Converts `source` into `folder`; the web-ready copy's details, or nullopt when there is
    // none (after a message, unless the user cancelled).
    // With `target`, the copy is written there instead.
    static std::optional<CMediaInfo2> Convert(const CMediaInfo2& source, const std::string& folder,
                                              QWidget* parent, const std::string& target = {});

    // Runs the work with the dialog shown; true when its result is there.
    bool Run();
    const CMediaConverter& Converter() const { return m_converter; }

    // Seconds on a steady clock; tests set their own.
    void SetClock(std::function<double()> clock);
    // A report of the worker, shown: the time left is told from how fast the run has gone so
    // far, once it has gone on for a few seconds.
    void ShowProgress(const ConversionProgress& progress);

signals:
    // Each progress report once it is on screen.
    void progressShown(int percent);

protected:
    void reject() override;

private:
    void Build(const std::string& what, const std::string& plan);

    CTask m_task;
    CMediaConverter m_converter;
    Work m_fnWork;
    std::stop_source m_stop;
    std::thread m_worker;
    QLabel* m_pTimeLeft;
    QProgressBar* m_pProgress;
    QPushButton* m_pCancel;
    bool m_bRunning = false;
    std::function<double()> m_fnClock;
    double m_fStarted_s = 0;
};
