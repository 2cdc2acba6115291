// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <memory>
#include <regex>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Browser.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "players/SamplePages.h"
#include "tests/support/Sandbox.h"

namespace {

// An installation folder of our own in the sandbox, so the tests control every file in it.
class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        const char* saved = std::getenv("DEDE5_VARODO_HOME");
        savedHome = saved ? saved : "";
        install = env.sandbox.MakeFolder("install");
        ::setenv("DEDE5_VARODO_HOME", install.c_str(), 1);
        work = env.sandbox / "appdata/Tempory";
        for (const char* file :
             {"video-js/video.js", "video-js/video-js.css", "video-js/tube.css",
              "video-js/font/skip.woff", "leanback/readme.txt",
              "leanback/js/leanbackPlayer.pack.js", "leanback/js/leanbackPlayer.en.js",
              "leanback/css/leanbackPlayer.default.css", "leanback/css/themes/dark.css",
              "leanback/css/themes/deeper/not-copied.css", "Projekktor/projekktor.min.js",
              "Projekktor/theme/style.css", "Example/Waiting for you.mp4",
              "Example/Waiting for you.webm", "Example/Waiting for you.jpg",
              "Example/Waiting for you.mp3", "Example/Waiting for you.oga"}) {
            env.sandbox.Write(std::string("install/") + file, file);
        }
        env.sandbox.Write("install/Example/tube-css.htm",
                          "<link href=\"$(path)/video-js/tube.css\">"
                          "<video $(controls) $(autoplay) $(video_poster) $(video_loop)>");
        env.sandbox.Write("install/Example/mediaelement-audio.htm",
                          std::string("<audio $(controls) $(autoplay) $(video_loop)>\0junk", 48));
    }
    void TearDown() override {
        if (savedHome.empty()) {
            ::unsetenv("DEDE5_VARODO_HOME");
        } else {
            ::setenv("DEDE5_VARODO_HOME", savedHome.c_str(), 1);
        }
        SetBrowserHost(nullptr);
    }

    test::Environment env;
    std::string install, savedHome;
    // The settings' defaults, changed by each test where it needs.
    PlayerChoices choices = ChoicesFromOptions(*COptions::Instance());
    std::string work;
};

TEST_F(Resources, LeanbackRecreatesEachListedFolderWithOnlyItsOwnFiles) {
    const std::string js = env.sandbox / "site/js";
    ASSERT_TRUE(CreatePlayer(PLAYER_TYPE_LEANBACK)->CopyResources(js));
    EXPECT_EQ(test::ReadFile(js + "/leanback/readme.txt"), "leanback/readme.txt");
    EXPECT_TRUE(IsRegularFile(js + "/leanback/js/leanbackPlayer.en.js"));
    EXPECT_TRUE(IsRegularFile(js + "/leanback/css/leanbackPlayer.default.css"));
    EXPECT_TRUE(IsRegularFile(js + "/leanback/css/themes/dark.css"));
    EXPECT_FALSE(PathExists(js + "/leanback/css/themes/deeper")) << "sub-folders are not entered";
}

TEST_F(Resources, SecondCopyOverReadOnlyFilesSucceeds) {
    const std::string js = env.sandbox / "site/js/";
    auto player = CreatePlayer(PLAYER_TYPE_VIDEOJS);
    ASSERT_TRUE(player->CopyResources(js));
    EXPECT_FALSE(PathExists(js + "video-js/font")) << "Video.js copies its folder's own files";
    ::chmod((js + "video-js/video.js").c_str(), 0444);
    env.sandbox.Write("install/video-js/video.js", "new version");
    ASSERT_TRUE(player->CopyResources(js));
    EXPECT_EQ(test::ReadFile(js + "video-js/video.js"), "new version");
}

