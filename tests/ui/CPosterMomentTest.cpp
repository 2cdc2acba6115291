// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPosterMoment.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <fmt/printf.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CPublishSheet.h"

namespace {

// Runs the event loop until `done`; it blocks while nothing happens, so there is no time limit to
// miss on a slow machine.
void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

class PosterMomentTest : public ::testing::Test {
protected:
    PosterMomentTest() {
        env.sandbox.MakeFolder("in");
        video = env.sandbox / "in/fade-in.mp4";
        // Black for the first 1.5 seconds, as edited video often begins, then a test picture.
        EXPECT_EQ(test::Run({"ffmpeg",
                             "-nostdin",
                             "-v",
                             "error",
                             "-f",
                             "lavfi",
                             "-i",
                             "color=black:size=320x240:rate=25:duration=1.5",
                             "-f",
                             "lavfi",
                             "-i",
                             "testsrc=size=320x240:rate=25:duration=2",
                             "-filter_complex",
                             "[0:v][1:v]concat=n=2:v=1:a=0",
                             "-c:v",
                             "libx264",
                             "-preset",
                             "ultrafast",
                             "-pix_fmt",
                             "yuv420p",
                             video}),
                  0);
        COptions* options = COptions::Instance();
        options->m_strWorkFolder = env.sandbox / "work";
        options->m_bVideoPoster = 1;
    }
    ~PosterMomentTest() override {
        if (m_bHomeSet) {
            if (m_strSavedHome) {
                ::setenv("DEDE5_VARODO_HOME", m_strSavedHome->c_str(), 1);
            } else {
                ::unsetenv("DEDE5_VARODO_HOME");
            }
        }
    }

    template <typename T>
    static T& Find(CPublishSheet& sheet, const char* name) {
        T* widget =
            sheet.page(CPublishSheet::kPageSelectPlayer)->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return *widget;
    }
    static CPosterMoment& Moment(CPublishSheet& sheet) {
        return Find<CPosterMoment>(sheet, "posterMoment");
    }
    // Counts the pictures the page shows from now on.
    void Watch(CPublishSheet& sheet) {
        QObject::connect(&Moment(sheet), &CPosterMoment::pictureShown, [this] { ++m_nShown; });
    }
    // Waits for the next picture the page shows, which must be that of `seconds`: one of an
    // earlier moment is never shown once another is chosen.
    void WaitForPicture(CPublishSheet& sheet, double seconds) {
        RunUntil([&] { return m_nShown > m_nWaited; });
        ++m_nWaited;
        const std::optional<double> shown = Moment(sheet).ShownMoment();
        ASSERT_TRUE(shown.has_value());
        EXPECT_NEAR(*shown, seconds, 0.05);
    }
    static bool HasPicture(CPublishSheet& sheet) {
        const QPixmap picture = Find<QLabel>(sheet, "posterPicture").pixmap();
        return !picture.isNull() && picture.width() > 0;
    }

    // Puts an ffmpeg in the installation that says it started, then waits for the test's word
    // before it does its work: a picture cannot be taken while the test holds it back.
    void HoldBackFfmpeg() {
        const std::string install = env.sandbox.MakeFolder("install");
        const std::string real = FindOnPath("ffmpeg");
        ASSERT_FALSE(real.empty());
        ASSERT_EQ(::mkfifo((env.sandbox / "gate").c_str(), 0600), 0);
        // Only the first run waits; the time limit only ends a test that would otherwise never
        // end, passing never waits for it.
        const std::string started = env.sandbox / "started";
        const std::string script = fmt::format(
            "#!/bin/sh\n"
            "if [ ! -e '{0}' ]; then\n"
            "  : > '{0}'\n"
            "  timeout 300 sh -c 'read line < \"$0\"' '{1}'\n"
            "fi\n"
            "exec '{2}' \"$@\"\n",
            started, env.sandbox / "gate", real);
        const std::string fake = env.sandbox.Write("install/encoder/ffmpeg", script);
        ASSERT_EQ(::chmod(fake.c_str(), 0755), 0);
        const char* saved = std::getenv("DEDE5_VARODO_HOME");
        if (saved) {
            m_strSavedHome = saved;
        }
        m_bHomeSet = true;
        ::setenv("DEDE5_VARODO_HOME", install.c_str(), 1);
    }
    // Lets the held-back ffmpeg run.
    void LetFfmpegGo() {
        const int gate = ::open((env.sandbox / "gate").c_str(), O_WRONLY);
        ASSERT_GE(gate, 0);
        ASSERT_EQ(::write(gate, "go\n", 3), 3);
        ::close(gate);
    }

