// SPDX-License-Identifier: GPL-3.0-or-later
// Work on the publish page survives Back and Next, and quitting says when it would be lost;
// typed page paths; the page's keyboard.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "tests/ui/PublishFixture.h"
#include "ui/CDialogFind.h"

namespace {

using test::ReadFile;

class PublishPageWorkTest : public test::PublishTest {
protected:
    void Back(int expected) {
        QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
        ASSERT_EQ(sheet->currentId(), expected);
    }
    std::string Text(int id, const std::string& path) const {
        return fmt::sprintf(LoadStringRes(id), path);
    }
};

TEST_F(PublishPageWorkTest, BackAndNextKeepThePageAndItsCodeWhileNothingChanged) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    InsertAfterBody(page);
    const std::string inserted(page.SourceView()->GetText());
    ASSERT_NE(inserted, kIndexPage);

    // To the player page and back, then to the first page and forward over both pages.
    Back(CPublishSheet::kPageSelectPlayer);
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(page.SourceView()->GetText(), inserted);
    Back(CPublishSheet::kPageSelectPlayer);
    Back(CPublishSheet::kPageSelectVideo);
    Next(CPublishSheet::kPageSelectPlayer);
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
    EXPECT_EQ(page.SourceView()->GetText(), inserted);
    EXPECT_EQ(page.PathBox()->currentText(), ToQt(index));
    EXPECT_TRUE(page.Page().IsInserted());
    EXPECT_TRUE(FinishEnabled());

    // What is kept is what gets published.
    Finish();
    EXPECT_EQ(ReadFile(index), inserted);
}

TEST_F(PublishPageWorkTest, ChangedOptionsReloadThePageAndSaySoOnlyWhenWorkIsLost) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    const std::string loadedBody = page.Page().BodyCode();
    ASSERT_EQ(loadedBody.find(" loop"), std::string::npos) << loadedBody;

    // Nothing inserted yet: the page takes the new code without a word.
    Back(CPublishSheet::kPageSelectPlayer);
    COptions::Instance()->m_bVideoLoop = 1;
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
    EXPECT_TRUE(page.Page().IsPageOpen());
    EXPECT_NE(page.Page().BodyCode(), loadedBody);
    EXPECT_NE(page.Page().BodyCode().find("loop"), std::string::npos) << page.Page().BodyCode();

    // The page edited by hand, then the option turned off again.
    page.SourceView()->SetSelection(0, 0);
    QTest::keyClicks(page.SourceView(), "<!-- mine -->");
    ASSERT_NE(page.SourceView()->GetText(), kIndexPage);
    Back(CPublishSheet::kPageSelectPlayer);
    COptions::Instance()->m_bVideoLoop = 0;
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{Text(IDS_PAGE_RELOADED_INSERT_AGAIN, index)});
    EXPECT_EQ(page.SourceView()->GetText(), kIndexPage);
    EXPECT_EQ(page.Page().BodyCode(), loadedBody);
    EXPECT_FALSE(FinishEnabled());

    // Another media file on the first page is a change as well.
    InsertAfterBody(page);
    ASSERT_TRUE(FinishEnabled());
    Back(CPublishSheet::kPageSelectPlayer);
    Back(CPublishSheet::kPageSelectVideo);
    auto* mediaBox = sheet->page(CPublishSheet::kPageSelectVideo)->findChild<QComboBox*>();
    mediaBox->setEditText(ToQt(Audio()));
    Next(CPublishSheet::kPageSelectPlayer);
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{Text(IDS_PAGE_RELOADED_INSERT_AGAIN, index)});
    EXPECT_EQ(page.SourceView()->GetText(), kIndexPage);
    EXPECT_NE(page.Page().BodyCode().find("song.mp3"), std::string::npos);
    EXPECT_FALSE(page.Page().IsInserted());
}

TEST_F(PublishPageWorkTest, APageGoneWhileAwayIsSaidAndEmptied) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, news);
    InsertAfterBody(page);
    Back(CPublishSheet::kPageSelectPlayer);
    ChoosePlayer(2);
    ASSERT_TRUE(std::filesystem::remove(news));
    Next(CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{Text(IDS_PAGE_LOAD_FAILED, news)});
    EXPECT_FALSE(page.Page().IsPageOpen());
    EXPECT_TRUE(page.SourceView()->GetText().empty());
    EXPECT_FALSE(FinishEnabled());
}

