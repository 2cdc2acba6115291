// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QIcon>

#include "app/CPagecastApp.h"
#include "app/CVersionInfo.h"
#include "app/QtText.h"
#include "core/StringTable.h"
#include "ui/CPublishSheet.h"
#include "ui/CQtMessageBox.h"

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so it works without a display.
    for (int i = 1; i < argc; ++i) {
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

    CQtMessageBox box;
    CPagecastApp pagecast(&CPublishSheet::RunModal, &box);
    pagecast.InitInstance();
    return pagecast.ExitInstance();
}
