// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/RecentList.h"
#include "core/StringTable.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using test::ReadFile;

class PublishWizardEndToEnd : public test::PublishTest {
protected:
    // The browser suite asks for the published site to be kept, to load it in Chromium.
    void TearDown() override {
        if (const char* keep = std::getenv("DEDE5_KEEP_PUBLISHED_SITE")) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            test::Run({"cp", "-a", site, std::string(keep) + "/" + info->name()});
        }
        test::PublishTest::TearDown();
    }

    // The page's bytes hold `head` before "</head>" and `body` right after `bodyTag` (a fitted
    // video's code starts a line of its own).
    static void ExpectCodeInPlace(const std::string& page, const std::string& head,
                                  const std::string& body, const std::string& bodyTag = "<body>") {
        ASSERT_FALSE(head.empty());
        ASSERT_FALSE(body.empty());
        const size_t headAt = page.find(head);
        ASSERT_NE(headAt, std::string::npos) << page;
        EXPECT_EQ(page.compare(headAt + head.size(), 7, "</head>"), 0) << page;
        const size_t at = page.find(bodyTag);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(page.compare(at + bodyTag.size(), body.size(), body), 0) << page;
    }
};

TEST_F(PublishWizardEndToEnd, VideoIntoTwoPagesThenBackToTheStart) {
    const std::string movie = Video();
    COptions::Instance()->m_nAfterPublishActions = 1;
    CPagePublishHTML& page = StartWizard(movie, 0);
    EXPECT_FALSE(FinishEnabled());

    BrowseTo(page, index);
    ASSERT_EQ(page.Page().PagePath(), index);
    EXPECT_EQ(page.SourceView()->GetText(), kIndexPage);
    EXPECT_TRUE(page.InsertButton()->isEnabled());
    EXPECT_FALSE(FinishEnabled());
    InsertAfterBody(page);
    EXPECT_TRUE(FinishEnabled());
    const std::string head = page.Page().HeadCode();
    const std::string body = page.Page().BodyCode();
    EXPECT_NE(head.find("src=\"js/video-js/video.js\""), std::string::npos) << head;
    EXPECT_NE(head.find("href=\"js/video-js/video-js.css\""), std::string::npos) << head;
    EXPECT_NE(body.find("src=\"medias/movie.mp4\""), std::string::npos) << body;
    EXPECT_NE(body.find("poster=\"medias/movie.jpg\""), std::string::npos) << body;
    EXPECT_NE(body.find("width=\"640\""), std::string::npos) << body;
    EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(*sheet, QStringLiteral("wizard-3-code-inserted")));

    env.box.answers = {IDYES};
    test::OverwriteAnswerer overwrite;
    Finish();
    ASSERT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    const std::string indexPublished = ReadFile(index);
    ExpectCodeInPlace(indexPublished, head, body, "<body>\n");
    for (const char* file : {"video.js", "video-js.css"}) {
        EXPECT_TRUE(IsRegularFile(site + "/js/video-js/" + file)) << file;
    }
    EXPECT_EQ(ReadFile(site + "/medias/movie.mp4"), ReadFile(movie));
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.jpg"));
    EXPECT_TRUE(IsRegularFile(site + "/medias/.htaccess"));
    EXPECT_TRUE(PathExists(COptions::Instance()->m_strWorkFolder + "/movie.jpg"))
        << "the poster is kept for the next page of the same media";
    EXPECT_EQ(shell.shown, std::vector<std::string>{index});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
    // Published: the page area says what comes next, the page commands wait for another page.
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
    EXPECT_FALSE(page.Page().IsPageOpen());
    EXPECT_FALSE(FinishEnabled());
    EXPECT_FALSE(page.InsertButton()->isEnabled());
    EXPECT_TRUE(page.SourceView()->GetText().empty());

    // Yes: the second page of the same site, whose media are already there.
    BrowseTo(page, news);
    InsertAfterBody(page);
    const std::string newsHead = page.Page().HeadCode();
    const std::string newsBody = page.Page().BodyCode();
    EXPECT_NE(newsHead.find("src=\"../js/video-js/video.js\""), std::string::npos) << newsHead;
    EXPECT_NE(newsBody.find("src=\"../medias/movie.mp4\""), std::string::npos) << newsBody;
    EXPECT_NE(newsBody.find("poster=\"../medias/movie.jpg\""), std::string::npos) << newsBody;
    env.box.answers = {IDNO};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_EQ(overwrite.asked, std::vector<std::string>{}) << "identical media ask nothing";
    ExpectCodeInPlace(ReadFile(news), newsHead, newsBody, "<body>\n");
    EXPECT_EQ(ReadFile(index), indexPublished) << "the first page is left alone";

    // No: the first page, with the choices and the history kept.
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
    EXPECT_EQ(sheet->State().m_job.Request().mediaFiles, std::vector<std::string>{movie});
    EXPECT_FALSE(PathExists(COptions::Instance()->m_strWorkFolder + "/movie.jpg"))
        << "the poster taken for the pages is a temporary file";
    EXPECT_EQ(COptions::Instance()->m_strSiteRoot, site + "/");
    EXPECT_EQ(COptions::Instance()->m_strMediaPath, "/medias/");
    EXPECT_EQ(page.History(), (std::vector<std::string>{news, index}));
    sheet.reset();
    EXPECT_EQ(LoadRecentList(*env.store, "Publish/HTML_Files", true),
              (std::vector<std::string>{news, index}));
}

