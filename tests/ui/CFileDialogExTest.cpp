// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CFileDialogEx.h"

#include <string>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"

namespace {

const char* const kMediaFilter =
    "MP4 Video(*.mp4)|*.mp4|WebM Video(*.webm)|*.webm|Ogg Video(*.ogg)|*.ogg|MP3 "
    "Audio(*.mp3)|*.mp3|"
    "M4A Audio(*.m4a)|*.m4a|Oga Audio(*.oga)|*.oga|WAV Audio(*.wav)|*.wav|All Format(*.*)|*.*||";
const char* const kSection = "File Dialogs/Select an HTML5 Video or Audio";

TEST(FileDialogExFilters, BecomeQtFiltersWithTheirRealPatterns) {
    const struct {
        const char* name;
        std::string filter;
        QStringList expected;
    } rows[] = {
        {"media filter",
         kMediaFilter,
         {"MP4 Video (*.mp4)", "WebM Video (*.webm)", "Ogg Video (*.ogg)", "MP3 Audio (*.mp3)",
          "M4A Audio (*.m4a)", "Oga Audio (*.oga)", "WAV Audio (*.wav)", "All Format (*)"}},
        // The shown list of string 55 has a typo; what is matched comes from the pattern part.
        {"page filter with a list of patterns",
         LoadStringRes(IDS_PAGE_FILTER),
         {"HTML Files (*.htm *.html *.asp *.aspx *.pl *.jsp *.cfm *.ph?)", "All Files (*)"}},
        {"description without patterns", "Text|*.txt||", {"Text (*.txt)"}},
        {"no closing bars", "Pages (*.htm)|*.htm", {"Pages (*.htm)"}},
        {"blanks and empty patterns", "Media| *.mp4 ;; *.webm ||", {"Media (*.mp4 *.webm)"}},
        {"nothing after the end", "A(*.a)|*.a||B(*.b)|*.b||", {"A (*.a)"}},
        {"empty", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CFileDialogEx::ToQtFilters(row.filter), row.expected);
    }
}

class FileDialogExTest : public ::testing::Test {
protected:
    test::Environment env;
};

TEST_F(FileDialogExTest, OpensWithTheRememberedFilterAndFolder) {
    const std::string folder = env.sandbox.MakeFolder("my media");
    const QStringList filters = CFileDialogEx::ToQtFilters(kMediaFilter);
    const struct {
        const char* name;
        int index;
        std::string lastPath;
        QString filter;
        bool inFolder;  // else the dialog starts wherever Qt would
    } rows[] = {
        {"both remembered", 3, folder, filters[2], true},
        {"nothing remembered", 0, "", filters[0], false},
        {"index out of range, folder gone", 99, env.sandbox / "gone", filters[0], false},
        {"negative index", -1, folder, filters[0], true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        env.store->WriteInt(kSection, "Filter Index", row.index);
        env.store->WriteString(kSection, "Last Path", row.lastPath);
        CFileDialogEx dialog(LoadStringRes(IDS_SELECT_MEDIA_DIALOG), kMediaFilter, true, nullptr);
        EXPECT_EQ(dialog.Dialog().windowTitle(), "Select an HTML5 Video or Audio");
        EXPECT_EQ(dialog.Dialog().nameFilters(), filters);
        EXPECT_EQ(dialog.Dialog().selectedNameFilter(), row.filter);
        const QString start = dialog.Dialog().directory().absolutePath();
        if (row.inFolder) {
            EXPECT_EQ(start, ToQt(folder));
        }
        EXPECT_NE(start, ToQt(env.sandbox / "gone"));
    }
}

TEST_F(FileDialogExTest, ChosenFileIsRememberedAndCancelStoresNothing) {
    const std::string clip = env.sandbox.Write("media/sub/clip.webm", "not really a video");
    const QStringList filters = CFileDialogEx::ToQtFilters(kMediaFilter);
    {
        CFileDialogEx dialog(LoadStringRes(IDS_SELECT_MEDIA_DIALOG), kMediaFilter, true, nullptr);
        dialog.Dialog().setOption(QFileDialog::DontUseNativeDialog);
        dialog.Dialog().open();
        dialog.Dialog().reject();
        EXPECT_FALSE(env.store->Has(kSection, "Filter Index"));
        EXPECT_FALSE(env.store->Has(kSection, "Last Path"));
    }
    CFileDialogEx dialog(LoadStringRes(IDS_SELECT_MEDIA_DIALOG), kMediaFilter, true, nullptr);
    dialog.Dialog().setOption(QFileDialog::DontUseNativeDialog);
    dialog.Dialog().open();
    dialog.Dialog().selectNameFilter(filters[1]);
    dialog.Dialog().selectFile(ToQt(clip));
    static_cast<QDialog&>(dialog.Dialog()).accept();  // the Open button
    EXPECT_EQ(dialog.GetPathName(), clip);
    EXPECT_EQ(env.store->GetInt(kSection, "Filter Index", -1), 2);
    EXPECT_EQ(env.store->GetString(kSection, "Last Path", "?"), env.sandbox / "media/sub");
}

TEST_F(FileDialogExTest, StartBelowOpensAtTheRootUnlessTheLastFolderIsInside) {
    const std::string root = env.sandbox.MakeFolder("site");
    const std::string inside = env.sandbox.MakeFolder("site/news");
    const std::string outside = env.sandbox.MakeFolder("elsewhere");
    const std::string lookalike = env.sandbox.MakeFolder("site-old");
    const struct {
        const char* name;
        std::string lastPath;
        std::string root;
        std::string start;
    } rows[] = {
        {"nothing remembered", "", root + "/", root},
        {"last folder inside the root", inside, root + "/", inside},
        {"last folder is the root", root, root, root},
        {"last folder outside", outside, root + "/", root},
        {"a folder whose name only begins like the root", lookalike, root, root},
        {"the root is missing", outside, env.sandbox / "gone/", outside},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        env.store->WriteString(kSection, "Last Path", row.lastPath);
        CFileDialogEx dialog(LoadStringRes(IDS_SELECT_MEDIA_DIALOG), kMediaFilter, true, nullptr);
        dialog.StartBelow(row.root);
        EXPECT_EQ(dialog.Dialog().directory().absolutePath(), ToQt(row.start));
    }
}

}  // namespace
