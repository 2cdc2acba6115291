// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSubFolderDialog.h"

#include <cerrno>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/QtText.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/FolderDialogs.h"

namespace {

// The name editor open in the tree, if any.
QLineEdit* Editor(QTreeWidget* tree) {
    for (QLineEdit* edit : tree->viewport()->findChildren<QLineEdit*>()) {
        if (edit->isVisible()) {
            return edit;
        }
    }
    return nullptr;
}

QStringList Children(const QTreeWidgetItem* item) {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i) {
        names << item->child(i)->text(0);
    }
    return names;
}

TEST(SubFolderDialog, CannotLeaveItsRoot) {
    test::Sandbox sandbox;
    const std::string root = sandbox.MakeFolder("site");
    sandbox.MakeFolder("site/js");
    sandbox.MakeFolder("site/Media/posters");
    sandbox.Write("site/index.htm", "<html></html>");
    sandbox.MakeFolder("site2/js");

    CSubFolderDialog dialog(root + "/", QStringLiteral("Select"));
    dialog.show();
    QTreeWidget* tree = dialog.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), ToQt(root));
    EXPECT_EQ(Children(tree->topLevelItem(0)), (QStringList{"js", "Media"}));
    EXPECT_EQ(dialog.SelectedFolder(), root);

    const struct {
        const char* name;
        std::string folder;
        bool selectable;
    } rows[] = {
        {"a folder below the root", root + "/Media/posters", true},
        {"with a trailing slash", root + "/js/", true},
        {"the root itself", root, true},
        {"a sibling that starts like the root", sandbox / "site2/js", false},
        {"the root's parent", sandbox.path(), false},
        {"the file system root", "/", false},
        {"a way out through ..", root + "/../site2", false},
        {"a folder that does not exist", root + "/missing", false},
        {"a file", root + "/index.htm", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string before = dialog.SelectedFolder();
        EXPECT_EQ(dialog.SelectFolder(row.folder), row.selectable);
        EXPECT_EQ(dialog.SelectedFolder(), row.selectable ? RemoveBackslash(row.folder) : before);
        EXPECT_EQ(tree->topLevelItemCount(), 1);
    }
    dialog.SelectFolder(root + "/Media/posters");
    EXPECT_EQ(test::CutOffWidgets(dialog), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(dialog, QStringLiteral("subfolder-chooser")));
}

TEST(SubFolderDialog, NewFolderIsMadeInTheSelectedFolderAndNamedInPlace) {
    test::Environment env;
    const std::string root = env.sandbox.MakeFolder("site");
    env.sandbox.MakeFolder("site/media");
    CSubFolderDialog dialog(root, QStringLiteral("Select"));
    dialog.show();
    // Editors take the focus only in the active window.
    dialog.activateWindow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(dialog.isActiveWindow());
    QTreeWidget* tree = dialog.Tree();

    // In the root, twice: the second name does not take the first one's place.
    QTest::mouseClick(dialog.NewFolderButton(), Qt::LeftButton);
    EXPECT_TRUE(IsFolder(root + "/New Folder"));
    EXPECT_EQ(dialog.SelectedFolder(), root + "/New Folder");
    // The new name is open for typing at once.
    QLineEdit* editor = Editor(tree);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "New Folder");
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("js"));
    QTest::keyClick(editor, Qt::Key_Return);
    // The view takes the typed name once the key is handled.
    QCoreApplication::processEvents();
    EXPECT_TRUE(IsFolder(root + "/js"));
    EXPECT_FALSE(PathExists(root + "/New Folder"));
    EXPECT_EQ(dialog.SelectedFolder(), root + "/js");

    ASSERT_TRUE(dialog.SelectFolder(root));
    dialog.OnNewFolder();
    dialog.OnNewFolder();
    EXPECT_TRUE(IsFolder(root + "/New Folder"));
    EXPECT_EQ(dialog.SelectedFolder(), root + "/New Folder/New Folder");
    ASSERT_TRUE(dialog.SelectFolder(root));
    dialog.OnNewFolder();
    EXPECT_EQ(dialog.SelectedFolder(), root + "/New Folder (2)");

    // Inside a folder below the root.
    ASSERT_TRUE(dialog.SelectFolder(root + "/media"));
    dialog.OnNewFolder();
    EXPECT_TRUE(IsFolder(root + "/media/New Folder"));
    EXPECT_EQ(dialog.SelectedFolder(), root + "/media/New Folder");
    EXPECT_EQ(tree->topLevelItemCount(), 1);

    // A folder that went away meanwhile: the user is told why.
    ASSERT_TRUE(dialog.SelectFolder(root + "/media/New Folder"));
    ASSERT_EQ(::rmdir((root + "/media/New Folder").c_str()), 0);
    dialog.OnNewFolder();
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, "Cannot create a folder in '" + root +
                                            "/media/New Folder':\n" + GetErrorText(ENOENT));
}

TEST(SubFolderDialog, F2RenamesOnDiskAndRefusesWhatWouldHarm) {
    test::Environment env;
    const std::string root = env.sandbox.MakeFolder("site");
    env.sandbox.MakeFolder("site/scripts/vendor");
    env.sandbox.MakeFolder("site/media");
    CSubFolderDialog dialog(root, QStringLiteral("Select"));
    dialog.show();
    // Editors take the focus only in the active window.
    dialog.activateWindow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(dialog.isActiveWindow());
    QTreeWidget* tree = dialog.Tree();
    const auto rename = [&](const std::string& folder, const QString& name) {
        EXPECT_TRUE(dialog.SelectFolder(folder));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F2);
        QLineEdit* editor = Editor(tree);
        EXPECT_NE(editor, nullptr);
        if (!editor) {
            return;
        }
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, name);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    };

    // The folder below moves with it: choosing it afterwards gives the new path.
    rename(root + "/scripts/vendor", "lib");
    rename(root + "/scripts", "js");
    EXPECT_TRUE(IsFolder(root + "/js/lib"));
    EXPECT_FALSE(PathExists(root + "/scripts"));
    EXPECT_TRUE(dialog.SelectFolder(root + "/js/lib"));
    EXPECT_EQ(dialog.SelectedFolder(), root + "/js/lib");
    EXPECT_TRUE(env.box.messages.empty());

    const struct {
        const char* name;
        QString typed;
        std::string reason;
    } refused[] = {
        {"onto another folder", "js", GetErrorText(EEXIST)},
        {"with a slash", "a/b", LoadStringRes(IDS_BAD_FOLDER_NAME)},
        {"up a level", "..", LoadStringRes(IDS_BAD_FOLDER_NAME)},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        env.box.messages.clear();
        rename(root + "/media", row.typed);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text, "Cannot rename the folder '" + root + "/media' to '" +
                                                FromQt(row.typed) + "':\n" + row.reason);
        EXPECT_TRUE(IsFolder(root + "/media"));
        EXPECT_EQ(dialog.SelectedFolder(), root + "/media");
        EXPECT_EQ(tree->currentItem()->text(0), "media");
    }
    EXPECT_TRUE(IsFolder(root + "/js/lib"));

    // The root keeps its name: F2 opens no editor there.
    ASSERT_TRUE(dialog.SelectFolder(root));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    EXPECT_EQ(Editor(tree), nullptr);
}

TEST(SubFolderDialog, RootThatIsNoFolderGivesNothingWithoutADialog) {
    test::Sandbox sandbox;
    EXPECT_EQ(BrowseForSubFolder(sandbox / "missing", "Select", nullptr), "");
    EXPECT_EQ(BrowseForSubFolder(sandbox.Write("file", "x"), "Select", nullptr), "");
}

}  // namespace