    test::Environment env;
    std::string video;
    std::optional<std::string> m_strSavedHome;
    bool m_bHomeSet = false;
    int m_nShown = 0, m_nWaited = 0;
};

TEST_F(PosterMomentTest, SliderAndTimeBoxSetTheMomentAndThePictureFollows) {
    auto sheet = test::ShownSheet();
    Watch(*sheet);
    test::EnterMedia(*sheet, video);
    CPublishJob& job = sheet->State().m_job;
    CPosterMoment& moment = Moment(*sheet);
    QSlider& slider = Find<QSlider>(*sheet, "posterSlider");
    QDoubleSpinBox& time = Find<QDoubleSpinBox>(*sheet, "posterTime");
    ASSERT_TRUE(moment.isVisible());
    EXPECT_EQ(job.PosterTime(), 0.0);
    EXPECT_DOUBLE_EQ(time.maximum(), 3.4) << "up to the last tenth that holds a frame";
    EXPECT_EQ(slider.maximum(), 34);
    WaitForPicture(*sheet, 0);
    EXPECT_TRUE(HasPicture(*sheet));

    // The slider sets the moment in tenths, the time box follows, and the picture comes after.
    slider.setValue(25);
    EXPECT_DOUBLE_EQ(time.value(), 2.5);
    ASSERT_DOUBLE_EQ(job.PosterTime(), 2.5);
    WaitForPicture(*sheet, 2.5);
    EXPECT_TRUE(HasPicture(*sheet));

    // The time box moves the slider.
    time.setValue(1.7);
    EXPECT_EQ(slider.value(), 17);
    ASSERT_DOUBLE_EQ(job.PosterTime(), 1.7);
    WaitForPicture(*sheet, 1.7);

    // The moment is remembered for this video; another video starts from the first second.
    const std::string other = env.sandbox.Write("in/other.mp4", test::ReadFile(video));
    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    test::EnterMedia(*sheet, other);
    EXPECT_EQ(time.value(), 0.0);
    ASSERT_EQ(job.PosterTime(), 0.0);
    WaitForPicture(*sheet, 0);
    QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
    test::EnterMedia(*sheet, video);
    EXPECT_DOUBLE_EQ(time.value(), 1.7);
    ASSERT_DOUBLE_EQ(job.PosterTime(), 1.7);
    WaitForPicture(*sheet, 1.7);
}

TEST_F(PosterMomentTest, ANearlyBlackFirstFrameOffersALaterMomentThatItsButtonApplies) {
    auto sheet = test::ShownSheet();
    Watch(*sheet);
    test::EnterMedia(*sheet, video);
    CPublishJob& job = sheet->State().m_job;
    CPosterMoment& moment = Moment(*sheet);
    WaitForPicture(*sheet, 0);
    QLabel& note = Find<QLabel>(*sheet, "posterDarkNote");
    QPushButton& use = Find<QPushButton>(*sheet, "posterUseSuggested");
    ASSERT_TRUE(moment.SuggestedMoment().has_value());
    const double later = *moment.SuggestedMoment();
    EXPECT_GE(later, 1.5) << "the black part has nothing brighter";
    EXPECT_LT(later, 3.5);
    ASSERT_TRUE(note.isVisible());
    ASSERT_TRUE(use.isVisible());
    auto& time = Find<QDoubleSpinBox>(*sheet, "posterTime");
    QWidget* next = time.nextInFocusChain();
    while (next->parentWidget() == &time) {
        next = next->nextInFocusChain();
    }
    EXPECT_EQ(next, &Find<QSlider>(*sheet, "posterSlider")) << "Tab order";
    const std::string laterText = fmt::sprintf("%.1f", later);
    EXPECT_EQ(FromQt(note.text()), fmt::sprintf(LoadStringRes(IDS_POSTER_DARK), "0.0", laterText));
    EXPECT_EQ(FromQt(use.text()), fmt::sprintf(LoadStringRes(IDS_POSTER_USE_SUGGESTED), laterText));
    EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(*sheet, QStringLiteral("select-player-poster-moment")));
    EXPECT_EQ(job.PosterTime(), 0.0) << "only offered, not taken";

    QTest::mouseClick(&use, Qt::LeftButton);
    ASSERT_NEAR(job.PosterTime(), later, 0.05);
    EXPECT_NEAR(time.value(), later, 0.05);
    WaitForPicture(*sheet, later);
    EXPECT_TRUE(HasPicture(*sheet));
    EXPECT_FALSE(note.isVisible()) << "the user's own moment gets no note";
    EXPECT_FALSE(use.isVisible());
}

TEST_F(PosterMomentTest, ThePictureIsTakenWhileThePageGoesOnAnsweringTheUser) {
    HoldBackFfmpeg();
    QFileSystemWatcher watcher({ToQt(env.sandbox.path())});
    auto sheet = test::ShownSheet();
    Watch(*sheet);
    test::EnterMedia(*sheet, video);
    CPublishJob& job = sheet->State().m_job;
    CPosterMoment& moment = Moment(*sheet);

    // ffmpeg is running for the first picture and cannot finish; had the page waited for it, it
    // would only get here after the time limit, with the picture already there.
    RunUntil([&] { return PathExists(env.sandbox / "started"); });
    ASSERT_FALSE(moment.ShownMoment().has_value()) << "the page waited for ffmpeg";
    Find<QDoubleSpinBox>(*sheet, "posterTime").setValue(2.0);
    EXPECT_EQ(Find<QSlider>(*sheet, "posterSlider").value(), 20);
    ASSERT_DOUBLE_EQ(job.PosterTime(), 2.0);

    // The first picture is out of date once it comes; the one for the new moment is shown.
    LetFfmpegGo();
    WaitForPicture(*sheet, 2.0);
    EXPECT_EQ(m_nShown, 1);
    EXPECT_TRUE(HasPicture(*sheet));
}

}  // namespace
