// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectPlayer.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CBoxReport.h"
#include "app/QtText.h"
#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "players/PlayerMarkup.h"
#include "players/SamplePages.h"
#include "ui/CCaptionsList.h"
#include "ui/CPlayerPicture.h"
#include "ui/CPosterMoment.h"
#include "ui/WizardTexts.h"

namespace {

// Vertical dialog units: an eighth of the font's height.
int DialogUnitsDown(const QWidget& widget, int units) {
    return units * widget.fontMetrics().height() / 8;
}

constexpr int kVideoGapUnits = 2;
constexpr int kAudioGapUnits = 10;
constexpr int kOptionsGapUnits = 6;

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
    m_pPlayerArea = new QWidget(this);
    m_pPlayerArea->setObjectName(QStringLiteral("playerArea"));
    m_pPicture = new CPlayerPicture(m_pPlayerArea);
    m_pPicture->setObjectName(QStringLiteral("playerPicture"));
    m_pAutoPlayBox = new QCheckBox(
        QStringLiteral("&Start playing as soon as video or audio is ready."), m_pPlayerArea);
    m_pAutoPlayBox->setObjectName(QStringLiteral("autoPlayBox"));
    m_pPosterBox = new QCheckBox(
        QStringLiteral("&Display a poster image while the video is loading."), m_pPlayerArea);
    m_pPosterBox->setObjectName(QStringLiteral("posterBox"));
    m_pAudioAutoPlayNote = new QLabel(ToQt(LoadStringRes(IDS_AUDIO_AUTOPLAY_NOTE)), m_pPlayerArea);
    m_pAudioAutoPlayNote->setObjectName(QStringLiteral("audioAutoPlayNote"));
    m_pAudioAutoPlayNote->setWordWrap(true);
    m_pControlsBox = new QCheckBox(ToQt(LoadStringRes(IDS_SHOW_CONTROLS)), m_pPlayerArea);
    m_pControlsBox->setObjectName(QStringLiteral("controlsBox"));
    m_pLoopBox = new QCheckBox(ToQt(LoadStringRes(IDS_LOOP)), m_pPlayerArea);
    m_pLoopBox->setObjectName(QStringLiteral("loopBox"));
    m_pFitBox = new QCheckBox(ToQt(LoadStringRes(IDS_FIT_PLAYER)), m_pPlayerArea);
    m_pFitBox->setObjectName(QStringLiteral("fitBox"));
    m_pQualitiesBox =
        new QCheckBox(QStringLiteral("Several &qualities for slow connections"), m_pPlayerArea);
    m_pQualitiesBox->setObjectName(QStringLiteral("qualitiesBox"));
    m_pPlayerArea->setMinimumSize(
        std::max({kPictureSize.width(), m_pAutoPlayBox->sizeHint().width(),
                  m_pPosterBox->sizeHint().width(), OptionsRowWidth(),
                  m_pQualitiesBox->sizeHint().width()}),
        kPictureSize.height() + DialogUnitsDown(*this, kVideoGapUnits + 3 + 3 + 3) +
            m_pAutoPlayBox->sizeHint().height() + m_pPosterBox->sizeHint().height() +
            OptionsRowHeight() + m_pQualitiesBox->sizeHint().height());
    m_pPlayerArea->installEventFilter(this);

    auto* listRow = new QHBoxLayout;
    listRow->setSpacing(DialogUnitsDown(*this, 3));
    listRow->addWidget(listLabel);
    listRow->addWidget(m_pPlayerList);
    listRow->addStretch(1);
    // Beside the list, so the picture keeps its room.
    m_pCaptionsButton = new QPushButton(this);
    m_pCaptionsButton->setObjectName(QStringLiteral("captionsButton"));
    listRow->addWidget(m_pCaptionsButton);
    // The picture and its boxes take all the room the window gives (PlacePlayerArea).
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addLayout(listRow);
    layout->addSpacing(DialogUnitsDown(*this, 6));
    layout->addWidget(m_pPlayerArea, 1);
    m_pPosterMoment = new CPosterMoment(m_state, this);
    // Its room stays when it hides, so the picture keeps its place from one mode to the other,
    // and a larger window grows the picture, not this row.
    QSizePolicy momentPolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    momentPolicy.setRetainSizeWhenHidden(true);
    m_pPosterMoment->setSizePolicy(momentPolicy);
    layout->addWidget(m_pPosterMoment);

    connect(m_pPlayerList, &QComboBox::activated, this, &CPageSelectPlayer::OnPlayerActivated);
    connect(m_pPicture, &CPlayerPicture::clicked, this, &CPageSelectPlayer::OnPictureClicked);
    connect(m_pAutoPlayBox, &QCheckBox::clicked, this, &CPageSelectPlayer::OnAutoPlayClicked);
    connect(m_pPosterBox, &QCheckBox::clicked, this, &CPageSelectPlayer::OnPosterClicked);
    connect(m_pCaptionsButton, &QPushButton::clicked, this, &CPageSelectPlayer::OnCaptionsClicked);
    for (const auto& [box, field] : {std::pair{m_pControlsBox, &COptions::m_bVideoControl},
                                     std::pair{m_pLoopBox, &COptions::m_bVideoLoop},
                                     std::pair{m_pFitBox, &COptions::m_bFitPlayer},
                                     std::pair{m_pQualitiesBox, &COptions::m_bQualities}}) {
        connect(box, &QCheckBox::clicked, this,
                [field](bool checked) { COptions::Instance()->*field = checked ? 1 : 0; });
    }
}

int CPageSelectPlayer::OptionsRowWidth() const {
    return m_pControlsBox->sizeHint().width() + m_pLoopBox->sizeHint().width() +
           m_pFitBox->sizeHint().width() + 2 * DialogUnitsDown(*this, kOptionsGapUnits);
}

