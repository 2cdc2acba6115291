// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CConvertDialog.h"

#include <chrono>

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "publish/CPublishJob.h"
#include "ui/DialogFrame.h"

CConvertDialog::CConvertDialog(const CMediaInfo2& source, const std::string& folder,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_converter(&m_task, source) {
    m_converter.SetOutputFolder(folder);
    m_converter.SetResultCheck(&CPublishJob::CheckConverted);
    m_fnWork = [this](const CMediaConverter::ProgressHandler& progress, std::stop_token stop) {
        m_converter.SetProgressHandler(progress);
        const std::stop_callback cancel(stop, [this] { m_converter.Cancel(); });
        return m_converter.Convert();
    };
    Build(fmt::sprintf(LoadStringRes(IDS_CONVERTING), GetPathFileName(source.m_strPath)),
          m_converter.Plan().Describe());
}

CConvertDialog::CConvertDialog(const std::string& what, const std::string& plan, Work work,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_converter(&m_task, CMediaInfo2{}),
      m_fnWork(std::move(work)) {
    Build(what, plan);
}

void CConvertDialog::Build(const std::string& what, const std::string& plan) {
    setObjectName(QStringLiteral("convertDialog"));
    setWindowTitle(ToQt(LoadStringRes(IDS_CONVERT_TITLE)));
    auto* whatLabel = new QLabel(ToQt(what), this);
    auto* planLabel = new QLabel(ToQt(plan), this);
    planLabel->setWordWrap(true);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("convertProgress"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pTimeLeft = new QLabel(ToQt(LoadStringRes(IDS_CONVERT_ESTIMATING)), this);
    m_pTimeLeft->setObjectName(QStringLiteral("timeLeft"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_pCancel = buttons->button(QDialogButtonBox::Cancel);
    m_pCancel->setObjectName(QStringLiteral("cancelConvert"));
    connect(buttons, &QDialogButtonBox::rejected, this, &CConvertDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(whatLabel);
    layout->addWidget(planLabel);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pTimeLeft);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);
    ApplyDialogFrame(*this);
    SetClock([] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    });
}

CConvertDialog::~CConvertDialog() {
    if (m_worker.joinable()) {
        m_stop.request_stop();
        m_worker.join();
    }
}

void CConvertDialog::SetClock(std::function<double()> clock) {
    m_fnClock = std::move(clock);
    m_fStarted_s = m_fnClock();
}

void CConvertDialog::ShowProgress(const ConversionProgress& progress) {
    // Before this, ffmpeg's start and its first buffers make any guess wild.
    constexpr double kSettle_s = 3;
    const int percent = static_cast<int>(progress.percent);
    m_pProgress->setValue(percent);
    const double elapsed_s = m_fnClock() - m_fStarted_s;
    if (elapsed_s >= kSettle_s && progress.percent >= 1) {
        const double left_s = elapsed_s * (100.0 - progress.percent) / progress.percent;
        m_pTimeLeft->setText(ToQt(fmt::sprintf(LoadStringRes(IDS_CONVERT_PROGRESS), percent,
                                               FormatTimeEstimate(left_s))));
    }
    emit progressShown(percent);
}

void CConvertDialog::reject() {
    if (!m_bRunning) {
        QDialog::reject();
        return;
    }
    // The dialog closes once ffmpeg has stopped and its file is gone.
    m_stop.request_stop();
    m_pCancel->setEnabled(false);
}

bool CConvertDialog::Run() {
    bool converted = false;
    m_bRunning = true;
    m_fStarted_s = m_fnClock();
    // From the worker: the dialog outlives it, as this joins it.
    const CMediaConverter::ProgressHandler progress = [this](const ConversionProgress& reported) {
        QMetaObject::invokeMethod(
            this, [this, reported] { ShowProgress(reported); }, Qt::QueuedConnection);
    };
    m_worker = std::thread([this, &converted, &progress] {
        converted = m_fnWork(progress, m_stop.get_token());
        QMetaObject::invokeMethod(
            this, [this] { QDialog::done(0); }, Qt::QueuedConnection);
    });
    exec();
    m_worker.join();
    m_bRunning = false;
    return converted;
}

std::optional<CMediaInfo2> CConvertDialog::Convert(const CMediaInfo2& source,
                                                   const std::string& folder, QWidget* parent,
                                                   const std::string& target) {
    if (!folder.empty()) {
        CreateFolders(folder);
    }
    CConvertDialog dialog(source, folder, parent);
    if (!target.empty()) {
        dialog.m_converter.SetOutputPath(target);
    }
    if (dialog.Run()) {
        return dialog.Converter().Result();
    }
    // The program is ending: nobody is left to answer a message.
    if (StopRequested()) {
        return std::nullopt;
    }
    if (dialog.Converter().WasCancelled()) {
        MessageBoxRes(MB_OK | MB_ICONINFORMATION, IDS_CONVERT_CANCELLED, source.m_strPath);
    } else {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_CONVERT_FAILED, source.m_strPath,
                      dialog.Converter().Problem());
    }
    return std::nullopt;
}
