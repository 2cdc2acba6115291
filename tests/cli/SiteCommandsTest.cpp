// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/cli/CliRun.h"
#include "tests/support/Sandbox.h"

namespace {

using cli_test::Publish;
namespace fs = std::filesystem;

// Made by hand after our markup, without the script that makes it ours.
constexpr const char* kLookAlike =
    "<html><head></head><body>\n<video  controls=\"controls\" preload=\"auto\" >\n"
    "<source src=\"medias/elsewhere.mp4\" type=\"video/mp4\"/>\n</video>\n</body></html>\n";

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

std::map<std::string, std::string> Pages(const std::string& site) {
    std::map<std::string, std::string> pages;
    for (const auto& entry : fs::directory_iterator(site)) {
        if (entry.is_regular_file()) {
            pages[entry.path().filename()] = test::ReadFile(entry.path());
        }
    }
    return pages;
}

struct RoundTripRow {
    const char* name;
    const char* player;  // as listed
    const char* folder;  // its files' in the JavaScript folder
    std::string media;
    std::vector<std::string> options;
    bool secondPlayer = false;  // another media with the same player stays on each page
    bool keepFiles = false;
};

// A site of every test page (but those publishing changes for good) and a look-alike.
std::string MakeTestSite(test::Environment& env, const std::string& folder) {
    const std::string site = env.sandbox.MakeFolder(folder);
    for (const auto& entry : fs::directory_iterator(DEDE5_TEST_PAGES)) {
        const std::string name = entry.path().filename();
        // Publishing drops the dead menu scripts for good; a page with a zero byte is refused.
        if (name.ends_with(".htm") && name != "menu-scripts-crlf.htm" && name != "zero-byte.htm") {
            fs::copy_file(entry.path(), site + "/" + name);
        }
    }
    env.sandbox.Write(folder + "/look-alike.htm", kLookAlike);
    return site;
}

void RoundTrip(test::Environment& env, const RoundTripRow& row, const std::string& site) {
    const bool stream = std::ranges::count(row.options, "--qualities") > 0;
    const auto source = std::ranges::find(row.options, "--source");
    const std::string sourceCopy =
        source == row.options.end() ? "" : site + "/medias/" + GetPathFileName(*(source + 1));
    const std::string streamFolder = site + "/medias/" + GetPathFileTitle(row.media) + ".hls";
    const std::vector<std::string> where = {"--site-root", site,           "--js-path",
                                            "/js/",        "--media-path", "/medias/"};
    auto publish = [&](const std::string& media, std::vector<std::string> options) {
        options.insert(options.begin(), where.begin(), where.end());
        options.insert(options.end(), {"--player", row.player, media});
        for (const auto& [name, text] : Pages(site)) {
            options.push_back(site + "/" + name);
        }
        const auto r = Publish(options);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    const std::string other = env.sandbox / "other.mp4";
    if (row.secondPlayer) {
        fs::copy_file(row.media, other, fs::copy_options::overwrite_existing);
        publish(other, {"--no-poster", stream ? "--qualities" : "--no-qualities"});
    }
    const auto before = Pages(site);
    publish(row.media, row.options);
    const auto published = Pages(site);
    for (const auto& [name, text] : before) {
        EXPECT_NE(published.at(name), text) << name << " got no player";
    }

    std::vector<std::string> list = {"list", "--json"};
    list.insert(list.end(), where.begin(), where.end());
    const auto listed = Publish(list);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(Count(listed.out, "\"player\": \"" + std::string(row.player) + "\""),
              before.size() * (row.secondPlayer ? 2 : 1))
        << listed.out;
    EXPECT_EQ(Count(listed.out, "\"other video\""), 1u) << listed.out;
    EXPECT_EQ(Count(listed.out, "\"stream\": \"medias/small.hls/\""), stream ? before.size() : 0)
        << listed.out;
    EXPECT_EQ(Count(listed.out, "\"sources\": [\"medias/"), sourceCopy.empty() ? 0 : before.size());

    std::vector<std::string> remove = {"remove", GetPathFileName(row.media)};
    if (row.keepFiles) {
        remove.push_back("--keep-files");
    }
    remove.insert(remove.end(), where.begin(), where.end());
    if (stream || !sourceCopy.empty()) {
        // Taken off one page, the stream and the other sources stay for the others.
        remove.push_back(site + "/" + before.begin()->first);
        EXPECT_EQ(Publish(remove).status, 0);
        EXPECT_EQ(IsFolder(streamFolder), stream);
        EXPECT_TRUE(sourceCopy.empty() || IsRegularFile(sourceCopy));
        remove.pop_back();
    }
    const auto removed = Publish(remove);
    EXPECT_EQ(removed.status, 0) << removed.err;
    const auto after = Pages(site);
    for (const auto& [name, text] : before) {
        EXPECT_EQ(after.at(name), text) << name;
    }
    EXPECT_EQ(PathExists(site + "/medias/" + GetPathFileName(row.media)), row.keepFiles);
    EXPECT_EQ(IsFolder(site + "/js/" + row.folder), row.keepFiles || row.secondPlayer);
    EXPECT_EQ(PathExists(site + "/medias/other.mp4"), row.secondPlayer);
    EXPECT_EQ(PathExists(streamFolder), stream && row.keepFiles);
    EXPECT_EQ(!sourceCopy.empty() && PathExists(sourceCopy), !sourceCopy.empty() && row.keepFiles);
    EXPECT_EQ(IsFolder(site + "/js/hls"), stream && (row.keepFiles || row.secondPlayer));
}

TEST(SiteCommands, PublishThenRemoveGivesEveryPageBackByteForByte) {
    test::Environment env;
    const std::string movie = env.sandbox / "movie.mp4";
    const std::string song = env.sandbox / "song.mp3";
    const std::string small = env.sandbox / "small.mp4";  // one quality in its stream
    ASSERT_TRUE(test::MakeMedia(movie, 1, true, true, {"-c:v", "libx264", "-c:a", "aac"}, 640));
    ASSERT_TRUE(test::MakeMedia(small, 1, true, true, {"-c:v", "libx264", "-c:a", "aac"}));
    ASSERT_TRUE(test::MakeMedia(song, 1, false, true, {"-c:a", "libmp3lame"}));
    const std::string webm = env.sandbox / "movie.webm", ogg = env.sandbox / "song.ogg";
    ASSERT_TRUE(test::MakeMedia(webm, 1, true, false, {"-c:v", "libvpx"}, 160, 120));
    ASSERT_TRUE(test::MakeMedia(ogg, 1, false, true, {"-c:a", "libvorbis"}));
    const std::string vtt =
        env.sandbox.Write("subs.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nhi\n");
    const std::vector<RoundTripRow> rows = {
        {"poster, captions, fit",
         "default",
         "video-js",
         movie,
         {"--poster", "--captions", vtt, "--fit"}},
        {"plain, no fit",
         "youtube",
         "video-js",
         movie,
         {"--no-poster", "--no-fit", "--autoplay", "--loop", "--no-controls"}},
        {"fit, autoplay, captions",
         "youtube",
         "video-js",
         movie,
         {"--poster", "--fit", "--autoplay", "--captions", vtt}},
        {"mediaelement without fit", "mediaelement", "mediaelement", movie, {"--no-fit", "--loop"}},
        {"projekktor without fit",
         "projekktor",
         "Projekktor",
         movie,
         {"--no-fit", "--captions", vtt}},
        {"audio without fit", "mediaelement", "mediaelement", song, {"--no-fit"}},
        {"head code another player needs stays",
         "mediaelement",
         "mediaelement",
         movie,
         {"--poster", "--fit"},
         true},
        {"files kept",
         "leanback",
         "leanback",
         movie,
         {"--poster", "--fit", "--captions", vtt},
         false,
         true},
        {"leanback beside leanback", "leanback", "leanback", movie, {"--no-fit"}, true},
        {"projekktor beside projekktor",
         "projekktor",
         "Projekktor",
         movie,
         {"--poster", "--fit"},
         true},
        {"audio, fit", "mediaelement", "mediaelement", song, {"--autoplay", "--fit"}},
        {"stream, fit", "mediaelement", "mediaelement", small, {"--qualities", "--fit"}},
        {"stream beside stream", "leanback", "leanback", small, {"--qualities", "--no-fit"}, true},
        {"other source, fit", "default", "video-js", movie, {"--source", webm, "--fit"}},
        {"other source kept", "projekktor", "Projekktor", movie, {"--source", webm}, false, true},
        {"audio with another source", "mediaelement", "mediaelement", song, {"--source", ogg}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        RoundTrip(env, rows[i], MakeTestSite(env, "site" + std::to_string(i)));
    }
}

}  // namespace

TEST(SiteCommands, ReplacedMediaTakesANewNameAndTheOldPlayersPlace) {
    test::Environment env;
    const std::string movie = env.sandbox / "movie.mp4";
    const std::string other = env.sandbox / "new/movie.mp4";
    ASSERT_TRUE(test::MakeMedia(movie, 1, true, true, {"-c:v", "libx264", "-c:a", "aac"}));
    env.sandbox.MakeFolder("new");
    ASSERT_TRUE(test::MakeMedia(other, 1, true, false, {"-c:v", "libx264"}, 160, 120));
    const std::string site = env.sandbox.MakeFolder("site");
    std::vector<std::string> pages;
    for (const char* name : {"capitals-crlf.htm", "utf16le-bom-korean.htm"}) {
        pages.push_back(site + "/" + name);
        fs::copy_file(fs::path(DEDE5_TEST_PAGES) / name, pages.back());
    }
    const auto before = Pages(site);
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--site-root", site, "--js-path", "/js/", "--media-path", "/m/"});
        const auto r = Publish(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const std::string vtt =
        env.sandbox.Write("subs.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nhi\n");
    std::vector<std::string> publish = {"--player",    "youtube",    "--loop",
                                        "--poster",    "--captions", vtt + ":de:Deutsch",
                                        "--qualities", movie};
    publish.insert(publish.end(), pages.begin(), pages.end());
    run(publish);
    run({"replace", "movie.mp4", other});
    std::string listed = run({"list", "--json"});
    EXPECT_EQ(Count(listed, "\"player\": \"youtube\", \"media\": \"m/movie-2.mp4\""), 2u) << listed;
    EXPECT_EQ(Count(listed, "\"poster\": \"m/movie-2.jpg\", \"captions\": [\"m/movie.de.vtt\"]"),
              2u)
        << listed;
    EXPECT_EQ(Count(listed, "\"stream\": \"m/movie-2.hls/\""), 2u) << "a stream of its own";
    EXPECT_FALSE(PathExists(site + "/m/movie.mp4")) << "the old media stays nowhere";
    EXPECT_FALSE(PathExists(site + "/m/movie.hls"));
    for (const auto& [name, text] : Pages(site)) {
        const size_t kept = name.starts_with("utf16") ? 0 : 1;
        EXPECT_EQ(Count(text, "loop=\"loop\""), kept) << name;
        EXPECT_EQ(Count(text, "srclang=\"de\" label=\"Deutsch\""), kept) << name;
    }
    // Kept on asking, the poster stays with the new media (taken again, it would be movie.jpg).
    run({"replace", "--keep-poster", "movie-2.mp4", movie});
    listed = run({"list", "--json"});
    EXPECT_EQ(Count(listed, "\"media\": \"m/movie.mp4\", \"poster\": \"m/movie-2.jpg\""), 2u)
        << listed;
    EXPECT_TRUE(PathExists(site + "/m/movie-2.jpg"));
    run({"remove", "movie.mp4"});
    EXPECT_EQ(Pages(site), before);
    EXPECT_FALSE(PathExists(site + "/m/movie.hls"));
}

// Markup that only looks like ours is listed as other video and kept, and so is what it shows.
TEST(SiteCommands, LookAlikesAreOtherVideoAndKeepTheirFiles) {
    test::Environment env;
    const std::string movie = env.sandbox / "movie.mp4";
    ASSERT_TRUE(test::MakeMedia(movie, 1, true, true, {"-c:v", "libx264", "-c:a", "aac"}));
    const std::string site = env.sandbox.MakeFolder("site");
    const std::string page = env.sandbox.Write("site/index.htm", kLookAlike);
    const std::string src = "<source src=\"m/movie.mp4\" type=\"video/mp4\"/>\n";
    const std::map<std::string, std::pair<std::string, size_t>> lookAlikes = {
        {"mediaelement without its script",
         {"<video  controls=\"controls\" >\n" + src + "</video>", 1}},
        {"video-js without its setup",
         {"<video class=\"video-js vjs-default-skin\" >\n" + src + "</video>", 1}},
        {"projekktor without its script",
         {"<video id=\"player_a\" title=\"m\" >\n" + src + "</video>", 1}},
        {"leanback with its video apart",
         {"<div class=\"leanback-player-video\"><p>x</p>\n<video  >\n" + src + "</video>\n</div>\n",
          1}},
        {"a link to the media", {"<a href=\"m/movie.mp4\">movie</a>", 0}},
        {"our markup in a comment",
         {"<!-- <video class=\"video-js tubecss\" data-setup=\"{'media_path':''}\">\n" + src +
              "</video> -->",
          0}},
    };
    size_t others = 1;  // the one in kLookAlike
    for (const auto& [name, markup] : lookAlikes) {
        env.sandbox.Write("site/" + name + ".htm",
                          "<html><body>\n" + markup.first + "\n</body></html>");
        others += markup.second;
    }
    const auto before = Pages(site);
    const std::vector<std::string> where = {"--site-root", site, "--media-path", "/m/"};
    std::vector<std::string> args = {"--player", "default", movie, page};
    args.insert(args.end(), where.begin(), where.end());
    EXPECT_EQ(Publish(args).status, 0);
    args = {"list"};
    args.insert(args.end(), where.begin(), where.end());
    const auto listed = Publish(args);
    EXPECT_EQ(Count(listed.out, "other video"), others) << listed.out;
    EXPECT_EQ(Count(listed.out, "\tdefault\t"), 1u) << listed.out;
    args = {"remove", site + "/m/movie.mp4"};
    args.insert(args.end(), where.begin(), where.end());
    EXPECT_EQ(Publish(args).status, 0);
    EXPECT_EQ(Pages(site), before);
    EXPECT_TRUE(PathExists(site + "/m/movie.mp4"));
}
