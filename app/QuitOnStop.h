// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM (a logout, a kill, Ctrl+C in the terminal) end the wizard the way they end
// the publisher: a conversion or copy under way stops and removes its partial file, a page being
// saved is finished first, and then every event loop returns with 128 + the signal.
class CQuitOnStop : public QObject {
public:
    explicit CQuitOnStop(QObject* parent = nullptr);

private:
    QSocketNotifier* m_pNotifier = nullptr;
};
