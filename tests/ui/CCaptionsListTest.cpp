// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CCaptionsList.h"

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CFileDialogEx.h"
#include "ui/CPageSelectPlayer.h"
#include "ui/CPublishSheet.h"

namespace {

class CaptionsListTest : public ::testing::Test {
protected:
    CaptionsListTest() {
        video = env.sandbox / "in/clip.mp4";
        audio = env.sandbox / "in/song.mp3";
        env.sandbox.MakeFolder("in");
        EXPECT_TRUE(test::MakeMedia(
            video, 1, true, true,
            {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"}));
        EXPECT_TRUE(test::MakeMedia(audio, 1, false, true, {"-c:a", "libmp3lame"}));
        env.sandbox.Write("in/clip.en.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\nHello\n");
        env.sandbox.Write("in/song.vtt", "WEBVTT\n");
        COptions::Instance()->m_strWorkFolder = env.sandbox / "work";
    }

    static QWidget& Page(CPublishSheet& sheet) {
        return *sheet.page(CPublishSheet::kPageSelectPlayer);
    }
    static QPushButton& Button(CPublishSheet& sheet) {
        return *Page(sheet).findChild<QPushButton*>(QStringLiteral("captionsButton"));
    }
    // Clicks the page's Captions button and runs `inside` on the dialog it opens, then closes it.
    static void InDialog(CPublishSheet& sheet, const std::function<void(QWidget&)>& inside) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog && dialog->objectName() == "captionsDialog") {
                ran = true;
                inside(*dialog);
                dialog->close();
            }
        });
        QTest::mouseClick(&Button(sheet), Qt::LeftButton);
        EXPECT_TRUE(ran) << "no captions dialog";
    }
    static CCaptionsList& List(QWidget& dialog) {
        return *dialog.findChild<CCaptionsList*>(QStringLiteral("captionsList"));
    }
    static QTableWidget& Table(QWidget& dialog) {
        return *dialog.findChild<QTableWidget*>(QStringLiteral("captionsTable"));
    }
    static QStringList Rows(QWidget& dialog) {
        QStringList rows;
        QTableWidget& table = Table(dialog);
        for (int i = 0; i < table.rowCount(); ++i) {
            rows << table.item(i, 0)->text() + "|" + table.item(i, 1)->text() + "|" +
                        table.item(i, 2)->text();
        }
        return rows;
    }
    // What a finished cell edit does: the new text lands in the item.
    static void Edit(QWidget& dialog, int row, int column, const QString& text) {
        QTableWidget& table = Table(dialog);
        ASSERT_TRUE(table.item(row, column)->flags() & Qt::ItemIsEditable);
        table.setCurrentCell(row, column);
        table.item(row, column)->setText(text);
    }

    test::Environment env;
    std::string video, audio;
};

TEST_F(CaptionsListTest, FoundAddedEditedAndRemoved) {
    auto sheet = test::ShownSheet();
    test::EnterMedia(*sheet, video);
    CPublishJob& job = sheet->State().m_job;
    ASSERT_TRUE(Button(*sheet).isVisible());
    EXPECT_EQ(Button(*sheet).text(), "Ca&ptions (1)...") << "found beside the video";

    const std::string french = env.sandbox.Write(
        "other/sous-titres.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nD\xE9j\xE0 vu\r\n");
    const QString quebec = QString::fromUtf8(
        "Fran\xC3\xA7"
        "ais (Qu\xC3\xA9"
        "bec)");
    InDialog(*sheet, [&](QWidget& dialog) {
        EXPECT_EQ(Rows(dialog), QStringList{"clip.en.vtt|en|English"});
        // Add, through the file dialog, a SubRip file in windows-1252 named without a language.
        QStringList filters;
        List(dialog).SetFileDialogRunnerForTesting([&](CFileDialogEx& files) {
            QFileDialog& box = files.Dialog();
            filters = box.nameFilters();
            box.setOption(QFileDialog::DontUseNativeDialog);
            box.open();
            box.selectFile(ToQt(french));
            static_cast<QDialog&>(box).accept();
            return true;
        });
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("captionsAdd")),
                          Qt::LeftButton);
        EXPECT_EQ(filters.value(0), "Captions (*.vtt *.srt)");
        EXPECT_EQ(Rows(dialog),
                  (QStringList{"clip.en.vtt|en|English", "sous-titres.srt||Captions"}));
        ASSERT_EQ(job.Captions().size(), 2u);
        EXPECT_EQ(test::ReadFile(job.Captions()[1].file),
                  "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nD\xC3\xA9j\xC3\xA0 vu\n");

        // The language derives the label until the user writes one.
        Edit(dialog, 1, 1, "fr");
        EXPECT_EQ(Rows(dialog)[1], "sous-titres.srt|fr|French");
        EXPECT_EQ(GetPathFileName(job.Captions()[1].file), "clip.fr.vtt");
        Edit(dialog, 1, 2, quebec);
        Edit(dialog, 1, 1, "fr-CA");
        EXPECT_EQ(Rows(dialog)[1], "sous-titres.srt|fr-CA|" + quebec);
        EXPECT_TRUE(env.box.messages.empty());
        Edit(dialog, 1, 1, "not a tag");
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_NE(env.box.messages[0].text.find("\"not a tag\" is not a language tag"),
                  std::string::npos);
        EXPECT_EQ(job.Captions()[1].language, "fr-CA") << "a wrong tag changes nothing";
        EXPECT_EQ(Rows(dialog)[1].section('|', 1, 1), "fr-CA");
        EXPECT_TRUE(test::SaveScreenshot(dialog, QStringLiteral("select-player-captions")));

        // A file that is not captions is refused with the line that is wrong.
        env.box.messages.clear();
        EXPECT_FALSE(List(dialog).AddFile(env.sandbox.Write("bad.srt", "1\nno time here\n")));
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_NE(env.box.messages[0].text.find("Line 2:"), std::string::npos)
            << env.box.messages[0].text;
        EXPECT_EQ(Table(dialog).rowCount(), 2);

        QPushButton& remove = *dialog.findChild<QPushButton*>(QStringLiteral("captionsRemove"));
        Table(dialog).selectRow(0);
        ASSERT_TRUE(remove.isEnabled());
        QTest::mouseClick(&remove, Qt::LeftButton);
        EXPECT_EQ(Rows(dialog), QStringList{"sous-titres.srt|fr-CA|" + quebec});
    });
    EXPECT_EQ(job.Captions().size(), 1u);
    EXPECT_EQ(Button(*sheet).text(), "Ca&ptions (1)...");

    // Back and forth on the same video keeps the list; audio shows no button.
    test::EnterMedia(*sheet, video);
    EXPECT_EQ(job.Captions().size(), 1u);
    test::EnterMedia(*sheet, audio);
    EXPECT_FALSE(Button(*sheet).isVisible());
    EXPECT_TRUE(job.Captions().empty());
}

}  // namespace
