// SPDX-License-Identifier: GPL-3.0-or-later
// A publish of a large film into several pages, stopped with SIGTERM or SIGINT at many points
// of its progress. The points are found by watching what the run makes (its working folder, the
// poster, the partial copy growing, the pages saved), never by waiting a fixed time.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

class Interrupt : public FaultTest {
protected:
    Interrupt() {
        tmp = env.sandbox.MakeFolder("publisher-tmp");
        options.env = {{"TMPDIR", tmp}};
        pages = {index, env.sandbox.Write("site/a/one.htm", kPage),
                 env.sandbox.Write("site/a/b/two.htm", kPage),
                 env.sandbox.Write("site/three.htm", kPage)};
        for (const std::string& page : pages) {
            originals[page] = test::ReadFile(page);
        }
    }

    std::vector<std::string> Args(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args = Site({"--poster", "--overwrite", "no"});
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(SampleMedia("big.mp4"));
        args.insert(args.end(), pages.begin(), pages.end());
        return args;
    }

    // The site as before any run.
    void Restore() {
        fs::remove_all(site + "/js");
        fs::remove_all(site + "/medias");
        for (const auto& [page, text] : originals) {
            env.sandbox.Write(fs::relative(page, env.sandbox.path()).string(), text);
        }
    }

    // The working folder of a run, while it is there.
    std::string WorkFolder() const { return WorkFolderIn(tmp); }

    // Bytes of the media copy so far: the partial copy, or the whole once it is in place.
    uint64_t Copied() const {
        std::error_code error;
        if (fs::exists(site + "/medias/big.mp4", error)) {
            return fs::file_size(site + "/medias/big.mp4", error);
        }
        for (const auto& entry : fs::directory_iterator(site + "/medias", error)) {
            if (entry.path().filename().string().starts_with(".~copy-")) {
                return entry.file_size(error);
            }
        }
        return 0;
    }

    bool PageDone(size_t i) const { return test::ReadFile(pages[i]) != originals.at(pages[i]); }

    std::string tmp;
    std::vector<std::string> pages;
    std::map<std::string, std::string> originals;
    RunOptions options;
};

TEST_F(Interrupt, AStoppedPublishLeavesEveryPageWholeAndARerunFinishesIt) {
    const std::string media = SampleMedia("big.mp4");
    const std::string mediaBytes = test::ReadFile(media);

    // What each page looks like fully published.
    std::map<std::string, std::string> published;
    {
        const RunResult r = Publish(Args(), options);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& page : pages) {
            published[page] = test::ReadFile(page);
            ASSERT_EQ(Count(published[page], "<video"), 1u) << page;
        }
        const RunResult again = Publish(Args(), options);
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(Count(again.err, "already plays big.mp4; skipped"), pages.size()) << again.err;
        for (const std::string& page : pages) {
            EXPECT_EQ(test::ReadFile(page), published[page]) << "a rerun adds no second player";
        }
        const RunResult forced = Publish(Args({"--again"}), options);
        EXPECT_EQ(forced.status, 0) << forced.err;
        EXPECT_EQ(Count(test::ReadFile(index), "<video"), 2u) << "--again adds one";
        Restore();
    }

    // Points of progress, each reached at most once per run and never undone by it.
    const uint64_t total = mediaBytes.size();
    std::vector<std::pair<std::string, std::function<bool()>>> stages = {
        {"working folder made", [&] { return !WorkFolder().empty(); }},
        {"poster taken",
         [&] {
             const std::string work = WorkFolder();
             return (!work.empty() && PathExists(work + "/big.jpg")) || PathExists(site + "/js");
         }},
        {"player files begun", [&] { return PathExists(site + "/js/video-js"); }},
        {"media folder made", [&] { return PathExists(site + "/medias"); }},
    };
    for (int eighth = 0; eighth < 8; ++eighth) {
        stages.emplace_back("media copied to " + std::to_string(eighth) + "/8",
                            [&, eighth] { return Copied() > total * eighth / 8; });
    }
    stages.emplace_back("media in place", [&] { return Copied() == total; });
    stages.emplace_back("poster in place", [&] { return PathExists(site + "/medias/big.jpg"); });
    for (size_t i = 0; i + 1 < pages.size(); ++i) {
        stages.emplace_back("page " + std::to_string(i) + " saved", [&, i] { return PageDone(i); });
    }
    // After the point is seen, the signal goes at once or after some more looks around.
    const int extraLooks[] = {0, 100};

    int points = 0, stopped = 0, finished = 0;
    for (const auto& [stage, reached] : stages) {
        for (const int extra : extraLooks) {
            const int signal = points % 2 ? SIGINT : SIGTERM;
            SCOPED_TRACE(stage + ", " + std::to_string(extra) + " more looks, signal " +
                         std::to_string(signal));
            ++points;
            CPublishProcess run(Args(), options);
            while (!run.Finished() && !reached()) {
                std::this_thread::yield();
            }
            for (int look = 0; look < extra && !run.Finished(); ++look) {
                reached();
            }
            run.Signal(signal);
            const RunResult r = run.Wait();
            if (r.status == 0) {
                ++finished;
            } else {
                ++stopped;
                EXPECT_EQ(r.status, 128 + signal) << r.err;
            }

            bool anyPublished = false;
            for (const std::string& page : pages) {
                const std::string now = test::ReadFile(page);
                EXPECT_TRUE(now == originals[page] || now == published[page])
                    << page << " is half published:\n"
                    << now;
                anyPublished = anyPublished || now == published[page];
            }
            if (anyPublished) {
                EXPECT_EQ(test::ReadFile(site + "/medias/big.mp4"), mediaBytes)
                    << "a saved page points at media that is not there";
                EXPECT_TRUE(IsRegularFile(site + "/medias/big.jpg"));
                EXPECT_TRUE(IsRegularFile(site + "/js/video-js/video.js"));
            }
            const std::string left = PathExists(site) ? Listing(site) : std::string();
            EXPECT_EQ(left.find(".~copy-"), std::string::npos) << left;
            EXPECT_EQ(WorkFolder(), "") << Listing(tmp);

            const RunResult rerun = Publish(Args(), options);
            EXPECT_EQ(rerun.status, 0) << rerun.err;
            for (const std::string& page : pages) {
                EXPECT_EQ(test::ReadFile(page), published[page]) << page;
            }
            EXPECT_EQ(test::ReadFile(site + "/medias/big.mp4"), mediaBytes);
            Restore();
            if (HasFailure()) {
                return;
            }
        }
    }
    EXPECT_GE(points, 30);
    // Most points lie before the last page is saved; a fast run may finish before the last few.
    EXPECT_GE(stopped, 20) << finished << " runs finished before the signal";
    RecordProperty("stopped", stopped);
    RecordProperty("finished", finished);
}

}  // namespace
}  // namespace faults
