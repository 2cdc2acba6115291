// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectVideo.h"

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QCursor>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "media/MediaInfo2.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CElidedLabel.h"
#include "ui/CFileDialogEx.h"
#include "ui/CHTML5Sheet.h"
#include "ui/CMediaReader.h"
#include "ui/CPublishSheet.h"

namespace {

constexpr const char* kHistory = "Publish/HTML5 File Path";
const char* const kDetailNames[] = {"nameText",           "sizeText",       "durationText",
                                    "formatText",         "videoCodecText", "videoDimensionText",
                                    "videoFramerateText", "audioCodecText", "audioSamplerateText",
                                    "audioChannelsText"};

// A shell whose every open fails with `error`.
class FailingShell : public test::RecordingShell {
public:
    bool OpenDefault(const std::string& pathOrUrl) override {
        opened.push_back(pathOrUrl);
        errno = error;
        return false;
    }
    int error = EACCES;
};

class PageSelectVideoTest : public ::testing::Test {
protected:
    PageSelectVideoTest() { SetShell(&shell); }
    ~PageSelectVideoTest() override {
        CMediaReader::SetBeforeParseForTesting(nullptr);
        SetShell(nullptr);
    }

    // Small real media files, made by ffmpeg.
    std::string Mp4(const std::string& name, int width = 320, int height = 240) {
        const std::string path = env.sandbox / name;
        EXPECT_TRUE(test::MakeMedia(
            path, 1, true, true,
            {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"},
            width, height))
            << path;
        return path;
    }
    std::string Mp3(const std::string& name) {
        const std::string path = env.sandbox / name;
        EXPECT_TRUE(test::MakeMedia(path, 1, false, true, {"-c:a", "libmp3lame"})) << path;
        return path;
    }
    std::string Webm(const std::string& name) {
        const std::string path = env.sandbox / name;
        EXPECT_TRUE(test::MakeMedia(
            path, 1, true, true, {"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libvorbis"}))
            << path;
        return path;
    }
    std::string Ogv(const std::string& name) {
        const std::string path = env.sandbox / name;
        EXPECT_TRUE(test::MakeMedia(path, 1, true, false, {"-c:v", "libtheora", "-f", "ogg"}))
            << path;
        return path;
    }

    static CPageSelectVideo& Page(CPublishSheet& sheet) {
        return *qobject_cast<CPageSelectVideo*>(sheet.page(CPublishSheet::kPageSelectVideo));
    }
    static QComboBox& PathBox(CPublishSheet& sheet) {
        return *Page(sheet).findChild<QComboBox*>(QStringLiteral("mediaPathBox"));
    }
    static QPushButton& Button(CPublishSheet& sheet, const char* name) {
        return *Page(sheet).findChild<QPushButton*>(QString::fromUtf8(name));
    }
    // The window's focus, wherever a completion list may have put the active window.
    static bool FocusIsInPathBox(CPublishSheet& sheet) {
        QWidget* focus = sheet.focusWidget();
        return focus && (focus == &PathBox(sheet) || focus == PathBox(sheet).lineEdit());
    }
    static QStringList Items(CPublishSheet& sheet) {
        QStringList items;
        for (int i = 0; i < PathBox(sheet).count(); ++i) {
            items << PathBox(sheet).itemText(i);
        }
        return items;
    }
    static QStringList Details(CPublishSheet& sheet) {
        QStringList texts;
        for (const char* name : kDetailNames) {
            texts << Page(sheet).findChild<CElidedLabel*>(QString::fromUtf8(name))->FullText();
        }
        return texts;
    }
    // Types into the path box as the user would.
    static void Type(CPublishSheet& sheet, const std::string& text) {
        QLineEdit* edit = PathBox(sheet).lineEdit();
        edit->clear();
        QTest::keyClicks(edit, ToQt(text));
    }
    static void Next(CPublishSheet& sheet) {
        QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
    }
    static void Back(CPublishSheet& sheet) {
        QTest::mouseClick(sheet.button(QWizard::BackButton), Qt::LeftButton);
    }
    // Drops files on the page and lets the page handle them, as after the drop.
    static void Drop(CPublishSheet& sheet, const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls << QUrl::fromLocalFile(ToQt(path));
        }
        data.setUrls(urls);
        CPageSelectVideo& page = Page(sheet);
        const QPointF where(page.width() / 2.0, page.height() / 2.0);
        QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&page, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &drop);
        ASSERT_TRUE(drop.isAccepted());
        QCoreApplication::sendPostedEvents(&page, QEvent::MetaCall);
    }