TEST_F(Resources, MissingSourceFolderFailsWithoutTouchingOthers) {
    const std::string js = env.sandbox / "site/js";
    DeleteFolder(install + "/Projekktor/theme");
    EXPECT_FALSE(CreatePlayer(PLAYER_TYPE_PROJEKKTOR)->CopyResources(js));
    EXPECT_TRUE(IsRegularFile(js + "/Projekktor/projekktor.min.js")) << "folders before it stay";
    EXPECT_FALSE(PathExists(js + "/Projekktor/theme"));
    EXPECT_FALSE(CreatePlayer(PLAYER_TYPE_MEDIAELEMENT)->CopyResources(js));
    EXPECT_FALSE(PathExists(js + "/mediaelement"));
    EXPECT_FALSE(CreatePlayer(PLAYER_TYPE_VIDEOJS)->CopyResources("relative/js"));
}

TEST_F(Resources, ProjekktorPutsItsFlashPlayerBesideThePageWhenItHasOne) {
    env.sandbox.Write("site/pages/a.htm", "<html>");
    const auto site = CSiteFolder::Open(env.sandbox / "site");
    ASSERT_TRUE(site);
    auto player = CreatePlayer(PLAYER_TYPE_PROJEKKTOR);
    EXPECT_TRUE(player->OnPagePublished(*site.value, "pages"))
        << "no jarisplayer.swf: nothing to do";
    EXPECT_FALSE(PathExists(env.sandbox / "site/pages/jarisplayer.swf"));
    env.sandbox.Write("install/Projekktor/jarisplayer.swf", "swf");
    EXPECT_TRUE(player->OnPagePublished(*site.value, "pages"));
    EXPECT_EQ(test::ReadFile(env.sandbox / "site/pages/jarisplayer.swf"), "swf");
    EXPECT_TRUE(CreatePlayer(PLAYER_TYPE_VIDEOJS)->OnPagePublished(*site.value, "pages"));
    // A link in its place is left alone and named.
    const std::string swf = env.sandbox / "site/pages/jarisplayer.swf";
    ASSERT_TRUE(::unlink(swf.c_str()) == 0 && ::symlink("/dev/null", swf.c_str()) == 0);
    EXPECT_FALSE(player->OnPagePublished(*site.value, "pages"));
    EXPECT_EQ(player->FailedFile(), swf);
}

TEST_F(Resources, SamplePagesAreNumberedAndFilledWithTheOptions) {
    choices.autoPlay = true;
    choices.poster = true;
    choices.controls = false;
    choices.loop = true;
    const std::string sample = install + "/Example/tube-css.htm";
    auto first = WriteSamplePage(MEDIA_KIND_VIDEO, sample, choices, work);
    auto second = WriteSamplePage(MEDIA_KIND_VIDEO, sample, choices, work);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.value, work + "/html5-player.htm");
    EXPECT_EQ(second.value, work + "/html5-player-0.htm");
    EXPECT_EQ(test::ReadFile(first.value),
              "<link href=\"" + PathToUrl(install) +
                  "/video-js/tube.css\"><video  autoplay=\"autoplay\" muted=\"muted\" "
                  "playsinline=\"playsinline\"  poster=\"Waiting for "
                  "you.jpg\" loop=\"loop\"  >");
    EXPECT_TRUE(IsRegularFile(work + "/Waiting for you.webm"));
    EXPECT_FALSE(PathExists(work + "/Waiting for you.mp3"));

    choices.poster = false;
    auto third = WriteSamplePage(MEDIA_KIND_VIDEO, sample, choices, work);
    ASSERT_TRUE(third);
    EXPECT_EQ(test::ReadFile(third.value).find("poster"), std::string::npos);
}

TEST_F(Resources, AudioSampleHonoursAudioAutoPlayOnlyAndStopsAtAZeroByte) {
    choices.autoPlay = true;
    choices.audioAutoPlay = false;
    const std::string sample = install + "/Example/mediaelement-audio.htm";
    auto page = WriteSamplePage(MEDIA_KIND_AUDIO, sample, choices, work);
    ASSERT_TRUE(page);
    EXPECT_EQ(test::ReadFile(page.value), "<audio controls=\"controls\"    >");
    choices.audioAutoPlay = true;
    page = WriteSamplePage(MEDIA_KIND_AUDIO, sample, choices, work);
    ASSERT_TRUE(page);
    EXPECT_NE(test::ReadFile(page.value).find("autoplay=\"autoplay\""), std::string::npos);
    EXPECT_TRUE(IsRegularFile(work + "/Waiting for you.oga"));
}

