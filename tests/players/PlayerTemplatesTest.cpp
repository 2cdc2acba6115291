// SPDX-License-Identifier: GPL-3.0-or-later
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "core/CodePage.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "publish/SiteLayout.h"
#include "tests/support/Sandbox.h"

namespace {

// What a front end does before it asks for code: the request's folders under the site, the
// choices from the settings, and the poster step when the poster is on.
void Prepare(PlayerRequest& r) {
    const COptions& options = *COptions::Instance();
    const SiteLayout site(SiteFromOptions(options));
    r.jsFolder = site.GetJavaScriptFolder(r.pagePath);
    r.mediaFolder = site.GetMediaFolder(r.pagePath);
    ReadCodeOptions(r, ChoicesFromOptions(options));
    if (r.poster && r.posterFile.empty()) {
        if (auto picture = TakePosterPicture(r, options.m_strWorkFolder)) {
            r.posterFile = *picture;
            r.tempList.push_back(*picture);
        }
    }
}

// A site with js/ and medias/ under its root and media files outside it; ffmpeg is stood in for
// by a maker that writes a small file and counts its calls.
class Players : public ::testing::Test {
protected:
    void SetUp() override {
        options = COptions::Instance();
        options->m_strSiteRoot = env.sandbox / "site/";
        options->m_strJsPath = "/js/";
        options->m_strMediaPath = "/medias/";
        options->m_strWorkFolder = env.sandbox / "work-temp";
        options->m_bVideoControl = 1;
        options->m_bAutoPlay = 0;
        options->m_bVideoLoop = 0;
        options->m_bVideoPoster = 0;
        options->m_bAudioAutoPlay = 0;
        // The worked examples are the texts without it; it has tests of its own.
        options->m_bFitPlayer = 0;
        page = env.sandbox.Write("site/index.htm", "<html></html>");
        SetStillPictureMaker([this](const std::string& video, const std::string& jpeg) {
            ++pictures;
            lastVideo = video;
            std::ofstream(jpeg, std::ios::binary) << "\xFF\xD8 jpeg";
            return makerSucceeds;
        });
    }
    void TearDown() override { SetStillPictureMaker(nullptr); }

    PlayerRequest Request(const std::string& mediaName, int kind, int index = 0) {
        PlayerRequest r;
        const std::string media = env.sandbox.Write("work/" + mediaName, "media");
        r.mediaFiles = {media};
        r.copyList = {media};
        r.pagePath = page;
        r.mediaTitle = GetPathFileTitle(media);
        r.width = kind == MEDIA_KIND_VIDEO ? 640 : 0;
        r.height = kind == MEDIA_KIND_VIDEO ? 360 : 0;
        r.mediaKind = kind;
        r.playerIndex = index;
        r.jsFolderUrl = "js/";
        r.mediaFolderUrl = "medias/";
        return r;
    }

    std::string Body(int type, PlayerRequest& r) {
        Prepare(r);
        auto player = CreatePlayer(type);
        std::string out = "unchanged";
        EXPECT_TRUE(player->GetBodyCode(r, out));
        return out;
    }

    test::Environment env;
    COptions* options = nullptr;
    std::string page;
    int pictures = 0;
    bool makerSucceeds = true;
    std::string lastVideo;
};

TEST_F(Players, VideoJsDefaultPlayerForAnMp4) {
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, 0);
    EXPECT_EQ(Body(PLAYER_TYPE_VIDEOJS, r),
              "<video class=\"video-js vjs-default-skin\" controls=\"controls\"    width=\"640\" "
              "height=\"360\"   preload=\"auto\" "
              "data-setup=\"{'media_path':'../../medias/movie.mp4','flash_player_path':'js/"
              "video-js/'}\">\n"
              "<source src=\"medias/movie.mp4\" type=\"video/mp4\"/>\n"
              "\n</video>");
    std::string head;
    ASSERT_TRUE(CreatePlayer(PLAYER_TYPE_VIDEOJS)->GetHeadCode(r, head));
    EXPECT_EQ(head,
              "<script src=\"$(path)/video-js/video.js\" type=\"text/javascript\"></script>\n"
              "<link rel=\"stylesheet\" href=\"$(path)/video-js/video-js.css\">\n");
}

