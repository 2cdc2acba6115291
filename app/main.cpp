// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <QWizard>

#include "app/CPagecastApp.h"
#include "app/CQtShell.h"
#include "app/CVersionInfo.h"
#include "app/CommandLine.h"
#include "app/QtText.h"
#include "app/QuitOnStop.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "ui/CPublishSheet.h"
#include "ui/CQtMessageBox.h"

namespace {

// --quit-when-shown: prints the first page's title once the wizard is on screen and ends the run
// normally, so scripts and the install test can see the program start.
class CShownProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* wizard = qobject_cast<QWizard*>(watched);
        if (wizard && event->type() == QEvent::Show && !m_bDone) {
            m_bDone = true;
            QTimer::singleShot(0, wizard, [wizard] {
                const QString title = wizard->currentPage() ? wizard->currentPage()->title() : "";
                std::printf("shown: %s\n", title.toLocal8Bit().constData());
                std::fflush(stdout);
                // The base class's done(): the wizard's own asks before quitting.
                wizard->QDialog::done(QDialog::Rejected);
            });
        }
        return false;
    }

private:
    bool m_bDone = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(LoadStringRes(IDS_VARODO_USAGE).c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", LoadStringRes(IDS_APP_TITLE).c_str(),
                        CVersionInfo::Compiled().GetText().c_str());
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("OmbrelTec"));
    QApplication::setApplicationName(ToQt(LoadStringRes(IDS_APP_NAME)));
    QApplication::setApplicationVersion(ToQt(CVersionInfo::Compiled().GetText()));
    QApplication::setDesktopFileName(QStringLiteral("dede5-varodo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dede5/dede5-varodo.png")));

    CShownProbe probe;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quit-when-shown") == 0) {
            app.installEventFilter(&probe);
        }
    }

    const std::string startFile = GetStartFile(QCoreApplication::arguments());
    CQtMessageBox box;
    CQtShell shell;
    CPagecastApp pagecast(
        [&startFile](const std::string& caption, int mode) {
            CPublishSheet::RunModalWithFile(caption, mode, startFile);
        },
        &box, &shell);
    CQuitOnStop quitOnStop;
    pagecast.InitInstance();
    const int code = pagecast.ExitInstance();
    return StopRequested() ? 128 + StopSignal() : code;
}
