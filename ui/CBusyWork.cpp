// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CBusyWork.h"

#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QWidget>

namespace {

int g_nRunning = 0;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

// Drops what the user does while the work runs, so nothing acts on a half-finished state
// afterwards; painting, timers and queued calls go on.
class CInputDropper : public QObject {
public:
    CInputDropper() {
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++g_nRunning;
    }
    ~CInputDropper() override {
        --g_nRunning;
        QApplication::restoreOverrideCursor();
        qApp->removeEventFilter(this);
    }
    CInputDropper(const CInputDropper&) = delete;
    CInputDropper& operator=(const CInputDropper&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (IsUserInput(event->type())) {
            return true;
        }
        if (event->type() == QEvent::Close) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->isWindow()) {
                event->ignore();
                return true;
            }
        }
        return false;
    }
};

}  // namespace

void CBusyWork::Run(const std::function<void()>& work) {
    CInputDropper dropper;
    QEventLoop loop;
    // Posted, so a worker that ends before exec() starts still ends the loop.
    std::thread worker([&work, &loop] {
        try {
            work();
        } catch (...) {
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

bool CBusyWork::IsBusy() {
    return g_nRunning > 0;
}
