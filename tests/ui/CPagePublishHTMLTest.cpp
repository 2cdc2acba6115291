// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPagePublishHTML.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <fmt/printf.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QUrl>

#include "core/CodePage.h"
#include "core/Folders.h"
#include "core/MessageBox.h"
#include "core/RecentList.h"
#include "core/StringTable.h"
#include "media/VideoThumbnail.h"
#include "players/PlayerMarkup.h"
#include "publish/CPreviewServer.h"
#include "publish/IFileWriter.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDialogFind.h"
#include "core/StringTable.h"

namespace {

using test::ReadFile;

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> PreviewFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : Listing(folder)) {
        if (name.starts_with(".~preview") && name.ends_with(".htm")) {
            found.push_back(folder + "/" + name);
        }
    }
    return found;
}

// The body of an address as a browser gets it, keeping the cookie it is given and following
// a redirect; `status` is -1 when nothing answers.
std::string Fetch(const std::string& url, int* status = nullptr) {
    static std::string cookie;
    const size_t path = url.find('/', std::string("http://").size());
    httplib::Client client(url.substr(0, path));
    client.set_url_encode(false);
    auto answer = client.Get(url.substr(path).c_str(), {{"Cookie", cookie}});
    if (answer && answer->has_header("Set-Cookie")) {
        const std::string set = answer->get_header_value("Set-Cookie");
        cookie = set.substr(0, set.find(';'));
    }
    if (answer && answer->status == 303) {
        return Fetch(url.substr(0, path) + answer->get_header_value("Location"), status);
    }
    if (status) {
        *status = answer ? answer->status : -1;
    }
    return answer ? answer->body : std::string();
}

// A disk that fills up after `room` bytes.
class DiskFullWriter : public IFileWriter {
public:
    explicit DiskFullWriter(size_t room) : m_nRoom(room) {}
    bool WriteAll(int fd, std::string_view bytes) override {
        const size_t n = std::min(bytes.size(), m_nRoom);
        m_nRoom -= n;
        if (!GetDefaultFileWriter().WriteAll(fd, bytes.substr(0, n))) {
            return false;
        }
        if (n < bytes.size()) {
            errno = ENOSPC;
            return false;
        }
        return true;
    }
    bool Sync(int fd) override { return GetDefaultFileWriter().Sync(fd); }

private:
    size_t m_nRoom;
};

class PublishPageTest : public test::PublishTest {
protected:
    std::string Fill(const char* format, const std::string& a, const std::string& b = {}) {
        return fmt::sprintf(format, a, b);
    }
    // Which of the page's commands and the wizard's Finish are enabled, as "FIPR+F" letters.
    std::string Commands(CPagePublishHTML& page) const {
        std::string state;
        state += page.FindButton()->isEnabled() ? "F" : "-";
        state += page.InsertButton()->isEnabled() ? "I" : "-";
        state += page.PreviewButton()->isEnabled() ? "P" : "-";
        state += page.ResetButton()->isEnabled() ? "R" : "-";
        state += FinishEnabled() ? "+F" : "+-";
        return state;
    }
};

TEST_F(PublishPageTest, TypedPageKeepsItsCursorWhenTheBoxLosesFocus) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    BrowseTo(page, news);
    // A name the list holds, though not as its current entry.
    TypePath(page, index);
    // The click on Insert takes the focus from the box still holding the typed name.
    ASSERT_TRUE(page.PathBox()->lineEdit()->hasFocus());
    InsertAfterBody(page);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
    const std::string text(page.SourceView()->GetText());
    // The fitted player (the default) starts a line of its own.
    EXPECT_EQ(text.find(page.Page().BodyCode()), text.find("<body>\n") + 7) << text;
}

