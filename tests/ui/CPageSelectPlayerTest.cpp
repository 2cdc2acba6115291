// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectPlayer.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTest>

#include "app/QtText.h"
#include "core/Browser.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "players/PlayerInfo.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CPlayerPicture.h"
#include "ui/CPublishSheet.h"

namespace {

class PageSelectPlayerTest : public ::testing::Test {
protected:
    PageSelectPlayerTest() {
        SetShell(&shell);
        video = env.sandbox / "clip.mp4";
        audio = env.sandbox / "song.mp3";
        EXPECT_TRUE(test::MakeMedia(
            video, 1, true, true,
            {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"}));
        EXPECT_TRUE(test::MakeMedia(audio, 1, false, true, {"-c:a", "libmp3lame"}));
    }
    ~PageSelectPlayerTest() override { SetShell(nullptr); }

    static CPageSelectPlayer& Page(CPublishSheet& sheet) {
        return *qobject_cast<CPageSelectPlayer*>(sheet.page(CPublishSheet::kPageSelectPlayer));
    }
    template <typename T>
    static T& Find(CPublishSheet& sheet, const char* name) {
        return *Page(sheet).findChild<T*>(QString::fromUtf8(name));
    }
    static QComboBox& List(CPublishSheet& sheet) { return Find<QComboBox>(sheet, "playerList"); }
    static CPlayerPicture& Picture(CPublishSheet& sheet) {
        return Find<CPlayerPicture>(sheet, "playerPicture");
    }
    static QCheckBox& AutoPlay(CPublishSheet& sheet) {
        return Find<QCheckBox>(sheet, "autoPlayBox");
    }
    static QCheckBox& Poster(CPublishSheet& sheet) { return Find<QCheckBox>(sheet, "posterBox"); }
    static QCheckBox& Controls(CPublishSheet& sheet) {
        return Find<QCheckBox>(sheet, "controlsBox");
    }
    static QCheckBox& Loop(CPublishSheet& sheet) { return Find<QCheckBox>(sheet, "loopBox"); }
    static QCheckBox& Fit(CPublishSheet& sheet) { return Find<QCheckBox>(sheet, "fitBox"); }
    static QLabel& AudioNote(CPublishSheet& sheet) {
        return Find<QLabel>(sheet, "audioAutoPlayNote");
    }
    static QStringList Entries(CPublishSheet& sheet) {
        QStringList entries;
        for (int i = 0; i < List(sheet).count(); ++i) {
            entries << List(sheet).itemText(i);
        }
        return entries;
    }
    // On the box itself, not beside its text.
    static void Click(QCheckBox& box) {
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.height() / 2, box.height() / 2));
    }
    // Chooses entry `index` in the open drop-down, as a click would (also the current one).
    static void Choose(CPublishSheet& sheet, int index) {
        QComboBox& list = List(sheet);
        list.showPopup();
        QAbstractItemView* view = list.view();
        view->setCurrentIndex(view->model()->index(index, 0));
        QTest::keyClick(view, Qt::Key_Return);
    }

    test::Environment env;
    test::RecordingShell shell;
    std::string video, audio;
};

TEST_F(PageSelectPlayerTest, AudioModeShortensThePictureAndVideoModeRestoresIt) {
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    ASSERT_TRUE(Page(*sheet).IsVideoMode());
    QStringList videoNames;
    for (const PlayerInfo& row : GetVideoPlayers()) {
        videoNames << QString::fromUtf8(row.name);
    }
    EXPECT_EQ(Entries(*sheet), videoNames);
    const QRect picture = Picture(*sheet).geometry();
    const QRect autoPlay = AutoPlay(*sheet).geometry();
    EXPECT_TRUE(Poster(*sheet).isVisible());
    EXPECT_GT(Poster(*sheet).geometry().top(), autoPlay.bottom());
    EXPECT_EQ(Picture(*sheet).Picture().size(), QSize(400, 220));
    EXPECT_GE(picture.height(), 220);
    EXPECT_GT(autoPlay.top(), picture.bottom());

    test::EnterMedia(*sheet, audio);
    EXPECT_FALSE(Page(*sheet).IsVideoMode());
    EXPECT_EQ(Entries(*sheet), QStringList{"MediaElement Player"});
    const QRect shortPicture = Picture(*sheet).geometry();
    EXPECT_EQ(shortPicture.topLeft(), picture.topLeft());
    EXPECT_EQ(shortPicture.width(), picture.width());
    EXPECT_EQ(shortPicture.height(), picture.height() / 3);
    const int tenUnits = 10 * Page(*sheet).fontMetrics().height() / 8;
    EXPECT_EQ(AutoPlay(*sheet).geometry(),
              QRect(QPoint(autoPlay.left(), picture.top() + picture.height() / 3 + tenUnits),
                    autoPlay.size()));
    EXPECT_FALSE(Poster(*sheet).isVisible());
    EXPECT_EQ(Picture(*sheet).Picture().size(), QSize(411, 79));

    test::EnterMedia(*sheet, video);
    EXPECT_TRUE(Page(*sheet).IsVideoMode());
    EXPECT_EQ(Entries(*sheet), videoNames);
    EXPECT_EQ(Picture(*sheet).geometry(), picture);
    EXPECT_EQ(AutoPlay(*sheet).geometry(), autoPlay);
    EXPECT_TRUE(Poster(*sheet).isVisible());
    EXPECT_EQ(Picture(*sheet).Picture().size(), QSize(400, 220));
}

TEST_F(PageSelectPlayerTest, ChosenPlayerSurvivesBackAndForwardAndFillsTheRequest) {
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    Choose(*sheet, 3);
    EXPECT_EQ(COptions::Instance()->m_nVideoPlayer, 3);

    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(sheet->State().m_job.Request().mediaKind, 1);
    EXPECT_EQ(sheet->State().m_job.Request().playerIndex, 3);
    EXPECT_EQ(sheet->State().m_job.GetPlayerType(), PLAYER_TYPE_LEANBACK);
    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(List(*sheet).currentText(), "Leanback Player");

    // Through the first page and forward again: the choice comes back from the settings.
    test::EnterMedia(*sheet, video);
    EXPECT_EQ(List(*sheet).currentText(), "Leanback Player");
    Choose(*sheet, 4);
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    EXPECT_EQ(sheet->State().m_job.Request().playerIndex, 4);
    EXPECT_EQ(sheet->State().m_job.GetPlayerType(), PLAYER_TYPE_PROJEKKTOR);

    // The audio choice is kept apart from the video one.
    test::EnterMedia(*sheet, audio);
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
    EXPECT_EQ(sheet->State().m_job.Request().mediaKind, 2);
    EXPECT_EQ(sheet->State().m_job.Request().playerIndex, 0);
    EXPECT_EQ(sheet->State().m_job.GetPlayerType(), PLAYER_TYPE_MEDIAELEMENT);
    EXPECT_EQ(COptions::Instance()->m_nVideoPlayer, 4);
}

TEST_F(PageSelectPlayerTest, StoredIndexThatNamesNoRowFallsBackToTheFirst) {
    auto sheet = test::ShownSheet();
    const struct {
        const char* name;
        std::string media;
        int COptions::*stored;
        int value;
        PlayerType type;
    } rows[] = {
        {"video index past the table", video, &COptions::m_nVideoPlayer, 7, PLAYER_TYPE_VIDEOJS},
        {"negative audio index", audio, &COptions::m_nAudioPlayer, -1, PLAYER_TYPE_MEDIAELEMENT},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        COptions::Instance()->*row.stored = row.value;
        test::EnterMedia(*sheet, row.media);
        EXPECT_EQ(List(*sheet).currentIndex(), 0);
        EXPECT_FALSE(Picture(*sheet).Picture().isNull());
        QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
        ASSERT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
        EXPECT_EQ(sheet->State().m_job.Request().playerIndex, 0);
        EXPECT_EQ(sheet->State().m_job.GetPlayerType(), row.type);
        EXPECT_EQ(COptions::Instance()->*row.stored, 0);
    }
}

TEST_F(PageSelectPlayerTest, ChoosingTheSameEntryAgainDoesNotReloadThePicture) {
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    Choose(*sheet, 2);
    const qint64 shown = Picture(*sheet).Picture().cacheKey();
    // Were the choice handled again, the stored index would be written back as 2.
    COptions::Instance()->m_nVideoPlayer = 4;
    Choose(*sheet, 2);
    EXPECT_EQ(Picture(*sheet).Picture().cacheKey(), shown);
    EXPECT_EQ(COptions::Instance()->m_nVideoPlayer, 4);

    Choose(*sheet, 1);
    EXPECT_NE(Picture(*sheet).Picture().cacheKey(), shown);
    EXPECT_EQ(COptions::Instance()->m_nVideoPlayer, 1);
    // Each row has a picture of its own.
    QList<QImage> pictures;
    for (int row = 0; row < List(*sheet).count(); ++row) {
        Choose(*sheet, row);
        const QImage image = Picture(*sheet).Picture().toImage();
        EXPECT_FALSE(pictures.contains(image)) << row;
        pictures << image;
    }
}

TEST_F(PageSelectPlayerTest, CheckBoxesAreStoredAtOnce) {
    COptions* options = COptions::Instance();
    options->LoadState();
    options->m_bAutoPlay = 1;
    options->m_bAudioAutoPlay = 0;
    options->m_bVideoPoster = 1;
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    EXPECT_TRUE(AutoPlay(*sheet).isChecked());
    EXPECT_TRUE(Poster(*sheet).isChecked());
    Click(AutoPlay(*sheet));
    EXPECT_EQ(options->m_bAutoPlay, 0);
    Click(Poster(*sheet));
    EXPECT_EQ(options->m_bVideoPoster, 0);
    EXPECT_EQ(options->m_bAudioAutoPlay, 0);

    test::EnterMedia(*sheet, audio);
    EXPECT_FALSE(AutoPlay(*sheet).isChecked()) << "audio shows its own autoplay setting";
    Click(AutoPlay(*sheet));
    EXPECT_EQ(options->m_bAudioAutoPlay, 1);
    EXPECT_EQ(options->m_bAutoPlay, 0);

    // What the settings file gets at exit.
    options->SaveState();
    EXPECT_EQ(env.store->GetInt("DEDE5 Varodo", "Auto Play", -1), 0);
    EXPECT_EQ(env.store->GetInt("DEDE5 Varodo", "Audio Auto Play", -1), 1);
    EXPECT_EQ(env.store->GetInt("DEDE5 Varodo", "Video Poster", -1), 0);
}

TEST_F(PageSelectPlayerTest, ControlsLoopAndFitAreStoredAtOnce) {
    COptions* options = COptions::Instance();
    options->LoadState();
    EXPECT_EQ(options->m_bFitPlayer, 1) << "on unless turned off";
    options->m_bVideoControl = 1;
    options->m_bVideoLoop = 0;
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    EXPECT_TRUE(Controls(*sheet).isChecked());
    EXPECT_FALSE(Loop(*sheet).isChecked());
    EXPECT_TRUE(Fit(*sheet).isChecked());
    QCheckBox& qualities = Find<QCheckBox>(*sheet, "qualitiesBox");
    EXPECT_FALSE(qualities.isChecked()) << "off unless turned on";
    for (QCheckBox* box : {&Controls(*sheet), &Loop(*sheet), &Fit(*sheet), &qualities}) {
        EXPECT_TRUE(box->isVisible()) << box->objectName().toStdString();
        EXPECT_GT(box->geometry().top(), Poster(*sheet).geometry().bottom());
    }
    Click(Controls(*sheet));
    EXPECT_EQ(options->m_bVideoControl, 0);
    Click(Loop(*sheet));
    EXPECT_EQ(options->m_bVideoLoop, 1);
    Click(Fit(*sheet));
    EXPECT_EQ(options->m_bFitPlayer, 0);
    Click(qualities);
    EXPECT_EQ(options->m_bQualities, 1);

    // The request the publish page gets follows the boxes.
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
    const PlayerRequest& request = sheet->State().m_job.Request();
    EXPECT_FALSE(request.showControls);
    EXPECT_TRUE(request.loop);
    EXPECT_FALSE(request.fit);
    EXPECT_TRUE(request.qualities);
    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);