    std::string NotHtml5(const std::string& paths) const {
        return fmt::sprintf(LoadStringRes(IDS_NOT_HTML5_MEDIA), paths);
    }

    test::Environment env;
    test::RecordingShell shell;
};

TEST_F(PageSelectVideoTest, NextWithAnEmptyBoxAsksForAFileAndStays) {
    auto sheet = test::ShownSheet();
    for (const char* typed : {"", "   \t "}) {
        SCOPED_TRACE(std::string("typed '") + typed + "'");
        env.box.messages.clear();
        Type(*sheet, typed);
        Next(*sheet);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text, LoadStringRes(IDS_SELECT_MEDIA_FIRST));
        EXPECT_EQ(env.box.messages[0].type, MB_OK);
        EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
        EXPECT_TRUE(FocusIsInPathBox(*sheet));
    }
}

TEST_F(PageSelectVideoTest, TypedPathIsParsedOnNextAndFillsTheRequest) {
    const std::string video = Mp4("clip one.mp4", 320, 240);
    const std::string audio = Mp3("song.mp3");
    auto sheet = test::ShownSheet();
    // Blanks around a typed path are not part of it.
    Type(*sheet, "  " + video + " ");
    Next(*sheet);
    EXPECT_TRUE(env.box.messages.empty());
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    const PlayerRequest& request = sheet->State().m_job.Request();
    EXPECT_EQ(request.mediaFiles, std::vector<std::string>{video});
    EXPECT_EQ(request.copyList, std::vector<std::string>{video});
    EXPECT_EQ(request.width, 320);
    EXPECT_EQ(request.height, 240);
    EXPECT_EQ(request.mediaTitle, "clip one");
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, video);

    // An audio file after a video must not keep the video's size.
    Back(*sheet);
    Type(*sheet, audio);
    Next(*sheet);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(request.mediaFiles, std::vector<std::string>{audio});
    EXPECT_EQ(request.copyList, std::vector<std::string>{audio});
    EXPECT_EQ(request.width, 0);
    EXPECT_EQ(request.height, 0);
    EXPECT_EQ(request.mediaTitle, "song");
    EXPECT_EQ(sheet->State().m_job.Details().m_nVideoCount, 0);
    // Typing is not browsing: the history is unchanged.
    EXPECT_TRUE(Items(*sheet).isEmpty());
}

