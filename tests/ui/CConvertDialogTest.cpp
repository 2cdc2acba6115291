// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CConvertDialog.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <csignal>

#include <fmt/printf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/HelpCommands.h"
#include "app/QtText.h"
#include "app/QuitOnStop.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "publish/CPublishJob.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/PublishFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CFileDialogEx.h"
#include "ui/CPageSelectVideo.h"
#include "ui/CPublishSheet.h"
#include "ui/CPublishedMediaDialog.h"

namespace {

namespace fs = std::filesystem;

// Calls `onShow` with the conversion dialog as it is shown: before its event loop delivers any
// progress.
class DialogWatch : public QObject {
public:
    explicit DialogWatch(std::function<void(CConvertDialog&)> onShow)
        : m_onShow(std::move(onShow)) {
        qApp->installEventFilter(this);
    }
    ~DialogWatch() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<CConvertDialog*>(object)) {
                ++shown;
                m_onShow(*dialog);
            }
        }
        return false;
    }

    int shown = 0;

private:
    std::function<void(CConvertDialog&)> m_onShow;
};

class ConvertDialogTest : public ::testing::Test {
protected:
    ConvertDialogTest() {
        work = env.sandbox.MakeFolder("work");
        COptions::Instance()->m_strWorkFolder = work;
    }

    // Types `path` into the media box and presses Next, as the user would.
    static void Choose(CPublishSheet& sheet, const std::string& path) {
        auto* page = sheet.page(CPublishSheet::kPageSelectVideo);
        QLineEdit* edit = page->findChild<QComboBox*>(QStringLiteral("mediaPathBox"))->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, ToQt(path));
        QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
    }
    std::string OfferFor(const std::string& path) const {
        return fmt::sprintf(LoadStringRes(IDS_CONVERT_OFFER), path,
                            PlanConversion(CPublishJob::CheckMedia(path).details).Describe());
    }
    // An AVI that needs encoding, long enough that ffmpeg is still at work when the test
    // cancels or stops it.
    static bool MakeLongFilm(const std::string& path) {
        return test::MakeMedia(path, 120, true, true,
                               {"-c:v", "mpeg4", "-q:v", "12", "-c:a", "mp2"}, 480, 270);
    }
    std::vector<std::string> WorkFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(work)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::Environment env;
    std::string work;
};