TEST_F(PublishPageTest, CommandsFollowTheStateOfThePage) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    EXPECT_EQ(Commands(page), "----+-") << "empty";
    EXPECT_TRUE(page.BrowseButton()->isEnabled());
    EXPECT_TRUE(page.PathBox()->isEnabled());

    TypePath(page, index);
    EXPECT_EQ(Commands(page), "FIPR+-") << "loaded";
    InsertAfterBody(page);
    EXPECT_EQ(Commands(page), "FIPR+F") << "inserted";
    QTest::mouseClick(page.ResetButton(), Qt::LeftButton);
    EXPECT_EQ(Commands(page), "FIPR+-") << "reset";
    EXPECT_EQ(page.SourceView()->GetText(), kIndexPage);
    EXPECT_FALSE(page.Page().IsInserted());

    // Enter in the box loads the typed page and never reaches the wizard's Finish.
    InsertAfterBody(page);
    TypePath(page, news);
    EXPECT_EQ(page.Page().PagePath(), news);
    EXPECT_EQ(ReadFile(index), kIndexPage);
    EXPECT_EQ(Commands(page), "FIPR+-");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});

    const std::string outside = env.sandbox.Write("elsewhere/a.htm", kNewsPage);
    const std::string link = site + "/link.htm";
    std::filesystem::create_symlink(outside, link);
    const std::string notUnder = LoadStringRes(IDS_PAGE_NOT_UNDER_ROOT);
    const std::string failed = LoadStringRes(IDS_PAGE_LOAD_FAILED);
    const struct {
        const char* name;
        std::string path;
        std::string message;
    } refused[] = {
        {"outside the site root", outside, Fill(notUnder.c_str(), site + "/", outside)},
        {"missing", site + "/gone.htm", Fill(failed.c_str(), site + "/gone.htm")},
        {"a folder", site + "/news", Fill(failed.c_str(), site + "/news")},
        {"a link to a page outside the site", link, Fill(notUnder.c_str(), site + "/", link)},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        TypePath(page, news);
        TypePath(page, row.path);
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{row.message});
        // The page in use stays, and the box names it again.
        EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
        EXPECT_EQ(Commands(page), "FIPR+-");
        EXPECT_EQ(page.SourceView()->GetText(), kNewsPage);
        EXPECT_EQ(page.PathBox()->currentText(), ToQt(news));
        EXPECT_TRUE(page.PathBox()->lineEdit()->hasFocus());
    }
    // Leaving the box with Tab loads what it names, and a typed page joins the list.
    TypePath(page, index, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(page.Page().PagePath(), index);
    EXPECT_NE(page.PathBox()->findText(ToQt(index)), -1);
    // Blanks around a typed path do not matter; blanks alone load nothing.
    TypePath(page, "  " + index + " ");
    EXPECT_EQ(page.Page().PagePath(), index);
    TypePath(page, "   ");
    EXPECT_EQ(page.Page().PagePath(), index);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(PublishPageTest, BackToChangeThePlayerReloadsThePageAndUsesTheNewPlayer) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    InsertAfterBody(page);
    EXPECT_NE(page.Page().HeadCode().find("video-js/video.js"), std::string::npos);

    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    ChoosePlayer(2);  // MediaElement
    Next(CPublishSheet::kPagePublishHTML);

    // The old player's code is gone and the user is told to insert the new one.
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{Fill(
                                  LoadStringRes(IDS_PAGE_RELOADED_INSERT_AGAIN).c_str(), index)});
    EXPECT_EQ(page.SourceView()->GetText(), kIndexPage) << "loaded again from the disk";
    EXPECT_EQ(page.PathBox()->currentText(), ToQt(index));
    EXPECT_TRUE(page.Page().IsPageOpen());
    EXPECT_FALSE(page.Page().IsInserted());
    EXPECT_EQ(Commands(page), "FIPR+-");
    EXPECT_EQ(sheet->State().m_job.Request().copyList.front(), Video());
    InsertAfterBody(page);
    const std::string head = page.Page().HeadCode();
    EXPECT_NE(head.find("src=\"js/mediaelement/mediaelement-and-player.min.js\""),
              std::string::npos)
        << head;
    EXPECT_EQ(head.find("video-js"), std::string::npos) << head;
    EXPECT_NE(page.Page().BodyCode().find("mediaelementplayer"), std::string::npos)
        << page.Page().BodyCode();
}

