// SPDX-License-Identifier: GPL-3.0-or-later
// Links planted in the site's folders where the publisher writes files, each leading to a file
// of the publishing user's outside the site. Nothing may be written or have its mode changed
// through them, and no page may be published that would use the file they lead to. Run as the
// test's own user and, when that is root, also as an ordinary user whose file is the target.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

class LinkInSite : public FaultTest, public ::testing::WithParamInterface<bool> {
protected:
    LinkInSite() {
        movie = env.sandbox.Write("media/movie.mp4", test::ReadFile(SampleMedia("movie.mp4")));
        if (GetParam()) {
            RunAsUnprivileged(env.sandbox, options);
        }
    }

    // A file of the publishing user's outside the site, with `mode`, and a link to it at
    // `where` in the site.
    std::string Plant(const std::string& where, const std::string& bytes, mode_t mode) {
        const std::string secret =
            env.sandbox.Write("outside/" + std::to_string(++m_nFiles), bytes);
        const std::string link = site + "/" + where;
        fs::create_directories(GetPathFolder(link));
        EXPECT_EQ(::symlink(secret.c_str(), link.c_str()), 0) << link;
        EXPECT_EQ(::chmod(secret.c_str(), mode), 0);
        HandOver(secret);
        return secret;
    }

    // Everything the publisher's user is to own: the site and its own files.
    void HandOver(const std::string& path) {
        if (GetParam() && ::geteuid() == 0) {
            EXPECT_EQ(::lchown(path.c_str(), UnprivilegedUid(), UnprivilegedGid()), 0) << path;
        }
    }
    void HandOverSite() {
        HandOver(site);
        for (const auto& entry : fs::recursive_directory_iterator(site)) {
            HandOver(entry.path().string());
        }
    }

    RunResult Run(const std::vector<std::string>& more) {
        HandOverSite();
        std::vector<std::string> args = Site(more);
        args.push_back(movie);
        args.push_back(index);
        return Publish(args, options);
    }

    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
    }
    static bool IsLink(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }

    std::string movie;
    RunOptions options;

private:
    int m_nFiles = 0;
};

TEST_P(LinkInSite, AMediaOrPosterLinkIsLeftAloneAndThePageIsNotPublished) {
    const std::string original = test::ReadFile(index);
    struct Row {
        const char* name;
        std::string at;
        std::string bytes;
        std::vector<std::string> more;
    } rows[] = {
        {"media of other content", "medias/movie.mp4", "the user's own file\n", {"--no-poster"}},
        // Equal content used to count as "already there": the page then played the outside file.
        {"media of equal content", "medias/movie.mp4", test::ReadFile(movie), {"--no-poster"}},
        {"poster", "medias/movie.jpg", "the user's own picture\n", {"--poster"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site + "/medias");
        const std::string secret = Plant(row.at, row.bytes, 0400);
        std::vector<std::string> more = row.more;
        more.insert(more.end(), {"--overwrite", "no"});
        const RunResult r = Run(more);
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_LINK_LEFT_ALONE), site + "/" + row.at)),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(test::ReadFile(index), original) << "not published with a link to elsewhere";
        EXPECT_TRUE(IsLink(site + "/" + row.at));
        EXPECT_EQ(ModeOf(secret), 0400u) << "no mode changed through the link";
        ::chmod(secret.c_str(), 0600);
        EXPECT_EQ(test::ReadFile(secret), row.bytes);
    }
}

TEST_P(LinkInSite, ALinkIsReplacedOnlyWhenTheUserAgreedAndItsTargetStays) {
    const std::string media = Plant("medias/movie.mp4", "the user's own file\n", 0400);
    const std::string script = Plant("js/video-js/video.js", "// the user's own script\n", 0400);
    const RunResult r = Run({"--no-poster", "--player", "default", "--overwrite", "yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(test::ReadFile(index).find("medias/movie.mp4"), std::string::npos);
    EXPECT_FALSE(IsLink(site + "/medias/movie.mp4"));
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.mp4"), test::ReadFile(movie));
    EXPECT_FALSE(IsLink(site + "/js/video-js/video.js"));
    for (const std::string& secret : {media, script}) {
        EXPECT_EQ(ModeOf(secret), 0400u) << secret;
        ::chmod(secret.c_str(), 0600);
    }
    EXPECT_EQ(test::ReadFile(media), "the user's own file\n");
    EXPECT_EQ(test::ReadFile(script), "// the user's own script\n");
}

TEST_P(LinkInSite, APlayerFileLinkIsNeitherChangedNorUsed) {
    const std::string original = test::ReadFile(index);
    const std::string secret = Plant("js/video-js/video.js", "// the user's own script\n", 0400);
    const RunResult r = Run({"--no-poster", "--player", "default", "--overwrite", "no"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(
                  fmt::sprintf(LoadStringRes(IDS_LINK_LEFT_ALONE), site + "/js/video-js/video.js")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFile(index), original);
    EXPECT_TRUE(IsLink(site + "/js/video-js/video.js"));
    EXPECT_EQ(ModeOf(secret), 0400u) << "no mode changed through the link";
    ::chmod(secret.c_str(), 0600);
    EXPECT_EQ(test::ReadFile(secret), "// the user's own script\n");
}

TEST_P(LinkInSite, AServerConfigurationLinkIsReportedAndLeftAlone) {
    const std::string secret = Plant("medias/.htaccess", "Require all denied\n", 0000);
    const RunResult r = Run({"--no-poster", "--overwrite", "yes"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(site + "/medias/.htaccess"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("AddType video/mp4"), std::string::npos) << "the lines to add: " << r.err;
    EXPECT_TRUE(IsLink(site + "/medias/.htaccess"));
    EXPECT_EQ(ModeOf(secret), 0000u) << "no mode changed through the link";
    ::chmod(secret.c_str(), 0600);
    EXPECT_EQ(test::ReadFile(secret), "Require all denied\n");
    EXPECT_NE(test::ReadFile(index).find("medias/movie.mp4"), std::string::npos)
        << "the page uses no file through this link: it is published";
}

INSTANTIATE_TEST_SUITE_P(Users, LinkInSite, ::testing::Values(false, true),
                         [](const auto& user) { return user.param ? "Unprivileged" : "OwnUser"; });

}  // namespace
}  // namespace faults