TEST_F(PublishPageWorkTest, QuittingWithUnpublishedCodeSaysItWillBeLost) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    InsertAfterBody(page);
    const std::string inserted(page.SourceView()->GetText());
    const std::string lost = Text(IDS_INSERTION_WILL_BE_LOST, index);

    // Cancel, Escape and the close box, on this page and after Back; No stays.
    const auto quit = [&](const char* how) {
        env.box.answers = {IDNO};
        if (std::string(how) == "cancel") {
            QTest::mouseClick(sheet->button(QWizard::CancelButton), Qt::LeftButton);
        } else if (std::string(how) == "escape") {
            QTest::keyClick(sheet->currentPage(), Qt::Key_Escape);
        } else {
            EXPECT_FALSE(sheet->close());
        }
    };
    for (const char* how : {"cancel", "escape", "close"}) {
        SCOPED_TRACE(how);
        quit(how);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text, lost);
        EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONQUESTION);
        env.box.messages.clear();
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(page.SourceView()->GetText(), inserted);
    }
    Back(CPublishSheet::kPageSelectPlayer);
    quit("cancel");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{lost});
    Next(CPublishSheet::kPagePublishHTML);

    // Published, or taken out with Reset: the plain question.
    QTest::mouseClick(page.ResetButton(), Qt::LeftButton);
    quit("escape");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_CONFIRM_QUIT)});
    InsertAfterBody(page);
    env.box.answers = {IDYES};  // publish into another page
    Finish();
    ASSERT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    quit("close");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_CONFIRM_QUIT)});

    BrowseTo(page, news);
    InsertAfterBody(page);
    env.box.answers = {IDYES};
    QTest::mouseClick(sheet->button(QWizard::CancelButton), Qt::LeftButton);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{Text(IDS_INSERTION_WILL_BE_LOST, news)});
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(PublishPageWorkTest, EnterOnAPageFromTheHistoryLoadsIt) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    // A page taken from the history's list and then Enter.
    BrowseTo(page, news);
    TypePath(page, index);
    page.PathBox()->setCurrentIndex(page.PathBox()->findText(ToQt(news)));
    QTest::keyClick(page.PathBox()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(page.Page().PagePath(), news);
    EXPECT_EQ(page.SourceView()->GetText(), kNewsPage);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(PublishPageWorkTest, CtrlFOpensFindAndFindKeepsTheKeysAfterCannotFind) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    QTest::keyClick(page.PathBox()->lineEdit(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(page.FindDialog(), nullptr) << "nothing loaded, nothing to find in";

    TypePath(page, index);
    page.SourceView()->setFocus();
    QTest::keyClick(page.SourceView(), Qt::Key_F, Qt::ControlModifier);
    CDialogFind* find = page.FindDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());

    // The message box goes, and the desktop activates the wizard instead of the dialog.
    class ActivatingBox : public IMessageBox {
    public:
        ActivatingBox(QWidget& window, QWidget& focus) : m_window(window), m_focus(focus) {}
        int Show(unsigned, const std::string& text) override {
            shown.push_back(text);
            m_window.activateWindow();
            m_focus.setFocus();
            return IDOK;
        }
        std::vector<std::string> shown;

    private:
        QWidget& m_window;
        QWidget& m_focus;
    } box(*sheet, *page.SourceView());
    SetMessageBox(&box);
    find->activateWindow();
    find->FindEdit()->setFocus();
    // Any message hands the keys back to Find, the one about an empty text too.
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), find->FindEdit());
    QTest::keyClicks(find->FindEdit(), "absent");
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
    SetMessageBox(&env.box);
    QApplication::processEvents();
    EXPECT_EQ(box.shown, (std::vector<std::string>{
                             LoadStringRes(IDS_SEARCH_TEXT_EMPTY),
                             fmt::sprintf(LoadStringRes(IDS_CANNOT_FIND), std::string("absent"))}));
    EXPECT_EQ(QApplication::activeWindow(), find);
    ASSERT_EQ(QApplication::focusWidget(), find->FindEdit());
    // The user corrects the text and searches again without reaching for the mouse.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "Welcome");
    EXPECT_EQ(find->FindEdit()->text(), "Welcome");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(page.SourceView()->textCursor().selectedText(), "Welcome");
    find->UpButton()->click();

    // Ctrl+F brings back the same dialog; on another page it does nothing.
    sheet->activateWindow();
    page.SourceView()->setFocus();
    QTest::keyClick(page.SourceView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(page.FindDialog(), find);
    find->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(page.FindDialog(), nullptr);
    // A new dialog starts from the last search.
    page.OnFind();
    ASSERT_NE(page.FindDialog(), nullptr);
    EXPECT_EQ(page.FindDialog()->FindEdit()->text(), "Welcome");
    EXPECT_TRUE(page.FindDialog()->UpButton()->isChecked());
    page.FindDialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Back(CPublishSheet::kPageSelectPlayer);
    QTest::keyClick(sheet->button(QWizard::NextButton), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(page.FindDialog(), nullptr);
}

}  // namespace
