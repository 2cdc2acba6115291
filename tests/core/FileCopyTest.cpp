// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileCopy.h"

#include <cerrno>
#include <string>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

int CountEntries(const std::string& folder) {
    std::string listing;
    test::Run({"ls", "-A", folder}, &listing);
    std::vector<std::string> names;
    return static_cast<int>(SplitString(listing, "\n", names));
}

class FileCopy : public ::testing::Test {
protected:
    void TearDown() override { SetCopyFaultForTesting(-1, 0); }
    test::Sandbox box;
};

TEST_F(FileCopy, CopiesOverAReadOnlyTarget) {
    const std::string big(3 * 1024 * 1024 + 17, 'm');
    const std::string source = box.Write("src/movie.mp4", big);
    const std::string target = box.Write("site/movie.mp4", "old");
    ::chmod(target.c_str(), 0444);
    uint64_t lastDone = 0, lastTotal = 0;
    ASSERT_TRUE(CopyFileOverwrite(source, target, [&](uint64_t done, uint64_t total) {
        lastDone = done;
        lastTotal = total;
        return true;
    }));
    EXPECT_EQ(test::ReadFile(target), big);
    EXPECT_EQ(lastDone, big.size());
    EXPECT_EQ(lastTotal, big.size());
    EXPECT_EQ(CountEntries(box / "site"), 1) << "no temporary file is left";
}

TEST_F(FileCopy, DiskFullHalfWayKeepsTheOldTargetAndLeavesNoPartialFile) {
    const std::string source = box.Write("src/movie.mp4", std::string(100000, 'n'));
    const std::string target = box.Write("site/movie.mp4", "the old content");
    SetCopyFaultForTesting(4096, ENOSPC);
    errno = 0;
    EXPECT_FALSE(CopyFileOverwrite(source, target));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(test::ReadFile(target), "the old content");
    EXPECT_EQ(CountEntries(box / "site"), 1);

    SetCopyFaultForTesting(-1, 0);
    EXPECT_TRUE(CopyFileOverwrite(source, target)) << "a retry after the fault succeeds";
    EXPECT_EQ(test::ReadFile(target).size(), 100000u);
}

// Two publishers copying films of one name into one media folder: one pauses half-way while
// the other copies whole. Readers see a whole film at every moment, and the last copy to end
// is the one that stays, whole.
TEST_F(FileCopy, OverlappingCopiesToOneTargetNeverMix) {
    const std::string firstFilm(20 << 20, 'a');
    const std::string secondFilm(20 << 20, 'b');
    const std::string first = box.Write("a/movie.mp4", firstFilm);
    const std::string second = box.Write("b/movie.mp4", secondFilm);
    const std::string target = box.Write("site/movie.mp4", "the film published before");

    bool secondCopied = false;
    std::string seenMidway;
    bool paused = false;
    const bool firstCopied = CopyFileOverwrite(first, target, [&](uint64_t done, uint64_t total) {
        if (!paused && done < total) {
            paused = true;
            std::thread other([&] { secondCopied = CopyFileOverwrite(second, target); });
            other.join();
            seenMidway = test::ReadFile(target);
        }
        return true;
    });
    ASSERT_TRUE(paused) << "the copy reports progress before its end";
    EXPECT_TRUE(secondCopied);
    EXPECT_TRUE(firstCopied);
    EXPECT_TRUE(seenMidway == secondFilm) << "a mixture of " << seenMidway.size() << " bytes";
    EXPECT_TRUE(test::ReadFile(target) == firstFilm);
    EXPECT_EQ(CountEntries(box / "site"), 1);
}

TEST_F(FileCopy, CancelAndBadSourcesFailCleanly) {
    const std::string source = box.Write("src/a.mp4", std::string(10000, 'a'));
    box.MakeFolder("site");
    EXPECT_FALSE(
        CopyFileOverwrite(source, box / "site/a.mp4", [](uint64_t, uint64_t) { return false; }));
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_FALSE(PathExists(box / "site/a.mp4"));
    EXPECT_FALSE(CopyFileOverwrite(box / "src/missing.mp4", box / "site/m.mp4"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(CopyFileOverwrite(box / "src", box / "site/dir"));
    EXPECT_FALSE(CopyFileOverwrite(source, box / "no/such/folder/a.mp4"));
    EXPECT_EQ(CountEntries(box / "site"), 0);
    const std::string empty = box.Write("src/empty.mp4", "");
    EXPECT_TRUE(CopyFileOverwrite(empty, box / "site/empty.mp4"));
    EXPECT_TRUE(IsRegularFile(box / "site/empty.mp4"));
}

}  // namespace
