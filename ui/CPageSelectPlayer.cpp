// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectPlayer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "players/SamplePages.h"
#include "ui/CPlayerPicture.h"
#include "ui/WizardTexts.h"

namespace {

// Vertical dialog units: an eighth of the font's height.
int DialogUnitsDown(const QWidget& widget, int units) {
    return units * widget.fontMetrics().height() / 8;
}

constexpr int kVideoGapUnits = 2;
constexpr int kAudioGapUnits = 10;

}  // namespace

CPageSelectPlayer::CPageSelectPlayer(CWizardState& state, QWidget* parent)
    : QWizardPage(parent), m_state(state) {
    setTitle(ToQt(LoadStringRes(IDS_SELECT_PLAYER_TITLE)));
    setSubTitle(ToQt(LoadStringRes(IDS_SELECT_PLAYER_SUBTITLE)));
    setWindowTitle(QString::fromUtf8(kWizardPageCaption));

    auto* listLabel = new QLabel(QStringLiteral("Select an HTML5 player:"), this);
    m_pPlayerList = new QComboBox(this);
    m_pPlayerList->setObjectName(QStringLiteral("playerList"));
    m_pPlayerList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    listLabel->setBuddy(m_pPlayerList);
    m_pPicture = new CPlayerPicture(this);
    m_pPicture->setObjectName(QStringLiteral("playerPicture"));
    m_pPicture->setFixedSize(kPictureSize);
    m_pAutoPlayBox =
        new QCheckBox(QStringLiteral("&Start playing as soon as video or audio is ready."), this);
    m_pAutoPlayBox->setObjectName(QStringLiteral("autoPlayBox"));
    m_pPosterBox =
        new QCheckBox(QStringLiteral("&Display a poster image while the video is loading."), this);
    m_pPosterBox->setObjectName(QStringLiteral("posterBox"));

    auto* listRow = new QHBoxLayout;
    listRow->setSpacing(DialogUnitsDown(*this, 3));
    listRow->addWidget(listLabel);
    listRow->addWidget(m_pPlayerList);
    listRow->addStretch(1);
    // No spacing of its own, so the gap under the picture is exactly the one chosen per mode.
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addLayout(listRow);
    layout->addSpacing(DialogUnitsDown(*this, 6));
    layout->addWidget(m_pPicture, 0, Qt::AlignLeft);
    m_pPictureGap = new QSpacerItem(0, DialogUnitsDown(*this, kVideoGapUnits), QSizePolicy::Minimum,
                                    QSizePolicy::Fixed);
    layout->addSpacerItem(m_pPictureGap);
    layout->addWidget(m_pAutoPlayBox);
    layout->addSpacing(DialogUnitsDown(*this, 3));
    layout->addWidget(m_pPosterBox);
    layout->addStretch(1);

    connect(m_pPlayerList, &QComboBox::activated, this, &CPageSelectPlayer::OnPlayerActivated);
    connect(m_pPicture, &CPlayerPicture::clicked, this, &CPageSelectPlayer::OnPictureClicked);
    connect(m_pAutoPlayBox, &QCheckBox::clicked, this, &CPageSelectPlayer::OnAutoPlayClicked);
    connect(m_pPosterBox, &QCheckBox::clicked, this, &CPageSelectPlayer::OnPosterClicked);
}

std::span<const PlayerInfo> CPageSelectPlayer::Players() const {
    return m_bVideoMode ? GetVideoPlayers() : GetAudioPlayers();
}

int& CPageSelectPlayer::StoredPlayer() const {
    COptions* options = COptions::Instance();
    return m_bVideoMode ? options->m_nVideoPlayer : options->m_nAudioPlayer;
}

void CPageSelectPlayer::initializePage() {
    m_bVideoMode = State().m_job.IsVideo();
    const COptions* options = COptions::Instance();
    {
        const QSignalBlocker blocker(m_pPlayerList);
        m_pPlayerList->clear();
        for (const PlayerInfo& row : Players()) {
            m_pPlayerList->addItem(QString::fromUtf8(row.name));
        }
        // A stored index that names no row (an edited settings file) falls back to the first.
        int& stored = StoredPlayer();
        if (stored < 0 || stored >= m_pPlayerList->count()) {
            stored = 0;
        }
        m_pPlayerList->setCurrentIndex(stored);
    }
    QSize picture = kPictureSize;
    int gapUnits = kVideoGapUnits;
    if (!m_bVideoMode) {
        picture.setHeight(kPictureSize.height() / 3);
        gapUnits = kAudioGapUnits;
    }
    m_pPicture->setFixedSize(picture);
    m_pPictureGap->changeSize(0, DialogUnitsDown(*this, gapUnits), QSizePolicy::Minimum,
                              QSizePolicy::Fixed);
    m_pAutoPlayBox->setChecked(m_bVideoMode ? options->m_bAutoPlay : options->m_bAudioAutoPlay);
    m_pPosterBox->setChecked(options->m_bVideoPoster);
    m_pPosterBox->setVisible(m_bVideoMode);
    layout()->invalidate();

    m_nShownPlayer = -1;
    OnPlayerActivated(m_pPlayerList->currentIndex());
}

void CPageSelectPlayer::OnPlayerActivated(int index) {
    const auto players = Players();
    if (index == m_nShownPlayer || index < 0 || index >= static_cast<int>(players.size())) {
        return;
    }
    m_nShownPlayer = index;
    StoredPlayer() = index;
    // A new pixmap each time, never one from the pixmap cache.
    m_pPicture->SetPicture(QPixmap::fromImage(
        QImage(QStringLiteral(":/dede5/player-%1.png").arg(players[index].pictureId))));
}

void CPageSelectPlayer::OnPictureClicked() {
    const auto players = Players();
    const int index = m_pPlayerList->currentIndex();
    if (index < 0 || index >= static_cast<int>(players.size())) {
        return;
    }
    // A page that cannot be shown has been reported by the sample-page code if at all.
    ShowSamplePage(m_bVideoMode ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO,
                   GetInstallFolder() + "/Example/" + players[index].samplePage);
}

void CPageSelectPlayer::OnAutoPlayClicked(bool checked) {
    COptions* options = COptions::Instance();
    (m_bVideoMode ? options->m_bAutoPlay : options->m_bAudioAutoPlay) = checked ? 1 : 0;
}

void CPageSelectPlayer::OnPosterClicked(bool checked) {
    COptions::Instance()->m_bVideoPoster = checked ? 1 : 0;
}

bool CPageSelectPlayer::validatePage() {
    const std::string name = FromQt(m_pPlayerList->currentText());
    const PlayerInfo* row = m_bVideoMode ? FindVideoPlayer(name) : FindAudioPlayer(name);
    if (!row) {
        return false;
    }
    State().m_job.SetPlayer(*row, StoredPlayer());
    return true;
}
