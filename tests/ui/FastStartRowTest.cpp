// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "tests/support/Mp4Files.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CElidedLabel.h"
#include "ui/CPageSelectVideo.h"
#include "ui/CPublishSheet.h"

namespace {

class FastStartRowTest : public ::testing::Test {
protected:
    FastStartRowTest() { COptions::Instance()->m_strWorkFolder = env.sandbox / "work"; }

    // Reads `media` as the user gets it read: typed, then Next, then back to see its details.
    static void Show(CPublishSheet& sheet, const std::string& media) {
        QLineEdit* edit = Page(sheet).findChild<QComboBox*>("mediaPathBox")->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, ToQt(media));
        QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
        ASSERT_EQ(sheet.currentId(), CPublishSheet::kPageSelectPlayer);
        QTest::mouseClick(sheet.button(QWizard::BackButton), Qt::LeftButton);
        ASSERT_EQ(sheet.currentId(), CPublishSheet::kPageSelectVideo);
    }
    static QWidget& Page(CPublishSheet& sheet) {
        return *sheet.page(CPublishSheet::kPageSelectVideo);
    }
    static std::string Row(CPublishSheet& sheet) {
        return FromQt(
            Page(sheet).findChild<CElidedLabel*>(QStringLiteral("fastStartText"))->FullText());
    }

    test::Environment env;
};

TEST_F(FastStartRowTest, SaysWhetherTheIndexComesFirstAndThatPublishingFixesIt) {
    env.sandbox.MakeFolder("in");
    const std::string last = env.sandbox / "in/phone.mp4";
    const std::string first = env.sandbox / "in/web.mp4";
    const std::string audio = env.sandbox / "in/tune.mp3";
    ASSERT_TRUE(test::MakeIndexLastMp4(last));
    ASSERT_TRUE(test::MakeMedia(first, 1, true, true,
                                {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                 "-c:a", "aac", "-movflags", "+faststart"}));
    ASSERT_TRUE(test::IndexFirst(first));
    ASSERT_TRUE(test::MakeMedia(audio, 1, false, true, {"-c:a", "libmp3lame"}));

    auto sheet = test::ShownSheet();
    QLabel* label = Page(*sheet).findChild<QLabel*>(QStringLiteral("fastStartLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(FromQt(label->text()), "Fast start:");

    Show(*sheet, last);
    EXPECT_EQ(Row(*sheet), "No \xE2\x80\x94 fixed when published");
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(*sheet, QStringLiteral("select-media-fast-start")));

    Show(*sheet, first);
    EXPECT_EQ(Row(*sheet), "Yes");

    // Only MP4 files have an index to move.
    Show(*sheet, audio);
    EXPECT_EQ(Row(*sheet), "-");

    Show(*sheet, last);
    EXPECT_EQ(Row(*sheet), "No \xE2\x80\x94 fixed when published");
}

}  // namespace