TEST_F(Resources, SampleMediaAlreadyInTheWorkFolderIsKept) {
    env.sandbox.Write("appdata/Tempory/Waiting for you.mp3", "kept");
    ASSERT_TRUE(CopySampleMedia(MEDIA_KIND_AUDIO, work));
    EXPECT_EQ(test::ReadFile(work + "/Waiting for you.mp3"), "kept");
    work = "not/absolute";
    EXPECT_FALSE(CopySampleMedia(MEDIA_KIND_AUDIO, work));
}

class RecordingHost : public IBrowserHost {
public:
    bool DetectChrome(BrowserInfo& info) override {
        info = {30, 0, "chromium"};
        return true;
    }
    bool DetectFirefox(BrowserInfo& info) override {
        info = {20, 0, "firefox"};
        return true;
    }
    bool DetectInternetExplorer(BrowserInfo& info) override {
        info = {};
        return false;
    }
    bool LaunchBrowser(const BrowserInfo& info, const std::string& page) override {
        launched = info.program + " " + page;
        return true;
    }
    bool OpenDefault(const std::string&) override { return false; }
    std::string launched;
};

TEST_F(Resources, ShowSamplePageOpensItByTheFixedOrder) {
    RecordingHost host;
    SetBrowserHost(&host);
    ASSERT_TRUE(ShowSamplePage(MEDIA_KIND_VIDEO, install + "/Example/tube-css.htm", choices, work));
    EXPECT_EQ(host.launched, "firefox " + work + "/html5-player.htm");
    host.launched.clear();
    const CStatus missing =
        ShowSamplePage(MEDIA_KIND_VIDEO, install + "/Example/missing.htm", choices, work);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(host.launched.empty());
    EXPECT_EQ(missing.why.id, IDS_SAMPLE_FILE_ERROR) << "a missing sample page is a file error";
    EXPECT_NE(ErrorText(missing.why).find("missing.htm"), std::string::npos);
}

// Adding a player is a row, its class and its files: every file the row's head code and sample
// page name must reach the site from the build's installation folder.
TEST_F(Resources, EachRowHasItsClassItsFilesAndItsSamplePage) {
    ::setenv("DEDE5_VARODO_HOME", DEDE5_BUILD_HOME, 1);
    const std::regex named(R"(\$\(path\)/([^"' ]+))");
    for (const int kind : {MEDIA_KIND_VIDEO, MEDIA_KIND_AUDIO}) {
        const auto rows = kind == MEDIA_KIND_VIDEO ? GetVideoPlayers() : GetAudioPlayers();
        for (size_t index = 0; index < rows.size(); ++index) {
            const PlayerInfo& row = rows[index];
            SCOPED_TRACE(row.name);
            const std::unique_ptr<CHTML5Player> player = CreatePlayer(row.playerType);
            ASSERT_TRUE(player);
            EXPECT_EQ(player->GetPlayerType(), row.playerType);
            EXPECT_TRUE(player->GetKindsMask() & kind) << "the class serves its table's kind";
            const std::string js = env.sandbox / ("site/js" + std::to_string(kind) + row.cliName);
            ASSERT_TRUE(player->CopyResources(js)) << player->FailedFile();
            PlayerRequest request;
            request.playerIndex = static_cast<int>(index);
            std::string text;
            ASSERT_TRUE(player->GetHeadCode(request, text));
            const std::string sample = std::string(DEDE5_BUILD_HOME) + "/Example/" + row.samplePage;
            ASSERT_TRUE(IsRegularFile(sample));
            text += test::ReadFile(sample);
            for (std::sregex_iterator it(text.begin(), text.end(), named), end; it != end; ++it) {
                const std::string file = js + "/" + (*it)[1].str();
                EXPECT_TRUE(file.ends_with('/') ? IsFolder(file) : IsRegularFile(file)) << file;
            }
            // The picture the select-player page shows for the row.
            EXPECT_TRUE(IsRegularFile(std::string(DEDE5_SOURCE_DIR) + "/ui/resources/player-" +
                                      std::to_string(row.pictureId) + ".png"));
        }
    }
}

}  // namespace
