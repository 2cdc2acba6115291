// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CCaptionsList.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "publish/CPublishJob.h"
#include "publish/Captions.h"
#include "ui/CFileDialogEx.h"

namespace {

enum Column : int { COLUMN_FILE, COLUMN_LANGUAGE, COLUMN_LABEL };
constexpr int kVisibleRows = 3;

}  // namespace

CCaptionsList::CCaptionsList(CPublishJob& job, QWidget* parent)
    : QWidget(parent),
      m_job(job),
      m_fnRunFileDialog([](CFileDialogEx& dialog) { return dialog.DoModal(); }) {
    auto* title = new QLabel(QStringLiteral("Ca&ptions or subtitles (WebVTT or SubRip):"), this);
    m_pTable = new QTableWidget(0, 3, this);
    m_pTable->setObjectName(QStringLiteral("captionsTable"));
    m_pTable->setHorizontalHeaderLabels(
        {QStringLiteral("File"), QStringLiteral("Language"), QStringLiteral("Label")});
    m_pTable->horizontalHeader()->setSectionResizeMode(COLUMN_FILE, QHeaderView::Stretch);
    m_pTable->verticalHeader()->hide();
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    m_pTable->setFixedHeight(m_pTable->horizontalHeader()->sizeHint().height() +
                             kVisibleRows * m_pTable->verticalHeader()->defaultSectionSize() +
                             2 * m_pTable->frameWidth());
    title->setBuddy(m_pTable);
    m_pAddButton = new QPushButton(QStringLiteral("&Add..."), this);
    m_pAddButton->setObjectName(QStringLiteral("captionsAdd"));
    m_pRemoveButton = new QPushButton(QStringLiteral("&Remove"), this);
    m_pRemoveButton->setObjectName(QStringLiteral("captionsRemove"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pAddButton);
    buttons->addWidget(m_pRemoveButton);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_pTable, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addLayout(row);

    connect(m_pAddButton, &QPushButton::clicked, this, &CCaptionsList::OnAdd);
    connect(m_pRemoveButton, &QPushButton::clicked, this, &CCaptionsList::OnRemove);
    connect(m_pTable, &QTableWidget::itemChanged, this, &CCaptionsList::OnItemChanged);
    connect(m_pTable, &QTableWidget::itemSelectionChanged, this, &CCaptionsList::UpdateButtons);
    UpdateButtons();
}

void CCaptionsList::SetFileDialogRunnerForTesting(std::function<bool(CFileDialogEx&)> runner) {
    m_fnRunFileDialog = std::move(runner);
}

void CCaptionsList::Reload() {
    const QSignalBlocker blocker(m_pTable);
    const auto& tracks = m_job.Captions();
    m_pTable->setRowCount(static_cast<int>(tracks.size()));
    for (int i = 0; i < static_cast<int>(tracks.size()); ++i) {
        const CaptionTrack& track = tracks[static_cast<size_t>(i)];
        auto* file = new QTableWidgetItem(ToQt(GetPathFileName(track.source)));
        file->setToolTip(ToQt(track.source));
        file->setFlags(file->flags() & ~Qt::ItemIsEditable);
        m_pTable->setItem(i, COLUMN_FILE, file);
        m_pTable->setItem(i, COLUMN_LANGUAGE, new QTableWidgetItem(ToQt(track.language)));
        m_pTable->setItem(i, COLUMN_LABEL, new QTableWidgetItem(ToQt(track.label)));
    }
    UpdateButtons();
}

bool CCaptionsList::AddFile(const std::string& path) {
    const std::string problem = m_job.AddCaptions(path);
    if (!problem.empty()) {
        GetMessageBox().Show(MB_OK | MB_ICONWARNING, problem);
        return false;
    }
    Reload();
    m_pTable->selectRow(m_pTable->rowCount() - 1);
    return true;
}

void CCaptionsList::OnAdd() {
    CFileDialogEx dialog("Captions", "Captions (*.vtt;*.srt)|*.vtt;*.srt|All Files (*.*)|*.*||",
                         true, this);
    if (m_job.HasMedia()) {
        dialog.Dialog().setDirectory(ToQt(GetPathFolder(m_job.Request().mediaFiles.front())));
    }
    if (m_fnRunFileDialog(dialog)) {
        AddFile(dialog.GetPathName());
    }
}

void CCaptionsList::OnRemove() {
    const int row = m_pTable->currentRow();
    if (row >= 0) {
        m_job.RemoveCaptions(static_cast<size_t>(row));
        Reload();
    }
}

void CCaptionsList::OnItemChanged(QTableWidgetItem* item) {
    const int row = item->row();
    if (item->column() == COLUMN_FILE || row < 0 ||
        row >= static_cast<int>(m_job.Captions().size())) {
        return;
    }
    const CaptionTrack& track = m_job.Captions()[static_cast<size_t>(row)];
    const std::string language =
        TrimWhiteSpace(FromQt(m_pTable->item(row, COLUMN_LANGUAGE)->text()));
    std::string label = TrimWhiteSpace(FromQt(m_pTable->item(row, COLUMN_LABEL)->text()));
    // A label the user did not write follows the language.
    if (item->column() == COLUMN_LANGUAGE && label == CaptionsLabelFor(track.language)) {
        label.clear();
    }
    if (!m_job.SetCaptionsLanguage(static_cast<size_t>(row), language, label)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_CAPTIONS_BAD_LANGUAGE, language);
    }
    // In place: the item being edited must outlive this signal.
    const QSignalBlocker blocker(m_pTable);
    m_pTable->item(row, COLUMN_LANGUAGE)->setText(ToQt(track.language));
    m_pTable->item(row, COLUMN_LABEL)->setText(ToQt(track.label));
}

void CCaptionsList::UpdateButtons() {
    m_pRemoveButton->setEnabled(m_pTable->currentRow() >= 0 && m_pTable->rowCount() > 0);
}
