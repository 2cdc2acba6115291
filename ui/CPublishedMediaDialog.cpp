// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPublishedMediaDialog.h"

#include <cerrno>
#include <vector>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/PlayerMarkup.h"
#include "publish/MediaCopy.h"
#include "publish/PublishRun.h"
#include "ui/CBusyWork.h"
#include "ui/CWaitCursor.h"

namespace {

// A replacing publish's words go to the window's status line; it asks nothing, so a file of
// other content under the new media's name is kept and the media takes a name of its own.
class CStatusOutput : public IRunOutput, public ICopyQuestions {
public:
    explicit CStatusOutput(std::function<void(const std::string&)> say) : m_say(std::move(say)) {}
    void Say(const std::string& text) override { m_say(text); }
    bool Print(const std::string&) override {
        errno = ENOTSUP;
        return false;
    }
    void Converting(const std::string&, const ConversionProgress*) override {}
    void Tell(const CError& message) override { m_say(ErrorText(message)); }
    bool Ask(const CError&) override { return false; }
    int AskOverwrite(const std::string&) override { return COPY_EXIST_NO; }
    int AskCopyError(const std::string&) override { return IDABORT; }

private:
    std::function<void(const std::string&)> m_say;
};

}  // namespace

CPublishedMediaDialog::CPublishedMediaDialog(SiteDescription site, QWidget* parent)
    : QDialog(parent), m_site(std::move(site)) {
    setWindowTitle(QStringLiteral("Published Media"));
    m_pTable = new QTableWidget(0, 8, this);
    m_pTable->setObjectName(QStringLiteral("playersTable"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Page"), QStringLiteral("Line"),
                                         QStringLiteral("Player"), QStringLiteral("Media"),
                                         QStringLiteral("Poster"), QStringLiteral("Captions"),
                                         QStringLiteral("Stream"), QStringLiteral("Size")});
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pDeleteFiles = new QCheckBox(QStringLiteral("&Delete the files no page uses any more"), this);
    m_pDeleteFiles->setObjectName(QStringLiteral("deleteFiles"));
    m_pDeleteFiles->setChecked(true);
    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("status"));
    m_pStatus->setWordWrap(true);
    m_pOpenButton = new QPushButton(QStringLiteral("&Open Page"), this);
    m_pReplaceButton = new QPushButton(QStringLiteral("Re&place..."), this);
    m_pRemoveButton = new QPushButton(QStringLiteral("&Remove"), this);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_pOpenButton, m_pReplaceButton, m_pRemoveButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTable, 1);
    layout->addWidget(m_pDeleteFiles);
    layout->addWidget(m_pStatus);
    layout->addLayout(buttons);
    resize(760, 420);

    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pRemoveButton, &QPushButton::clicked, this, &CPublishedMediaDialog::RemoveSelected);
    connect(m_pOpenButton, &QPushButton::clicked, this, [this] {
        if (const SitePlayer* player = Selected()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(m_site.root + player->page)));
        }
    });
    connect(m_pReplaceButton, &QPushButton::clicked, this, [this] {
        const QString media = QFileDialog::getOpenFileName(this, m_pReplaceButton->text());
        const SitePlayer* player = Selected();
        if (!media.isEmpty() && player) {
            const bool keepPoster =
                !player->poster.empty() &&
                MessageBoxRes(MB_YESNO | MB_ICONQUESTION, IDS_REPLACE_KEEP_POSTER) == IDYES;
            ReplaceSelected(FromQt(media), keepPoster);
        }
    });
    connect(m_pTable, &QTableWidget::itemSelectionChanged, this, [this] {
        const bool ours = Selected() != nullptr;
        for (QPushButton* button : {m_pOpenButton, m_pReplaceButton, m_pRemoveButton}) {
            button->setEnabled(ours);
        }
    });
    Refresh();
}

CPublishedMediaDialog::~CPublishedMediaDialog() = default;