TEST_F(Players, VideoJsWebmGetsTheFallbackAndTheYouTubeSkin) {
    options->m_nVideoPlayer = 1;
    PlayerRequest r = Request("clip.webm", MEDIA_KIND_VIDEO, 1);
    const std::string body = Body(PLAYER_TYPE_VIDEOJS, r);
    EXPECT_TRUE(body.starts_with("<video class=\"video-js tubecss\" ")) << body;
    EXPECT_TRUE(body.ends_with(
        "<source src=\"medias/clip.webm\" type=\"video/webm\"/>\n"
        "The browser you are using does not support viewing HTML5 WebM Video,please open it in "
        "Chrome, Firefox, Opera .\n</video>"))
        << body;
    std::string head;
    CreatePlayer(PLAYER_TYPE_VIDEOJS)->GetHeadCode(r, head);
    EXPECT_TRUE(head.ends_with("<link rel=\"stylesheet\" href=\"$(path)/video-js/tube.css\">\n"));
}

TEST_F(Players, VideoJsUnknownExtensionGivesAnEmptyBodyAndAudioFails) {
    PlayerRequest r = Request("movie.avi", MEDIA_KIND_VIDEO);
    EXPECT_EQ(Body(PLAYER_TYPE_VIDEOJS, r), "");
    PlayerRequest audio = Request("song.mp3", MEDIA_KIND_AUDIO);
    std::string out = "unchanged";
    EXPECT_FALSE(CreatePlayer(PLAYER_TYPE_VIDEOJS)->GetBodyCode(audio, out));
    EXPECT_EQ(out, "unchanged");
    for (int type : {PLAYER_TYPE_MEDIAELEMENT, PLAYER_TYPE_LEANBACK, PLAYER_TYPE_PROJEKKTOR}) {
        PlayerRequest unknown = Request("movie.avi", MEDIA_KIND_VIDEO);
        EXPECT_FALSE(CreatePlayer(type)->GetBodyCode(unknown, out)) << type;
        EXPECT_EQ(out, "unchanged");
    }
}

TEST_F(Players, LeanbackMp4FallsBackToTheMarkedFlashObject) {
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, 3);
    const std::string body = Body(PLAYER_TYPE_LEANBACK, r);
    EXPECT_NE(body.find("<object class=\"leanback-player-flash-fallback\" "
                        "classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"\n"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find("\" width=\"642\" height=\"386\" align=\"Default*\">\n"),
              std::string::npos);
    EXPECT_NE(body.find("<param name=\"movie\" "
                        "value=\"js/leanback/Player.swf?&path=../../medias/movie.mp4\">\n"),
              std::string::npos);
    EXPECT_NE(body.find("<embed src=\"js/leanback/Player.swf?&path=../../medias/movie.mp4\""),
              std::string::npos);
    EXPECT_NE(body.find("bgcolor=\"#ffffff\"  width=\"642\" height=\"386\" allowFullScreen"),
              std::string::npos);
    EXPECT_TRUE(body.ends_with("</object>\n</video>\n\n</div>\n")) << body;
}

TEST_F(Players, LeanbackWebmWithEveryOptionOff) {
    options->m_bVideoControl = 0;
    PlayerRequest r = Request("clip.webm", MEDIA_KIND_VIDEO, 3);
    r.mediaFolderUrl = "medias";
    EXPECT_EQ(Body(PLAYER_TYPE_LEANBACK, r),
              "<div class=\"leanback-player-video\">\n"
              "<video    width=\"640\" height=\"360\"   preload=\"auto\" >\n"
              "<source src=\"medias/clip.webm\" type=\"video/webm\"/>\n"
              "The browser you are using does not support viewing HTML5 WebM Video,please open it "
              "in Chrome, Firefox, Opera .\n"
              "</video>\n\n</div>\n");
}

TEST_F(Players, LeanbackOgvCarriesTheOggFallback) {
    PlayerRequest r = Request("clip.ogv", MEDIA_KIND_VIDEO, 3);
    EXPECT_NE(Body(PLAYER_TYPE_LEANBACK, r)
                  .find("<source src=\"medias/clip.ogv\" type=\"video/ogg\"/>\n"
                        "The browser you are using does not support viewing HTML5 Ogg "
                        "Video,please open it in Chrome,Firefox,Opera .\n</video>"),
              std::string::npos);
}

