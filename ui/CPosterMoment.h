// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <thread>

#include <QWidget>

#include "ui/CWizardState.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

// The moment of the video the poster picture is taken from: a slider and a time box, with the
// picture taken there beside them. The picture is taken by a worker thread, so dragging the
// slider never waits for ffmpeg; a moment chosen while one is taken is taken next. When the
// picture of the default moment is nearly black, a brighter moment is offered.
class CPosterMoment : public QWidget {
    Q_OBJECT
public:
    explicit CPosterMoment(CWizardState& state, QWidget* parent = nullptr);
    // Waits for a picture still being taken.
    ~CPosterMoment() override;
    CPosterMoment(const CPosterMoment&) = delete;
    CPosterMoment& operator=(const CPosterMoment&) = delete;

    // The job's media and moment are shown anew.
    void Load();
    // The moment whose picture is shown; nullopt while there is none.
    std::optional<double> ShownMoment() const { return m_shownAt; }
    std::optional<double> SuggestedMoment() const { return m_suggestedAt; }

signals:
    // A picture (or the failure to take one) for the moment now chosen is shown.
    void pictureShown();

private:
    void OnSliderMoved(int tenths);
    void OnTimeChanged(double seconds);
    void RequestPicture();
    void OnPictureTaken(double at, bool taken, bool dark, std::optional<double> brighterAt);
    std::string PicturePath() const;

    CWizardState& m_state;
    QLabel* m_pPicture;
    QSlider* m_pSlider;
    QDoubleSpinBox* m_pTime;
    QLabel* m_pDarkNote;
    QPushButton* m_pUseSuggested;
    QTimer* m_pSettle;
    std::thread m_worker;
    bool m_bTaking = false;
    bool m_bPending = false;
    std::string m_strMedia;
    double m_fDuration = 0;
    std::optional<double> m_shownAt, m_suggestedAt;
};