TEST_F(PageSelectVideoTest, RefusedFilesAreNamedAndLeaveTheAcceptedOneInPlace) {
    const std::string good = Mp4("good.mp4");
    const std::string textFile = env.sandbox.Write("words.mp4", "not a video at all\n");
    // MPEG-4 Visual in an .mp4 parses but does not play in browsers.
    const std::string part2 = env.sandbox / "part2.mp4";
    ASSERT_TRUE(test::MakeMedia(part2, 1, true, false, {"-c:v", "mpeg4"}));
    auto sheet = test::ShownSheet();
    Type(*sheet, good);
    Next(*sheet);
    Back(*sheet);
    const QStringList shown = Details(*sheet);
    ASSERT_EQ(shown[0], "good.mp4");

    const struct {
        const char* name;
        std::string path;
        std::string message;
        unsigned type;
        int answer;
        std::vector<std::string> opened;
    } rows[] = {
        {"missing file",
         env.sandbox / "gone.mp4",
         fmt::sprintf(LoadStringRes(IDS_MEDIA_NOT_EXIST), env.sandbox / "gone.mp4"),
         MB_OK | MB_ICONWARNING,
         IDOK,
         {}},
        {"file that is no media",
         textFile,
         fmt::sprintf(LoadStringRes(IDS_MEDIA_PARSE_FAILED), textFile),
         MB_OK | MB_ICONWARNING,
         IDOK,
         {}},
        {"no HTML5 media: the offer to make it web-ready, No",
         part2,
         fmt::sprintf(LoadStringRes(IDS_CONVERT_OFFER), part2,
                      PlanConversion(CPublishJob::CheckMedia(part2).details).Describe()),
         MB_YESNO | MB_ICONQUESTION,
         IDNO,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        env.box.messages.clear();
        env.box.answers = {row.answer};
        shell.opened.clear();
        Type(*sheet, row.path);
        Next(*sheet);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text, row.message);
        EXPECT_EQ(env.box.messages[0].type, row.type);
        EXPECT_EQ(shell.opened, row.opened);
        EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
        EXPECT_TRUE(FocusIsInPathBox(*sheet));
        EXPECT_EQ(Details(*sheet), shown);
        EXPECT_EQ(sheet->State().m_job.Details().m_strPath, good);
    }
    // Preview still plays the file that was accepted, not the refused one.
    shell.opened.clear();
    QTest::mouseClick(&Button(*sheet, "previewButton"), Qt::LeftButton);
    EXPECT_EQ(shell.opened, std::vector<std::string>{good});
}

TEST_F(PageSelectVideoTest, OgvDropIsRefusedWhileBrowsingAllFormatsAcceptsIt) {
    const std::string ogv = Ogv("theora.ogv");
    auto sheet = test::ShownSheet();
    Drop(*sheet, {ogv});
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, NotHtml5(ogv + "\r\n"));
    EXPECT_FALSE(Button(*sheet, "previewButton").isEnabled());
    EXPECT_TRUE(Items(*sheet).isEmpty());

    env.box.messages.clear();
    QStringList filters;
    QString title;
    Page(*sheet).SetFileDialogRunner([&](CFileDialogEx& dialog) {
        QFileDialog& files = dialog.Dialog();
        title = files.windowTitle();
        filters = files.nameFilters();
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.open();
        files.selectNameFilter(filters.back());
        files.selectFile(ToQt(ogv));
        static_cast<QDialog&>(files).accept();
        return true;
    });
    QTest::mouseClick(Page(*sheet).findChild<QToolButton*>(QStringLiteral("browseMedia")),
                      Qt::LeftButton);
    EXPECT_EQ(title, "Select an HTML5 Video or Audio");
    // Every extension the program accepts first (web-ready, then those it can convert), then the
    // single formats.
    constexpr const char* kAll =
        "*.mp4;*.webm;*.ogg;*.ogv;*.mp3;*.m4a;*.oga;*.wav;*.mov;*.mkv;*.m4v;*.avi;*.flv;*.3gp;"
        "*.wmv;*.mpg;*.ts;*.flac;*.wma;*.aac;*.aiff";
    EXPECT_EQ(filters, CFileDialogEx::ToQtFilters(
                           std::string("All supported media(") + kAll + ")|" + kAll + "|" +
                           "MP4 Video(*.mp4)|*.mp4|WebM Video(*.webm)|*.webm|Ogg Video(*.ogg)|"
                           "*.ogg|MP3 Audio(*.mp3)|*.mp3|M4A Audio(*.m4a)|*.m4a|Oga Audio(*.oga)|"
                           "*.oga|WAV Audio(*.wav)|*.wav|All Format(*.*)|*.*||"));
    EXPECT_EQ(filters.back(), "All Format (*)");
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_EQ(Details(*sheet)[0], "theora.ogv");
    EXPECT_EQ(Details(*sheet)[4], "Theora");
    EXPECT_TRUE(Button(*sheet, "previewButton").isEnabled());
    // Browsed and accepted: at the top of the history and in the box.
    EXPECT_EQ(Items(*sheet), QStringList{ToQt(ogv)});
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(ogv));
    EXPECT_EQ(env.store->GetInt("File Dialogs/Select an HTML5 Video or Audio", "Filter Index", 0),
              9);
}

