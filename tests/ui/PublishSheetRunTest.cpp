// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMetaObject>

#include "app/CPagecastApp.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "ui/CPublishSheet.h"

namespace {

// The program's own run: the real wizard, modal, until the user cancels and confirms.
TEST(PublishSheetRun, RunsModallyUntilTheUserQuits) {
    test::Environment env;
    test::RecordingShell shell;
    env.box.answers = {IDNO, IDYES};
    struct {
        QString title;
        int page = -1;
        bool loaded = false;
    } seen;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* sheet = qobject_cast<CPublishSheet*>(widget);
                if (!sheet || !sheet->isVisible()) {
                    continue;
                }
                seen.title = sheet->windowTitle();
                seen.page = sheet->currentId();
                seen.loaded = COptions::Instance()->m_bLoaded == 1;
                // No keeps it open, Yes ends the run.
                sheet->button(QWizard::CancelButton)->click();
                sheet->button(QWizard::CancelButton)->click();
            }
        },
        Qt::QueuedConnection);

    CPagecastApp app(&CPublishSheet::RunModal, &env.box, &shell, env.store);
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), 0);

    EXPECT_EQ(seen.title, "Ombrel DEDE5 Varodo - Publish HTML5 to web page");
    EXPECT_EQ(seen.page, CPublishSheet::kPageSelectVideo);
    EXPECT_TRUE(seen.loaded);
    EXPECT_EQ(env.box.messages.size(), 2u);
    EXPECT_EQ(env.store->GetInt("Options", "Run Times", -1), 1);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<CPublishSheet*>(widget), nullptr);
    }
}

}  // namespace
