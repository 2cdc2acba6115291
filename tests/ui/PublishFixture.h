// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/QtText.h"
#include "core/Browser.h"
#include "core/FileCopy.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/Shell.h"
#include "core/StringTable.h"
#include "publish/MediaCopy.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "ui/CDlgCopyExist.h"
#include "ui/CFileDialogEx.h"
#include "ui/CPagePublishHTML.h"
#include "ui/CPublishSheet.h"
#include "ui/CSourceView.h"

namespace test {

// Pages shown in a browser are recorded, never shown. It finds Chromium, or with `chrome` false
// no browser but the default handler.
class RecordingBrowserHost : public IBrowserHost {
public:
    explicit RecordingBrowserHost(bool chrome = true) : m_bChrome(chrome) {}
    bool DetectChrome(BrowserInfo& info) override {
        info = m_bChrome ? BrowserInfo{120, 0, "chromium"} : BrowserInfo{};
        return m_bChrome;
    }
    bool DetectFirefox(BrowserInfo& info) override {
        info = {};
        return false;
    }
    bool DetectInternetExplorer(BrowserInfo& info) override {
        info = {};
        return false;
    }
    bool LaunchBrowser(const BrowserInfo&, const std::string& page) override {
        pages.push_back(page);
        return true;
    }
    bool OpenDefault(const std::string& page) override {
        pages.push_back(page);
        return true;
    }
    std::vector<std::string> pages;

private:
    bool m_bChrome;
};

// Answers every overwrite question that comes up while it lives, recording its text; the first
// of `answers`, then Yes to All once they run out.
class OverwriteAnswerer {
public:
    explicit OverwriteAnswerer(std::vector<int> answers = {}) : m_answers(std::move(answers)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    std::vector<std::string> asked;
    // Run on the open dialog before it is answered (pictures).
    std::function<void(CDlgCopyExist&)> onShown;

private:
    void Poll() {
        auto* dialog = qobject_cast<CDlgCopyExist*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            return;
        }
        asked.push_back(FromQt(dialog->Text()));
        if (onShown) {
            onShown(*dialog);
        }
        int answer = COPY_EXIST_YES_TO_ALL;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.erase(m_answers.begin());
        }
        dialog->Button(answer)->click();
    }
    QTimer m_timer;
    std::vector<int> m_answers;
};

// A site under a sandbox with a page in its root and one a folder below, a video and an audio
// file made by ffmpeg outside it, and the options of a typical user: the JavaScript folder
// "/js/" and the media folder "/medias/".
class PublishTest : public ::testing::Test {
protected:
    PublishTest() {
        SetShell(&shell);
        SetBrowserHost(&browser);
        COptions& o = *COptions::Instance();
        site = env.sandbox.MakeFolder("site");
        o.m_strSiteRoot = site + "/";
        o.m_strJsPath = "/js/";
        o.m_strMediaPath = "/medias/";
        o.m_strWorkFolder = env.sandbox.MakeFolder("work");
        o.m_bVideoPoster = 1;
        o.m_nAfterPublishActions = 0;
        index = env.sandbox.Write("site/index.htm", kIndexPage);
        news = env.sandbox.Write("site/news/a.htm", kNewsPage);
    }
    ~PublishTest() override {
        sheet.reset();
        SetCopyFaultForTesting(-1, 0);
        SetBrowserHost(nullptr);
        SetShell(nullptr);
    }

    static constexpr const char* kIndexPage =
        "<html>\n<head>\n<title>Home</title>\n</head>\n<body>\n<p>Welcome</p>\n</body>\n</html>\n";
    static constexpr const char* kNewsPage =
        "<html>\n<head>\n<title>News</title>\n</head>\n<body>\n<h1>News</h1>\n</body>\n</html>\n";

