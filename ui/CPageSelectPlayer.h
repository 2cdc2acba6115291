// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include <QSize>
#include <QWizardPage>

#include "players/PlayerInfo.h"
#include "ui/CWizardState.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class CPlayerPicture;
class CPosterMoment;

// The second page: the player template for the chosen media, its picture (a click shows its
// sample page) and the playback options. Every choice goes into the settings at once.
class CPageSelectPlayer : public QWizardPage {
    Q_OBJECT
public:
    // The picture's least room in video mode; it grows with the window, and audio mode keeps a
    // third of its height.
    static constexpr QSize kPictureSize{411, 237};

    explicit CPageSelectPlayer(CWizardState& state, QWidget* parent = nullptr);

    // The page becomes active: video or audio mode from the chosen media.
    void initializePage() override;
    // Next.
    bool validatePage() override;

    bool IsVideoMode() const { return m_bVideoMode; }

protected:
    CWizardState& State() { return m_state; }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::span<const PlayerInfo> Players() const;
    int& StoredPlayer() const;
    void OnPlayerActivated(int index);
    void OnPictureClicked();
    void OnAutoPlayClicked(bool checked);
    void OnPosterClicked(bool checked);
    // The captions list of the video, in a dialog of its own.
    void OnCaptionsClicked();
    void ShowCaptionsCount();
    // Lays out the picture and the boxes below it in the room the page gives them.
    void PlacePlayerArea();
    int OptionsRowWidth() const;
    int OptionsRowHeight() const;
    // The poster moment shows for video while a poster is asked for.
    void ShowPosterMoment();

    CWizardState& m_state;
    bool m_bVideoMode = true;
    // The row whose picture is shown; -1 for none.
    int m_nShownPlayer = -1;

    QComboBox* m_pPlayerList;
    QWidget* m_pPlayerArea;
    CPlayerPicture* m_pPicture;
    QCheckBox* m_pAutoPlayBox;
    QCheckBox* m_pPosterBox;
    // Audio mode: why an autoplaying sound may wait for the visitor.
    QLabel* m_pAudioAutoPlayNote;
    // One row below the poster box; the fit box shows in video mode only.
    QCheckBox* m_pControlsBox;
    QCheckBox* m_pLoopBox;
    QCheckBox* m_pFitBox;
    // Video only, on a row of its own below.
    QCheckBox* m_pQualitiesBox;
    QPushButton* m_pCaptionsButton;
    CPosterMoment* m_pPosterMoment;
};
