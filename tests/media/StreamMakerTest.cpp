// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/StreamMaker.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "media/Task.h"
#include "tests/support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

TEST(StreamPlanTest, TheLadderGoesDownFromTheSourceAndNeverAbove) {
    const struct {
        int height;
        std::vector<int> heights;
    } rows[] = {
        {2160, {1080, 720, 480, 360}},
        {1080, {1080, 720, 480, 360}},
        {721, {720, 480, 360}},
        {540, {540, 480, 360}},
        {361, {360}},
        {240, {240}},
        {0, {}},
    };
    for (const auto& row : rows) {
        std::vector<int> heights;
        for (const Rendition& r : PlanRenditions(row.height)) {
            heights.push_back(r.height);
            EXPECT_GT(r.videoKbps, 0);
        }
        EXPECT_EQ(heights, row.heights) << row.height;
    }
}

std::vector<std::string> Listed(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder));
    }
    std::ranges::sort(names);
    return names;
}

TEST(StreamMakerTest, OneRunMakesEveryRenditionAndAFailureLeavesNothing) {
    test::Environment env;
    // ffmpeg reads "%" in output names as a pattern.
    const fs::path out = env.sandbox / "100% out";
    fs::create_directories(out);
    const std::string source = env.sandbox / "clip.mp4";
    ASSERT_TRUE(
        test::MakeMedia(source, 3, true, true, {"-c:v", "libx264", "-c:a", "aac"}, 854, 480));
    CMediaInfo2 details;
    ASSERT_TRUE(details.Parse(source));

    CTask task;
    CStreamMaker maker(&task, details);
    ASSERT_TRUE(maker.Make(out / "clip")) << maker.Problem();
    const std::string master = test::ReadFile(out / "clip" / kStreamPlaylist);
    EXPECT_NE(master.find("RESOLUTION=854x480"), std::string::npos) << master;
    EXPECT_NE(master.find("RESOLUTION=640x360"), std::string::npos) << master;
    for (const char* rendition : {"480p", "360p"}) {
        const std::string list = test::ReadFile(out / "clip" / rendition / "index.m3u8");
        EXPECT_NE(list.find("#EXT-X-ENDLIST"), std::string::npos) << list;
    }
    const std::vector<std::string> made = Listed(out);

    // Cancelled before it starts, given a damaged source, or a sound alone: nothing is added.
    CStreamMaker cancelled(&task, details);
    cancelled.Cancel();
    EXPECT_FALSE(cancelled.Make(out / "cancelled"));
    EXPECT_TRUE(cancelled.WasCancelled());
    fs::resize_file(source, 2000);
    CStreamMaker damaged(&task, details);
    EXPECT_FALSE(damaged.Make(out / "damaged"));
    EXPECT_FALSE(damaged.Problem().empty());
    CMediaInfo2 sound = details;
    sound.m_nVideoCount = 0;
    CStreamMaker soundOnly(&task, sound);
    EXPECT_FALSE(soundOnly.Make(out / "sound"));
    EXPECT_EQ(soundOnly.Problem(), "it has no picture to make several qualities of");
    EXPECT_EQ(Listed(out), made);
}

}  // namespace
