// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMediaReader.h"

#include <mutex>
#include <thread>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QWidget>

namespace {

// The media library's binding is process-wide and unlocked: one parse at a time.
std::mutex g_parseMutex;
std::function<void(const std::string&)> g_beforeParse;
int g_nReading = 0;

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

// Drops what the user does while a file is read, so nothing acts on a half-finished state
// afterwards; painting, timers and queued calls go on.
class CInputDropper : public QObject {
public:
    CInputDropper() {
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++g_nReading;
    }
    ~CInputDropper() override {
        --g_nReading;
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

std::vector<CMediaReader::Result> CMediaReader::Read(const std::vector<std::string>& paths) {
    std::vector<Result> results(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        results[i].path = paths[i];
    }
    if (results.empty()) {
        return results;
    }
    const auto beforeParse = g_beforeParse;
    CInputDropper dropper;
    QEventLoop loop;
    // Posted, so a worker that ends before exec() starts still ends the loop.
    std::thread worker([&results, &beforeParse, &loop] {
        for (Result& result : results) {
            if (beforeParse) {
                beforeParse(result.path);
            }
            const std::lock_guard lock(g_parseMutex);
            try {
                result.parsed = result.details.Parse(result.path);
            } catch (...) {
                result.parsed = false;
            }
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return results;
}

bool CMediaReader::IsBusy() {
    return g_nReading > 0;
}

void CMediaReader::SetBeforeParseForTesting(std::function<void(const std::string&)> hook) {
    g_beforeParse = std::move(hook);
}