TEST_F(PageSelectVideoTest, MediaDialogOpensOnAllSupportedMediaThenOnTheFilterUsedLast) {
    const std::string mp3 = Mp3("song.mp3");
    const std::string webm = Webm("clip.webm");
    auto sheet = test::ShownSheet();
    // Opens the dialog, notes the filter it opened on, picks `file` under `filter`.
    const auto browse = [&](const std::string& file, int filter) {
        QString openedOn;
        Page(*sheet).SetFileDialogRunner([&](CFileDialogEx& dialog) {
            QFileDialog& files = dialog.Dialog();
            files.setOption(QFileDialog::DontUseNativeDialog);
            files.open();
            openedOn = files.selectedNameFilter();
            files.selectNameFilter(files.nameFilters().at(filter));
            files.selectFile(ToQt(file));
            static_cast<QDialog&>(files).accept();
            return true;
        });
        QTest::mouseClick(Page(*sheet).findChild<QToolButton*>(QStringLiteral("browseMedia")),
                          Qt::LeftButton);
        return openedOn;
    };
    // MP3 and WebM are both listed by the first filter: nothing hides them.
    const QString all = browse(mp3, 0);
    EXPECT_TRUE(all.startsWith("All supported media (")) << all.toStdString();
    for (const char* extension :
         {"*.mp4", "*.webm", "*.ogg", "*.ogv", "*.mp3", "*.m4a", "*.oga", "*.wav"}) {
        EXPECT_TRUE(all.contains(QString::fromUtf8(extension))) << extension;
    }
    // WebM chosen under its own filter; the next dialog opens on it.
    EXPECT_EQ(browse(webm, 2), all);
    EXPECT_EQ(browse(mp3, 0), "WebM Video (*.webm)");
    EXPECT_EQ(browse(mp3, 0), all);
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(PageSelectVideoTest, DropRefusesOnceForAllAndLoadsTheFirstAcceptedFile) {
    const std::string listed = Mp3("listed.mp3");
    const std::string first = Mp4("first.mp4");
    const std::string second = Webm("second.WEBM");
    const std::string notes = env.sandbox.Write("notes.txt", "hello\n");
    const std::string fakeMp4 = env.sandbox.Write("fake.mp4", "no media here\n");
    env.store->WriteInt(kHistory, "Count", 1);
    env.store->WriteString(kHistory, "#0", listed);
    auto sheet = test::ShownSheet();

    Drop(*sheet, {notes, first, fakeMp4, second});
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, NotHtml5(notes + "\r\n" + fakeMp4 + "\r\n"));
    // Conversion is offered file by file where it can be done; what is left is only said.
    EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(Items(*sheet), (QStringList{ToQt(listed), ToQt(first), ToQt(second)}));
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(first));
    EXPECT_EQ(Details(*sheet)[0], "first.mp4");
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, first);

    // Dropped again: nothing is listed twice and nothing is refused.
    env.box.messages.clear();
    Drop(*sheet, {second, first});
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_EQ(Items(*sheet), (QStringList{ToQt(listed), ToQt(first), ToQt(second)}));
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(second));
    EXPECT_EQ(Details(*sheet)[0], "second.WEBM");

    // A listed path that merely begins with the dropped one is another file.
    const std::string longer = Mp4("clip.mp4.mp4");
    const std::string shorter = Mp4("clip.mp4");
    Drop(*sheet, {longer});
    Drop(*sheet, {shorter});
    EXPECT_EQ(Items(*sheet).mid(3), (QStringList{ToQt(longer), ToQt(shorter)}));
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(shorter));
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, shorter);

    // The dropped entries are kept with the history.
    sheet.reset();
    EXPECT_EQ(env.store->GetInt(kHistory, "Count", 0), 5);
    EXPECT_EQ(env.store->GetString(kHistory, "#2", ""), second);
}