TEST_F(ConvertDialogTest, TheWindowAnswersWhileFfmpegRunsAndCancelLeavesNothing) {
    const std::string avi = env.sandbox / "camcorder tape.avi";
    ASSERT_TRUE(MakeLongFilm(avi));
    const std::string before = test::ReadFile(avi);
    auto sheet = test::ShownSheet();

    struct {
        CConvertDialog* dialog = nullptr;
        // Each report, and the bar's value when it was said to be shown.
        std::vector<int> percents, shown;
        int ticks = 0;
        int ticksWhileFfmpegRan = 0;
        bool ffmpegRanAtCancel = false;
        bool cancelDisabled = false;
        bool screenshot = false;
        QString timeLeft;
    } seen;
    // A timer of the wizard's own: it must keep firing while the conversion runs.
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        ++seen.ticks;
        if (seen.dialog && seen.dialog->Converter().GetRunningPid() > 0) {
            ++seen.ticksWhileFfmpegRan;
        }
    });
    heartbeat.start();

    // The dialog is modal: everything below happens inside its own event loop.
    DialogWatch watch([&](CConvertDialog& dialog) {
        seen.dialog = &dialog;
        QObject::connect(&dialog, &QObject::destroyed, [&seen] { seen.dialog = nullptr; });
        auto* bar = seen.dialog->findChild<QProgressBar*>(QStringLiteral("convertProgress"));
        auto* cancel = seen.dialog->findChild<QPushButton*>(QStringLiteral("cancelConvert"));
        auto* left = seen.dialog->findChild<QLabel*>(QStringLiteral("timeLeft"));
        QObject::connect(
            seen.dialog, &CConvertDialog::progressShown, seen.dialog, [=, &seen](int percent) {
                seen.percents.push_back(percent);
                seen.shown.push_back(bar->value());
                // Cancel once the progress has moved twice, the time left is known
                // and ffmpeg is still at work: the picture shows a conversion
                // half-way.
                if (seen.percents.size() < 3 || percent < 10 || !cancel->isEnabled() ||
                    seen.dialog->Converter().GetRunningPid() <= 0) {
                    return;
                }
                seen.timeLeft = left->text();
                seen.screenshot =
                    test::SaveScreenshot(*seen.dialog, QStringLiteral("convert-progress"));
                seen.ffmpegRanAtCancel = seen.dialog->Converter().GetRunningPid() > 0;
                QTest::mouseClick(cancel, Qt::LeftButton);
                seen.cancelDisabled = !cancel->isEnabled();
            });
    });
    env.box.answers = {IDYES};
    Choose(*sheet, avi);
    heartbeat.stop();

    ASSERT_EQ(watch.shown, 1);
    ASSERT_GE(seen.percents.size(), 3u) << "ffmpeg finished before the user could cancel";
    EXPECT_TRUE(seen.ffmpegRanAtCancel);
    EXPECT_TRUE(seen.cancelDisabled) << "Cancel is pressed once; ffmpeg is stopping";
    EXPECT_TRUE(seen.screenshot);
    EXPECT_GT(seen.ticksWhileFfmpegRan, 0) << seen.ticks << " ticks, none while ffmpeg ran";
    // The bar shows each report as it comes, and never goes back.
    EXPECT_EQ(seen.shown, seen.percents);
    EXPECT_TRUE(std::is_sorted(seen.percents.begin(), seen.percents.end()));
    EXPECT_GT(seen.percents.back(), seen.percents.front());
    EXPECT_LT(seen.percents.back(), 100);
    EXPECT_NE(seen.timeLeft.indexOf(QStringLiteral("left")), -1) << seen.timeLeft.toStdString();

    ASSERT_EQ(env.box.messages.size(), 2u);
    EXPECT_EQ(env.box.messages[0].text, OfferFor(avi));
    EXPECT_EQ(env.box.messages[1].text, fmt::sprintf(LoadStringRes(IDS_CONVERT_CANCELLED), avi));
    EXPECT_EQ(sheet->currentId(), CPublishSheet::kPageSelectVideo);
    EXPECT_TRUE(WorkFiles().empty()) << WorkFiles().front();
    EXPECT_EQ(test::ReadFile(avi), before);
    EXPECT_TRUE(sheet->State().m_job.Details().m_strPath.empty());
}

// SIGINT and SIGTERM are caught for the test's length and forgotten after it.
class StopSignalsCaught {
public:
    StopSignalsCaught() {
        sigaction(SIGINT, nullptr, &m_int);
        sigaction(SIGTERM, nullptr, &m_term);
    }
    ~StopSignalsCaught() {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
        ClearStopRequest();
    }

private:
    struct sigaction m_int {};
    struct sigaction m_term {};
};

// Once told to quit, Qt runs no event loop again in the process: one signal a test (SIGTERM in
// the dialog's test below).
TEST(QuitOnStopTest, EveryEventLoopReturnsWithTheSignal) {
    const StopSignalsCaught caught;
    CQuitOnStop quit;
    QEventLoop outer, inner;
    int innerCode = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { ::raise(SIGINT); });
        innerCode = inner.exec();
    });
    EXPECT_EQ(outer.exec(), 128 + SIGINT);
    EXPECT_EQ(innerCode, 128 + SIGINT);
    EXPECT_EQ(StopSignal(), SIGINT);
}