TEST_F(PublishWizardEndToEnd, AudioWithTheMediaElementPlayer) {
    const std::string song = Audio();
    CPagePublishHTML& page = StartWizard(song, 0);
    TypePath(page, index);
    ASSERT_EQ(page.Page().PagePath(), index);
    InsertAfterBody(page);
    const std::string head = page.Page().HeadCode();
    const std::string body = page.Page().BodyCode();
    EXPECT_NE(head.find("src=\"js/mediaelement/mediaelement-and-player.min.js\""),
              std::string::npos)
        << head;
    EXPECT_NE(body.find("<audio"), std::string::npos) << body;
    EXPECT_NE(body.find("src=\"medias/song.mp3\""), std::string::npos) << body;
    EXPECT_EQ(body.find("poster="), std::string::npos) << body;

    env.box.answers = {IDYES};
    Finish();
    ASSERT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    ExpectCodeInPlace(ReadFile(index), head, body);
    EXPECT_TRUE(IsRegularFile(site + "/js/mediaelement/mediaelement-and-player.min.js"));
    EXPECT_TRUE(IsRegularFile(site + "/js/mediaelement/jquery.js"));
    EXPECT_EQ(ReadFile(site + "/medias/song.mp3"), ReadFile(song));
    EXPECT_TRUE(IsRegularFile(site + "/medias/.htaccess"));

    TypePath(page, news);
    InsertAfterBody(page);
    test::OverwriteAnswerer overwrite;
    env.box.answers = {IDNO};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_TRUE(overwrite.asked.empty());
    const std::string published = ReadFile(news);
    EXPECT_NE(published.find("src=\"../js/mediaelement/jquery.js\""), std::string::npos);
    EXPECT_NE(published.find("src=\"../medias/song.mp3\""), std::string::npos);
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
}

// Keys go where the desktop sends them: to the control with the focus.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
}
// Alt and the button's letter; the button shows itself pressed a moment before it acts.
void Click(QAbstractButton* button, int key) {
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    Press(key, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
}

TEST_F(PublishWizardEndToEnd, TheKeyboardAloneTakesTheMediaToAPublishedPage) {
    sheet = test::ShownSheet();
    QApplication::setActiveWindow(sheet.get());
    for (const std::string& typed : {Video(), std::string(), index}) {
        QTest::keyClicks(QApplication::focusWidget(), ToQt(typed));
        Press(Qt::Key_Return);
    }
    CPagePublishHTML& page = *sheet->PublishPage();
    ASSERT_EQ(page.Page().PagePath(), index);
    for (int i = 0; i < 9 && QApplication::focusWidget() != page.SourceView(); ++i) {
        Press(Qt::Key_Tab);
    }
    // Before the closing body tag, then Insert Code.
    Press(Qt::Key_End, Qt::ControlModifier);
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    Click(page.InsertButton(), Qt::Key_I);
    // The code is shown, not selected: the next key adds to the page rather than replacing it.
    EXPECT_EQ(FromQt(page.SourceView()->MarkedText()), page.Page().BodyCode());
    Press(Qt::Key_Return);
    EXPECT_NE(page.SourceView()->GetText().find(page.Page().BodyCode()), std::string::npos);
    env.box.answers = {IDNO};
    Click(sheet->button(QWizard::FinishButton), Qt::Key_P);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_NE(test::ReadFile(index).find("medias/movie.mp4"), std::string::npos);
}

}  // namespace