TEST_F(PageSelectVideoTest, HistoryLeavesOutDeletedFilesAndKeepsPathsThatDifferInCase) {
    const std::string kept = Mp4("kept.mp4");
    const std::string deleted = Mp4("deleted.mp4");
    const std::string lower = Mp3("case.mp3");
    const std::string upper = Mp3("CASE.mp3");
    env.store->WriteInt(kHistory, "Count", 3);
    env.store->WriteString(kHistory, "#0", kept);
    env.store->WriteString(kHistory, "#1", deleted);
    env.store->WriteString(kHistory, "#2", lower);
    ASSERT_EQ(::unlink(deleted.c_str()), 0);

    auto sheet = test::ShownSheet();
    EXPECT_EQ(Items(*sheet), (QStringList{ToQt(kept), ToQt(lower)}));
    EXPECT_EQ(PathBox(*sheet).currentText(), "") << "nothing is chosen before the user chooses";

    // Choosing an entry loads it.
    PathBox(*sheet).setFocus();
    QTest::keyClick(&PathBox(*sheet), Qt::Key_Down);
    EXPECT_EQ(Details(*sheet)[0], "kept.mp4");

    std::string browsed;
    Page(*sheet).SetFileDialogRunner([&](CFileDialogEx& dialog) {
        dialog.Dialog().setOption(QFileDialog::DontUseNativeDialog);
        dialog.Dialog().open();
        dialog.Dialog().selectFile(ToQt(browsed));
        static_cast<QDialog&>(dialog.Dialog()).accept();
        return true;
    });
    auto* browse = Page(*sheet).findChild<QToolButton*>(QStringLiteral("browseMedia"));
    for (const std::string& path : {upper, lower}) {
        browsed = path;
        QTest::mouseClick(browse, Qt::LeftButton);
    }
    // Browsed files go to the top; an equal entry moves, one differing in case stays.
    EXPECT_EQ(Items(*sheet), (QStringList{ToQt(lower), ToQt(upper), ToQt(kept)}));
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(lower));

    sheet.reset();
    EXPECT_EQ(env.store->GetInt(kHistory, "Count", 0), 3);
    EXPECT_EQ(env.store->GetString(kHistory, "#0", ""), lower);
    EXPECT_EQ(env.store->GetString(kHistory, "#1", ""), upper);
    EXPECT_EQ(env.store->GetString(kHistory, "#2", ""), kept);
    EXPECT_EQ(env.store->GetString(kHistory, "#3", "none"), "none");
}

