// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPublishSheet.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QTest>

#include "app/HelpCommands.h"
#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDlgAbout.h"

namespace {

QString Text(int id) {
    return ToQt(LoadStringRes(id));
}

class PublishSheetTest : public ::testing::Test {
protected:
    PublishSheetTest() { SetShell(&shell); }
    ~PublishSheetTest() override { SetShell(nullptr); }

    std::unique_ptr<CPublishSheet> MakeSheet() {
        // Where the publish page takes its poster picture.
        COptions::Instance()->m_strWorkFolder = env.sandbox / "work";
        auto sheet = std::make_unique<CPublishSheet>(Text(IDS_PUBLISH_CAPTION));
        sheet->show();
        return sheet;
    }

    // Takes the wizard forward to `page` as the user would: a media file in the first page's
    // box, then Next.
    void GoTo(CPublishSheet& sheet, int page) {
        auto* mediaBox = sheet.page(CPublishSheet::kPageSelectVideo)->findChild<QComboBox*>();
        if (mediaBox && mediaBox->currentText().isEmpty()) {
            mediaBox->setEditText(ToQt(Media()));
        }
        while (sheet.currentId() < page) {
            const int before = sheet.currentId();
            QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
            ASSERT_GT(sheet.currentId(), before) << "Next was refused";
        }
        ASSERT_EQ(sheet.currentId(), page);
    }

    std::string Media() {
        const std::string path = env.sandbox / "clip.mp4";
        if (!PathExists(path)) {
            EXPECT_TRUE(test::MakeMedia(path, 0.5, true, true,
                                        {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}));
        }
        return path;
    }

    test::Environment env;
    test::RecordingShell shell;
};

TEST_F(PublishSheetTest, EscapeIsCancelWithItsQuestion) {
    auto sheet = MakeSheet();
    for (int page : {CPublishSheet::kPageSelectVideo, CPublishSheet::kPageSelectPlayer,
                     CPublishSheet::kPagePublishHTML}) {
        SCOPED_TRACE(page);
        GoTo(*sheet, page);
        // From the window, from a page and from a button: each asks, and No keeps everything.
        for (QWidget* target : std::vector<QWidget*>{sheet.get(), sheet->currentPage(),
                                                     sheet->button(QWizard::NextButton)}) {
            env.box.messages.clear();
            env.box.answers = {IDNO};
            QTest::keyClick(target, Qt::Key_Escape);
            ASSERT_EQ(env.box.messages.size(), 1u);
            EXPECT_EQ(env.box.messages[0].text, LoadStringRes(IDS_CONFIRM_QUIT));
            EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONQUESTION);
            EXPECT_TRUE(sheet->isVisible());
            EXPECT_EQ(sheet->currentId(), page);
        }
    }
    env.box.answers = {IDYES};
    QTest::keyClick(sheet->currentPage(), Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
}

TEST_F(PublishSheetTest, CancelAsksAndNoKeepsThePageAndItsHistory) {
    auto sheet = MakeSheet();
    GoTo(*sheet, CPublishSheet::kPageSelectPlayer);
    env.box.answers = {IDNO};
    QTest::mouseClick(sheet->button(QWizard::CancelButton), Qt::LeftButton);

    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, LoadStringRes(IDS_CONFIRM_QUIT));
    EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(sheet->visitedIds(), (QList<int>{0, 1}));
    EXPECT_EQ(sheet->State().m_nMode, 1);
    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);

    env.box.answers = {IDYES};
    QTest::mouseClick(sheet->button(QWizard::CancelButton), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
}

TEST_F(PublishSheetTest, CloseBoxAsksTheSameQuestion) {
    auto sheet = MakeSheet();
    GoTo(*sheet, CPublishSheet::kPagePublishHTML);
    env.box.answers = {IDNO};
    EXPECT_FALSE(sheet->close());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);

    env.box.answers = {IDYES};
    sheet->setGeometry(40, 50, sheet->width() + 70, sheet->height() + 30);
    const QRect placed = sheet->geometry();
    EXPECT_TRUE(sheet->close());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(MakeSheet()->geometry(), placed) << "the next start has the window where it was";
    ASSERT_EQ(env.box.messages.size(), 2u);
    for (const auto& message : env.box.messages) {
        EXPECT_EQ(message.text, LoadStringRes(IDS_CONFIRM_QUIT));
        EXPECT_EQ(message.type, MB_YESNO | MB_ICONQUESTION);
    }
}

