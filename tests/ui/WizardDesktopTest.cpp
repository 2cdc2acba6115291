// SPDX-License-Identifier: GPL-3.0-or-later
// The wizard as a desktop program: started with a file, laid out for the window it gets, small
// dialogs framed as dialogs, the site's folders at hand, and every failure to show something
// reported.
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "app/CQtShell.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CConvertDialog.h"
#include "ui/CDialogFind.h"
#include "ui/CDlgAbout.h"
#include "ui/CDlgCopyExist.h"
#include "ui/CElidedLabel.h"
#include "ui/CHTML5Sheet.h"
#include "ui/CPageSelectPlayer.h"
#include "ui/CPlayerPicture.h"
#include "ui/CQtCopyQuestions.h"
#include "ui/CQtMessageBox.h"
#include "ui/CSubFolderDialog.h"
#include "ui/DialogFrame.h"

namespace {

class WizardDesktopTest : public test::PublishTest {
protected:
    // The fixture's wizard, new, shown.
    CPublishSheet& Sheet(const std::string& startFile = {}) {
        sheet.reset();
        sheet = std::make_unique<CPublishSheet>(QStringLiteral("Publish"));
        sheet->SetStartFile(startFile);
        sheet->show();
        // The start file is read once the window is up.
        QCoreApplication::processEvents();
        return *sheet;
    }
    static QComboBox& MediaBox(CPublishSheet& s) {
        return *s.page(CPublishSheet::kPageSelectVideo)
                    ->findChild<QComboBox*>(QStringLiteral("mediaPathBox"));
    }
    static QString Detail(CPublishSheet& s, const char* name) {
        return s.page(CPublishSheet::kPageSelectVideo)
            ->findChild<CElidedLabel*>(QString::fromUtf8(name))
            ->text();
    }
};

TEST_F(WizardDesktopTest, StartFileIsReadOnTheFirstPage) {
    const std::string video = Video();
    CPublishSheet* started = &Sheet(video);
    EXPECT_EQ(started->currentId(), CPublishSheet::kPageSelectVideo);
    EXPECT_EQ(MediaBox(*started).currentText(), ToQt(video));
    EXPECT_EQ(Detail(*started, "nameText"), "movie.mp4");
    EXPECT_EQ(Detail(*started, "videoDimensionText"), "640 x 360");
    EXPECT_TRUE(started->page(CPublishSheet::kPageSelectVideo)
                    ->findChild<QPushButton*>(QStringLiteral("previewButton"))
                    ->isEnabled());
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
    QTest::mouseClick(started->button(QWizard::NextButton), Qt::LeftButton);
    EXPECT_EQ(started->currentId(), CPublishSheet::kPageSelectPlayer);

    // A file that is not there is refused as if typed, with the window already showing.
    const std::string missing = env.sandbox / "gone.mp4";
    CPublishSheet* refused = &Sheet(missing);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"File '" + missing +
                                                       "' does not exist, please check the file "
                                                       "name and try again."});
    EXPECT_EQ(MediaBox(*refused).currentText(), ToQt(missing));
    EXPECT_EQ(Detail(*refused, "nameText"), "");
}

TEST_F(WizardDesktopTest, PagesGrowWithTheWindow) {
    CPublishSheet* grown = &Sheet(Video());
    // The detail boxes widen; taller, they keep to their rows instead of spreading them apart:
    // no blank band in them is as tall as two lines of their text.
    const auto groups = grown->page(CPublishSheet::kPageSelectVideo)->findChildren<QGroupBox*>();
    const int widthBefore = groups[0]->width();
    const QSize before = grown->size();
    for (const QSize size : {before, before + QSize(300, 200)}) {
        grown->resize(size);
        QCoreApplication::processEvents();
        for (QGroupBox* group : groups) {
            EXPECT_LT(test::TallestBlankBand(*group), 2 * group->fontMetrics().height())
                << group->title().toStdString() << " at " << size.height();
        }
    }
    EXPECT_GE(groups[0]->width(), widthBefore + 150);

    grown->resize(before);
    QCoreApplication::processEvents();
    Next(CPublishSheet::kPageSelectPlayer);
    auto& picture = *grown->page(CPublishSheet::kPageSelectPlayer)->findChild<CPlayerPicture*>();
    const QSize small = picture.size();
    grown->resize(before + QSize(300, 200));
    QCoreApplication::processEvents();
    EXPECT_GE(picture.width(), small.width() + 250);
    EXPECT_GE(picture.height(), small.height() + 150);
    // What it paints grows too: the wider window shows a larger picture.
    const QImage shown = picture.grab().toImage();
    int painted = 0;
    for (int x = 0; x < shown.width(); ++x) {
        if (shown.pixelColor(x, shown.height() / 4) != shown.pixelColor(shown.width() - 1, 0)) {
            painted = x;
        }
    }
    EXPECT_GT(painted, CPageSelectPlayer::kPictureSize.width());
    EXPECT_EQ(test::CutOffWidgets(*grown), std::vector<std::string>{});
}

