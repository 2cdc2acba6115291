// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QuitOnStop.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

#include "core/StopRequest.h"

CQuitOnStop::CQuitOnStop(QObject* parent) : QObject(parent) {
    CatchStopSignals();
    const int wake = StopWakeFd();
    if (wake < 0) {
        return;
    }
    // The signal handler can only set a flag and write to the pipe; the loop learns of it here.
    m_pNotifier = new QSocketNotifier(wake, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this, wake] {
        char bytes[16];
        while (::read(wake, bytes, sizeof bytes) > 0) {
        }
        if (StopRequested()) {
            m_pNotifier->setEnabled(false);
            QCoreApplication::exit(128 + StopSignal());
        }
    });
}