int CPageSelectPlayer::OptionsRowHeight() const {
    return std::max({m_pControlsBox->sizeHint().height(), m_pLoopBox->sizeHint().height(),
                     m_pFitBox->sizeHint().height()});
}

void CPageSelectPlayer::ShowCaptionsCount() {
    const size_t count = State().m_job.Captions().size();
    m_pCaptionsButton->setText(count == 0 ? QStringLiteral("Ca&ptions...")
                                          : QStringLiteral("Ca&ptions (%1)...").arg(count));
}

void CPageSelectPlayer::OnCaptionsClicked() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("captionsDialog"));
    dialog.setWindowTitle(QStringLiteral("Captions and subtitles"));
    auto* list = new CCaptionsList(State().m_job, &dialog);
    list->setObjectName(QStringLiteral("captionsList"));
    list->Reload();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(std::max(dialog.sizeHint().width(), kPictureSize.width() + 150),
                  dialog.sizeHint().height());
    dialog.exec();
    ShowCaptionsCount();
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
    m_pAutoPlayBox->setChecked(m_bVideoMode ? options->m_bAutoPlay : options->m_bAudioAutoPlay);
    m_pPosterBox->setChecked(options->m_bVideoPoster);
    m_pPosterBox->setVisible(m_bVideoMode);
    m_pAudioAutoPlayNote->setVisible(!m_bVideoMode);
    m_pControlsBox->setChecked(options->m_bVideoControl);
    m_pLoopBox->setChecked(options->m_bVideoLoop);
    m_pFitBox->setChecked(options->m_bFitPlayer);
    m_pFitBox->setVisible(m_bVideoMode);
    m_pQualitiesBox->setChecked(options->m_bQualities);
    m_pQualitiesBox->setVisible(m_bVideoMode);
    // No player here shows captions for audio.
    m_pCaptionsButton->setVisible(m_bVideoMode);
    ShowCaptionsCount();
    PlacePlayerArea();

    m_nShownPlayer = -1;
    OnPlayerActivated(m_pPlayerList->currentIndex());
    ShowPosterMoment();
}

void CPageSelectPlayer::ShowPosterMoment() {
    const bool shown = m_bVideoMode && COptions::Instance()->m_bVideoPoster;
    m_pPosterMoment->setVisible(shown);
    if (shown) {
        m_pPosterMoment->Load();
    }
}

bool CPageSelectPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pPlayerArea && event->type() == QEvent::Resize) {
        PlacePlayerArea();
    }
    return QWizardPage::eventFilter(watched, event);
}

void CPageSelectPlayer::PlacePlayerArea() {
    const QRect room = m_pPlayerArea->rect();
    const int between = DialogUnitsDown(*this, 3);
    const int autoPlayHeight = m_pAutoPlayBox->sizeHint().height();
    const int posterHeight = m_pPosterBox->sizeHint().height();
    const int optionsHeight = OptionsRowHeight();
    const int qualitiesHeight = m_pQualitiesBox->sizeHint().height();
    // The picture gets what video mode leaves below it; audio mode keeps a third of that, so
    // the picture keeps its place and width when the mode changes.
    const int videoHeight = std::max(0, room.height() - DialogUnitsDown(*this, kVideoGapUnits) -
                                            autoPlayHeight - between - posterHeight - between -
                                            optionsHeight - between - qualitiesHeight);
    const int pictureHeight = m_bVideoMode ? videoHeight : videoHeight / 3;
    const int gap = DialogUnitsDown(*this, m_bVideoMode ? kVideoGapUnits : kAudioGapUnits);
    m_pPicture->setGeometry(0, 0, room.width(), pictureHeight);
    m_pAutoPlayBox->setGeometry(0, pictureHeight + gap, room.width(), autoPlayHeight);
    m_pPosterBox->setGeometry(0, pictureHeight + gap + autoPlayHeight + between, room.width(),
                              posterHeight);

    int below = pictureHeight + gap + autoPlayHeight;
    if (m_bVideoMode) {
        below += between + posterHeight;
    } else {
        // Under the autoplay box's text, as a remark on it.
        const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
                           style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
        const int width = std::max(0, room.width() - indent);
        const int noteHeight = m_pAudioAutoPlayNote->heightForWidth(width);
        m_pAudioAutoPlayNote->setGeometry(indent, below, width, noteHeight);
        below += noteHeight;
    }
    int left = 0;
    for (QCheckBox* box : {m_pControlsBox, m_pLoopBox, m_pFitBox}) {
        const int width = box->sizeHint().width();
        box->setGeometry(left, below + between, width, optionsHeight);
        left += width + DialogUnitsDown(*this, kOptionsGapUnits);
    }
    m_pQualitiesBox->setGeometry(0, below + between + optionsHeight + between,
                                 m_pQualitiesBox->sizeHint().width(), qualitiesHeight);
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
    const COptions& options = *COptions::Instance();
    ShowMessage(ShowSamplePage(m_bVideoMode ? MEDIA_KIND_VIDEO : MEDIA_KIND_AUDIO,
                               GetInstallFolder() + "/Example/" + players[index].samplePage,
                               ChoicesFromOptions(options), options.m_strWorkFolder)
                    .why);
}

void CPageSelectPlayer::OnAutoPlayClicked(bool checked) {
    COptions* options = COptions::Instance();
    (m_bVideoMode ? options->m_bAutoPlay : options->m_bAudioAutoPlay) = checked ? 1 : 0;
}

void CPageSelectPlayer::OnPosterClicked(bool checked) {
    COptions::Instance()->m_bVideoPoster = checked ? 1 : 0;
    ShowPosterMoment();
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
