// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/SiteLayout.h"

#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"

namespace {

class SiteLayoutTest : public ::testing::Test {
protected:
    void SetSite(const std::string& root, const std::string& js, const std::string& media) {
        COptions* options = COptions::Instance();
        options->m_strSiteRoot = root;
        options->m_strJsPath = js;
        options->m_strMediaPath = media;
    }
    // The site as a front end describes it from the settings.
    static SiteLayout Layout() { return SiteLayout(SiteFromOptions(*COptions::Instance())); }

    test::Environment env;
};

TEST_F(SiteLayoutTest, WithoutSiteRootEverythingSitsBesideThePage) {
    SetSite("", "/js/", "/media/");
    const std::string page = "/d/site/news/index.htm";
    EXPECT_EQ(Layout().GetJavaScriptFolder(page), "/d/site/news");
    EXPECT_EQ(Layout().GetMediaFolder(page), "/d/site/news/medias");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath(page), "");
    EXPECT_EQ(Layout().GetRelativeMediaPath(page), "medias");

    COptions::Instance()->m_strMediaFolderName = "clips";
    EXPECT_EQ(Layout().GetMediaFolder(page), "/d/site/news/clips");
    EXPECT_EQ(Layout().GetRelativeMediaPath(page), "clips");
}

TEST_F(SiteLayoutTest, RelativePathsFollowThePageDepth) {
    SetSite("/d/site/", "/js/", "/media/");
    {
        SCOPED_TRACE("page in the root");
        EXPECT_EQ(Layout().GetJavaScriptFolder("/d/site/index.htm"), "/d/site/js/");
        EXPECT_EQ(Layout().GetMediaFolder("/d/site/index.htm"), "/d/site/media/");
        EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "js/");
        EXPECT_EQ(Layout().GetRelativeMediaPath("/d/site/index.htm"), "media/");
    }
    {
        SCOPED_TRACE("page one folder down");
        const std::string rel = Layout().GetRelativeJavaScriptPath("/d/site/news/a.htm");
        EXPECT_EQ(rel, "../js/");
        EXPECT_EQ(PathToUrl(rel), "../js/");
        EXPECT_EQ(Layout().GetJavaScriptFolder("/d/site/news/a.htm"), "/d/site/js/");
    }
    {
        SCOPED_TRACE("page three folders down, target two down");
        SetSite("/d/site/", "/lib/js/", "/media/");
        EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/a/b/c/p.htm"), "../../../lib/js/");
    }
    {
        SCOPED_TRACE("a page beside a folder that shares its first letters");
        SetSite("/d/site/", "/js/", "/jsx/");
        EXPECT_EQ(Layout().GetRelativeMediaPath("/d/site/js2/p.htm"), "../jsx/");
    }
}

TEST_F(SiteLayoutTest, SingleSlashJsPathMeansTheSiteRootItself) {
    SetSite("/d/site/", "/", "/");
    EXPECT_EQ(Layout().GetJavaScriptFolder("/d/site/index.htm"), "/d/site/");
    EXPECT_EQ(Layout().GetMediaFolder("/d/site/index.htm"), "/d/site/");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "");
    EXPECT_EQ(Layout().GetRelativeMediaPath("/d/site/index.htm"), "");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/news/a.htm"), "../");
}

TEST_F(SiteLayoutTest, JsPathWithoutTrailingSlashGivesNoSeparator) {
    SetSite("/d/site/", "js", "media");
    EXPECT_EQ(Layout().GetJavaScriptFolder("/d/site/index.htm"), "/d/site/js");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "js");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/news/a.htm"), "../js");
    EXPECT_EQ(Layout().GetRelativeMediaPath("/d/site/index.htm"), "media");
}

TEST_F(SiteLayoutTest, SettingsChangesApplyOnTheNextCall) {
    SetSite("/d/site/", "/js/", "/media/");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "js/");
    COptions::Instance()->m_strJsPath = "/scripts/";
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "scripts/");
    COptions::Instance()->m_strSiteRoot.clear();
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/index.htm"), "");
}

TEST_F(SiteLayoutTest, DotDotInsideTheSettingsIsResolvedLexically) {
    SetSite("/d/site/", "/sub/../js/", "/media/./clips/");
    EXPECT_EQ(Layout().GetJavaScriptFolder("/d/site/index.htm"), "/d/site/js/");
    EXPECT_EQ(Layout().GetRelativeJavaScriptPath("/d/site/news/../index.htm"), "js/");
    EXPECT_EQ(Layout().GetRelativeMediaPath("/d/site/index.htm"), "media/clips/");
}