TEST_F(PageSelectVideoTest, DetailFieldsShowWhatTheMediaDetailsSay) {
    const std::string video = Mp4("movie.mp4", 320, 240);
    const std::string audio = Mp3("tune.mp3");
    auto sheet = test::ShownSheet();
    const struct {
        const char* name;
        std::string path;
        QString resolution, videoCodec, audioCodec, channels;
    } rows[] = {
        {"MP4", video, "320 x 240", "AVC", "AAC", "Stereo"},
        {"MP3", audio, "-", "-", "MP3", "Stereo"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Type(*sheet, row.path);
        Next(*sheet);
        ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
        Back(*sheet);
        CMediaInfo2 details;
        ASSERT_TRUE(details.Parse(row.path));
        const QStringList expected = {
            ToQt(GetPathFileName(row.path)),    ToQt(details.GetSizeText()),
            ToQt(details.GetDurationText()),    ToQt(details.GetFormatText()),
            ToQt(details.GetVideoFormatText()), ToQt(details.GetResolutionText()),
            ToQt(details.GetFrameRateText()),   ToQt(details.GetAudioFormatText()),
            ToQt(details.GetSampleRateText()),  ToQt(details.GetChannelsText())};
        const QStringList shown = Details(*sheet);
        EXPECT_EQ(shown, expected);
        // The fields are in their places, not just equal to the same calls.
        EXPECT_EQ(shown[4], row.videoCodec);
        EXPECT_EQ(shown[5], row.resolution);
        EXPECT_EQ(shown[7], row.audioCodec);
        EXPECT_EQ(shown[8], "44100 Hz");
        EXPECT_EQ(shown[9], row.channels);
        EXPECT_TRUE(test::CutOffWidgets(*sheet).empty());
        EXPECT_TRUE(test::SaveScreenshot(
            *sheet, QStringLiteral("wizard-1-select-media-%1").arg(row.name).toLower()));
    }
}

TEST_F(PageSelectVideoTest, ReadingKeepsTheWindowAliveAndDropsTheUsersInput) {
    const std::string video = Mp4("large.mp4");
    auto sheet = test::ShownSheet();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool timedOut = false;
    CMediaReader::SetBeforeParseForTesting([&](const std::string&) {
        // Held until the window has shown it still runs; the bound only turns a hang into a
        // failure.
        timedOut = released.wait_for(std::chrono::minutes(5)) != std::future_status::ready;
    });
    struct {
        bool ran = false, busy = false, closed = true;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        int page = -1;
    } during;
    QTimer::singleShot(0, sheet.get(), [&] {
        during.ran = true;
        during.busy = CMediaReader::IsBusy();
        during.cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                       : Qt::ArrowCursor;
        // A second Next, a Cancel and the close box while the file is read.
        QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
        QTest::mouseClick(sheet->button(QWizard::CancelButton), Qt::LeftButton);
        during.closed = sheet->close();
        during.page = sheet->currentId();
        release.set_value();
    });
    Type(*sheet, video);
    Next(*sheet);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(during.ran);
    EXPECT_TRUE(during.busy);
    EXPECT_EQ(during.cursor, Qt::WaitCursor);
    EXPECT_FALSE(during.closed);
    EXPECT_EQ(during.page, CPublishSheet::kPageSelectVideo);
    // One Next went through, nothing else.
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_FALSE(CMediaReader::IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, video);
}

TEST_F(PageSelectVideoTest, PreviewOpensTheFileOrSaysWhyNot) {
    const std::string video = Mp4("preview.mp4");
    auto sheet = test::ShownSheet();
    QPushButton& preview = Button(*sheet, "previewButton");
    EXPECT_FALSE(preview.isEnabled());
    Type(*sheet, video);
    Next(*sheet);
    Back(*sheet);
    ASSERT_TRUE(preview.isEnabled());
    QTest::mouseClick(&preview, Qt::LeftButton);
    EXPECT_EQ(shell.opened, std::vector<std::string>{video});
    EXPECT_TRUE(env.box.messages.empty());

    FailingShell failing;
    SetShell(&failing);
    QTest::mouseClick(&preview, Qt::LeftButton);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text,
              fmt::sprintf(LoadStringRes(IDS_OPEN_FAILED), video, GetErrorText(EACCES)));
    EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);

    // Gone since it was accepted: said so without asking the desktop.
    failing.opened.clear();
    ASSERT_EQ(::unlink(video.c_str()), 0);
    QTest::mouseClick(&preview, Qt::LeftButton);
    EXPECT_TRUE(failing.opened.empty());
    ASSERT_EQ(env.box.messages.size(), 2u);
    EXPECT_EQ(env.box.messages[1].text,
              fmt::sprintf(LoadStringRes(IDS_OPEN_FAILED), video, GetErrorText(ENOENT)));
    SetShell(&shell);
}

TEST_F(PageSelectVideoTest, PublishOptionsOpensTheOptionsSheetOnItsPublishPage) {
    auto sheet = test::ShownSheet();
    struct {
        bool modal = false;
        int page = -1;
    } seen;
    QTimer::singleShot(0, sheet.get(), [&] {
        auto* options = qobject_cast<CHTML5Sheet*>(QApplication::activeModalWidget());
        if (!options) {
            return;
        }
        seen.modal = options->isModal();
        seen.page = env.store->GetInt("Options", "HTML5 Page", -1);
        options->reject();
    });
    QPushButton& button = Button(*sheet, "optionsButton");
    EXPECT_EQ(button.toolTip(), ToQt(LoadStringRes(IDS_OPTIONS_TOOLTIP)));
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.page, 3);
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
}