TEST_F(PublishSheetTest, FinishNeverClosesTheWizard) {
    auto sheet = MakeSheet();
    GoTo(*sheet, CPublishSheet::kPagePublishHTML);
    sheet->accept();  // what Finish does
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(PublishSheetTest, EachPageHasItsButtons) {
    auto sheet = MakeSheet();
    auto state = [&](QWizard::WizardButton which) {
        QAbstractButton* button = sheet->button(which);
        return std::string(!button->isVisible() ? "hidden" : button->isEnabled() ? "on" : "off");
    };
    const struct {
        int page;
        const char* back;
        const char* next;
        const char* finish;
    } rows[] = {
        {CPublishSheet::kPageSelectVideo, "hidden", "on", "hidden"},
        {CPublishSheet::kPageSelectPlayer, "on", "on", "hidden"},
        {CPublishSheet::kPagePublishHTML, "on", "hidden", "off"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.page);
        GoTo(*sheet, row.page);
        EXPECT_EQ(state(QWizard::BackButton), row.back);
        EXPECT_EQ(state(QWizard::NextButton), row.next);
        EXPECT_EQ(state(QWizard::FinishButton), row.finish);
        EXPECT_EQ(state(QWizard::CancelButton), "on");
        EXPECT_EQ(state(QWizard::HelpButton), "on");
    }
}

TEST_F(PublishSheetTest, UsedForCaptureGivesFixedButtonTexts) {
    QWizard plain;
    plain.setWizardStyle(QWizard::ModernStyle);
    for (int capture : {0, 1}) {
        SCOPED_TRACE(capture);
        COptions::Instance()->m_bUsedForCapture = capture;
        auto sheet = MakeSheet();
        const auto expect = [&](QWizard::WizardButton which, const char* fixed) {
            EXPECT_EQ(sheet->button(which)->text(),
                      capture ? QString::fromUtf8(fixed) : plain.buttonText(which));
        };
        // Finish publishes, so it says so either way.
        EXPECT_EQ(sheet->button(QWizard::FinishButton)->text(),
                  capture ? QStringLiteral("Publish") : QStringLiteral("&Publish"));
        expect(QWizard::BackButton, "Back");
        expect(QWizard::NextButton, "Next");
        expect(QWizard::CancelButton, "Cancel");
        expect(QWizard::HelpButton, "Help");
    }
}

TEST_F(PublishSheetTest, HelpButtonPopsTheMenuJustBelowItself) {
    auto sheet = MakeSheet();
    QAbstractButton* help = sheet->button(QWizard::HelpButton);
    // Room below the button on the small offscreen screen.
    sheet->move(0, 80 - help->mapTo(sheet.get(), QPoint(0, 0)).y());
    QTest::mouseClick(help, Qt::LeftButton);

    QMenu* menu = sheet->HelpMenu();
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), help->mapToGlobal(QPoint(0, help->height() + 1)));
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isVisible()) {
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
    }
    // The converter item opens the conversion, which now exists.
    EXPECT_EQ(items, (QStringList{"&Manual\tF1", "-", "Homepage", "Check for updates...", "-",
                                  QStringLiteral("Convert a video or audio file for the web\u2026"),
                                  "-", "About..."}));
    menu->close();
}

TEST_F(PublishSheetTest, HelpCommandsOpenTheirPages) {
    auto sheet = MakeSheet();
    const auto actions = sheet->HelpMenu()->actions();
    const struct {
        const char* item;
        std::string opened;
    } rows[] = {
        {"&Manual\tF1", GetManualPath()},
        {"Homepage", GetManualPath()},
        {"Check for updates...", LoadStringRes(IDS_UPDATE_URL)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.item);
        shell.opened.clear();
        for (QAction* action : actions) {
            if (action->text() == QString::fromUtf8(row.item)) {
                action->trigger();
            }
        }
        EXPECT_EQ(shell.opened, std::vector<std::string>{row.opened});
    }
    // The manual the home page and F1 open is installed with the program.
    EXPECT_TRUE(IsRegularFile(GetManualPath())) << GetManualPath();
    shell.opened.clear();
    // Shortcuts work in the active window only.
    sheet->activateWindow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(sheet->isActiveWindow());
    QTest::keyClick(sheet.get(), Qt::Key_F1);
    EXPECT_EQ(shell.opened, std::vector<std::string>{GetManualPath()});

    EXPECT_EQ(sheet->findChild<CDlgAbout*>(), nullptr);
    actions.back()->trigger();
    auto* about = sheet->findChild<CDlgAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_NE(about->windowModality(), Qt::NonModal);
    about->accept();

    // The application's own About command shows the same box.
    sheet->OnCommand(ID_APP_ABOUT);
    int shown = 0;
    for (CDlgAbout* box : sheet->findChildren<CDlgAbout*>()) {
        if (box->isVisible()) {
            ++shown;
            box->accept();
        }
    }
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(shell.opened, std::vector<std::string>{GetManualPath()});
}