TEST_F(Players, MediaElementAudioHasItsBlanksAndScript) {
    options->m_bAudioAutoPlay = 1;
    options->m_bAutoPlay = 0;
    PlayerRequest r = Request("song.mp3", MEDIA_KIND_AUDIO);
    r.mediaFolderUrl = "medias";
    Prepare(r);
    auto player = CreatePlayer(PLAYER_TYPE_MEDIAELEMENT);
    std::string body;
    ASSERT_TRUE(player->GetBodyCode(r, body));
    EXPECT_EQ(body,
              "<audio  controls=\"controls\"   autoplay=\"autoplay\"    preload=\"auto\" >\n"
              "<source src=\"medias/song.mp3\" type=\"audio/mpeg\"/>\n</audio>");
    EXPECT_EQ(
        player->GetScriptCode(),
        "\n<script>\n$('audio,video').mediaelementplayer({\nsuccess: function(player, node) "
        "{\n$('#' + node.id + '-mode').html('mode: ' + player.pluginType);\n}\n});\n</script>");
    EXPECT_EQ(pictures, 0) << "audio never gets a poster";
}

TEST_F(Players, MediaElementVideoWithEveryOptionOff) {
    options->m_bVideoControl = 0;
    PlayerRequest r = Request("clip.webm", MEDIA_KIND_VIDEO, 2);
    EXPECT_TRUE(Body(PLAYER_TYPE_MEDIAELEMENT, r).starts_with("<video    width=\"640\""));
}

TEST_F(Players, ProjekktorRefusesAudioAndWritesTheTitle) {
    PlayerRequest audio = Request("song.mp3", MEDIA_KIND_AUDIO);
    std::string out;
    EXPECT_FALSE(CreatePlayer(PLAYER_TYPE_PROJEKKTOR)->GetBodyCode(audio, out));
    PlayerRequest r = Request("Tom & Jerry.mp4", MEDIA_KIND_VIDEO, 4);
    const std::string body = Body(PLAYER_TYPE_PROJEKKTOR, r);
    EXPECT_TRUE(
        body.starts_with("<video id=\"player_a\" title=\"Tom & Jerry\" controls=\"controls\""))
        << body;
    EXPECT_TRUE(
        body.ends_with("</video>\n\n<script type=\"text/javascript\">\n$(document).ready("
                       "function() {projekktor('#player_a', { playerFlashMP4: "
                       "'jarisplayer.swf'});});\n</script>"));
}

struct VideoRow {
    int type;
    int index;
};
constexpr VideoRow kVideoRows[] = {{PLAYER_TYPE_VIDEOJS, 0},
                                   {PLAYER_TYPE_VIDEOJS, 1},
                                   {PLAYER_TYPE_MEDIAELEMENT, 2},
                                   {PLAYER_TYPE_LEANBACK, 3},
                                   {PLAYER_TYPE_PROJEKKTOR, 4}};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Fit changes the markup on purpose (the worked examples above are the texts without it).
TEST_F(Players, FittedBodiesAreTidyAndCarryNoFlash) {
    options->m_bFitPlayer = 1;
    for (int autoplay : {0, 1}) {
        for (const VideoRow& row : kVideoRows) {
            options->m_nVideoPlayer = row.index;
            options->m_bAutoPlay = autoplay;
            PlayerRequest r =
                Request(row.index == 3 ? "movie.mp4" : "clip.webm", MEDIA_KIND_VIDEO, row.index);
            r.width = 1920;
            r.height = 1080;
            const std::string body = Body(row.type, r);
            EXPECT_EQ(Count(body,
                            "width=\"1920\" height=\"1080\" style=\"width:1920px;max-width:100%;"
                            "height:auto;aspect-ratio:1920/1080;display:block\""),
                      1u)
                << body;
            EXPECT_EQ(Count(body, autoplay ? "preload=\"auto\"" : "preload=\"metadata\""), 1u);
            for (const char* untidy : {"  ", " >", "\n\n", "lash", "swf", "media_path"}) {
                EXPECT_EQ(body.find(untidy), std::string::npos) << untidy << " in " << body;
            }
            EXPECT_FALSE(body.ends_with("\n"));
        }
    }
}