TEST_F(PublishPageTest, PreviewIsServedOverHttpAndWritesNothingIntoTheSite) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    EXPECT_TRUE(browser.pages.empty()) << "nothing loaded, nothing to preview";

    BrowseTo(page, index);
    InsertAfterBody(page);
    const std::vector<std::string> before = Listing(site);
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    ASSERT_EQ(browser.pages.size(), 2u);
    // The browser gets a one-use token with the address.
    const std::string url = browser.pages[0].substr(0, browser.pages[0].find('?'));
    EXPECT_TRUE(browser.pages[1].starts_with(url + "?"))
        << "two previews of a page share one server";
    EXPECT_TRUE(url.starts_with("http://127.0.0.1:")) << url;
    EXPECT_TRUE(url.ends_with("/index.htm")) << url;
    EXPECT_EQ(Listing(site), before) << "nothing is written into the site";
    EXPECT_EQ(PreviewFiles(site), std::vector<std::string>{});

    const CPreviewServer* server = sheet->State().m_job.PreviewServer();
    ASSERT_NE(server, nullptr);
    int status = 0;
    const std::string preview = Fetch(browser.pages[0], &status);
    EXPECT_EQ(status, 200);
    const std::string script = server->FileUrl(GetInstallFolder() + "/video-js/video.js");
    EXPECT_NE(preview.find("src=\"" + script + "\""), std::string::npos) << preview;
    EXPECT_NE(preview.find("src=\"" + server->FileUrl(Video()) + "\""), std::string::npos)
        << preview;
    const std::string poster = COptions::Instance()->m_strWorkFolder + "/movie.jpg";
    EXPECT_NE(preview.find("poster=\"" + server->FileUrl(poster) + "\""), std::string::npos)
        << preview;
    EXPECT_EQ(preview.find("src=\"medias/"), std::string::npos) << preview;
    EXPECT_EQ(preview.find("file:"), std::string::npos) << preview;
    EXPECT_EQ(ReadFile(index), kIndexPage) << "a preview leaves the page alone";
    // What the preview names plays from where it is now.
    const std::string origin = url.substr(0, url.find('/', std::string("http://").size()));
    EXPECT_EQ(Fetch(origin + server->FileUrl(Video()), &status), ReadFile(Video()));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(Fetch(origin + script, &status), ReadFile(GetInstallFolder() + "/video-js/video.js"));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(Fetch(origin + server->FileUrl(poster), &status), ReadFile(poster));
    EXPECT_EQ(status, 200);

    // Another page after a preview: page-relative code again.
    BrowseTo(page, news);
    InsertAfterBody(page);
    EXPECT_NE(page.Page().BodyCode().find("src=\"../medias/movie.mp4\""), std::string::npos);
    const std::string shown(page.SourceView()->GetText());
    EXPECT_EQ(shown.find("file:"), std::string::npos) << shown;
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    ASSERT_EQ(browser.pages.size(), 3u);
    EXPECT_TRUE(browser.pages.back().starts_with(origin + "/")) << browser.pages.back();
    EXPECT_NE(browser.pages.back().find("/news/a.htm?"), std::string::npos) << browser.pages.back();
    EXPECT_NE(Fetch(browser.pages.back()).find("<h1>News</h1>"), std::string::npos);
    EXPECT_EQ(Fetch(url), kIndexPage) << "the first page's address shows the file again";
    EXPECT_EQ(PreviewFiles(site + "/news"), std::vector<std::string>{});
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});

    // Closing the wizard stops the server.
    sheet.reset();
    status = 0;
    Fetch(url, &status);
    EXPECT_EQ(status, -1) << "still answering after the wizard closed";
}