TEST_F(PublishSheetTest, NoTwoControlsOfAPageShareAMnemonic) {
    auto sheet = MakeSheet();
    for (int page : {CPublishSheet::kPageSelectVideo, CPublishSheet::kPageSelectPlayer,
                     CPublishSheet::kPagePublishHTML}) {
        SCOPED_TRACE(page);
        GoTo(*sheet, page);
        // Buttons (the wizard's own among them) and the labels that lead to a field.
        QMap<QKeySequence, QStringList> owners;
        int buttons = 0;
        for (QWidget* widget : sheet->findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->window() != sheet.get()) {
                continue;
            }
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                text = button->text();
                ++buttons;
            } else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) {
                text = label->text();
            }
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (!key.isEmpty()) {
                owners[key] << text;
            }
        }
        EXPECT_GE(buttons, 4);
        for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
            EXPECT_EQ(it.value().size(), 1) << it.value().join(" | ").toStdString();
        }
    }
}

TEST_F(PublishSheetTest, TextsSayWhatTheyDo) {
    auto sheet = MakeSheet();
    EXPECT_EQ(sheet->page(CPublishSheet::kPageSelectPlayer)->title(), "Select a player");
    // The publish page asks for a click on the button that is there.
    QString finish = sheet->button(QWizard::FinishButton)->text();
    finish.remove(QLatin1Char('&'));
    EXPECT_EQ(finish, "Publish");
    EXPECT_TRUE(sheet->page(CPublishSheet::kPagePublishHTML)
                    ->subTitle()
                    .contains(QStringLiteral("click \"%1\" button").arg(finish)))
        << sheet->page(CPublishSheet::kPagePublishHTML)->subTitle().toStdString();
}

TEST_F(PublishSheetTest, PagesShowTheirHeaderAndNothingIsCutOff) {
    auto sheet = MakeSheet();
    EXPECT_TRUE(sheet->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(sheet->Caption(), "Publish");
    EXPECT_EQ(sheet->pixmap(QWizard::LogoPixmap).size(), QSize(48, 48));
    const struct {
        int page;
        int title, subtitle;
        const char* picture;
    } rows[] = {
        {CPublishSheet::kPageSelectVideo, IDS_SELECT_MEDIA_TITLE, IDS_SELECT_MEDIA_SUBTITLE,
         "wizard-1-select-media"},
        {CPublishSheet::kPageSelectPlayer, IDS_SELECT_PLAYER_TITLE, IDS_SELECT_PLAYER_SUBTITLE,
         "wizard-2-select-player"},
        {CPublishSheet::kPagePublishHTML, IDS_PUBLISH_PAGE_TITLE, IDS_PUBLISH_PAGE_SUBTITLE,
         "wizard-3-publish-to-page"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture);
        GoTo(*sheet, row.page);
        EXPECT_EQ(sheet->windowTitle(), "Ombrel DEDE5 Varodo - Publish HTML5 to web page");
        // The header really shows the two texts.
        QStringList shown;
        for (QLabel* label : sheet->findChildren<QLabel*>()) {
            if (label->isVisible()) {
                shown << label->text();
            }
        }
        EXPECT_TRUE(shown.contains(Text(row.title))) << shown.join('|').toStdString();
        EXPECT_TRUE(shown.contains(Text(row.subtitle))) << shown.join('|').toStdString();
        EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
        EXPECT_EQ(test::UnnamedControls(*sheet), std::vector<std::string>{});
        EXPECT_TRUE(test::SaveScreenshot(*sheet, QString::fromUtf8(row.picture)));
    }
}

}  // namespace
