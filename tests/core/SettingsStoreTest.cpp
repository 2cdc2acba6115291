// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SettingsStore.h"

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/RecentList.h"
#include "tests/support/Sandbox.h"

namespace {

TEST(SettingsStore, WrongTypesAndAbsentValuesGiveDefaults) {
    CMemorySettingsStore store;
    store.WriteString("Options", "Run Times", "seven");
    store.WriteString("Options", "Bit Depth", " 12 ");
    store.WriteString("Options", "Frames Convert", "4294967295");
    EXPECT_EQ(store.GetInt("Options", "Run Times", 3), 3);
    EXPECT_EQ(store.GetInt("Options", "Bit Depth", 1), 12);
    EXPECT_EQ(store.GetInt("Options", "Frames Convert", 0), -1) << "a DWORD read back as int";
    EXPECT_EQ(store.GetInt("Options", "Absent", 42), 42);
    EXPECT_EQ(store.GetString("Options", "Absent", "dflt"), "dflt");
}

TEST(SettingsStore, SectionNamesAreExact) {
    CMemorySettingsStore store;
    store.WriteInt("Options ", "Publish Actions", 5);
    EXPECT_EQ(store.GetInt("Options", "Publish Actions", 1), 1);
    EXPECT_EQ(store.GetInt("Options ", "Publish Actions", 1), 5);
}

TEST(SettingsStore, DeleteSectionTakesSubSectionsButNotNeighbours) {
    CMemorySettingsStore store;
    store.WriteString("Publish/HTML_Files", "#0", "/a.htm");
    store.WriteString("Publish/HTML_Files/Deeper", "x", "y");
    store.WriteString("Publish/HTML_Files2", "#0", "/keep.htm");
    store.WriteString("Publish", "Top", "keep");
    store.DeleteSection("Publish/HTML_Files");
    EXPECT_FALSE(store.Has("Publish/HTML_Files", "#0"));
    EXPECT_FALSE(store.Has("Publish/HTML_Files/Deeper", "x"));
    EXPECT_TRUE(store.Has("Publish/HTML_Files2", "#0"));
    EXPECT_TRUE(store.Has("Publish", "Top"));
}

TEST(RecentList, LoadSkipsEmptyAndMissingAndStopsAtSixteen) {
    test::Sandbox box;
    CMemorySettingsStore store;
    const std::string a = box.Write("a.mp4", "a");
    const std::string b = box.Write("b.mp4", "b");
    store.WriteInt("Publish/HTML5 File Path", "Count", 4);
    store.WriteString("Publish/HTML5 File Path", "#0", a);
    store.WriteString("Publish/HTML5 File Path", "#1", "");
    store.WriteString("Publish/HTML5 File Path", "#2", box / "deleted.mp4");
    store.WriteString("Publish/HTML5 File Path", "#3", b);
    EXPECT_EQ(LoadRecentList(store, "Publish/HTML5 File Path", true),
              (std::vector<std::string>{a, b}));
    EXPECT_EQ(LoadRecentList(store, "Publish/HTML5 File Path", false).size(), 3u)
        << "site roots are not tested for existence";

    store.WriteInt("Publish/Site Root", "Count", 40);
    for (int i = 0; i < 40; ++i) {
        store.WriteString("Publish/Site Root", "#" + std::to_string(i), "/r" + std::to_string(i));
    }
    EXPECT_EQ(LoadRecentList(store, "Publish/Site Root", false).size(), 16u);
}

TEST(RecentList, AddPutsOnTopRemovesDuplicateAndSaveRewrites) {
    std::vector<std::string> list;
    for (int i = 0; i < 16; ++i) {
        AddToRecentList(list, "/p" + std::to_string(i));
    }
    AddToRecentList(list, "/p3");
    EXPECT_EQ(list.size(), 16u);
    EXPECT_EQ(list.front(), "/p3");
    EXPECT_EQ(std::count(list.begin(), list.end(), "/p3"), 1);
    AddToRecentList(list, "/P3");  // paths are case-sensitive here
    EXPECT_EQ(list.size(), 16u);
    EXPECT_EQ(list.back(), "/p1") << "the oldest entry fell off";

    CMemorySettingsStore store;
    store.WriteString("Publish/HTML_Files", "#20", "stale");
    SaveRecentList(store, "Publish/HTML_Files", {"/x", "/y"});
    EXPECT_EQ(store.GetInt("Publish/HTML_Files", "Count", 0), 2);
    EXPECT_EQ(store.GetString("Publish/HTML_Files", "#1", ""), "/y");
    EXPECT_FALSE(store.Has("Publish/HTML_Files", "#20"));
}

}  // namespace