void CPublishedMediaDialog::Refresh() {
    const CWaitCursor wait;
    auto media = CSiteMedia::Open(m_site);
    m_pMedia = media ? std::move(media.value) : nullptr;
    m_listing = m_pMedia ? m_pMedia->List() : SiteListing();
    if (!m_pMedia) {
        Say(m_site.root + ": " + GetErrorText(media.error));
    }
    m_pTable->setRowCount(static_cast<int>(m_listing.players.size()));
    for (int row = 0; const SitePlayer& player : m_listing.players) {
        std::string captions;
        for (const std::string& file : player.captions) {
            captions += (captions.empty() ? "" : ", ") + file;
        }
        const std::string cells[] = {player.page,
                                     std::to_string(player.found.line),
                                     player.found.ours ? player.found.player : "other video",
                                     player.media,
                                     player.poster,
                                     captions,
                                     player.stream.empty() ? player.found.stream : player.stream,
                                     FormatFileSize(player.size_bytes)};
        for (int column = 0; const std::string& cell : cells) {
            m_pTable->setItem(row, column++, new QTableWidgetItem(ToQt(cell)));
        }
        ++row;
    }
    m_pTable->resizeColumnsToContents();
    m_pTable->clearSelection();
    for (QPushButton* button : {m_pOpenButton, m_pReplaceButton, m_pRemoveButton}) {
        button->setEnabled(false);
    }
}

const SitePlayer* CPublishedMediaDialog::Selected() const {
    const int row = m_pTable->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= m_listing.players.size() ||
        !m_pTable->selectionModel()->hasSelection()) {
        return nullptr;
    }
    const SitePlayer& player = m_listing.players[static_cast<size_t>(row)];
    return player.found.ours ? &player : nullptr;
}

void CPublishedMediaDialog::Say(const std::string& text) {
    m_pStatus->setText(m_pStatus->text().isEmpty() ? ToQt(text)
                                                   : m_pStatus->text() + '\n' + ToQt(text));
}

void CPublishedMediaDialog::RemoveSelected() {
    const SitePlayer* player = Selected();
    if (!player || !m_pMedia) {
        return;
    }
    m_pStatus->clear();
    const RemoveRequest request{m_site.root + player->media, {}, !m_pDeleteFiles->isChecked()};
    RemoveOutcome outcome;
    CBusyWork::Run([&] { outcome = m_pMedia->Remove(request, SilentReport()); });
    Say(std::to_string(outcome.pages.size()) + " page(s) changed, " +
        std::to_string(outcome.files.size()) + " file(s) deleted.");
    for (const CError& problem : outcome.problems) {
        Say(problem.path + ": " + ErrorText(problem));
    }
    Refresh();
}

void CPublishedMediaDialog::ReplaceSelected(const std::string& media, bool keepPoster) {
    const SitePlayer* player = Selected();
    if (!player || !m_pMedia) {
        return;
    }
    m_pStatus->clear();
    const COptions& saved = *COptions::Instance();
    const RunSettings settings{m_site, ChoicesFromOptions(saved), saved.m_nVideoPlayer};
    const std::string old = m_site.root + player->media;
    const bool deleteFiles = m_pDeleteFiles->isChecked();
    // Off the window's thread, which only shows what was said once the work is done.
    std::vector<std::string> said;
    CBusyWork::Run([&] {
        CStatusOutput output([&said](const std::string& text) { said.push_back(text); });
        const ReplacePlan plan = m_pMedia->PlanReplace(old, media, {}, false, keepPoster);
        for (const ReplaceStep& step : plan.steps) {
            RunPublish(step.request, settings, output, output);
        }
        if (deleteFiles) {
            const RemoveOutcome removed = m_pMedia->RemoveUnused(plan.oldFiles);
            said.push_back(std::to_string(removed.files.size()) + " file(s) deleted.");
        }
    });
    for (const std::string& text : said) {
        Say(text);
    }
    Refresh();
}
