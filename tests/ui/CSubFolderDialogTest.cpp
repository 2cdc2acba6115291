// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSubFolderDialog.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTreeWidget>

#include "app/QtText.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/FolderDialogs.h"

namespace {

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

TEST(SubFolderDialog, RootThatIsNoFolderGivesNothingWithoutADialog) {
    test::Sandbox sandbox;
    EXPECT_EQ(BrowseForSubFolder(sandbox / "missing", "Select", nullptr), "");
    EXPECT_EQ(BrowseForSubFolder(sandbox.Write("file", "x"), "Select", nullptr), "");
}

}  // namespace