TEST_F(Players, FitLeavesAudioAndSizelessVideoAlone) {
    for (int type : {PLAYER_TYPE_MEDIAELEMENT, PLAYER_TYPE_LEANBACK}) {
        options->m_bFitPlayer = 0;
        PlayerRequest plain = Request("song.mp3", MEDIA_KIND_AUDIO);
        const std::string expected = Body(type, plain);
        options->m_bFitPlayer = 1;
        PlayerRequest fitted = Request("song.mp3", MEDIA_KIND_AUDIO);
        EXPECT_EQ(Body(type, fitted), expected) << type;
        EXPECT_FALSE(fitted.fit) << "only video is fitted";
    }
    PlayerRequest sizeless = Request("movie.mp4", MEDIA_KIND_VIDEO, 2);
    sizeless.width = 0;
    sizeless.height = 0;
    const std::string body = Body(PLAYER_TYPE_MEDIAELEMENT, sizeless);
    EXPECT_TRUE(sizeless.fit);
    EXPECT_EQ(body.find("style="), std::string::npos) << "no proportions to keep: " << body;
    EXPECT_EQ(body.find("$(fit)"), std::string::npos) << body;
}

TEST_F(Players, AutoplayingVideoIsMutedAndInlineAudioIsNot) {
    options->m_bAutoPlay = 1;
    options->m_bAudioAutoPlay = 1;
    for (const VideoRow& row : kVideoRows) {
        options->m_nVideoPlayer = row.index;
        PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, row.index);
        const std::string body = Body(row.type, r);
        EXPECT_EQ(Count(body, "autoplay=\"autoplay\" muted=\"muted\" playsinline=\"playsinline\" "),
                  1u)
            << body;
    }
    for (int type : {PLAYER_TYPE_MEDIAELEMENT, PLAYER_TYPE_LEANBACK}) {
        PlayerRequest r = Request("song.mp3", MEDIA_KIND_AUDIO);
        const std::string body = Body(type, r);
        EXPECT_EQ(Count(body, "autoplay=\"autoplay\""), 1u) << body;
        EXPECT_EQ(body.find("muted"), std::string::npos) << "sound that plays muted is no sound";
    }
    options->m_bAutoPlay = 0;
    for (const VideoRow& row : kVideoRows) {
        PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, row.index);
        const std::string body = Body(row.type, r);
        EXPECT_EQ(body.find("autoplay"), std::string::npos) << body;
        EXPECT_EQ(body.find("muted"), std::string::npos) << body;
    }
}

TEST_F(Players, SourceLinesFollowTheMode) {
    PlayerRequest r = Request("My Clip.mp4", MEDIA_KIND_VIDEO);
    r.mediaFolderUrl = "../medias";
    EXPECT_EQ(BuildSourceList(r), "<source src=\"../medias/My%20Clip.mp4\" type=\"video/mp4\"/>\n");
    r.mode = PLAYER_MODE_PREVIEW;
    EXPECT_EQ(BuildSourceList(r), "<source src=\"file://" + PathToUrl(r.mediaFiles[0]).substr(7) +
                                      "\" type=\"video/mp4\"/>\n");
    EXPECT_TRUE(BuildSourceList(r).find("file:///") != std::string::npos);
    r.mediaFolderUrl.clear();
    r.mode = PLAYER_MODE_PUBLISH;
    EXPECT_EQ(BuildSourceList(r), "<source src=\"My%20Clip.mp4\" type=\"video/mp4\"/>\n");

    PlayerRequest webm = Request("clip.webm", MEDIA_KIND_VIDEO);
    EXPECT_NE(BuildSourceList(webm).find("type=\"video/webm\""), std::string::npos);
    webm.mediaKind = MEDIA_KIND_AUDIO;
    EXPECT_NE(BuildSourceList(webm).find("type=\"audio/webm\""), std::string::npos);

    PlayerRequest missing = Request("gone.mp4", MEDIA_KIND_VIDEO);
    missing.mediaFiles.push_back(env.sandbox / "work/not-there.webm");
    missing.mediaFiles.push_back(env.sandbox.Write("work/other.avi", "x"));
    EXPECT_EQ(BuildSourceList(missing), "<source src=\"medias/gone.mp4\" type=\"video/mp4\"/>\n");
}

