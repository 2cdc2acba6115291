// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPosterMoment.h"

#include <cmath>

#include <unistd.h>

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <fmt/printf.h>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

constexpr QSize kPictureBox{160, 90};
// Dragging asks for a picture only once the slider rests a moment.
constexpr int kSettle_ms = 150;

int Tenths(double seconds) {
    return static_cast<int>(std::lround(seconds * 10));
}

std::string SecondsText(double seconds) {
    return fmt::sprintf("%.1f", seconds);
}

}  // namespace

CPosterMoment::CPosterMoment(CWizardState& state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("posterMoment"));
    m_pPicture = new QLabel(this);
    m_pPicture->setObjectName(QStringLiteral("posterPicture"));
    m_pPicture->setFixedSize(kPictureBox);
    m_pPicture->setAlignment(Qt::AlignCenter);
    m_pPicture->setFrameShape(QFrame::StyledPanel);
    auto* caption = new QLabel(ToQt(LoadStringRes(IDS_POSTER_MOMENT)), this);
    m_pSlider = new QSlider(Qt::Horizontal, this);
    m_pSlider->setObjectName(QStringLiteral("posterSlider"));
    m_pTime = new QDoubleSpinBox(this);
    m_pTime->setObjectName(QStringLiteral("posterTime"));
    m_pTime->setDecimals(1);
    m_pTime->setSingleStep(0.1);
    m_pTime->setSuffix(QStringLiteral(" s"));
    caption->setBuddy(m_pTime);
    const QString tip = ToQt(LoadStringRes(IDS_POSTER_MOMENT_TIP));
    m_pSlider->setToolTip(tip);
    m_pTime->setToolTip(tip);
    m_pDarkNote = new QLabel(this);
    m_pDarkNote->setObjectName(QStringLiteral("posterDarkNote"));
    m_pDarkNote->setWordWrap(true);
    m_pDarkNote->hide();
    m_pUseSuggested = new QPushButton(this);
    m_pUseSuggested->setObjectName(QStringLiteral("posterUseSuggested"));
    m_pUseSuggested->setAutoDefault(false);
    m_pUseSuggested->hide();
    m_pSettle = new QTimer(this);
    m_pSettle->setSingleShot(true);
    m_pSettle->setInterval(kSettle_ms);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(m_pPicture, 0, 0, 3, 1);
    grid->addWidget(caption, 0, 1);
    grid->addWidget(m_pTime, 0, 2);
    grid->addWidget(m_pSlider, 1, 1, 1, 2);
    // The note and its button share a row of their own, so the time box keeps its place when
    // they come and go.
    auto* noteRow = new QHBoxLayout;
    noteRow->addWidget(m_pDarkNote, 1);
    noteRow->addWidget(m_pUseSuggested, 0, Qt::AlignTop);
    grid->addLayout(noteRow, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    setTabOrder(m_pTime, m_pSlider);
    m_pSlider->setAccessibleName(caption->text().remove(QLatin1Char('&')));
    m_pSlider->setAccessibleDescription(tip);
    m_pTime->setAccessibleDescription(tip);

    connect(m_pSlider, &QSlider::valueChanged, this, &CPosterMoment::OnSliderMoved);
    connect(m_pTime, &QDoubleSpinBox::valueChanged, this, &CPosterMoment::OnTimeChanged);
    connect(m_pSettle, &QTimer::timeout, this, &CPosterMoment::RequestPicture);
    connect(m_pUseSuggested, &QPushButton::clicked, this, [this] {
        if (m_suggestedAt) {
            m_pTime->setValue(*m_suggestedAt);
        }
    });
}

CPosterMoment::~CPosterMoment() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    ::unlink(PicturePath().c_str());
}

std::string CPosterMoment::PicturePath() const {
    return AddBackslash(COptions::Instance()->m_strWorkFolder) + ".~poster-moment.jpg";
}