TEST_F(PageSelectVideoTest, TypedTextIsCompletedWithMediaFilesAndFolders) {
    env.sandbox.MakeFolder("media/clips");
    Mp4("media/clip.mp4");
    env.sandbox.Write("media/clip.txt", "not offered");
    auto sheet = test::ShownSheet();
    QCompleter* completer = PathBox(*sheet).completer();
    ASSERT_NE(completer, nullptr);
    Type(*sheet, env.sandbox / "media/cli");
    // Typed at once, as when pasted. The folder is listed by a thread of its own and its rows
    // come as events; the bound only turns a hang into a failure.
    for (int round = 0; completer->completionCount() < 2 && round < 1200; ++round) {
        QTest::qWait(50);
        completer->setCompletionPrefix(completer->completionPrefix());
    }
    QStringList offered;
    for (int i = 0; completer->setCurrentRow(i); ++i) {
        offered << completer->currentCompletion();
    }
    offered.sort();
    EXPECT_EQ(offered, (QStringList{ToQt(env.sandbox / "media/clip.mp4"),
                                    ToQt(env.sandbox / "media/clips")}));
}

TEST_F(PageSelectVideoTest, ReturnInThePathBoxIsNextAndLoadsOnce) {
    const std::string listed = Mp3("listed.mp3");
    const std::string typed = Mp3("typed.mp3");
    env.store->WriteInt(kHistory, "Count", 1);
    env.store->WriteString(kHistory, "#0", listed);
    auto sheet = test::ShownSheet();
    // Gone after the page opened: the entry is still listed and matches the typed text.
    ASSERT_EQ(::unlink(listed.c_str()), 0);
    Type(*sheet, listed);
    QTest::keyClick(PathBox(*sheet).lineEdit(), Qt::Key_Return);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, fmt::sprintf(LoadStringRes(IDS_MEDIA_NOT_EXIST), listed));
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);

    env.box.messages.clear();
    Type(*sheet, typed);
    QTest::keyClick(PathBox(*sheet).lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(sheet->State().m_job.Request().mediaFiles, std::vector<std::string>{typed});
}

TEST_F(PageSelectVideoTest, LongFileNameIsShortenedInsteadOfWideningTheWindow) {
    const std::string name = std::string(180, 'n') + " end.mp3";
    const std::string audio = Mp3(name);
    auto sheet = test::ShownSheet();
    const QSize before = sheet->size();
    Type(*sheet, audio);
    Next(*sheet);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    Back(*sheet);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(sheet->size(), before);
    auto* shown = Page(*sheet).findChild<CElidedLabel*>(QStringLiteral("nameText"));
    EXPECT_EQ(shown->FullText(), ToQt(name));
    EXPECT_NE(shown->text(), ToQt(name));
    EXPECT_TRUE(shown->text().endsWith(QStringLiteral("end.mp3"))) << shown->text().toStdString();
    EXPECT_EQ(shown->toolTip(), ToQt(name));
    EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
}