TEST(RelativePathFromTest, PlayerFormsStripLeadingDotSlashAndSlashes) {
    struct Case {
        const char* name;
        const char* from;
        const char* target;
        const char* expected;
    };
    const Case cases[] = {
        {"file beside", "/d/site/js/video-js", "/d/site/js/video-js/Player.swf", "Player.swf"},
        {"up two levels", "/d/site/js/video-js", "/d/site/medias/a b.mp4", "../../medias/a b.mp4"},
        {"same folder as a folder", "/d/site/js/", "/d/site/js/", ""},
        {"same folder without slash", "/d/site/js", "/d/site/js", "."},
        {"into the root", "/d", "/", "../"},
        {"from the root", "/", "/d/a.mp4", "d/a.mp4"},
        {"partial name is no common part", "/d/site", "/d/site2/a.mp4", "../site2/a.mp4"},
        {"doubled and dotted", "/d//site/./js/", "/d/site/media/../js/a.mp4", "a.mp4"},
    };
    for (const Case& c : cases) {
        auto result = RelativePathFrom(c.from, c.target);
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_EQ(*result, c.expected) << c.name;
    }
    EXPECT_FALSE(RelativePathFrom("site/js", "/d/a.mp4").has_value());
    EXPECT_FALSE(RelativePathFrom("/d/js", "a.mp4").has_value());
    EXPECT_FALSE(RelativePathFrom("", "/a.mp4").has_value());
}

class CheckPageLocationTest : public SiteLayoutTest {
protected:
    // The check as the wizard makes it: what it refuses is shown.
    bool Shown(const std::string& path) {
        const CStatus checked = Layout().CheckPageLocation(path);
        test::ShowMessage(checked.why);
        return static_cast<bool>(checked);
    }
    void SetUp() override {
        root = env.sandbox.MakeFolder("site");
        page = env.sandbox.Write("site/index.htm", "<html></html>");
        subPage = env.sandbox.Write("site/news/a.htm", "<html></html>");
        outside = env.sandbox.Write("site2/a.htm", "<html></html>");
        SetSite(root + "/", "/js/", "/media/");
    }

    std::string root, page, subPage, outside;
};

TEST_F(CheckPageLocationTest, PagesInOrBelowTheRootAreAccepted) {
    EXPECT_TRUE(Shown(page));
    EXPECT_TRUE(Shown(subPage));
    COptions::Instance()->m_strSiteRoot = root;  // without its trailing slash
    EXPECT_TRUE(Shown(subPage));
    COptions::Instance()->m_strSiteRoot.clear();
    EXPECT_TRUE(Shown(outside));
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(CheckPageLocationTest, MissingPageReportsLoadFailureAndNeverTheRootMessage) {
    const std::string missing = root + "/../elsewhere/missing.htm";
    EXPECT_FALSE(Shown(missing));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(env.box.messages[0].text, "Failed to load web page '" + missing +
                                            "', please check the web page and try again.");

    EXPECT_FALSE(Shown(env.sandbox.MakeFolder("site/folder.htm")));
    ASSERT_EQ(env.box.messages.size(), 2u);
    EXPECT_NE(env.box.messages[1].text.find("Failed to load web page"), std::string::npos);

    COptions::Instance()->m_strSiteRoot.clear();
    EXPECT_FALSE(Layout().CheckPageLocation(missing));
    EXPECT_EQ(env.box.messages.size(), 2u);
}

TEST_F(CheckPageLocationTest, SiblingWithTheSameNamePrefixIsRefused) {
    EXPECT_FALSE(Shown(outside));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(env.box.messages[0].text, "Please load web page from site root '" + root +
                                            "/', or its subfolders.\n'" + outside +
                                            "' is not under site root, please load other web "
                                            "pages and try again.");
    EXPECT_FALSE(Layout().CheckPageLocation(outside));
    EXPECT_EQ(env.box.messages.size(), 1u);
}

TEST_F(CheckPageLocationTest, DotDotOrLinksCannotLeadOutOfTheRoot) {
    {
        SCOPED_TRACE("'..' that climbs out");
        EXPECT_FALSE(Layout().CheckPageLocation(root + "/news/../../site2/a.htm"));
        EXPECT_TRUE(Layout().CheckPageLocation(root + "/news/../index.htm"));
    }
    {
        SCOPED_TRACE("a linked folder inside the root pointing outside");
        ASSERT_EQ(::symlink(GetPathFolder(outside).c_str(), (root + "/linked").c_str()), 0);
        EXPECT_FALSE(Layout().CheckPageLocation(root + "/linked/a.htm"));
    }
    {
        SCOPED_TRACE("a page that is a link to a page outside");
        ASSERT_EQ(::symlink(outside.c_str(), (root + "/alias.htm").c_str()), 0);
        EXPECT_FALSE(Layout().CheckPageLocation(root + "/alias.htm"));
    }
    {
        SCOPED_TRACE("a site root reached through a link still holds its pages");
        const std::string alias = env.sandbox / "root-alias";
        ASSERT_EQ(::symlink(root.c_str(), alias.c_str()), 0);
        COptions::Instance()->m_strSiteRoot = alias + "/";
        EXPECT_TRUE(Layout().CheckPageLocation(subPage));
        EXPECT_FALSE(Layout().CheckPageLocation(outside));
    }
}

TEST_F(CheckPageLocationTest, LetterCaseOfTheRootMustMatch) {
    COptions::Instance()->m_strSiteRoot = env.sandbox / "SITE/";
    EXPECT_FALSE(Shown(page));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_NE(env.box.messages[0].text.find("is not under site root"), std::string::npos);
}

}  // namespace