TEST_F(PublishPageTest, PosterIsTakenOnceForLoadsPreviewsAndAReturnToThePage) {
    std::atomic<int> runs = 0;
    std::atomic<bool> onUiThread = false;
    QThread* const ui = QThread::currentThread();
    struct Restore {
        ~Restore() { SetStillPictureMaker(nullptr); }
    } restore;
    SetStillPictureMaker([&](const std::string& video, const std::string& jpeg) {
        ++runs;
        onUiThread = onUiThread || QThread::currentThread() == ui;
        return MakeStillPicture(video, jpeg);
    });
    CPagePublishHTML& page = StartWizard(Video(), 0);
    EXPECT_EQ(runs, 1) << "taken when the page became active";
    EXPECT_FALSE(onUiThread) << "ffmpeg ran on the user-interface thread";

    BrowseTo(page, index);
    BrowseTo(page, news);
    TypePath(page, index);
    ASSERT_EQ(page.Page().PagePath(), index);
    InsertAfterBody(page);
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    QTest::mouseClick(page.PreviewButton(), Qt::LeftButton);
    ASSERT_EQ(browser.pages.size(), 2u);
    EXPECT_NE(Fetch(browser.pages.back()).find("poster=\""), std::string::npos);

    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    Next(CPublishSheet::kPagePublishHTML);
    BrowseTo(page, index);
    InsertAfterBody(page);
    EXPECT_NE(page.Page().BodyCode().find("poster=\"medias/movie.jpg\""), std::string::npos);
    EXPECT_EQ(runs, 1);
}

TEST_F(PublishPageTest, APosterThatCannotBeTakenIsSaidBeforeTheCodeGoesIn) {
    struct Restore {
        ~Restore() { SetStillPictureMaker(nullptr); }
    } restore;
    SetStillPictureMaker([](const std::string&, const std::string&) { return false; });
    CPagePublishHTML& page = StartWizard(Video(), 0, false);
    const std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with(
        fmt::sprintf("No poster picture could be taken from '%s': ", Video())))
        << messages[0];
    BrowseTo(page, index);
    EXPECT_EQ(page.Page().BodyCode().find("poster="), std::string::npos);
    EXPECT_TRUE(TakeMessages().empty()) << "said once, not for every page";
}

