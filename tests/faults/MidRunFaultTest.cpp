// SPDX-License-Identifier: GPL-3.0-or-later
// The poster is taken by ffmpeg after the page is loaded and before it is saved, so a stand-in
// for ffmpeg can be what happens at that moment: the user deletes the media, an editor saves
// the page, ffmpeg dies, another publisher works on the same site.
#include <algorithm>
#include <filesystem>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

// Takes the picture, then waits until the other publisher has taken its own: both then go on
// to save at the same moment.
constexpr const char* kBarrier =
    "#!/bin/sh\n"
    "ffmpeg \"$@\" </dev/null\n"
    "status=$?\n"
    "touch \"$DEDE5_TEST_BARRIER/$$\"\n"
    "n=0\n"
    "while [ \"$(ls \"$DEDE5_TEST_BARRIER\" | wc -l)\" -lt 2 ] && [ $n -lt 3000 ]; do\n"
    "  sleep 0.02; n=$((n + 1))\n"
    "done\n"
    "exit $status\n";

class MidRun : public FaultTest {
protected:
    // The publisher with `script` in ffmpeg's place.
    RunOptions WithFfmpeg(const std::string& script) {
        const std::string n = std::to_string(++m_nInstalls);
        RunOptions options;
        options.env = {{"DEDE5_VARODO_HOME", FakeInstall(env.sandbox, "install-" + n, script)},
                       {"DEDE5_TEST_PAGE", index},
                       {"DEDE5_TEST_BARRIER", env.sandbox.MakeFolder("barrier-" + n)}};
        return options;
    }
    // A copy of a sample medium of the test's own, which it may delete.
    std::string OwnMedia(const std::string& sample, const std::string& as) {
        return env.sandbox.Write(as, test::ReadFile(SampleMedia(sample)));
    }

private:
    int m_nInstalls = 0;
};

TEST_F(MidRun, MediaDeletedWhileThePosterIsTakenIsReported) {
    const std::string movie = OwnMedia("movie.mp4", "media/movie.mp4");
    RunResult r = Publish(Site({"--poster", movie, index}),
                          WithFfmpeg("#!/bin/sh\nffmpeg \"$@\" || exit\nrm -f -- \"$2\"\n"));
    EXPECT_FALSE(PathExists(movie)) << "the stand-in did its part";
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_COPY_ERROR), "movie.mp4",
                                      "No such file or directory")),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(PathExists(site + "/medias/movie.mp4"));
    EXPECT_EQ(Listing(site + "/medias").find(".~copy"), std::string::npos);
}

TEST_F(MidRun, PageSavedByAnotherProgramMeanwhileIsNotOverwrittenWithoutAQuestion) {
    // Not from the publisher's input: that holds the answer to the question.
    const std::string edit =
        "#!/bin/sh\nprintf '<!-- saved by an editor -->\\n' >> \"$DEDE5_TEST_PAGE\"\n"
        "exec ffmpeg \"$@\" </dev/null\n";
    const std::string original = test::ReadFile(index);
    const std::string edited = original + "<!-- saved by an editor -->\n";
    {
        SCOPED_TRACE("no answer: the other program's page stays");
        RunResult r =
            Publish(Site({"--poster", SampleMedia("movie.mp4"), index}), WithFfmpeg(edit));
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_NE(
            r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_CHANGED_BEFORE_PUBLISHING), index)),
            std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("shown here"), std::string::npos) << "the wizard's wording";
        EXPECT_EQ(test::ReadFile(index), edited);
        EXPECT_FALSE(PathExists(site + "/medias")) << "nothing is copied for a page not saved";
    }
    {
        SCOPED_TRACE("Yes: the user chose the publisher's page");
        RunOptions options = WithFfmpeg(edit);
        options.input = "y\n";
        RunResult r = Publish(
            Site({"--poster", "--overwrite", "ask", SampleMedia("movie.mp4"), index}), options);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string page = test::ReadFile(index);
        EXPECT_NE(page.find("<video"), std::string::npos);
        EXPECT_EQ(page.find("saved by an editor"), page.rfind("saved by an editor"))
            << "the second edit was replaced, as the user chose";
    }
}

