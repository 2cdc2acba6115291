// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CQtCopyQuestions.h"

#include <string>

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include "core/MessageBox.h"
#include "core/StringTable.h"
#include "publish/MediaCopy.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDlgCopyExist.h"

namespace {

TEST(DlgCopyExist, EachButtonGivesItsAnswer) {
    const struct {
        const char* button;
        int answer;
    } rows[] = {
        {"&Yes", COPY_EXIST_YES},
        {"Yes to &All", COPY_EXIST_YES_TO_ALL},
        {"&No", COPY_EXIST_NO},
        {"Cancel", COPY_EXIST_CANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        CDlgCopyExist dialog;
        dialog.SetText(QStringLiteral("File 'a.mp4' already exists."));
        EXPECT_EQ(dialog.windowTitle(), "Ombrel DEDE5 Varodo");
        EXPECT_TRUE(dialog.Button(COPY_EXIST_YES)->isDefault());
        dialog.open();
        QPushButton* button = dialog.Button(row.answer);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), row.button);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), row.answer);
    }
    CDlgCopyExist dialog;
    dialog.open();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), COPY_EXIST_CANCEL) << "Escape cancels";
    dialog.open();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), COPY_EXIST_YES) << "Enter is Yes";
}

class QtCopyQuestionsTest : public ::testing::Test {
protected:
    ~QtCopyQuestionsTest() override { CQtCopyQuestions::SetProgressDelayForTesting(-1); }
    test::Environment env;
};

TEST_F(QtCopyQuestionsTest, TheOverwriteQuestionShowsTheTextAndReturnsTheAnswer) {
    CQtCopyQuestions questions(nullptr);
    test::OverwriteAnswerer answerer({COPY_EXIST_NO, COPY_EXIST_YES_TO_ALL});
    EXPECT_EQ(questions.AskOverwrite("File 'a.mp4' is there.\r\nOverwrite?"), COPY_EXIST_NO);
    EXPECT_EQ(questions.AskOverwrite("again"), COPY_EXIST_YES_TO_ALL);
    EXPECT_EQ(answerer.asked,
              (std::vector<std::string>{"File 'a.mp4' is there.\nOverwrite?", "again"}));
}

TEST_F(QtCopyQuestionsTest, ACopyErrorAsksAbortRetryIgnore) {
    CQtCopyQuestions questions(nullptr);
    env.box.answers = {IDRETRY};
    EXPECT_EQ(questions.AskCopyError("disk full"), IDRETRY);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, "disk full");
    EXPECT_EQ(env.box.messages[0].type, static_cast<unsigned>(MB_ABORTRETRYIGNORE | MB_ICONERROR));
}

TEST_F(QtCopyQuestionsTest, ALongCopyShowsProgressThatCanCancelIt) {
    {
        CQtCopyQuestions::SetProgressDelayForTesting(3600 * 1000);
        CQtCopyQuestions questions(nullptr);
        EXPECT_TRUE(questions.Progress("movie.mp4", 10, 100));
        EXPECT_EQ(questions.ProgressDialog(), nullptr) << "a short copy shows nothing";
    }
    CQtCopyQuestions::SetProgressDelayForTesting(0);
    CQtCopyQuestions questions(nullptr);
    EXPECT_TRUE(questions.Progress("movie.mp4", 25, 100));
    QProgressDialog* progress = questions.ProgressDialog();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->labelText(), "Copying \"movie.mp4\"...");
    EXPECT_EQ(progress->value(), progress->maximum() / 4);
    EXPECT_TRUE(questions.Progress("movie.mp4", 50, 100));

    progress->cancel();
    EXPECT_FALSE(questions.Progress("movie.mp4", 75, 100));
    EXPECT_TRUE(questions.Cancelled());
    EXPECT_EQ(questions.AskCopyError("cancelled"), IDABORT) << "a cancel is not asked about";
    EXPECT_TRUE(env.box.messages.empty());
}

}  // namespace