TEST_F(PublishPageTest, FindSearchesTheSourceAndKeepsTheSelectionWhenNothingIsFound) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    CSourceView& view = *page.SourceView();
    const std::string text(view.GetText());
    const auto selected = [&] { return view.textCursor().selectedText().toStdString(); };
    const auto selectionStart = [&] { return view.GetSelection().start; };

    QTest::mouseClick(page.FindButton(), Qt::LeftButton);
    CDialogFind* find = page.FindDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_FALSE(find->isModal());
    EXPECT_EQ(find->windowTitle(), "Find");
    EXPECT_FALSE(find->FindNextButton()->isEnabled());
    EXPECT_TRUE(find->DownButton()->isChecked());
    // Enter in the empty box says why nothing happens.
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, LoadStringRes(IDS_SEARCH_TEXT_EMPTY));
    EXPECT_EQ(env.box.messages[0].type, static_cast<unsigned>(MB_OK));
    env.box.messages.clear();

    QTest::keyClicks(find->FindEdit(), "html");
    EXPECT_TRUE(find->FindNextButton()->isEnabled());
    EXPECT_EQ(test::CutOffWidgets(*find), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(*find, QStringLiteral("find-dialog")));
    QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
    EXPECT_EQ(selectionStart(), text.find("html"));
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
    EXPECT_EQ(selectionStart(), text.find("html", text.find("html") + 1)) << "the next one";
    find->UpButton()->click();
    QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
    EXPECT_EQ(selectionStart(), text.find("html")) << "upwards again";

    find->FindEdit()->setText("HOME");
    find->MatchCaseBox()->click();
    find->DownButton()->click();
    QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
    ASSERT_EQ(TakeMessages(),
              std::vector<std::string>{Fill(LoadStringRes(IDS_CANNOT_FIND).c_str(), "HOME")});
    EXPECT_EQ(selected(), "html") << "the selection stays";
    find->MatchCaseBox()->click();
    QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
    EXPECT_EQ(selected(), "Home");

    find->FindEdit()->setText("absent");
    QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, "Cannot find \"absent\"");
    EXPECT_EQ(env.box.messages[0].type, static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(selected(), "Home");

    // Find again brings the same dialog; after Cancel it is a new one.
    QTest::mouseClick(page.FindButton(), Qt::LeftButton);
    EXPECT_EQ(page.FindDialog(), find);
    QTest::mouseClick(find->CancelButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(page.FindDialog(), nullptr);
    QTest::mouseClick(page.FindButton(), Qt::LeftButton);
    ASSERT_NE(page.FindDialog(), nullptr);
    EXPECT_EQ(page.FindDialog()->FindEdit()->text(), "absent") << "it starts from the last one";
}

TEST_F(PublishPageTest, DroppedFilesLoadOnlyHtmlPagesUnderTheSiteRoot) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    const auto drop = [&](const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls << QUrl::fromLocalFile(ToQt(path));
        }
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&page, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&page, &event);
    };
    const std::string outside = env.sandbox.Write("elsewhere/a.htm", kNewsPage);
    const std::string text = env.sandbox.Write("site/notes.txt", "<html><body>x</body></html>");
    drop({outside});
    drop({text, site + "/gone.htm"});
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{}) << "drops are refused silently";
    EXPECT_FALSE(page.Page().IsPageOpen());
    EXPECT_TRUE(page.History().empty());

    drop({outside, news, index});
    EXPECT_EQ(page.Page().PagePath(), news) << "the first page that counts";
    EXPECT_EQ(page.PathBox()->currentText(), ToQt(news));
    EXPECT_EQ(page.History(), (std::vector<std::string>{index, news}));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(PublishPageTest, HistoryLeavesOutMissingPagesAndIsSavedWithThePage) {
    SaveRecentList(*env.store, "Publish/HTML_Files",
                   {news, site + "/gone.htm", index, site + "/INDEX.htm"});
    env.sandbox.Write("site/INDEX.htm", kIndexPage);
    CPagePublishHTML& page = StartWizard(Video(), 0);
    EXPECT_EQ(page.History(), (std::vector<std::string>{news, index, site + "/INDEX.htm"}));
    ASSERT_EQ(page.PathBox()->count(), 3);
    page.PathBox()->setCurrentIndex(1);
    emit page.PathBox()->activated(1);
    EXPECT_EQ(page.Page().PagePath(), index);
    BrowseTo(page, news);
    sheet.reset();
    EXPECT_EQ(LoadRecentList(*env.store, "Publish/HTML_Files", false),
              (std::vector<std::string>{news, index, site + "/INDEX.htm"}));
}

TEST_F(PublishPageTest, AFailedSaveChangesNothingAndCanBeTriedAgain) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    DiskFullWriter full(10);
    page.SetFileWriterForTesting(&full);
    Finish();
    const std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Cannot save the web page '" + index + "'"), std::string::npos);
    EXPECT_NE(messages[0].find(GetErrorText(ENOSPC)), std::string::npos) << messages[0];
    EXPECT_EQ(ReadFile(index), kIndexPage);
    // What the page needs is put in place before the page is saved.
    EXPECT_EQ(Listing(site), (std::vector<std::string>{"index.htm", "js", "medias", "news"}))
        << "no temporary file left";
    EXPECT_EQ(Commands(page), "FIPR+F") << "still inserted";
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);

    page.SetFileWriterForTesting(nullptr);
    env.box.answers = {IDYES};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_NE(ReadFile(index).find("medias/movie.mp4"), std::string::npos);
    // Yes: the page area is empty and says what comes next, the box is ready for the next page.
    EXPECT_TRUE(page.SourceView()->GetText().empty());
    EXPECT_EQ(page.SourceView()->placeholderText(), ToQt(LoadStringRes(IDS_PUBLISH_NEXT_STEP)));
    EXPECT_TRUE(page.PathBox()->currentText().isEmpty());
    EXPECT_TRUE(page.PathBox()->lineEdit()->hasFocus());
    EXPECT_EQ(Commands(page), "----+-");
    EXPECT_TRUE(test::SaveScreenshot(*sheet, QStringLiteral("wizard-3-next-page")));
}