TEST_F(Players, NonAsciiNameIsEscapedOnceInTheMediaPath) {
    PlayerRequest r = Request("M\xC3\xA4rz clip.mp4", MEDIA_KIND_VIDEO);
    Prepare(r);
    EXPECT_EQ(MediaPathUrl(r, "video-js").value_or("?"), "../../medias/M%C3%A4rz%20clip.mp4");
    codepage::SetSystemCodePageForTesting("CP1252");
    PlayerRequest cp = Request("M\xE4rz clip.mp4", MEDIA_KIND_VIDEO);
    Prepare(cp);
    EXPECT_EQ(MediaPathUrl(cp, "video-js").value_or("?"), "../../medias/M%C3%A4rz%20clip.mp4");
    codepage::SetSystemCodePageForTesting("");
}

TEST_F(Players, PosterIsTakenIntoTheWorkFolderAndListed) {
    options->m_bVideoPoster = 1;
    const std::string users = env.sandbox.Write("work/movie.jpg", "the user's own picture");
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO);
    const std::string body = Body(PLAYER_TYPE_VIDEOJS, r);
    EXPECT_NE(body.find("height=\"360\" poster=\"medias/movie.jpg\"    preload"), std::string::npos)
        << body;
    ASSERT_EQ(r.tempList.size(), 1u);
    EXPECT_EQ(r.tempList[0], options->m_strWorkFolder + "/movie.jpg");
    EXPECT_EQ(PublishCopyList(r).back(), r.tempList[0]);
    EXPECT_EQ(lastVideo, r.mediaFiles[0]);
    EXPECT_EQ(test::ReadFile(users), "the user's own picture");

    PlayerRequest preview = Request("movie.mp4", MEDIA_KIND_VIDEO);
    preview.mode = PLAYER_MODE_PREVIEW;
    preview.copyList.clear();
    EXPECT_NE(Body(PLAYER_TYPE_MEDIAELEMENT, preview).find("poster=\"" + PathToUrl(r.tempList[0])),
              std::string::npos);
    EXPECT_TRUE(preview.copyList.empty()) << "a preview copies nothing";

    makerSucceeds = false;
    PlayerRequest failed = Request("movie.mp4", MEDIA_KIND_VIDEO);
    const std::string plain = Body(PLAYER_TYPE_VIDEOJS, failed);
    EXPECT_EQ(plain.find("poster="), std::string::npos);
    EXPECT_TRUE(failed.tempList.empty());
    EXPECT_NE(plain.find("<source"), std::string::npos) << "the body still builds";
}

TEST_F(Players, TemplateWithoutAMacroIsUnchanged) {
    std::string text = "<video>$(controls)</video>";
    ReplaceMacro(text, "fall_back", "X");
    EXPECT_EQ(text, "<video>$(controls)</video>");
    ReplaceMacro(text, "controls", "$(controls)$(controls)");
    EXPECT_EQ(text, "<video>$(controls)$(controls)</video>") << "inserted text is not rescanned";
    EXPECT_EQ(BuildFallbackText(1),
              "The browser you are using does not support viewing HTML5 Ogg Video,please open it "
              "in Chrome,Firefox,Opera .");
}

TEST_F(Players, HeadCodeForPageFillsEveryScriptFolder) {
    PlayerRequest r = Request("clip.mp4", MEDIA_KIND_VIDEO);
    std::string head;
    CreatePlayer(PLAYER_TYPE_LEANBACK)->GetHeadCode(r, head);
    const std::string filled = HeadCodeForPage(head, "../js/");
    EXPECT_EQ(filled.find("$(path)"), std::string::npos) << filled;
    EXPECT_NE(filled.find("src=\"../js/leanback/js/leanbackPlayer.pack.js\""), std::string::npos)
        << filled;
    EXPECT_NE(filled.find("href=\"../js/leanback/css/leanbackPlayer.default.css\""),
              std::string::npos)
        << filled;
    EXPECT_EQ(HeadCodeForPage("a $(path) b $(path)/c", "$(path)/"), "a $(path) b $(path)/c")
        << "only the folder form is filled, and what is put in is not rescanned";
    EXPECT_EQ(HeadCodeForPage("", "js/"), "");
}

