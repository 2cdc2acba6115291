// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher reaches a site that belongs to another user (as a hosting account's files do)
// through one door: links are refused by the kernel, ffmpeg never writes into the site, other
// content under a name is never replaced without consent, what is there already is not written
// again, a dead run's debris goes and odd files are refused with words that say why.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"
#include "tests/support/Mp4Files.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

// Writes down each run's arguments, then runs the real ffmpeg.
constexpr const char* kRecordingFfmpeg =
    "#!/bin/sh\n"
    "echo \"$*\" >> \"$DEDE5_TEST_RUNS\"\n"
    "exec ffmpeg \"$@\" </dev/null\n";

class SiteDoor : public FaultTest {
protected:
    SiteDoor() {
        runs = env.sandbox / "ffmpeg-runs";
        install = FakeInstall(env.sandbox, "install", kRecordingFfmpeg);
    }

    RunResult Run(std::vector<std::string> more, const std::string& media, const std::string& page,
                  bool walk = false) {
        if (::geteuid() == 0) {
            ::lchown(site.c_str(), UnprivilegedUid(), UnprivilegedGid());
            for (const auto& entry : fs::recursive_directory_iterator(site)) {
                ::lchown(entry.path().c_str(), UnprivilegedUid(), UnprivilegedGid());
            }
        }
        RunOptions options;
        options.env = {{"DEDE5_VARODO_HOME", install}, {"DEDE5_TEST_RUNS", runs}};
        if (walk) {
            options.env.emplace_back("DEDE5_NO_OPENAT2", "1");
        }
        more.push_back(media);
        more.push_back(page);
        return Publish(Site(more), options);
    }

    const std::string& Film() {
        if (m_strFilm.empty()) {
            m_strFilm = env.sandbox / "film.mp4";
            EXPECT_TRUE(test::MakeIndexLastMp4(m_strFilm));
        }
        return m_strFilm;
    }

    std::string runs, install;

private:
    std::string m_strFilm;
};

TEST_F(SiteDoor, ALinkAsThePlayersFolderIsRefused) {
    const std::string original = test::ReadFile(index);
    struct Row {
        const char* name;
        bool walk;
        const char* answer;
        int status;
    } rows[] = {
        {"kept, the kernel resolves", false, "no", 4},
        {"kept, one name at a time", true, "no", 4},
        {"replaced with consent", false, "yes", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site + "/js");
        env.sandbox.Write("site/index.htm", original);
        const std::string outside = env.sandbox.MakeFolder(std::string("outside-") + row.name);
        fs::create_directories(site + "/js");
        ASSERT_EQ(::symlink(outside.c_str(), (site + "/js/video-js").c_str()), 0);
        const RunResult r = Run({"--no-poster", "--player", "default", "--overwrite", row.answer},
                                SampleMedia("movie.mp4"), index, row.walk);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_TRUE(fs::is_empty(outside)) << "nothing written through the link";
        if (row.status != 0) {
            EXPECT_NE(
                r.err.find(fmt::sprintf(LoadStringRes(IDS_LINK_LEFT_ALONE), site + "/js/video-js")),
                std::string::npos)
                << r.err;
            EXPECT_TRUE(test::ReadFile(index) == original) << "the page is left as it was";
        } else {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(site + "/js/video-js/video.js")));
        }
    }
}

TEST_F(SiteDoor, FfmpegWritesOnlyOutsideTheSite) {
    for (const bool walk : {false, true}) {
        SCOPED_TRACE(walk ? "one name at a time" : "the kernel resolves");
        fs::remove_all(site + "/medias");
        fs::remove(runs);
        env.sandbox.Write("site/index.htm", kPage);
        const RunResult r = Run({"--poster", "--faststart"}, Film(), index, walk);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string lines = test::ReadFile(runs);
        EXPECT_NE(lines.find("+faststart"), std::string::npos) << lines;
        for (size_t pos = 0; pos < lines.size();) {
            const size_t end = lines.find('\n', pos);
            const std::string line = lines.substr(pos, end - pos);
            EXPECT_FALSE(line.substr(line.rfind(' ') + 1).starts_with(site)) << line;
            pos = end + 1;
        }
        EXPECT_TRUE(test::IndexFirst(site + "/medias/film.mp4"));
        EXPECT_EQ(test::StreamHashes(site + "/medias/film.mp4"), test::StreamHashes(Film()));
        for (const auto& entry : fs::directory_iterator(site + "/medias")) {
            EXPECT_FALSE(entry.path().filename().string().starts_with(".~")) << entry.path();
        }
    }
}