TEST_F(PublishPageTest, AMediaFolderInTheWayIsReportedAndCanBeTriedAgain) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    env.sandbox.Write("site/medias", "a file where the folder belongs");
    Finish();
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{fmt::sprintf(LoadStringRes(IDS_MEDIA_FOLDER_FAILED),
                                                    site + "/medias/", GetErrorText(ENOTDIR))});
    EXPECT_EQ(ReadFile(index), kIndexPage) << "not saved without its media in place";
    EXPECT_EQ(Commands(page), "FIPR+F");

    ::unlink((site + "/medias").c_str());
    env.box.answers = {IDNO};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_NE(ReadFile(index).find("medias/movie.mp4"), std::string::npos);
    EXPECT_EQ(Listing(site + "/medias"),
              (std::vector<std::string>{".htaccess", "movie.jpg", "movie.mp4"}));
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
}

TEST_F(PublishPageTest, AFullDiskDuringTheMediaCopyCanBeRetriedAborted) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    SetCopyFaultForTesting(1000, ENOSPC);
    env.box.answers = {IDRETRY, IDABORT};
    Finish();
    const std::string error =
        fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), "movie.mp4", GetErrorText(ENOSPC));
    ASSERT_EQ(env.box.messages.size(), 2u);
    for (const auto& message : env.box.messages) {
        EXPECT_EQ(message.text, error);
        EXPECT_EQ(message.type, static_cast<unsigned>(MB_ABORTRETRYIGNORE | MB_ICONERROR));
    }
    env.box.messages.clear();
    EXPECT_EQ(Listing(site + "/medias"), std::vector<std::string>{".htaccess"})
        << "no partial copy";
    EXPECT_EQ(Commands(page), "FIPR+F");
    EXPECT_TRUE(PathExists(COptions::Instance()->m_strWorkFolder + "/movie.jpg"))
        << "the poster waits for the next try";

    SetCopyFaultForTesting(-1, 0);
    env.box.answers = {IDYES};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_EQ(ReadFile(site + "/medias/movie.mp4"), ReadFile(Video()));
}

TEST_F(PublishPageTest, CancelAtTheOverwriteQuestionKeepsTheSiteFileAndTheCode) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    env.sandbox.Write("site/medias/movie.mp4", "another movie");
    {
        test::OverwriteAnswerer overwrite({COPY_EXIST_CANCEL});
        overwrite.onShown = [](CDlgCopyExist& dialog) {
            EXPECT_EQ(test::CutOffWidgets(dialog), std::vector<std::string>{});
            EXPECT_TRUE(test::SaveScreenshot(dialog, QStringLiteral("overwrite-question")));
        };
        Finish();
        EXPECT_EQ(overwrite.asked,
                  std::vector<std::string>{fmt::sprintf(LoadStringRes(IDS_FILE_EXISTS_DIFFERENT),
                                                        "movie.mp4", site + "/medias/")});
    }
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(site + "/medias/movie.mp4"), "another movie");
    EXPECT_EQ(Commands(page), "FIPR+F");

    test::OverwriteAnswerer overwrite({COPY_EXIST_YES});
    env.box.answers = {IDYES};
    Finish();
    EXPECT_EQ(overwrite.asked.size(), 1u);
    EXPECT_EQ(ReadFile(site + "/medias/movie.mp4"), ReadFile(Video()));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
}

