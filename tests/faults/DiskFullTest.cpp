// SPDX-License-Identifier: GPL-3.0-or-later
// A disk that fills up while the publisher writes: a file size limit on the publisher's process
// makes every write past it fail with EFBIG, exactly where a full disk fails with ENOSPC, and
// it works for root too.
#include <filesystem>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class DiskFull : public FaultTest {};

TEST_F(DiskFull, PageSaveThatRunsOutOfRoomLeavesThePageAsItWas) {
    // A page larger than every file the job copies, so that the limit below stops the page's
    // save alone: the files go in first.
    std::string padded = test::ReadFile(index);
    padded.insert(padded.find("</body>"), "<!--" + std::string(2 * 1024 * 1024, 'x') + "-->\n");
    env.sandbox.Write("site/index.htm", padded);
    RunOptions full;
    full.fileSizeLimit = static_cast<long long>(padded.size()) + 100;
    RunResult r = Publish(Site({SampleMedia("song.mp3"), index}), full);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_SAVE_ERROR), index, "File too large")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFile(index), padded);
    EXPECT_TRUE(PathExists(site + "/medias/song.mp3")) << "the files went in before the page";
    for (const auto& entry : std::filesystem::directory_iterator(site)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "index.htm" || name == "js" || name == "medias")
            << "no half-written page beside it: " << name;
    }

    // With room again the same publish goes through.
    RunResult again = Publish(Site({SampleMedia("song.mp3"), index}));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(test::ReadFile(index).find("<audio"), std::string::npos);
}

TEST_F(DiskFull, MediaCopyThatRunsOutOfRoomLeavesNoPartialFileAndOffersRetry) {
    const std::string& song = SampleMedia("long.mp3");
    const std::string target = site + "/medias/long.mp3";
    // Room for the page, the player's files and the server configuration, not for the song.
    RunOptions full;
    full.fileSizeLimit = 300 * 1024;
    ASSERT_GT(test::ReadFile(song).size(), static_cast<size_t>(full.fileSizeLimit));
    const std::string error =
        fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), "long.mp3", "File too large");
    {
        SCOPED_TRACE("nothing of that name in the site yet; Retry once, then no answer");
        full.input = "r\n";
        RunResult r = Publish(Site({"--overwrite", "ask", song, index}), full);
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_EQ(Count(r.err, error + " [a/r/i]"), 2u) << r.err;
        EXPECT_FALSE(PathExists(target));
        EXPECT_EQ(
            Listing(site + "/medias"),
            ".htaccess " + std::to_string(test::ReadFile(site + "/medias/.htaccess").size()) + "\n")
            << "no part of the song and no temporary file";
    }
    {
        SCOPED_TRACE("an older song of that name: Yes to replace it, Abort at the error");
        const std::string old = env.sandbox.Write("site/medias/long.mp3", "the song as it was");
        full.input = "y\na\n";
        RunResult r = Publish(Site({"--overwrite", "ask", song, index}), full);
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_EQ(Count(r.err, error + " [a/r/i]"), 1u) << r.err;
        EXPECT_EQ(test::ReadFile(old), "the song as it was");
        EXPECT_EQ(Listing(site + "/medias").find(".~copy"), std::string::npos);
    }
}

}  // namespace
}  // namespace faults
