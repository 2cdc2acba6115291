// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>
#include <fstream>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"
#include "tests/cli/CliRun.h"
#include "tests/support/Sandbox.h"

namespace {

using cli_test::Publish;
using cli_test::Result;

std::string Listing(const std::string& folder) {
    std::string out;
    test::Run({"find", folder, "-mindepth", "1", "-printf", "%P %s %T@\n"}, &out);
    return out;
}

constexpr const char* kPage =
    "<html>\n<head>\n<title>Home</title>\n</head>\n<body class=\"home\">\n<p>text</p>\n"
    "<!-- video -->\n</body>\n</html>\n";

class PublishCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media = new test::Sandbox;
        ASSERT_TRUE(test::MakeMedia(*media / "movie.mp4", 1, true, true,
                                    {"-c:v", "libx264", "-c:a", "aac", "-shortest"}, 640, 360));
        ASSERT_TRUE(test::MakeMedia(*media / "song.mp3", 1, false, true, {"-c:a", "libmp3lame"}));
        ASSERT_TRUE(test::MakeMedia(*media / "clip.avi", 1, true, false, {"-c:v", "mpeg4"}));
    }
    static void TearDownTestSuite() {
        delete media;
        media = nullptr;
    }
    void SetUp() override {
        site = env.sandbox.MakeFolder("site");
        index = env.sandbox.Write("site/index.htm", kPage);
        news = env.sandbox.Write("site/news/a.htm", kPage);
    }
    std::vector<std::string> Site(std::vector<std::string> more) {
        std::vector<std::string> args = {"--site-root", site,           "--js-path",
                                         "/js/",        "--media-path", "/medias/"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    static test::Sandbox* media;
    test::Environment env;
    std::string site, index, news;
};

test::Sandbox* PublishCli::media = nullptr;

TEST_F(PublishCli, Mp4IntoTwoPagesAtDifferentDepths) {
    Result r =
        Publish(Site({"--player", "default", "--poster", *media / "movie.mp4", index, news}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string top = test::ReadFile(index);
    const std::string deeper = test::ReadFile(news);
    EXPECT_NE(top.find("<script src=\"js/video-js/video.js\""), std::string::npos) << top;
    EXPECT_LT(top.find("video-js.css"), top.find("</head>"));
    EXPECT_NE(top.find("<body class=\"home\">\n<video class=\"video-js vjs-default-skin\""),
              std::string::npos);
    EXPECT_NE(top.find("</video>\n\n<p>text</p>"), std::string::npos)
        << "the player has its own lines, a break before and after whatever is there";
    EXPECT_NE(top.find("<source src=\"medias/movie.mp4\" type=\"video/mp4\"/>"), std::string::npos);
    EXPECT_NE(top.find("poster=\"medias/movie.jpg\""), std::string::npos);
    EXPECT_NE(deeper.find("<script src=\"../js/video-js/video.js\""), std::string::npos);
    EXPECT_NE(deeper.find("<source src=\"../medias/movie.mp4\""), std::string::npos);
    EXPECT_NE(deeper.find("data-setup=\"{}\""), std::string::npos) << "no Flash paths";
    for (const char* file : {"js/video-js/video.js", "js/video-js/video-js.css", "medias/movie.mp4",
                             "medias/movie.jpg", "medias/.htaccess"}) {
        EXPECT_TRUE(IsRegularFile(site + "/" + file)) << file;
    }
    EXPECT_TRUE(test::ReadFile(site + "/medias/movie.jpg").starts_with("\xFF\xD8"));
    EXPECT_EQ(Listing(env.tmp), "") << "no temporary poster or work folder is left";

    // A second publish of the same media asks nothing (an asked question would read EOF: cancel).
    Result again = Publish(Site({"--overwrite", "ask", *media / "movie.mp4", index}));
    EXPECT_EQ(again.status, 0) << again.err;
}

TEST_F(PublishCli, FitIsOnUnlessSwitchedOff) {
    const std::string fitted =
        "width=\"640\" height=\"360\" "
        "style=\"width:640px;max-width:100%;height:auto;aspect-ratio:640/360;display:block\"";
    for (const char* player : {"default", "youtube", "mediaelement", "leanback", "projekktor"}) {
        Result byDefault = Publish(
            Site({"--print", "--no-poster", "--player", player, *media / "movie.mp4", index}));
        ASSERT_EQ(byDefault.status, 0) << byDefault.err;
        EXPECT_NE(byDefault.out.find(fitted), std::string::npos) << player << byDefault.out;
        Result off = Publish(Site({"--print", "--no-poster", "--no-fit", "--player", player,
                                   *media / "movie.mp4", index}));
        ASSERT_EQ(off.status, 0) << off.err;
        EXPECT_EQ(off.out.find("style=\"width"), std::string::npos) << player << off.out;
        EXPECT_NE(off.out.find("width=\"640\" height=\"360\""), std::string::npos);
    }
    Result audio = Publish(Site({"--print", "--fit", *media / "song.mp3", index}));
    ASSERT_EQ(audio.status, 0) << audio.err;
    EXPECT_EQ(audio.out.find("max-width"), std::string::npos) << audio.out;
}

TEST_F(PublishCli, QualitiesStreamIsMadeOnceAndOfferedFirst) {
    // Video.js plays the stream itself; the second player's run reuses the stream of the first.
    std::string stream;
    for (const auto& [player, script] : {std::pair{"default", false}, {"leanback", true}}) {
        Result r = Publish(Site(
            {"--again", "--qualities", "--player", player, *media / "movie.mp4", index, news}));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string top = test::ReadFile(index);
        EXPECT_LT(top.find("<source src=\"medias/movie.hls/master.m3u8\" "
                           "type=\"application/x-mpegURL\"/>\n<source src=\"medias/movie.mp4\""),
                  top.find("</video>"))
            << top;
        EXPECT_NE(test::ReadFile(news).find("\"../medias/movie.hls/master.m3u8\""),
                  std::string::npos);
        EXPECT_EQ(top.find("js/hls/hls.light.min.js\"></script>") != std::string::npos, script);
        EXPECT_EQ(IsRegularFile(site + "/js/hls/hls.light.min.js"), script);
        EXPECT_NE(test::ReadFile(site + "/medias/movie.hls/360p/index.m3u8").find("ENDLIST"),
                  std::string::npos);
        EXPECT_NE(test::ReadFile(site + "/medias/.htaccess")
                      .find("AddType application/vnd.apple.mpegurl .m3u8\n"
                            "AddType video/iso.segment .m4s\n"),
                  std::string::npos);
        EXPECT_EQ(Listing(env.tmp), "") << "no stream is left in the working folder";
        const std::string listing = Listing(site + "/medias/movie.hls");
        EXPECT_TRUE(stream.empty() || listing == stream) << "made again";
        stream = listing;
    }
    const std::string plain = env.sandbox.Write("site/plain.htm", kPage);
    ASSERT_EQ(Publish(Site({"--no-qualities", *media / "movie.mp4", plain})).status, 0);
    EXPECT_EQ(test::ReadFile(plain).find("hls"), std::string::npos) << test::ReadFile(plain);
}

TEST_F(PublishCli, OtherSourcesAreCheckedCopiedAndOfferedSmallestFirst) {
    const test::Sandbox& m = *media;
    ASSERT_TRUE(test::MakeMedia(m / "movie.webm", 1, true, false, {"-c:v", "libvpx"}, 160, 120));
    ASSERT_TRUE(test::MakeMedia(m / "long.webm", 3, true, false, {"-c:v", "libvpx"}, 160, 120));
    ASSERT_TRUE(test::MakeMedia(m / "song.ogg", 1, false, true, {"-c:a", "libvorbis"}));
    // The rows' orders hold as the WebM is smaller than the MP4, the Ogg than the MP3.
    const struct {
        std::vector<std::string> args;  // the media last
        int status;
        // Published: the sources in the page's order; refused: the words said.
        std::vector<std::string> said;
    } rows[] = {
        // clang-format off
        {{"--qualities", "--source", m / "movie.webm", m / "movie.mp4"}, 0,
         {"movie.hls/master.m3u8\" type=\"application/x-mpegURL", "movie.webm\" type=\"video/webm",
          "movie.mp4\" type=\"video/mp4"}},
        {{"--source", m / "song.ogg", m / "song.mp3"}, 0,
         {"song.ogg\" type=\"audio/ogg", "song.mp3\" type=\"audio/mpeg"}},
        {{"--source", m / "long.webm", m / "movie.mp4"}, 2, {m / "long.webm", "lasts 3.0 s and"}},
        {{"--source", m / "clip.avi", m / "movie.mp4"}, 2, {m / "clip.avi", "cannot play its"}},
        {{"--source", m / "song.ogg", m / "movie.mp4"}, 2, {m / "song.ogg", "same kind"}},
        {{"--source", m / "movie.mp4", m / "movie.mp4"}, 2, {"of the type video/mp4"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
        args.push_back(env.sandbox.Write("site/" + std::to_string(&row - rows) + ".htm", kPage));
        const Result r = Publish(Site(args));
        EXPECT_EQ(r.status, row.status) << r.err;
        const std::string page = test::ReadFile(args.back());
        EXPECT_EQ(page == kPage, r.status != 0) << "a refused source changes no page";
        for (size_t at = 0; const std::string& said : row.said) {
            at = r.status ? r.err.find(said) : page.find("src=\"medias/" + said, at);
            EXPECT_NE(at, std::string::npos) << said << "\n" << r.err << page;
            ++at;
        }
        const std::string source = *(std::ranges::find(args, "--source") + 1);
        if (r.status == 0) {
            EXPECT_EQ(test::ReadFile(site + "/medias/" + GetPathFileName(source)),
                      test::ReadFile(source));
        }
    }
}

TEST_F(PublishCli, PrintChangesNothing) {
    const std::string before = Listing(site);
    Result r = Publish(Site({"--print", "--player", "mediaelement", *media / "movie.mp4", news}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("<script src=\"../js/mediaelement/jquery.js\"></script>\n"))
        << r.out;
    EXPECT_NE(r.out.find("\n----\n<video controls=\"controls\""), std::string::npos);
    EXPECT_NE(r.out.find("mediaelementplayer({"), std::string::npos) << "the script code follows";
    EXPECT_EQ(Listing(site), before);
    EXPECT_EQ(Listing(env.tmp), "") << "the poster taken for the code is gone";
}

TEST_F(PublishCli, AtReplacesAndAfterFollowsTheMarker) {
    ASSERT_EQ(
        Publish(Site({"--at", "<!-- video -->", "--no-poster", *media / "song.mp3", index})).status,
        0);
    const std::string at = test::ReadFile(index);
    EXPECT_EQ(at.find("<!-- video -->"), std::string::npos);
    EXPECT_NE(at.find("<p>text</p>\n<audio  controls=\"controls\""), std::string::npos) << at;

    ASSERT_EQ(Publish(Site({"--after", "<p>text</p>", *media / "song.mp3", news})).status, 0);
    const std::string after = test::ReadFile(news);
    EXPECT_NE(after.find("<p>text</p><audio  "), std::string::npos) << after;
    EXPECT_NE(after.find("</script>\n<!-- video -->"), std::string::npos);

    const std::string untouched = env.sandbox.Write("site/plain.htm", "<p>no marker</p>");
    Result missing = Publish(Site({"--at", "<!-- video -->", *media / "song.mp3", untouched}));
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(test::ReadFile(untouched), "<p>no marker</p>");
}

TEST_F(PublishCli, EveryExitStatusHasItsCase) {
    EXPECT_EQ(Publish({"--player"}).status, 1);
    EXPECT_EQ(Publish({*media / "movie.mp4"}).status, 1);

    Result gone = Publish(Site({*media / "gone.mp4", index}));
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(gone.err.find(fmt::sprintf(LoadStringRes(IDS_MEDIA_NOT_EXIST), *media / "gone.mp4")),
              std::string::npos)
        << gone.err;
    Result avi = Publish(Site({*media / "clip.avi", index}));
    EXPECT_EQ(avi.status, 2);
    EXPECT_NE(avi.err.find("The following files are not in HTML5 video or audio format:\n" +
                           *media / "clip.avi"),
              std::string::npos)
        << avi.err;
    const std::string garbage = env.sandbox.Write("garbage.mp4", "not a movie at all");
    EXPECT_EQ(Publish(Site({garbage, index})).status, 2);

    const std::string outside = env.sandbox.Write("elsewhere/page.htm", kPage);
    Result refused = Publish(Site({*media / "song.mp3", outside, index}));
    EXPECT_EQ(refused.status, 3) << "the first non-zero status";
    EXPECT_NE(refused.err.find("is not under site root"), std::string::npos);
    EXPECT_NE(test::ReadFile(index).find("<audio"), std::string::npos)
        << "the next page is still published";

    env.sandbox.Write("site/blocker", "a file where the media folder should be");
    Result unwritable = Publish({"--site-root", site, "--js-path", "/js/", "--media-path",
                                 "/blocker/medias/", *media / "song.mp3", news});
    EXPECT_EQ(unwritable.status, 4);
    EXPECT_NE(unwritable.err.find("Cannot create the media folder '" + site + "/blocker/medias"),
              std::string::npos)
        << unwritable.err;
    EXPECT_NE(unwritable.err.find("Not a directory"), std::string::npos) << unwritable.err;

    env.sandbox.Write("site/medias/song.mp3", "another song of the same name");
    Result cancelled = Publish(Site({"--overwrite", "ask", *media / "song.mp3", news}), "c\n");
    EXPECT_EQ(cancelled.status, 5) << cancelled.err;
    EXPECT_NE(cancelled.err.find("already exists in"), std::string::npos);
    EXPECT_EQ(test::ReadFile(site + "/medias/song.mp3"), "another song of the same name");
    Result kept = Publish(Site({*media / "song.mp3", news}));
    EXPECT_EQ(kept.status, 0) << "without a terminal the existing file is kept";
    EXPECT_EQ(test::ReadFile(site + "/medias/song.mp3"), "another song of the same name");
}

TEST_F(PublishCli, VersionAndHelpNeedNoSettings) {
    Result version = Publish({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("dede5-publish (Ombrel DEDE5 Varodo) ")) << version.out;
    Result help = Publish({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: dede5-publish"), std::string::npos);
}

TEST_F(PublishCli, SettingsFileIsReadAndNeverWritten) {
    const std::string ini =
        env.sandbox.Write("settings.ini", "[Options]\nSite%20Root=" + site +
                                              "/\nJS%20Path=/scripts/\nMedia%20Path=/media/\n");
    const std::string before = test::ReadFile(ini);
    Result r = Publish({"--settings", ini, *media / "song.mp3", index});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(IsRegularFile(site + "/scripts/mediaelement/jquery.js"));
    EXPECT_TRUE(IsRegularFile(site + "/media/song.mp3"));
    EXPECT_EQ(test::ReadFile(ini), before);
    EXPECT_FALSE(PathExists(env.home + "/.config/OmbrelTec"))
        << "the user's settings are untouched";
}

TEST_F(PublishCli, CaptionsAreFoundGivenConvertedAndTyped) {
    const std::string movie = env.sandbox / "in/movie.mp4";
    CreateFolders(env.sandbox / "in");
    ASSERT_EQ(test::Run({"cp", *media / "movie.mp4", movie}), 0);
    env.sandbox.Write("in/movie.en.srt", "1\n00:00:01,000 --> 00:00:02,000\nHello\n");
    const std::string french = env.sandbox.Write(
        "in/french.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nD\xE9j\xE0 l'\xE9t\xE9\r\n");
    // An older copy of the server configuration, without the captions type.
    env.sandbox.Write("site/medias/.htaccess", "AddType video/mp4 .mp4\n");

    Result r = Publish(Site({"--player", "mediaelement", "--captions",
                             french + ":fr:Fran\xC3\xA7"
                                      "ais",
                             movie, index}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = test::ReadFile(index);
    EXPECT_NE(page.find("<track kind=\"captions\" src=\"medias/movie.en.vtt\" srclang=\"en\" "
                        "label=\"English\" default>\n<track kind=\"captions\" "
                        "src=\"medias/movie.fr.vtt\" srclang=\"fr\" label=\"Fran&#231;ais\">\n"
                        "</video>"),
              std::string::npos)
        << page;
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.en.vtt"),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nHello\n");
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.fr.vtt"),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nD\xC3\xA9j\xC3\xA0 l'\xC3\xA9t\xC3\xA9\n");
    const std::string config = test::ReadFile(site + "/medias/.htaccess");
    EXPECT_NE(config.find("AddType text/vtt .vtt\n# End of the media types"), std::string::npos)
        << config;
    EXPECT_EQ(Listing(env.tmp), "") << "no converted captions are left behind";

    // Without the found ones, and a file that is not captions stops the run, naming the line.
    const std::string bad = env.sandbox.Write("in/bad.srt",
                                              "1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                              "2\n00:00:03 --> 00:00:04,000\nB\n");
    Result refused = Publish(Site({"--no-captions", "--captions", bad, movie, news}));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("bad.srt' is neither WebVTT nor SubRip.\nLine 6:"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(test::ReadFile(news), kPage) << "nothing was published";

    Result none = Publish(Site({"--no-captions", movie, news}));
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(test::ReadFile(news).find("<track"), std::string::npos);
}

TEST_F(PublishCli, LinksAreReckonedFromRealFoldersAndOnlyFilesArePages) {
    // "via" leads to the sandbox, so via/site is the site under another name.
    const std::string via = env.sandbox / "via";
    ASSERT_EQ(::symlink(env.sandbox.path().c_str(), via.c_str()), 0);
    auto code = [&](const std::string& root, const std::string& page) {
        return Publish({"--site-root", root, "--js-path", "/js/", "--media-path", "/medias/",
                        "--print", "--no-poster", *media / "movie.mp4", page});
    };
    const Result real = code(site, news);
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_NE(real.out.find("<source src=\"../medias/movie.mp4\""), std::string::npos) << real.out;
    const struct {
        const char* name;
        std::string root, page;
    } named[] = {
        {"root through a linked folder", via + "/site", news},
        {"page through a linked folder", site, via + "/site/news/a.htm"},
        {"both through a linked folder", via + "/site/", via + "/site/news/a.htm"},
    };
    for (const auto& c : named) {
        const Result r = code(c.root, c.page);
        EXPECT_EQ(r.status, 0) << c.name << r.err;
        EXPECT_EQ(r.out, real.out) << c.name;
    }

    const std::string pipe = site + "/pipe.htm";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int page = ::open(news.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(page, 0);
    const std::string before = Listing(site);
    const struct {
        const char* name;
        std::string page;
        int input;
        std::string message;
    } refused[] = {
        {"a named pipe", pipe, -1, fmt::sprintf(LoadStringRes(IDS_PAGE_NOT_A_FILE), pipe)},
        {"standard input from a pipe", "/dev/stdin", -1,
         fmt::sprintf(LoadStringRes(IDS_PAGE_NOT_A_FILE), "/dev/stdin")},
        {"standard input holding a page of the site", "/dev/stdin", page,
         fmt::sprintf(LoadStringRes(IDS_PAGE_NAMED_ELSEWHERE), "/dev/stdin",
                      RealPath(news).value_or(news))},
    };
    for (const auto& c : refused) {
        const Result r = Publish(Site({"--no-poster", *media / "movie.mp4", c.page}), "", c.input);
        EXPECT_EQ(r.status, 3) << c.name << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << r.err;
    }
    ::close(page);
    EXPECT_EQ(Listing(site), before) << "nothing was written";
}

}  // namespace