// A logout or a kill while ffmpeg works: the wizard ends without a question, and neither
// ffmpeg nor its file outlives it.
TEST_F(ConvertDialogTest, QuittingTheProgramMidwayLeavesNoFileAndNoFfmpeg) {
    const std::string avi = env.sandbox / "wedding.avi";
    ASSERT_TRUE(MakeLongFilm(avi));
    const std::string before = test::ReadFile(avi);
    // Worked out before the stop: once it is requested, every child the runner starts is ended.
    const std::string offer = OfferFor(avi);
    auto sheet = test::ShownSheet();
    const StopSignalsCaught caught;
    CQuitOnStop quit;
    pid_t ffmpeg = -1;
    bool fileMade = false;
    DialogWatch watch([&](CConvertDialog& dialog) {
        QObject::connect(&dialog, &CConvertDialog::progressShown, &dialog, [&](int percent) {
            if (ffmpeg > 0 || percent < 5 || dialog.Converter().GetRunningPid() <= 0) {
                return;
            }
            ffmpeg = dialog.Converter().GetRunningPid();
            fileMade = !WorkFiles().empty();
            ::raise(SIGTERM);
        });
    });
    env.box.answers = {IDYES};
    Choose(*sheet, avi);

    ASSERT_GT(ffmpeg, 0) << "ffmpeg finished before the program was stopped";
    EXPECT_TRUE(fileMade) << "nothing was written before the stop";
    EXPECT_EQ(StopSignal(), SIGTERM);
    // ffmpeg was ended and reaped by the runner: it is no child of ours any more.
    EXPECT_EQ(::waitpid(ffmpeg, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    ASSERT_EQ(env.box.messages.size(), 1u) << env.box.messages.back().text;
    EXPECT_EQ(env.box.messages[0].text, offer);
    EXPECT_TRUE(WorkFiles().empty()) << WorkFiles().front();
    EXPECT_EQ(test::ReadFile(avi), before);
    EXPECT_TRUE(sheet->State().m_job.Details().m_strPath.empty());
}

TEST_F(ConvertDialogTest, YesMakesTheCopyTheMediaOfTheJobUnderTheOriginalsTitle) {
    const std::string mov = env.sandbox / "Boat trip.mov";
    ASSERT_TRUE(test::MakeMedia(
        mov, 2, true, true,
        {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"}));
    const std::string before = test::ReadFile(mov);
    auto sheet = test::ShownSheet();
    std::vector<int> percents;
    DialogWatch watch([&](CConvertDialog& dialog) {
        QObject::connect(&dialog, &CConvertDialog::progressShown,
                         [&](int percent) { percents.push_back(percent); });
    });
    env.box.answers = {IDYES};
    Choose(*sheet, mov);

    ASSERT_EQ(env.box.messages.size(), 1u) << env.box.messages.back().text;
    EXPECT_EQ(env.box.messages[0].text, OfferFor(mov));
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    EXPECT_EQ(watch.shown, 1);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    const std::string copy = work + "/Boat trip.mp4";
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, copy);
    const PlayerRequest& request = sheet->State().m_job.Request();
    EXPECT_EQ(request.mediaFiles, std::vector<std::string>{copy});
    EXPECT_EQ(request.mediaTitle, "Boat trip");
    EXPECT_EQ(request.width, 320);
    EXPECT_EQ(request.height, 240);
    EXPECT_TRUE(IsRegularFile(copy));
    // The player page's poster preview may be there already; nothing of the conversion is.
    std::vector<std::string> made = WorkFiles();
    std::erase(made, ".~poster-moment.jpg");
    EXPECT_EQ(made, std::vector<std::string>{"Boat trip.mp4"});
    EXPECT_EQ(test::ReadFile(mov), before);
}

TEST_F(ConvertDialogTest, HelpConvertSavesTheCopyWhereAskedOffersItAndTellsTheTimeLeft) {
    const std::string mov = env.sandbox.MakeFolder("films") + "/Boat trip.mov";
    ASSERT_TRUE(test::MakeMedia(mov, 2, true, true, {"-c:v", "libx264", "-c:a", "aac"}));
    const std::string target = env.sandbox.MakeFolder("kept") + "/boat.mp4";
    auto sheet = test::ShownSheet();
    auto& page = *qobject_cast<CPageSelectVideo*>(sheet->page(CPublishSheet::kPageSelectVideo));
    std::vector<std::string> offered;
    page.SetFileDialogRunner([&](CFileDialogEx& dialog) {
        offered.push_back(FromQt(dialog.Dialog().selectedFiles().value(0)));
        dialog.Dialog().setOption(QFileDialog::DontUseNativeDialog);
        dialog.Dialog().open();
        dialog.Dialog().selectFile(ToQt(offered.size() == 1 ? mov : target));
        static_cast<QDialog&>(dialog.Dialog()).accept();
        return true;
    });
    env.box.answers = {IDYES};
    sheet->OnCommand(ID_HELP_CONVERTER);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1], env.sandbox / "films/Boat trip.mp4") << "the original's folder and title";
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, fmt::sprintf(LoadStringRes(IDS_CONVERT_SAVED), target));
    EXPECT_EQ(sheet->State().m_job.Details().m_strPath, target);
    EXPECT_EQ(page.findChild<QComboBox*>()->currentText(), ToQt(target));
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{});

    // The time left comes from the run, once it has gone on a while.
    CConvertDialog dialog(CPublishJob::CheckMedia(mov).details, work, nullptr);
    double now_s = 100;
    dialog.SetClock([&] { return now_s; });
    // At 101 s too early to tell; at 104 s a fifth took 4 s; at 108 s four fifths took 8 s.
    const int rows[][3] = {{101, 10, -1}, {104, 20, 16}, {108, 80, 2}};
    for (const auto& [at_s, percent, left_s] : rows) {
        now_s = at_s;
        dialog.ShowProgress({double(percent), 999});
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("timeLeft"))->text(),
                  ToQt(left_s < 0 ? LoadStringRes(IDS_CONVERT_ESTIMATING)
                                  : fmt::sprintf(LoadStringRes(IDS_CONVERT_PROGRESS), percent,
                                                 FormatTimeEstimate(left_s))));
    }
}