void CPosterMoment::Load() {
    const CPublishJob& job = m_state.m_job;
    m_strMedia = job.Details().m_strPath;
    m_fDuration = std::max(0.0, static_cast<double>(job.Details().m_fDuration));
    // The last tenth may hold no frame to take.
    const double last = std::max(0.0, std::floor(m_fDuration * 10 - 1) / 10);
    {
        const QSignalBlocker sliderBlocker(m_pSlider);
        const QSignalBlocker timeBlocker(m_pTime);
        m_pSlider->setRange(0, Tenths(last));
        m_pTime->setRange(0, last);
        m_pTime->setValue(job.PosterTime());
        m_pSlider->setValue(Tenths(job.PosterTime()));
    }
    m_shownAt.reset();
    m_suggestedAt.reset();
    m_pDarkNote->hide();
    m_pUseSuggested->hide();
    m_pPicture->clear();
    RequestPicture();
}

void CPosterMoment::OnSliderMoved(int tenths) {
    const QSignalBlocker blocker(m_pTime);
    m_pTime->setValue(tenths / 10.0);
    m_state.m_job.SetPosterTime(m_pTime->value());
    m_pSettle->start();
}

void CPosterMoment::OnTimeChanged(double seconds) {
    const QSignalBlocker blocker(m_pSlider);
    m_pSlider->setValue(Tenths(seconds));
    m_state.m_job.SetPosterTime(seconds);
    m_pSettle->start();
}

void CPosterMoment::RequestPicture() {
    if (m_strMedia.empty()) {
        return;
    }
    if (m_bTaking) {
        m_bPending = true;
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (!CreateFolders(COptions::Instance()->m_strWorkFolder)) {
        OnPictureTaken(m_pTime->value(), false, false, std::nullopt);
        return;
    }
    m_bTaking = true;
    m_bPending = false;
    const double at = m_pTime->value();
    m_worker =
        std::thread([this, media = m_strMedia, duration = m_fDuration, at, path = PicturePath()] {
            const PosterPreview preview = CPublishJob::TakePosterPreview(media, duration, at, path);
            // The destructor joins this thread first, so the page is there to post to.
            QMetaObject::invokeMethod(
                this,
                [this, at, preview] {
                    OnPictureTaken(at, preview.taken, preview.dark, preview.brighterAt);
                },
                Qt::QueuedConnection);
        });
}

void CPosterMoment::OnPictureTaken(double at, bool taken, bool dark,
                                   std::optional<double> brighterAt) {
    m_bTaking = false;
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // A moment chosen meanwhile is taken next; this picture is already out of date.
    if (m_bPending || Tenths(at) != Tenths(m_pTime->value())) {
        m_bPending = false;
        RequestPicture();
        return;
    }
    QImage image;
    if (taken && image.load(ToQt(PicturePath()))) {
        m_pPicture->setPixmap(QPixmap::fromImage(
            image.scaled(kPictureBox, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } else {
        m_pPicture->clear();
    }
    // The note belongs to the default moment; a moment of the user's own is left alone.
    if (at <= 0) {
        m_suggestedAt = dark ? brighterAt : std::nullopt;
        if (dark) {
            m_pDarkNote->setText(
                brighterAt
                    ? ToQt(fmt::sprintf(LoadStringRes(IDS_POSTER_DARK), SecondsText(at),
                                        SecondsText(*brighterAt)))
                    : ToQt(fmt::sprintf(LoadStringRes(IDS_POSTER_DARK_NONE), SecondsText(at))));
        }
        m_pDarkNote->setVisible(dark);
        if (brighterAt && dark) {
            m_pUseSuggested->setText(ToQt(
                fmt::sprintf(LoadStringRes(IDS_POSTER_USE_SUGGESTED), SecondsText(*brighterAt))));
        }
        m_pUseSuggested->setVisible(dark && brighterAt);
    } else {
        m_pDarkNote->hide();
        m_pUseSuggested->hide();
    }
    m_shownAt = taken ? std::optional<double>(at) : std::nullopt;
    emit pictureShown();
}
