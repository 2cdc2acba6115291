// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CHTML5Sheet.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/RecentList.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// Answers the folder choosers in place of the dialogs and records how they were asked.
struct FakeChoosers {
    std::optional<std::string> folder;
    std::string subFolder;
    int folderCalls = 0, subFolderCalls = 0;
    std::string root, title;

    CFolderChoosers Make() {
        return {[this](const std::string& initial, const std::string& t, QWidget*) {
                    ++folderCalls;
                    root = initial;
                    title = t;
                    return folder;
                },
                [this](const std::string& r, const std::string& t, QWidget*) {
                    ++subFolderCalls;
                    root = r;
                    title = t;
                    return subFolder;
                }};
    }
};

class HTML5SheetTest : public ::testing::Test {
protected:
    HTML5SheetTest() {
        COptions* options = COptions::Instance();
        options->m_strSiteRoot = "/old/site/";
        options->m_strJsPath = "/old-js/";
        options->m_strMediaPath = "/old-media/";
    }

    std::unique_ptr<CHTML5Sheet> Open() {
        auto sheet = std::make_unique<CHTML5Sheet>(nullptr, choosers.Make());
        sheet->show();
        return sheet;
    }
    template <typename T>
    static T* Find(CHTML5Sheet& sheet, const char* name) {
        T* widget = sheet.findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static QComboBox* SiteRoot(CHTML5Sheet& s) { return Find<QComboBox>(s, "siteRootBox"); }
    static QLineEdit* JsPath(CHTML5Sheet& s) { return Find<QLineEdit>(s, "jsPathEdit"); }
    static QLineEdit* MediaPath(CHTML5Sheet& s) { return Find<QLineEdit>(s, "mediaPathEdit"); }
    static void Click(CHTML5Sheet& s, const char* name) {
        QTest::mouseClick(Find<QToolButton>(s, name), Qt::LeftButton);
    }
    static void Ok(CHTML5Sheet& s) {
        QTest::mouseClick(s.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }
    static void Cancel(CHTML5Sheet& s) {
        QTest::mouseClick(s.Buttons()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    }
    // Replaces the box's text by typing, as the user does.
    static void Type(CHTML5Sheet& s, const QString& text) {
        QLineEdit* edit = SiteRoot(s)->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    test::Environment env;
    FakeChoosers choosers;
};

TEST_F(HTML5SheetTest, TypedSiteRootIsTrimmedGetsItsSlashAndResetsTheSubFolders) {
    const struct {
        const char* typed;
        const char* stored;
    } rows[] = {
        {"/d/site", "/d/site/"},
        {"  /d/site/  ", "/d/site/"},
        {"/", "/"},
        // An emptied box is no site root at all, not the whole file system.
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        COptions::Instance()->m_strSiteRoot = "/old/site/";
        auto sheet = Open();
        Type(*sheet, QString::fromUtf8(row.typed));
        EXPECT_EQ(JsPath(*sheet)->text(), "/");
        EXPECT_EQ(MediaPath(*sheet)->text(), "/");
        Ok(*sheet);
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(COptions::Instance()->m_strSiteRoot, row.stored);
        EXPECT_EQ(COptions::Instance()->m_strJsPath, "/");
        EXPECT_EQ(COptions::Instance()->m_strMediaPath, "/");
    }
}

TEST_F(HTML5SheetTest, ChosenSubFolderIsStoredRelativeToTheSiteRoot) {
    const std::string site = env.sandbox.MakeFolder("site");
    env.sandbox.MakeFolder("site/js");
    env.sandbox.MakeFolder("site/media/clips");
    env.sandbox.MakeFolder("site2/js");
    COptions::Instance()->m_strSiteRoot = site + "/";
    const struct {
        const char* name;
        std::string chosen;
        const char* relative;
    } rows[] = {
        {"a folder in the root", site + "/js", "/js/"},
        {"a deeper folder", site + "/media/clips", "/media/clips/"},
        {"the root itself", site, "/"},
        {"the root itself with its slash", site + "/", "/"},
        {"a sibling that only starts like the root", env.sandbox / "site2/js", "/old-js/"},
        {"cancelled", "", "/old-js/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto sheet = Open();
        choosers.subFolder = row.chosen;
        Click(*sheet, "browseJsPath");
        EXPECT_EQ(choosers.root, site + "/");
        EXPECT_EQ(choosers.title, LoadStringRes(IDS_SELECT_SUBFOLDER));
        EXPECT_EQ(JsPath(*sheet)->text(), QString::fromUtf8(row.relative));
        EXPECT_EQ(MediaPath(*sheet)->text(), "/old-media/");
        EXPECT_TRUE(env.box.messages.empty());
    }
    auto sheet = Open();
    choosers.subFolder = site + "/media";
    Click(*sheet, "browseMediaPath");
    EXPECT_EQ(MediaPath(*sheet)->text(), "/media/");
    EXPECT_EQ(JsPath(*sheet)->text(), "/old-js/");
    Ok(*sheet);
    EXPECT_EQ(COptions::Instance()->m_strMediaPath, "/media/");
    EXPECT_EQ(COptions::Instance()->m_strJsPath, "/old-js/");
    EXPECT_EQ(COptions::Instance()->m_strSiteRoot, site + "/");
}

TEST_F(HTML5SheetTest, SubFolderWithoutAUsableSiteRootShowsAMessageAndNoChooser) {
    const struct {
        const char* name;
        std::string root;
        std::string message;
    } rows[] = {
        {"empty site root", "", LoadStringRes(IDS_SITE_ROOT_EMPTY)},
        {"site root that does not exist", env.sandbox / "missing/",
         "Folder " + env.sandbox / "missing" + " does not exist."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        COptions::Instance()->m_strSiteRoot = row.root;
        env.box.messages.clear();
        auto sheet = Open();
        sheet->activateWindow();
        QCoreApplication::processEvents();
        ASSERT_TRUE(sheet->isActiveWindow());
        for (const char* button : {"browseJsPath", "browseMediaPath"}) {
            Click(*sheet, button);
        }
        EXPECT_EQ(choosers.subFolderCalls, 0);
        ASSERT_EQ(env.box.messages.size(), 2u);
        EXPECT_EQ(env.box.messages[0].text, row.message);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
        EXPECT_TRUE(SiteRoot(*sheet)->hasFocus());
        EXPECT_EQ(JsPath(*sheet)->text(), "/old-js/");
    }
}

TEST_F(HTML5SheetTest, BrowsedSiteRootMustTakeFiles) {
    const std::string site = env.sandbox.MakeFolder("my site");
    struct Row {
        const char* name;
        std::optional<std::string> chosen;
        bool refused;
        std::string stored;
    };
    const Row rows[] = {
        {"cancelled", std::nullopt, false, "/old/site/"},
        // Nobody, not even root, can create files there.
        {"a folder that takes no files", std::string("/proc"), true, "/old/site/"},
        {"a folder that is gone", env.sandbox / "gone", true, "/old/site/"},
        {"a writable folder", site, false, site + "/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        env.box.messages.clear();
        auto sheet = Open();
        choosers.folder = row.chosen;
        Click(*sheet, "browseSiteRoot");
        EXPECT_EQ(choosers.root, "/old/site/");
        EXPECT_EQ(choosers.title, LoadStringRes(IDS_SELECT_SITE_ROOT));
        if (row.refused) {
            ASSERT_EQ(env.box.messages.size(), 1u);
            EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
            EXPECT_EQ(env.box.messages[0].text,
                      "Cannot create files in the specified temporary folder \"" + *row.chosen +
                          "\". Please check if you have write permission to the folder.");
        } else {
            EXPECT_TRUE(env.box.messages.empty());
        }
        const bool changed = row.stored != "/old/site/";
        EXPECT_EQ(SiteRoot(*sheet)->currentText(), ToQt(changed ? row.stored : "/old/site/"));
        EXPECT_EQ(JsPath(*sheet)->text(), changed ? "/" : "/old-js/");
        Ok(*sheet);
        EXPECT_EQ(COptions::Instance()->m_strSiteRoot, row.stored);
    }
}

TEST_F(HTML5SheetTest, CancelAfterTypingStoresNothing) {
    auto sheet = Open();
    Type(*sheet, QStringLiteral("/d/elsewhere"));
    Cancel(*sheet);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(COptions::Instance()->m_strSiteRoot, "/old/site/");
    EXPECT_EQ(COptions::Instance()->m_strJsPath, "/old-js/");
    EXPECT_EQ(COptions::Instance()->m_strMediaPath, "/old-media/");
}

TEST_F(HTML5SheetTest, ReopeningShowsTheLastOkAndTheHistory) {
    const std::string first = env.sandbox.MakeFolder("first");
    const std::string second = env.sandbox.MakeFolder("second");
    env.sandbox.MakeFolder("second/js");
    env.store->WriteInt("Options", "HTML5 Page", 3);
    for (const std::string& root : {first, second}) {
        auto sheet = Open();
        choosers.folder = root;
        Click(*sheet, "browseSiteRoot");
        choosers.subFolder = root + "/js";
        Click(*sheet, "browseJsPath");
        Ok(*sheet);
    }
    // The sheet remembers the page it was on; it has one.
    EXPECT_EQ(env.store->GetInt("Options", "HTML5 Page", -1), 0);
    EXPECT_EQ(LoadRecentList(*env.store, "Publish/Site Root", false),
              (std::vector<std::string>{second + "/", first + "/"}));

    auto sheet = Open();
    EXPECT_EQ(SiteRoot(*sheet)->currentText(), ToQt(second + "/"));
    EXPECT_EQ(JsPath(*sheet)->text(), "/js/");
    EXPECT_EQ(MediaPath(*sheet)->text(), "/");
    QStringList history;
    for (int i = 0; i < SiteRoot(*sheet)->count(); ++i) {
        history << SiteRoot(*sheet)->itemText(i);
    }
    EXPECT_EQ(history, (QStringList{ToQt(second + "/"), ToQt(first + "/")}));

    // Picking an entry of the history makes it the site root.
    SiteRoot(*sheet)->setCurrentIndex(1);
    emit SiteRoot(*sheet)->activated(1);
    EXPECT_EQ(JsPath(*sheet)->text(), "/");
    Ok(*sheet);
    EXPECT_EQ(COptions::Instance()->m_strSiteRoot, first + "/");
}

TEST_F(HTML5SheetTest, ShowsItsTextsAndNothingIsCutOff) {
    COptions::Instance()->m_strSiteRoot = "/home/user/Sites/my web site/";
    COptions::Instance()->m_strJsPath = "/js/";
    COptions::Instance()->m_strMediaPath = "/medias/";
    auto sheet = Open();
    EXPECT_EQ(sheet->windowTitle(), "HTML5 Options");
    EXPECT_EQ(Find<QToolButton>(*sheet, "browseSiteRoot")->toolTip(), "Select site root folder");
    EXPECT_EQ(Find<QToolButton>(*sheet, "browseJsPath")->toolTip(),
              "Select resource subfolder relative to Site Root");
    EXPECT_EQ(Find<QToolButton>(*sheet, "browseMediaPath")->toolTip(),
              "Select resource subfolder relative to Site Root");
    EXPECT_EQ(test::CutOffWidgets(*sheet), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(*sheet, QStringLiteral("options-sheet")));
}

}  // namespace
