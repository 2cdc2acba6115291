// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FfdshowWhitelist.h"

#include <gtest/gtest.h>

namespace {

TEST(MergeWhitelist, AddsWhatIsMissingAndNothingElse) {
    const std::vector<std::string> names = {"dede5-varodo", "ffmpeg.exe"};
    const struct {
        const char* name;
        const char* list;
        const char* merged;
        bool changed;
    } rows[] = {
        {"no list yet", "", "dede5-varodo;ffmpeg.exe", true},
        {"trailing semicolon trimmed before the append", "other.exe;",
         "other.exe;dede5-varodo;ffmpeg.exe", true},
        {"trailing blanks and semicolons trimmed", "other.exe ; ;",
         "other.exe;dede5-varodo;ffmpeg.exe", true},
        {"both present in another letter case", "A.EXE;DEDE5-Varodo;FFmpeg.EXE",
         "A.EXE;DEDE5-Varodo;FFmpeg.EXE", false},
        {"one present", "ffmpeg.exe", "ffmpeg.exe;dede5-varodo", true},
        {"a longer name is not the name", "myffmpeg.exe;dede5-varodo2",
         "myffmpeg.exe;dede5-varodo2;dede5-varodo;ffmpeg.exe", true},
        {"a part with blanks around is not the name", " ffmpeg.exe ;dede5-varodo",
         " ffmpeg.exe ;dede5-varodo;ffmpeg.exe", true},
        {"empty parts in the middle are kept", "a.exe;;b.exe",
         "a.exe;;b.exe;dede5-varodo;ffmpeg.exe", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        bool changed = !row.changed;
        EXPECT_EQ(MergeWhitelist(row.list, names, &changed), row.merged);
        EXPECT_EQ(changed, row.changed);
    }
    EXPECT_EQ(MergeWhitelist("x", {"y"}, nullptr), "x;y");
}

}  // namespace