TEST_F(Players, TablesAndLookups) {
    ASSERT_EQ(GetVideoPlayers().size(), 5u);
    ASSERT_EQ(GetAudioPlayers().size(), 1u);
    EXPECT_EQ(FindVideoPlayer("youtube player")->pictureId, 341);
    EXPECT_EQ(FindVideoPlayer("Projekktor Player")->playerType, PLAYER_TYPE_PROJEKKTOR);
    EXPECT_EQ(FindAudioPlayer("MEDIAELEMENT PLAYER")->samplePage,
              std::string("mediaelement-audio.htm"));
    EXPECT_EQ(FindAudioPlayer("Default Player"), nullptr);
    EXPECT_EQ(CreatePlayer(4), nullptr);
    EXPECT_EQ(CreatePlayer(PLAYER_TYPE_LEANBACK)->GetFolderName(), "leanback");
    EXPECT_EQ(CreatePlayer(PLAYER_TYPE_PROJEKKTOR)->GetKindsMask(), 1);
}

// Attributes of the generated opening tags, parsed back as a browser would split them.
std::vector<std::pair<std::string, std::string>> Attributes(const std::string& markup) {
    std::vector<std::pair<std::string, std::string>> attrs;
    const std::regex tag("<(video|audio|source)\\b([^>]*)>");
    const std::regex attr("([a-zA-Z_:-]+)=\"([^\"]*)\"|([^\\s=]+)=");
    for (auto it = std::sregex_iterator(markup.begin(), markup.end(), tag);
         it != std::sregex_iterator(); ++it) {
        const std::string inside = (*it)[2];
        for (auto a = std::sregex_iterator(inside.begin(), inside.end(), attr);
             a != std::sregex_iterator(); ++a) {
            attrs.emplace_back((*a)[1].matched ? (*a)[1].str() : (*a)[3].str(), (*a)[2]);
        }
    }
    return attrs;
}

std::string UrlDecode(const std::string& url) {
    std::string out;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            out += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

TEST_F(Players, HostileFileNamesCannotBreakTheMarkup) {
    options->m_bVideoPoster = 1;
    const char* names[] = {"Tom's \"clip\".mp4", "<img src=x onerror=alert(1)>.mp4",
                           "a&b#c%41d?.mp4", "caf\xC3\xA9 (1).mp4", "50% off.webm"};
    for (const char* name : names) {
        for (int type : {PLAYER_TYPE_VIDEOJS, PLAYER_TYPE_MEDIAELEMENT, PLAYER_TYPE_LEANBACK,
                         PLAYER_TYPE_PROJEKKTOR}) {
            PlayerRequest r = Request(name, MEDIA_KIND_VIDEO, type == PLAYER_TYPE_VIDEOJS ? 0 : 2);
            const std::string body = Body(type, r);
            const auto attrs = Attributes(body);
            std::set<std::string> known = {"class",  "controls", "width",      "height",
                                           "poster", "preload",  "data-setup", "src",
                                           "type",   "id",       "title"};
            for (const auto& [key, value] : attrs) {
                EXPECT_TRUE(known.count(key)) << name << ": stray attribute " << key << " in\n"
                                              << body;
                if (key == "src") {
                    EXPECT_EQ(UrlDecode(value), "medias/" + std::string(name)) << body;
                }
                if (key == "poster") {
                    EXPECT_EQ(UrlDecode(value), "medias/" + GetPathFileTitle(name) + ".jpg");
                }
            }
            if (type == PLAYER_TYPE_VIDEOJS) {
                std::smatch m;
                ASSERT_TRUE(std::regex_search(body, m, std::regex("'media_path':'([^']*)'")));
                EXPECT_EQ(UrlDecode(m[1]), "../../medias/" + std::string(name));
            }
        }
    }
}

}  // namespace