    // Controls and loop are the audio player's too; fitting is for video only.
    test::EnterMedia(*sheet, audio);
    EXPECT_FALSE(Controls(*sheet).isChecked());
    EXPECT_TRUE(Loop(*sheet).isChecked());
    EXPECT_TRUE(Controls(*sheet).isVisible());
    EXPECT_TRUE(Loop(*sheet).isVisible());
    EXPECT_FALSE(Fit(*sheet).isVisible());
    EXPECT_FALSE(qualities.isVisible());
    Click(Controls(*sheet));
    EXPECT_EQ(options->m_bVideoControl, 1);

    test::EnterMedia(*sheet, video);
    EXPECT_TRUE(Controls(*sheet).isChecked()) << "one setting for both kinds";
    EXPECT_FALSE(Fit(*sheet).isChecked());

    options->SaveState();
    EXPECT_EQ(env.store->GetInt("DEDE5 Varodo", "Video Control", -1), 1);
    EXPECT_EQ(env.store->GetInt("DEDE5 Varodo", "Video Loop", -1), 1);
    EXPECT_EQ(env.store->GetInt("Options", "Fit Player", -1), 0);
}

TEST_F(PageSelectPlayerTest, AudioAutoPlayCarriesANoteOnWhatBrowsersAllow) {
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    EXPECT_FALSE(AudioNote(*sheet).isVisible()) << "a muted video does start by itself";

    test::EnterMedia(*sheet, audio);
    QLabel& note = AudioNote(*sheet);
    ASSERT_TRUE(note.isVisible());
    EXPECT_EQ(FromQt(note.text()), LoadStringRes(IDS_AUDIO_AUTOPLAY_NOTE));
    const QRect autoPlay = AutoPlay(*sheet).geometry();
    EXPECT_EQ(note.geometry().top(), autoPlay.bottom() + 1) << "right below the autoplay box";
    EXPECT_GT(note.geometry().left(), autoPlay.left()) << "in line with the box's text";
    EXPECT_GE(note.height(), note.heightForWidth(note.width())) << "no line cut off";
    EXPECT_GT(Controls(*sheet).geometry().top(), note.geometry().bottom());
    EXPECT_TRUE(Page(*sheet).rect().contains(Controls(*sheet).geometry()));
    EXPECT_TRUE(env.box.messages.empty()) << "a note on the page, not a message box";
}

TEST_F(PageSelectPlayerTest, PictureClickShowsTheSamplePageFilledWithTheOptions) {
    const char* saved = std::getenv("DEDE5_VARODO_HOME");
    const std::string savedHome = saved ? saved : "";
    const std::string install = env.sandbox.MakeFolder("install");
    ::setenv("DEDE5_VARODO_HOME", install.c_str(), 1);
    env.sandbox.Write("install/Example/tube-css.htm",
                      "<video class=\"tube\" $(autoplay)$(video_poster)>");
    env.sandbox.Write("install/Example/mediaelement-audio.htm", "<audio $(autoplay)>");
    COptions* options = COptions::Instance();
    options->m_strWorkFolder = env.sandbox / "work";
    options->m_bAutoPlay = 1;
    options->m_bVideoPoster = 1;
    options->m_bAudioAutoPlay = 0;
    test::RecordingBrowserHost host(false);
    SetBrowserHost(&host);

    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    Choose(*sheet, 1);
    QTest::mouseClick(&Picture(*sheet), Qt::LeftButton);
    test::EnterMedia(*sheet, audio);
    QTest::mouseClick(&Picture(*sheet), Qt::LeftButton);

    const std::string work = options->m_strWorkFolder;
    EXPECT_EQ(host.pages,
              (std::vector<std::string>{work + "/html5-player.htm", work + "/html5-player-0.htm"}));
    EXPECT_EQ(test::ReadFile(work + "/html5-player.htm"),
              "<video class=\"tube\" autoplay=\"autoplay\" muted=\"muted\" "
              "playsinline=\"playsinline\" poster=\"Waiting for you.jpg\">");
    EXPECT_EQ(test::ReadFile(work + "/html5-player-0.htm"), "<audio >");
    EXPECT_TRUE(env.box.messages.empty());

    SetBrowserHost(nullptr);
    if (savedHome.empty()) {
        ::unsetenv("DEDE5_VARODO_HOME");
    } else {
        ::setenv("DEDE5_VARODO_HOME", savedHome.c_str(), 1);
    }
}

TEST_F(PageSelectPlayerTest, ScreenshotsInVideoAndAudioModeShowEverything) {
    auto sheet = test::ShownSheet();
    const struct {
        const char* name;
        std::string media;
    } rows[] = {{"video", video}, {"audio", audio}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::EnterMedia(*sheet, row.media);
        EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
        // The picture and both boxes lie inside the page.
        const QRect page = Page(*sheet).rect();
        for (QWidget* widget :
             {static_cast<QWidget*>(&Picture(*sheet)), static_cast<QWidget*>(&AutoPlay(*sheet)),
              static_cast<QWidget*>(&Controls(*sheet)), static_cast<QWidget*>(&Loop(*sheet)),
              static_cast<QWidget*>(&Fit(*sheet))}) {
            if (widget->isVisible()) {
                EXPECT_TRUE(page.contains(widget->geometry()))
                    << widget->objectName().toStdString();
            }
        }
        EXPECT_TRUE(test::SaveScreenshot(
            *sheet, QStringLiteral("wizard-2-select-player-%1").arg(row.name)));
    }
}

}  // namespace