// Shows `dialog` and checks its frame: no window manager may cut its title, message boxes and
// progress windows included.
void ExpectDialogFrame(const char* name, QDialog& dialog) {
    SCOPED_TRACE(name);
    dialog.show();
    QCoreApplication::processEvents();
    const Qt::WindowFlags buttons = Qt::WindowCloseButtonHint | Qt::WindowTitleHint |
                                    Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                    Qt::WindowContextHelpButtonHint;
    EXPECT_EQ(dialog.windowFlags() & buttons, Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    EXPECT_EQ(test::UnnamedControls(dialog), std::vector<std::string>{});
    EXPECT_GE(dialog.width(), TitleWidth(dialog)) << dialog.windowTitle().toStdString();
}

TEST_F(WizardDesktopTest, SmallDialogsHaveACloseButtonAndTheirWholeTitle) {
    ExpectDialogFrame("about", *std::make_unique<CDlgAbout>(CVersionInfo::Compiled()));
    ExpectDialogFrame("options", *std::make_unique<CHTML5Sheet>());
    ExpectDialogFrame("convert", *std::make_unique<CConvertDialog>(CMediaInfo2{}, site, nullptr));
    ExpectDialogFrame("sub-folder chooser", *std::make_unique<CSubFolderDialog>(
                                                site, ToQt(LoadStringRes(IDS_SELECT_SUBFOLDER))));
    ExpectDialogFrame("find", *std::make_unique<CDialogFind>(nullptr));
    ExpectDialogFrame("overwrite question", *std::make_unique<CDlgCopyExist>());
    ExpectDialogFrame("warning", *CQtMessageBox::Create(MB_OK | MB_ICONWARNING, "No.", nullptr));
    ExpectDialogFrame("question", *CQtMessageBox::Create(MB_YESNO, "Go?", nullptr));
    CQtCopyQuestions::SetProgressDelayForTesting(0);
    CQtCopyQuestions copying(nullptr);
    copying.Progress("a.mp4", 1, 2);
    CQtCopyQuestions::SetProgressDelayForTesting(-1);
    ExpectDialogFrame("copy progress", *copying.ProgressDialog());
}

TEST_F(WizardDesktopTest, WebPageDialogOpensAtTheSiteRoot) {
    CPagePublishHTML& page = StartWizard(Video(), 0);
    QString opened;
    page.SetFileDialogRunnerForTesting([&](CFileDialogEx& dialog) {
        opened = dialog.Dialog().directory().absolutePath();
        return false;
    });
    QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(opened, ToQt(site));
}

// Programs put first on PATH stand in for every browser and for the desktop's opener, all of
// them failing; the real shell watches them.
class FailingDesktopTest : public WizardDesktopTest {
protected:
    FailingDesktopTest() : m_savedPath(std::getenv("PATH") ? std::getenv("PATH") : "") {
        env.sandbox.MakeFolder("bin");
        ::setenv("PATH", (env.sandbox / "bin:" + m_savedPath).c_str(), 1);
        for (const char* name :
             {"google-chrome", "google-chrome-stable", "chromium", "firefox", "firefox-esr"}) {
            Program(name,
                    "echo 'Running as root without --no-sandbox is not supported.' >&2\nexit 1\n");
        }
        Program("xdg-open",
                "echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
        SetShell(&desktop);
        SetBrowserHost(nullptr);
    }
    ~FailingDesktopTest() override {
        SetShell(&shell);
        ::setenv("PATH", m_savedPath.c_str(), 1);
    }
    void Program(const std::string& name, const std::string& body) {
        ::chmod(env.sandbox.Write("bin/" + name, "#!/bin/sh\n" + body).c_str(), 0755);
    }
    // The messages once the shell has settled what it was asked.
    std::vector<std::string> SettledMessages() {
        QEventLoop loop;
        QObject::connect(&desktop, &CQtShell::settled, &loop, &QEventLoop::quit);
        // Only a guard against a hang; the answer comes as soon as the programs end.
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        return TakeMessages();
    }

    CQtShell desktop;

private:
    std::string m_savedPath;
};

TEST_F(FailingDesktopTest, PreviewWithNoProgramForTheFileSaysWhy) {
    const std::string video = Video();
    CPublishSheet* shown = &Sheet(video);
    QTest::mouseClick(shown->page(CPublishSheet::kPageSelectVideo)
                          ->findChild<QPushButton*>(QStringLiteral("previewButton")),
                      Qt::LeftButton);
    EXPECT_EQ(
        SettledMessages(),
        std::vector<std::string>{"Failed to open " + video +
                                 ". xdg-open: no method available for opening '" + video + "'"});
}

TEST_F(FailingDesktopTest, SamplePageThatNoBrowserShowsSaysWhy) {
    CPublishSheet* shown = &Sheet(Video());
    Next(CPublishSheet::kPageSelectPlayer);
    QTest::mouseClick(shown->page(CPublishSheet::kPageSelectPlayer)->findChild<CPlayerPicture*>(),
                      Qt::LeftButton);
    const std::vector<std::string> messages = SettledMessages();
    ASSERT_EQ(messages.size(), 1u);
    // The sample page written into the working folder; the desktop's browser was tried last,
    // so its words are the reason.
    const std::string page = messages[0].substr(15, messages[0].find(". xdg-open") - 15);
    EXPECT_EQ(messages[0], "Failed to open " + page +
                               ". xdg-open: no method available for opening '" + page + "'");
    EXPECT_TRUE(page.starts_with(env.sandbox / "work/html5-player")) << page;
}

}  // namespace