namespace {

TEST(PlayersWithFfmpeg, RealPosterPictureForAnMp4) {
    test::Environment env;
    COptions* options = COptions::Instance();
    options->m_strSiteRoot = env.sandbox / "site/";
    options->m_strJsPath = "/js/";
    options->m_strMediaPath = "/medias/";
    options->m_strWorkFolder = env.sandbox / "work-temp";
    options->m_bVideoPoster = 1;
    const std::string media = env.sandbox / "in/movie.mp4";
    CreateFolders(env.sandbox / "in");
    ASSERT_TRUE(test::MakeMedia(media, 1, true, true, {"-c:v", "libx264", "-c:a", "aac"}, 160, 90));
    PlayerRequest r;
    r.mediaFiles = {media};
    r.pagePath = env.sandbox.Write("site/index.htm", "<html>");
    r.mediaKind = MEDIA_KIND_VIDEO;
    r.width = 160;
    r.height = 90;
    r.mediaFolderUrl = "medias/";
    Prepare(r);
    std::string body;
    ASSERT_TRUE(CreatePlayer(PLAYER_TYPE_MEDIAELEMENT)->GetBodyCode(r, body));
    EXPECT_NE(body.find("poster=\"medias/movie.jpg\""), std::string::npos) << body;
    ASSERT_EQ(r.tempList.size(), 1u);
    EXPECT_TRUE(test::ReadFile(r.tempList[0]).starts_with("\xFF\xD8"));
}

}  // namespace

namespace {

// Whole texts, blanks and line feeds included, for the players and kinds not spelled out above.
class WholeTexts : public Players {};

TEST_F(WholeTexts, HeadCodeOfEveryPlayer) {
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO);
    struct Row {
        int type;
        const char* head;
    } rows[] = {
        {PLAYER_TYPE_MEDIAELEMENT,
         "<script src=\"$(path)/mediaelement/jquery.js\"></script>\n"
         "<script src=\"$(path)/mediaelement/mediaelement-and-player.min.js\"></script>\n"
         "<link rel=\"stylesheet\" href=\"$(path)/mediaelement/mediaelementplayer.min.css\" />\n"},
        {PLAYER_TYPE_PROJEKKTOR,
         "<link rel=\"stylesheet\" href=\"$(path)/Projekktor/theme/style.css\" type=\"text/css\" "
         "media=\"screen\" />\n"
         "<script type=\"text/javascript\" src=\"$(path)/Projekktor/jquery.min.js\"></script>\n"
         "<script type=\"text/javascript\" "
         "src=\"$(path)/Projekktor/projekktor.min.js\"></script>\n"},
        {PLAYER_TYPE_LEANBACK,
         "<link rel=\"stylesheet\" media=\"screen\" type=\"text/css\" "
         "href=\"$(path)/leanback/css/leanbackPlayer.default.css\" />\n"
         "<script type=\"text/javascript\" "
         "src=\"$(path)/leanback/js/leanbackPlayer.pack.js\"></script>\n"
         "<script type=\"text/javascript\" "
         "src=\"$(path)/leanback/js/leanbackPlayer.en.js\"></script>\n"},
    };
    for (const auto& row : rows) {
        std::string head;
        ASSERT_TRUE(CreatePlayer(row.type)->GetHeadCode(r, head));
        EXPECT_EQ(head, row.head) << row.type;
    }
    options->m_nVideoPlayer = 1;
    r.playerIndex = 1;
    std::string tube;
    CreatePlayer(PLAYER_TYPE_VIDEOJS)->GetHeadCode(r, tube);
    EXPECT_EQ(tube,
              "<script src=\"$(path)/video-js/video.js\" type=\"text/javascript\"></script>\n"
              "<link rel=\"stylesheet\" href=\"$(path)/video-js/video-js.css\">\n"
              "<link rel=\"stylesheet\" href=\"$(path)/video-js/tube.css\">\n");
}