using SeveralQualitiesTest = test::PublishTest;
TEST_F(SeveralQualitiesTest, OneStreamForEveryPageAndNothingLeftOnCancel) {
    COptions::Instance()->m_bQualities = 1;
    COptions::Instance()->m_bVideoPoster = 0;
    std::vector<int> reports;
    DialogWatch watch([&](CConvertDialog& dialog) {
        reports.push_back(0);
        QObject::connect(&dialog, &CConvertDialog::progressShown, [&] { ++reports.back(); });
        if (reports.size() == 1) {
            static_cast<QDialog&>(dialog).reject();
        }
    });
    CPagePublishHTML& page = StartWizard(Video(), 0);
    BrowseTo(page, index);
    EXPECT_EQ(TakeMessages(),
              std::vector{fmt::sprintf(LoadStringRes(IDS_STREAM_FAILED), Video(),
                                       LoadStringRes(IDS_CONVERT_WORD_CANCELLED), index)});
    EXPECT_TRUE(fs::is_empty(COptions::Instance()->m_strWorkFolder));
    for (const auto& [path, playlist] : {std::pair{index, "\"medias/movie.hls/master.m3u8\""},
                                         std::pair{news, "\"../medias/movie.hls/master.m3u8\""}}) {
        BrowseTo(page, path);
        InsertAfterBody(page);
        env.box.answers = {IDYES};
        Finish();
        EXPECT_NE(test::ReadFile(path).find(playlist), std::string::npos);
    }
    EXPECT_GT(reports.at(1), 0);
    EXPECT_EQ(reports.at(2), 0) << "the second page reuses the stream";
    CPublishedMediaDialog published({site + "/", "/js/", "/medias/", ""});
    EXPECT_EQ(published.findChild<QTableWidget*>()->model()->index(1, 6).data(),
              "medias/movie.hls/");
}

}  // namespace
