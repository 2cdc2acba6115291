// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGuiApplication>

// Shows a cursor over the whole application while it lives (the wait cursor by default).
class CWaitCursor {
public:
    explicit CWaitCursor(Qt::CursorShape shape = Qt::WaitCursor) {
        QGuiApplication::setOverrideCursor(shape);
    }
    ~CWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
