// SPDX-License-Identifier: GPL-3.0-or-later
// A remove across many pages stopped with SIGTERM or SIGINT after some pages: each page is whole,
// no file goes while the walk has not seen every page, and a second remove finishes the work.
#include <signal.h>

#include <map>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

TEST_F(FaultTest, AStoppedRemoveLeavesEveryPageWholeAndKeepsTheFiles) {
    std::map<std::string, std::string> originals, published;
    std::vector<std::string> args = Site({"--no-poster", SampleMedia("movie.mp4")});
    for (int i = 0; i < 150; ++i) {
        const std::string page = env.sandbox.Write("site/p" + std::to_string(i) + ".htm", kPage);
        originals[page] = kPage;
        args.push_back(page);
    }
    ASSERT_EQ(Publish(args).status, 0);
    for (const auto& [page, text] : originals) {
        published[page] = test::ReadFile(page);
    }
    auto removedFrom = [&] {
        size_t n = 0;
        for (const auto& [page, text] : originals) {
            n += test::ReadFile(page) == text;
        }
        return n;
    };
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const size_t before = removedFrom();
        CPublishProcess run(Site({"remove", "movie.mp4"}));
        while (!run.Finished() && removedFrom() == before) {
            std::this_thread::yield();
        }
        run.Signal(signal);
        const RunResult r = run.Wait();
        if (r.status == 0) {
            break;  // it was quicker than the signal: nothing to look at
        }
        EXPECT_EQ(r.status, 128 + signal) << r.err;
        for (const auto& [page, text] : originals) {
            const std::string now = test::ReadFile(page);
            EXPECT_TRUE(now == text || now == published[page]) << page;
        }
        EXPECT_TRUE(PathExists(site + "/medias/movie.mp4"));
    }
    const bool done = removedFrom() == originals.size();
    const RunResult finished = Publish(Site({"remove", "movie.mp4"}));
    EXPECT_EQ(finished.status, done ? 3 : 0) << finished.err;
    EXPECT_EQ(removedFrom(), originals.size());
    EXPECT_FALSE(PathExists(site + "/medias/movie.mp4"));
}

}  // namespace
}  // namespace faults
