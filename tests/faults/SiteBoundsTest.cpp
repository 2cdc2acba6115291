// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher writes into the site only, and leaves the site's own files as they are.
#include <string>

#include <unistd.h>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class SiteBounds : public FaultTest {
protected:
    std::vector<std::string> Args(const std::string& js, const std::string& media) const {
        return {"--site-root",  site,  "--js-path",   js,
                "--media-path", media, "--no-poster", SampleMedia("movie.mp4"),
                index};
    }
};

TEST_F(SiteBounds, FoldersLeadingOutOfTheSiteAreRefusedBeforeAnythingIsWritten) {
    const std::string outside = env.sandbox.MakeFolder("outside");
    const std::string original = test::ReadFile(index);
    struct Row {
        const char* name;
        std::string js, media;
    } rows[] = {
        {"'..' in the JavaScript folder", "../outside/j1/", "/medias/"},
        {"'..' in the media folder", "/js/", "../outside/m1/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const RunResult r = Publish(Args(row.js, row.media));
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_EQ(Listing(outside), "") << "written outside the site";
        EXPECT_EQ(test::ReadFile(index), original);
    }
    {
        SCOPED_TRACE("a media folder that is a link out of the site");
        ASSERT_EQ(::symlink(outside.c_str(), (site + "/medias").c_str()), 0);
        const RunResult r = Publish(Args("/js/", "/medias/"));
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_FOLDER_OUTSIDE_SITE), site + "/medias/",
                                          site + "/")),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(Listing(outside), "");
        EXPECT_EQ(test::ReadFile(index), original);
        EXPECT_FALSE(PathExists(site + "/js")) << "nothing is written";
    }
}

TEST_F(SiteBounds, FolderArgumentsTakeTheStoredForm) {
    const RunResult r = Publish(Args("js", "/medias"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = test::ReadFile(index);
    EXPECT_NE(page.find("src=\"js/video-js/video.js\""), std::string::npos) << page;
    EXPECT_NE(page.find("src=\"medias/movie.mp4\""), std::string::npos) << page;
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.mp4"));
}

TEST_F(SiteBounds, TheSitesServerConfigurationKeepsItsProtection) {
    const std::string own =
        "AuthType Basic\nAuthName \"Members\"\nRequire valid-user\n"
        "RewriteEngine On\nRewriteRule ^old$ new [R]\n";
    const std::string htaccess = env.sandbox.Write("site/.htaccess", own);
    const RunResult r =
        Publish({"--site-root", site, "--js-path", "/js/", "--media-path", "/", "--overwrite", "no",
                 "--no-poster", SampleMedia("movie.mp4"), index});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string after = test::ReadFile(htaccess);
    EXPECT_TRUE(after.starts_with(own)) << after;
    EXPECT_NE(after.find("AddType video/mp4 .mp4"), std::string::npos) << after;
    const std::string second = env.sandbox.Write("site/second.htm", kPage);
    ASSERT_EQ(Publish({"--site-root", site, "--js-path", "/js/", "--media-path", "/", "--no-poster",
                       SampleMedia("movie.mp4"), second})
                  .status,
              0);
    EXPECT_EQ(test::ReadFile(htaccess), after) << "the media types are added once";
}

}  // namespace
}  // namespace faults