TEST_F(SiteDoor, OtherContentUnderTheNameIsKeptAndTheMediaTakesAFreeName) {
    const std::string captions =
        env.sandbox.Write("movie.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nhi\n");
    struct Row {
        const char* name;
        std::string taken, freeName, attribute;
        std::vector<std::string> more;
        std::string wanted;  // the start of what the free name must hold
    } rows[] = {
        {"media",
         "movie.mp4",
         "movie-2.mp4",
         "src=\"medias/movie-2.mp4\"",
         {"--no-poster"},
         test::ReadFile(SampleMedia("movie.mp4"))},
        {"poster",
         "movie.jpg",
         "movie-2.jpg",
         "poster=\"medias/movie-2.jpg\"",
         {"--poster"},
         "\xFF\xD8"},
        {"captions",
         "movie.vtt",
         "movie-2.vtt",
         "src=\"medias/movie-2.vtt\"",
         {"--no-poster", "--captions", captions},
         "WEBVTT"},
    };
    const std::string original = test::ReadFile(index);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site + "/medias");
        const std::string theirs = env.sandbox.Write("site/medias/" + row.taken, "their file\n");
        std::vector<std::string> more = row.more;
        more.insert(more.end(), {"--overwrite", "no"});
        for (const std::string& page : {index, env.sandbox.Write("site/second.htm", original)}) {
            env.sandbox.Write("site/index.htm", original);
            const RunResult r = Run(more, SampleMedia("movie.mp4"), page);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_PUBLISHED_AS), row.taken,
                                              site + "/medias/", row.freeName)),
                      std::string::npos)
                << r.err;
            EXPECT_EQ(test::ReadFile(theirs), "their file\n");
            EXPECT_TRUE(test::ReadFile(site + "/medias/" + row.freeName).starts_with(row.wanted));
            const std::string text = test::ReadFile(page);
            EXPECT_NE(text.find(row.attribute), std::string::npos) << text;
            EXPECT_EQ(text.find("medias/" + row.taken + "\""), std::string::npos) << text;
        }
        EXPECT_FALSE(PathExists(site + "/medias/" + row.freeName.substr(0, 6) + "3" +
                                row.freeName.substr(7)))
            << "the equal file is used again";
    }
}

TEST_F(SiteDoor, ARerunRecognisesThePublishedFastStartCopy) {
    ASSERT_EQ(Run({"--no-poster", "--faststart"}, Film(), index).status, 0);
    struct stat before {};
    ASSERT_EQ(::stat((site + "/medias/film.mp4").c_str(), &before), 0);
    const std::string pages[] = {env.sandbox.Write("site/second.htm", kPage),
                                 env.sandbox.Write("site/sub/third.htm", kPage)};
    for (const std::string& page : pages) {
        SCOPED_TRACE(page);
        fs::remove(runs);
        const RunResult r = Run({"--no-poster", "--faststart", "--overwrite", "no"}, Film(), page);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::ReadFile(runs).find("+faststart"), std::string::npos) << "rewritten";
        struct stat after {};
        ASSERT_EQ(::stat((site + "/medias/film.mp4").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_NE(test::ReadFile(page).find("medias/film.mp4\""), std::string::npos);
    }
}

TEST_F(SiteDoor, ADeadRunsDebrisIsSweptAndALiveRunsIsKept) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = ".~dede5-" + std::to_string(child) + "-";
    const std::string live = ".~dede5-" + std::to_string(::getpid()) + "-";
    struct Row {
        std::string path;
        bool stays;
    } rows[] = {
        {"medias/" + dead + "a1", false},      {"medias/" + dead + "b2/movie.mp4", false},
        {"js/video-js/" + dead + "c3", false}, {"medias/" + live + "d4", true},
        {"medias/.~dede5-x-e5", true},
    };
    for (const Row& row : rows) {
        env.sandbox.Write("site/" + row.path, "debris");
    }
    // Working folders in TMPDIR: only this user's own of a gone run go.
    const Row work[] = {{"publish-" + dead.substr(8) + "f6/poster.jpg", false},
                        {"publish-" + live.substr(8) + "g7/poster.jpg", true},
                        {"publish-" + dead.substr(8) + "h8/poster.jpg", ::geteuid() == 0}};
    for (const Row& row : work) {
        env.sandbox.Write("tmp/" + row.path, "x");
    }
    ::lchown((env.tmp + "/" + GetPathFolder(work[2].path)).c_str(), UnprivilegedUid(),
             UnprivilegedGid());
    const RunResult r =
        Run({"--no-poster", "--player", "default"}, SampleMedia("movie.mp4"), index);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const Row& row : rows) {
        EXPECT_EQ(PathExists(site + "/" + row.path), row.stays) << row.path;
    }
    for (const Row& row : work) {
        EXPECT_EQ(PathExists(env.tmp + "/" + row.path), row.stays) << row.path;
    }
}