TEST_F(PublishPageTest, AMediaLinkInTheSiteIsReplacedOnlyWhenTheUserAgrees) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    const std::string theirs = env.sandbox.Write("elsewhere/movie.mp4", "the user's own file");
    ::chmod(theirs.c_str(), 0400);
    std::filesystem::create_directories(site + "/medias");
    const std::string link = site + "/medias/movie.mp4";
    ASSERT_EQ(::symlink(theirs.c_str(), link.c_str()), 0);
    {
        test::OverwriteAnswerer overwrite({COPY_EXIST_NO});
        Finish();
        EXPECT_EQ(overwrite.asked,
                  std::vector<std::string>{fmt::sprintf(LoadStringRes(IDS_LINK_IN_THE_WAY), link)});
    }
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{fmt::sprintf(LoadStringRes(IDS_LINK_LEFT_ALONE), link)});
    EXPECT_EQ(ReadFile(index), kIndexPage) << "not published with media from elsewhere";
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Commands(page), "FIPR+F");

    test::OverwriteAnswerer overwrite({COPY_EXIST_YES});
    env.box.answers = {IDYES};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(link), ReadFile(Video()));
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u) << "what the link led to is unchanged";
    EXPECT_EQ(ReadFile(theirs), "the user's own file");
}

TEST_F(PublishPageTest, APageChangedByAnotherProgramIsNotOverwrittenUnasked) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    const std::string theirs = std::string(kIndexPage) + "<!-- edited elsewhere -->\n";
    env.sandbox.Write("site/index.htm", theirs);
    env.box.answers = {IDNO};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{
                                  fmt::sprintf(LoadStringRes(IDS_PAGE_CHANGED_ON_DISK), index)});
    EXPECT_EQ(ReadFile(index), theirs);
    EXPECT_FALSE(PathExists(site + "/medias"));
    EXPECT_EQ(Commands(page), "FIPR+F");
}

TEST_F(PublishPageTest, AfterPublishingThePageCanBeShownInTheBrowser) {
    COptions::Instance()->m_nAfterPublishActions = 2;
    CPagePublishHTML& page = StartWizard(Video(), 0);
    TypePath(page, index);
    InsertAfterBody(page);
    env.box.answers = {IDYES};
    Finish();
    EXPECT_EQ(browser.pages, std::vector<std::string>{index});
    EXPECT_TRUE(shell.shown.empty());
}

// Only the inserted code differs from the page as it was, whatever its encoding.
TEST_F(PublishPageTest, PagesInOtherEncodingsKeepEveryOtherByte) {
    const std::string latin1 =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1252\">\r\n<title>Caf\xE9 \x80</title>\r\n</head>\r\n<body>\r\n"
        "<p>\x93quoted\x94</p>\r\n</body>\r\n</html>\r\n";
    const std::string utf8 =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=unicode\">\r\n<title>\xED\x95\x9C\xEA\xB8\x80 \xC3\xA4</title>\r\n</head>\r\n"
        "<body>\r\n<p>\xF0\x9F\x8E\xAC</p>\r\n</body>\r\n</html>\r\n";
    const std::string utf16 = "\xFF\xFE" + *codepage::Convert(utf8, "UTF-8", "UTF-16LE");
    const struct {
        const char* name;
        std::string bytes;
        std::string text;  // what the page engine reads, in the system code page
        bool wide;
    } rows[] = {
        {"windows-1252 with CR LF", latin1, latin1, false},
        {"UTF-16LE with CR LF", utf16, utf8, true},
    };
    CPagePublishHTML& page = StartWizard(Video(), 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        env.sandbox.Write("site/index.htm", row.bytes);
        TypePath(page, index);
        ASSERT_EQ(page.SourceView()->GetText(), row.text);
        InsertAfterBody(page);
        std::string head = page.Page().HeadCode();
        std::string body = page.Page().BodyCode();
        for (std::string* code : {&head, &body}) {
            for (size_t at = code->find('\n'); at != std::string::npos;
                 at = code->find('\n', at + 2)) {
                code->insert(at, "\r");
            }
        }
        std::string expected = row.text;
        // The fitted player (the default) goes on lines of its own, between two breaks that
        // removing it takes out again.
        expected.insert(expected.find("<body>") + 6, "\r\n" + body + "\r\n");
        expected.insert(expected.find("</head>"), head);
        if (row.wide) {
            expected = "\xFF\xFE" + *codepage::Convert(expected, "UTF-8", "UTF-16LE");
        }
        env.box.answers = {IDYES};
        Finish();
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
        EXPECT_EQ(ReadFile(index), expected);
    }
}

}  // namespace