TEST_F(MidRun, APosterThatCannotBeTakenIsSaidWithItsCause) {
    struct Row {
        const char* name;
        std::string ffmpeg;
        std::vector<std::pair<std::string, std::string>> env;
        const char* cause;
    } rows[] = {
        {"ffmpeg fails", "#!/bin/sh\nexit 1\n", {}, "could not take a picture"},
        {"no room for the picture",
         "#!/bin/sh\nexec ffmpeg \"$@\" </dev/null\n",
         {{"TMPDIR", "/proc/no-such-folder"}},
         "cannot be made"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string page = env.sandbox.Write(std::string("site/") + row.name + ".htm", kPage);
        RunOptions options = WithFfmpeg(row.ffmpeg);
        options.env.insert(options.env.end(), row.env.begin(), row.env.end());
        const RunResult r = Publish(Site({"--poster", SampleMedia("movie.mp4"), page}), options);
        EXPECT_EQ(r.status, 6) << r.err;
        EXPECT_NE(r.err.find(std::string("no poster: ")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(row.cause), std::string::npos) << r.err;
        EXPECT_NE(test::ReadFile(page).find("<video"), std::string::npos) << "still published";
    }
}

TEST_F(MidRun, FfmpegKilledHalfWayLeavesNoPosterBehind) {
    const std::string killed =
        "#!/bin/sh\n"
        "for last; do :; done\n"
        "printf 'frame=    1 fps=0.0 q=2.0 size=       0kB time=00:00:00.04 bitrate=N/A\\r'\n"
        "printf '\\377\\330\\377\\340 half a picture' > \"$last\"\n"
        "kill -9 $$\n";
    RunResult r = Publish(Site({"--poster", "--poster-optional", SampleMedia("movie.mp4"), index}),
                          WithFfmpeg(killed));
    EXPECT_EQ(r.status, 0) << "the video is published without a poster: " << r.err;
    EXPECT_NE(r.err.find("no poster: "), std::string::npos) << "said, not silent: " << r.err;
    const std::string page = test::ReadFile(index);
    EXPECT_NE(page.find("<source src=\"medias/movie.mp4\""), std::string::npos) << page;
    EXPECT_EQ(page.find("poster="), std::string::npos) << page;
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.mp4"));
    EXPECT_FALSE(PathExists(site + "/medias/movie.jpg"));
    EXPECT_EQ(Listing(env.tmp), "") << "the half picture went with the working folder";
}

class TwoPublishers : public MidRun {
protected:
    // What publishing `media` into a fresh copy of `page` alone gives.
    std::string Alone(const std::string& media, const std::string& relativePage) {
        const std::string solo = env.sandbox.MakeFolder("solo-" + std::to_string(++m_nSolo));
        const std::string page = env.sandbox.Write(GetPathFileName(solo) + "/" + relativePage,
                                                   test::ReadFile(site + "/" + relativePage));
        RunResult r = Publish({"--site-root", solo, "--js-path", "/js/", "--media-path", "/medias/",
                               "--poster", media, page});
        EXPECT_EQ(r.status, 0) << r.err;
        return test::ReadFile(page);
    }

private:
    int m_nSolo = 0;
};

// Whether the two overlap is up to the scheduler, so the race is run a few times.
constexpr int kRaces = 3;

TEST_F(TwoPublishers, IntoOnePageLeaveOneWholePageAndNeitherReportsALostOne) {
    // A long page keeps each save busy long enough for the two to overlap.
    std::string longPage = test::ReadFile(index);
    longPage.insert(longPage.find("<!-- video -->"), "<p>" + std::string(4 << 20, 'y') + "</p>\n");
    env.sandbox.Write("site/index.htm", longPage);
    const std::string movie = OwnMedia("movie.mp4", "a/movie.mp4");
    const std::string clip = OwnMedia("movie.mp4", "b/clip.mp4");
    const std::string withMovie = Alone(movie, "index.htm");
    const std::string withClip = Alone(clip, "index.htm");
    ASSERT_NE(withMovie, withClip);

    for (int race = 1; race <= kRaces; ++race) {
        SCOPED_TRACE("race " + std::to_string(race));
        env.sandbox.Write("site/index.htm", longPage);
        const RunOptions barrier = WithFfmpeg(kBarrier);
        CPublishProcess first(Site({"--poster", movie, index}), barrier);
        CPublishProcess second(Site({"--poster", clip, index}), barrier);
        const RunResult a = first.Wait();
        const RunResult b = second.Wait();
        const std::string page = test::ReadFile(index);
        ASSERT_TRUE(page == withMovie || page == withClip) << page.size() << " bytes";
        // Both loaded the same page: the one that saves second finds it changed and keeps it.
        const RunResult& saved = page == withMovie ? a : b;
        const RunResult& refused = page == withMovie ? b : a;
        EXPECT_EQ(saved.status, 0) << saved.err;
        EXPECT_EQ(refused.status, 4) << refused.err;
        EXPECT_NE(refused.err.find(
                      fmt::sprintf(LoadStringRes(IDS_PAGE_CHANGED_BEFORE_PUBLISHING), index)),
                  std::string::npos)
            << refused.err;
    }
}

TEST_F(TwoPublishers, IntoTwoPagesLeaveEveryPageAndTheMediaWhole) {
    namespace fs = std::filesystem;
    const std::string original = test::ReadFile(index);
    const std::string news = env.sandbox.Write("site/news/a.htm", original);
    // Two different films of one name: whichever is copied last is the one in the site, whole.
    const std::string first = OwnMedia("big.mp4", "a/movie.mp4");
    const std::string second = OwnMedia("big-other.mp4", "b/movie.mp4");
    const std::string indexAlone = Alone(first, "index.htm");
    const std::string newsAlone = Alone(second, "news/a.htm");
    const std::string poster = test::ReadFile(env.sandbox / "solo-1/medias/movie.jpg");

    for (int race = 1; race <= kRaces; ++race) {
        SCOPED_TRACE("race " + std::to_string(race));
        env.sandbox.Write("site/index.htm", original);
        env.sandbox.Write("site/news/a.htm", original);
        fs::remove_all(site + "/medias");
        fs::remove_all(site + "/js");
        const RunOptions barrier = WithFfmpeg(kBarrier);
        CPublishProcess one(Site({"--poster", "--overwrite", "yes", first, index}), barrier);
        CPublishProcess two(Site({"--poster", "--overwrite", "yes", second, news}), barrier);
        const RunResult a = one.Wait();
        const RunResult b = two.Wait();
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(test::ReadFile(index), indexAlone);
        EXPECT_EQ(test::ReadFile(news), newsAlone);
        const std::string copied = test::ReadFile(site + "/medias/movie.mp4");
        EXPECT_TRUE(copied == test::ReadFile(first) || copied == test::ReadFile(second))
            << "a mixture of " << copied.size() << " bytes";
        EXPECT_EQ(test::ReadFile(site + "/medias/movie.jpg"), poster);
        for (const auto& entry :
             fs::directory_iterator(std::string(DEDE5_BUILD_HOME) + "/video-js")) {
            if (entry.is_regular_file()) {
                const std::string name = entry.path().filename().string();
                EXPECT_EQ(test::ReadFile(site + "/js/video-js/" + name),
                          test::ReadFile(entry.path()))
                    << name;
            }
        }
        EXPECT_EQ(Listing(site).find(".~copy"), std::string::npos);
        EXPECT_EQ(Listing(site).find(".htm."), std::string::npos);
    }
}

}  // namespace
}  // namespace faults