    // The media, made once per test in its sandbox.
    std::string Video() {
        const std::string path = env.sandbox / "media/movie.mp4";
        if (!PathExists(path)) {
            CreateFolders(env.sandbox / "media");
            // Index first, so the published copy is the file itself.
            EXPECT_TRUE(MakeMedia(path, 1.0, true, true,
                                  {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                   "-movflags", "+faststart"},
                                  640, 360));
        }
        return path;
    }
    std::string Audio() {
        const std::string path = env.sandbox / "media/song.mp3";
        if (!PathExists(path)) {
            CreateFolders(env.sandbox / "media");
            EXPECT_TRUE(MakeMedia(path, 1.0, false, true, {"-c:a", "libmp3lame"}));
        }
        return path;
    }

    // The wizard on its publish page for `media` and the player row `row`, reached as the user
    // does: the media typed into the first page, the row chosen on the second, Next each time.
    CPagePublishHTML& StartWizard(const std::string& media, int row, bool quietly = true) {
        sheet = std::make_unique<CPublishSheet>(QStringLiteral("Publish"));
        sheet->show();
        auto* mediaBox = sheet->page(CPublishSheet::kPageSelectVideo)->findChild<QComboBox*>();
        EXPECT_NE(mediaBox, nullptr);
        if (mediaBox) {
            mediaBox->setEditText(ToQt(media));
        }
        Next(CPublishSheet::kPageSelectPlayer);
        ChoosePlayer(row);
        Next(CPublishSheet::kPagePublishHTML);
        if (quietly) {
            EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
        }
        return *sheet->PublishPage();
    }

    // The row `row` in the player list of the second page, chosen with the keyboard.
    void ChoosePlayer(int row) {
        auto* list = sheet->page(CPublishSheet::kPageSelectPlayer)->findChild<QComboBox*>();
        ASSERT_NE(list, nullptr);
        ASSERT_LT(row, list->count());
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < row; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
        }
        ASSERT_EQ(list->currentIndex(), row);
    }

    void Next(int expected) {
        QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
        ASSERT_EQ(sheet->currentId(), expected)
            << (env.box.messages.empty() ? std::string() : env.box.messages.back().text);
    }

    // Browse, choose `path` in the file dialog.
    void BrowseTo(CPagePublishHTML& page, const std::string& path) {
        page.SetFileDialogRunnerForTesting([&](CFileDialogEx& dialog) {
            EXPECT_EQ(dialog.Dialog().windowTitle(), "Select Web Page");
            EXPECT_EQ(dialog.Dialog().nameFilters(),
                      CFileDialogEx::ToQtFilters(LoadStringRes(IDS_PAGE_FILTER)));
            dialog.Dialog().setOption(QFileDialog::DontUseNativeDialog);
            dialog.Dialog().open();
            dialog.Dialog().selectFile(ToQt(path));
            static_cast<QDialog&>(dialog.Dialog()).accept();
            return true;
        });
        QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
    }

    // Type `path` into the page path box and press Enter, the keys reaching the box as a
    // keyboard's do.
    static void TypePath(CPagePublishHTML& page, const std::string& path,
                         Qt::Key key = Qt::Key_Return) {
        page.PathBox()->lineEdit()->clear();
        QTest::keyClicks(page.PathBox(), ToQt(path));
        QTest::keyClick(page.PathBox(), key);
    }

    // The cursor right after the page's opening body tag, then Insert Code.
    static void InsertAfterBody(CPagePublishHTML& page) {
        CSourceView& view = *page.SourceView();
        const std::string text(view.GetText());
        const size_t body = text.find("<body>");
        ASSERT_NE(body, std::string::npos);
        view.SetSelection(body + 6, body + 6);
        QTest::mouseClick(page.InsertButton(), Qt::LeftButton);
    }

    void Finish() { QTest::mouseClick(sheet->button(QWizard::FinishButton), Qt::LeftButton); }
    bool FinishEnabled() const { return sheet->button(QWizard::FinishButton)->isEnabled(); }

    // The texts of the messages shown so far, then forgets them.
    std::vector<std::string> TakeMessages() {
        std::vector<std::string> texts;
        for (const auto& message : env.box.messages) {
            texts.push_back(message.text);
        }
        env.box.messages.clear();
        return texts;
    }

    Environment env;
    RecordingShell shell;
    RecordingBrowserHost browser;
    std::string site, index, news;
    std::unique_ptr<CPublishSheet> sheet;
};

}  // namespace test