TEST_F(SiteDoor, ThePageIsWrittenOnlyWhereTheSiteStillLeadsToIt) {
    // While the poster is taken, the site's owner moves the page's folder out of the site and
    // puts a link to it, or a copy of it, in its place.
    install = FakeInstall(env.sandbox, "swapper",
                          "#!/bin/sh\nif [ ! -e \"$DEDE5_TEST_TO\" ]; then\n"
                          "  mv \"$DEDE5_TEST_FROM\" \"$DEDE5_TEST_TO\"\n"
                          "  $DEDE5_TEST_SWAP \"$DEDE5_TEST_TO\" \"$DEDE5_TEST_FROM\"\nfi\n"
                          "exec ffmpeg \"$@\" </dev/null\n");
    const std::string realSite = site, linkedRoot = env.sandbox / "www";
    ASSERT_EQ(::symlink(realSite.c_str(), linkedRoot.c_str()), 0);
    struct Row {
        const char* name;
        const char* swap;
        bool walk, rootThroughLink;
    } rows[] = {
        {"folder made a link", "ln -s", false, false},
        {"folder made a link, one name at a time", "ln -s", true, false},
        {"folder moved out, a copy in its place", "cp -a", false, false},
        {"root named through a link, folder made a link", "ln -s", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string moved = env.sandbox / (std::string("outside-") + row.name);
        fs::remove_all(realSite + "/pages");
        env.sandbox.Write("site/pages/page.htm", kPage);
        site = row.rootThroughLink ? linkedRoot : realSite;
        const std::string page = site + "/pages/page.htm";
        setenv("DEDE5_TEST_SWAP", row.swap, 1);
        setenv("DEDE5_TEST_FROM", (realSite + "/pages").c_str(), 1);
        setenv("DEDE5_TEST_TO", moved.c_str(), 1);
        const RunResult r = Run({"--poster"}, SampleMedia("movie.mp4"), page, row.walk);
        site = realSite;
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_REPLACED), page)),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(test::ReadFile(moved + "/page.htm"), kPage) << "nothing written outside";
        EXPECT_EQ(test::ReadFile(realSite + "/pages/page.htm"), kPage);
    }
}

TEST_F(SiteDoor, OddOrOversizedFilesAreRefusedWithTheReason) {
    const std::string original = test::ReadFile(index);
    struct Row {
        const char* name;
        std::string path;
        off_t size_bytes;  // -1: a named pipe
        int status;
        std::string said;
    } rows[] = {
        {".htaccess a pipe", "medias/.htaccess", -1, 4, LoadStringRes(IDS_NOT_A_REGULAR_FILE)},
        {".htaccess of 2 MiB", "medias/.htaccess", off_t{2} << 20, 4,
         fmt::sprintf(LoadStringRes(IDS_FILE_OVER_LIMIT), 1)},
        {"page of 65 MiB", "index.htm", off_t{65} << 20, 3, "too large"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site + "/medias");
        env.sandbox.Write("site/index.htm", original);
        const std::string path = site + "/" + row.path;
        fs::create_directories(GetPathFolder(path));
        if (row.size_bytes < 0) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        } else {
            fs::resize_file(env.sandbox.Write("site/" + row.path, "# theirs\n"),
                            static_cast<uintmax_t>(row.size_bytes));
        }
        const RunResult r = Run({"--no-poster"}, SampleMedia("movie.mp4"), index);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
        if (row.status == 3) {
            EXPECT_EQ(fs::file_size(index), static_cast<uintmax_t>(row.size_bytes));
        } else {
            EXPECT_NE(test::ReadFile(index).find("medias/movie.mp4"), std::string::npos)
                << "the page uses nothing the refused file would give: it is published";
        }
    }
}

}  // namespace
}  // namespace faults