TEST_F(WholeTexts, BodiesWithEveryOptionOn) {
    options->m_bAutoPlay = 1;
    options->m_bVideoLoop = 1;
    options->m_bVideoPoster = 1;
    options->m_bAudioAutoPlay = 1;
    PlayerRequest video = Request("movie.mp4", MEDIA_KIND_VIDEO, 2);
    EXPECT_EQ(Body(PLAYER_TYPE_MEDIAELEMENT, video),
              "<video  controls=\"controls\"   autoplay=\"autoplay\" muted=\"muted\" "
              "playsinline=\"playsinline\"  width=\"640\" height=\"360\" "
              "poster=\"medias/movie.jpg\"   loop=\"loop\"   preload=\"auto\" >\n"
              "<source src=\"medias/movie.mp4\" type=\"video/mp4\"/>\n</video>");

    PlayerRequest projekktor = Request("movie.webm", MEDIA_KIND_VIDEO, 4);
    EXPECT_EQ(
        Body(PLAYER_TYPE_PROJEKKTOR, projekktor),
        "<video id=\"player_a\" title=\"movie\" controls=\"controls\"   autoplay=\"autoplay\" "
        "muted=\"muted\" playsinline=\"playsinline\"  width=\"640\" height=\"360\" "
        "poster=\"medias/movie.jpg\"   loop=\"loop\"   "
        "preload=\"auto\" >\n<source src=\"medias/movie.webm\" type=\"video/webm\"/>\n"
        "</video>\n\n<script type=\"text/javascript\">\n$(document).ready(function() "
        "{projekktor('#player_a', { playerFlashMP4: 'jarisplayer.swf'});});\n</script>");

    PlayerRequest audio = Request("song.oga", MEDIA_KIND_AUDIO);
    EXPECT_EQ(Body(PLAYER_TYPE_LEANBACK, audio),
              "<div class=\"leanback-player-audio\" style=\"width: 411px;\">\n<audio  "
              "controls=\"controls\"   autoplay=\"autoplay\"   loop=\"loop\"   preload=\"auto\">\n"
              "<source src=\"medias/song.oga\" type=\"audio/ogg\"/>\n</audio>\n</div>\n\n");
    EXPECT_EQ(pictures, 2) << "only the two video bodies took a poster";
}

TEST_F(WholeTexts, FittedMediaElementVideo) {
    options->m_bFitPlayer = 1;
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, 2);
    r.width = 1920;
    r.height = 1080;
    EXPECT_EQ(
        Body(PLAYER_TYPE_MEDIAELEMENT, r),
        "<video controls=\"controls\" width=\"1920\" height=\"1080\" "
        "style=\"width:1920px;max-width:100%;height:auto;aspect-ratio:1920/1080;display:block\" "
        "preload=\"metadata\">\n<source src=\"medias/movie.mp4\" type=\"video/mp4\"/>\n</video>");
}

TEST_F(WholeTexts, LeanbackMp4BodyWithItsFlashObject) {
    options->m_bVideoControl = 0;
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, 3);
    EXPECT_EQ(
        Body(PLAYER_TYPE_LEANBACK, r),
        "<div class=\"leanback-player-video\">\n"
        "<video    width=\"640\" height=\"360\"   preload=\"auto\" >\n"
        "<source src=\"medias/movie.mp4\" type=\"video/mp4\"/>\n"
        "<object class=\"leanback-player-flash-fallback\" "
        "classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"\n"
        "codebase=\"https://download.macromedia.com/pub/shockwave/cabs/flash/"
        "swflash.cab#version=8,0,0,0\" width=\"642\" height=\"386\" align=\"Default*\">\n"
        "<param name=\"allowScriptAccess\" value=\"sameDomain\">\n"
        "<param name=\"movie\" value=\"js/leanback/Player.swf?&path=../../medias/movie.mp4\">\n"
        "<param name=\"quality\" value=\"high\">\n"
        "<param name=\"bgcolor\" value=\"#ffffff\">\n"
        "<param name=\"allowFullScreen\" value=\"true\">\n"
        "<embed src=\"js/leanback/Player.swf?&path=../../medias/movie.mp4\" quality=\"high\"  "
        "align=\"middle\"\n"
        "bgcolor=\"#ffffff\"  width=\"642\" height=\"386\" allowFullScreen=\"true\" \n"
        "allowScriptAccess=\"sameDomain\" type=\"application/x-shockwave-flash\" \n"
        "pluginspage=\"https://www.adobe.com/go/getflashplayer\">\n"
        "</object>\n</video>\n\n</div>\n");
}

TEST_F(WholeTexts, NoSiteRootPutsEverythingBesideThePage) {
    options->m_strSiteRoot.clear();
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO);
    r.mediaFolderUrl = "medias";
    const std::string body = Body(PLAYER_TYPE_VIDEOJS, r);
    EXPECT_NE(body.find("data-setup=\"{'media_path':'../medias/movie.mp4','flash_player_path':"
                        "'video-js/'}\""),
              std::string::npos)
        << body;
}

}  // namespace
