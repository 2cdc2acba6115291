// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QuitOnStop.h"

#include <QCoreApplication>

#include "core/StopRequest.h"

namespace {
// The signal handler may only set a flag; this is how soon the window notices it.
constexpr int kLookEvery_ms = 100;
}  // namespace

CQuitOnStop::CQuitOnStop(QObject* parent) : QObject(parent) {
    CatchStopSignals();
    m_timer.setInterval(kLookEvery_ms);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (StopRequested()) {
            m_timer.stop();
            QCoreApplication::exit(128 + StopSignal());
        }
    });
    m_timer.start();
}