TEST_F(PageSelectVideoTest, LeavingTheBoxOrPreviewReadsTheTypedFileOnce) {
    const std::string first = Mp4("first.mp4");
    const std::string second = Mp3("second.mp3");
    const std::string third = Mp4("third.mp4", 160, 120);
    auto sheet = test::ShownSheet();
    Type(*sheet, first);
    Next(*sheet);
    Back(*sheet);
    ASSERT_EQ(Details(*sheet)[0], "first.mp4");

    // Tab out of the box: the typed file's details, and Preview plays it.
    QApplication::setActiveWindow(sheet.get());
    PathBox(*sheet).lineEdit()->setFocus();
    Type(*sheet, second);
    // Where the desktop sends the key: the completion list while it shows.
    QAbstractItemView* list = PathBox(*sheet).completer()->popup();
    QTest::keyClick(list->isVisible() ? static_cast<QWidget*>(list) : PathBox(*sheet).lineEdit(),
                    Qt::Key_Tab);
    QCoreApplication::sendPostedEvents(&Page(*sheet), QEvent::MetaCall);
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_EQ(Details(*sheet)[0], "second.mp3");
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, second);
    QTest::mouseClick(&Button(*sheet, "previewButton"), Qt::LeftButton);
    EXPECT_EQ(shell.opened, std::vector<std::string>{second});

    // Typed, not left: Preview reads it first, so it plays what Next would take.
    Type(*sheet, third);
    QTest::mouseClick(&Button(*sheet, "previewButton"), Qt::LeftButton);
    EXPECT_EQ(shell.opened, (std::vector<std::string>{second, third}));
    EXPECT_EQ(Details(*sheet)[0], "third.mp4");
    EXPECT_EQ(Details(*sheet)[5], "160 x 120");
    Next(*sheet);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(sheet->State().m_job.Request().mediaFiles, std::vector<std::string>{third});
    Back(*sheet);

    // A missing file is said once when leaving, then left alone; Preview does not play the
    // file before it, and Next says why again.
    const std::string gone = env.sandbox / "gone.mp4";
    Type(*sheet, gone);
    PathBox(*sheet).lineEdit()->setFocus();
    QTest::keyClick(PathBox(*sheet).lineEdit(), Qt::Key_Tab);
    QCoreApplication::sendPostedEvents(&Page(*sheet), QEvent::MetaCall);
    const std::string missing = fmt::sprintf(LoadStringRes(IDS_MEDIA_NOT_EXIST), gone);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, missing);
    EXPECT_TRUE(FocusIsInPathBox(*sheet));
    // The box names the file in use again, so Preview and Next take the one described.
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(third));
    QTest::keyClick(PathBox(*sheet).lineEdit(), Qt::Key_Tab);
    QCoreApplication::sendPostedEvents(&Page(*sheet), QEvent::MetaCall);
    EXPECT_EQ(env.box.messages.size(), 1u) << "said once";
    EXPECT_EQ(Details(*sheet)[0], "third.mp4");
    Next(*sheet);
    EXPECT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(sheet->State().m_job.Request().mediaFiles, std::vector<std::string>{third});
}

TEST_F(PageSelectVideoTest, EnterInTheCompletionListTakesTheFileOrTheFolder) {
    env.sandbox.MakeFolder("media/clips");
    const std::string clip = Mp4("media/clip.mp4", 160, 120);
    auto sheet = test::ShownSheet();
    QCompleter* completer = PathBox(*sheet).completer();
    QAbstractItemView* list = completer->popup();
    // Shows the list for `typed` and makes `wanted` its current row (none when empty).
    const auto offer = [&](const std::string& typed, const std::string& wanted) {
        Type(*sheet, typed);
        // The folder is listed by a thread of its own; the bound only turns a hang into a
        // failure.
        for (int round = 0; completer->completionCount() < 2 && round < 1200; ++round) {
            QTest::qWait(50);
            completer->setCompletionPrefix(completer->completionPrefix());
        }
        completer->complete();
        list->setCurrentIndex(QModelIndex());
        for (int row = 0; !wanted.empty() && completer->setCurrentRow(row); ++row) {
            if (completer->currentCompletion() == ToQt(wanted)) {
                list->setCurrentIndex(completer->completionModel()->index(row, 0));
            }
        }
        ASSERT_TRUE(list->isVisible());
        ASSERT_EQ(list->currentIndex().isValid(), !wanted.empty());
    };

    offer(env.sandbox / "media/cli", env.sandbox / "media/clips");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(env.sandbox / "media/clips"));
    EXPECT_TRUE(env.box.messages.empty()) << "a folder is only a step";
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);

    offer(env.sandbox / "media/cli", clip);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(PathBox(*sheet).currentText(), ToQt(clip));
    EXPECT_EQ(Details(*sheet)[0], "clip.mp4");
    EXPECT_EQ(Details(*sheet)[5], "160 x 120");
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, clip);
    EXPECT_TRUE(Button(*sheet, "previewButton").isEnabled());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
    EXPECT_TRUE(env.box.messages.empty());

    // Nothing chosen in the list: Enter is the box's, which is Next with the typed file.
    offer(env.sandbox / "media/cli", "");
    PathBox(*sheet).setEditText(ToQt(clip));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(env.box.messages.empty());
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(sheet->State().m_job.Request().mediaFiles, std::vector<std::string>{clip});
}

}  // namespace
