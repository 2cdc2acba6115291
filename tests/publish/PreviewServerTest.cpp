// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPreviewServer.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

// A site with a video, a page, a sub-folder and links; beside it a folder the site must not
// show, and a video and player files that live outside it, as the preview's do.
class PreviewServer : public ::testing::Test {
protected:
    void SetUp() override {
        site = env.sandbox.MakeFolder("site");
        for (int i = 0; i < 100000; ++i) {
            video += static_cast<char>('a' + (i * 7 + i / 251) % 26);
        }
        env.sandbox.Write("site/medias/clip.mp4", video);
        env.sandbox.Write("site/index.htm", kDiskPage);
        env.sandbox.Write("site/news/a b.htm", "<p>news</p>");
        env.sandbox.Write("secret/notes.htm", kSecret);
        env.sandbox.Write("elsewhere/movie.webm", "webm bytes");
        env.sandbox.Write("elsewhere/neighbour.jpg", kSecret);
        env.sandbox.Write("install/video-js/video.js", "// player");
        env.sandbox.Write("install/video-js/font/icons.woff", "font");
        env.sandbox.Write("install/Example/sample.htm", kSecret);
        Link(env.sandbox / "secret", site + "/linked-out");
        Link(env.sandbox / "secret/notes.htm", site + "/notes.htm");
        Link(site + "/medias/clip.mp4", site + "/same-clip.mp4");
        Link(env.sandbox / "secret/notes.htm", env.sandbox / "install/video-js/stolen.js");
        ASSERT_TRUE(server.Start(site + "/"));
        client = std::make_unique<httplib::Client>("127.0.0.1", server.Port());
        // Paths go out exactly as written, climbs and escapes included.
        client->set_url_encode(false);
        // In as the browser gets in: the page's address, once.
        const std::string entry = server.SetPage(site + "/entry.htm", "").value_or("");
        auto admitted = client->Get(entry.substr(entry.find('/', 7)).c_str());
        ASSERT_TRUE(admitted && admitted->status == 303);
        const std::string set = admitted->get_header_value("Set-Cookie");
        cookie = set.substr(0, set.find(';'));
    }

    static void Link(const std::string& target, const std::string& link) {
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
    }

    // The path part of the site's address ("/<prefix>/").
    std::string SitePath() const {
        const std::string url = server.SiteUrl();
        return url.substr(url.find('/', std::string("http://").size()));
    }

    // The address without its one-use token.
    static std::string Clean(const std::string& url) { return url.substr(0, url.find('?')); }

    httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
        headers.emplace("Cookie", cookie);
        return client->Get(path.c_str(), headers);
    }

    static constexpr const char* kDiskPage = "<html><body>on disk</body></html>";
    static constexpr const char* kSecret = "the secret";
    test::Environment env;
    std::string site;
    std::string video;
    CPreviewServer server;
    std::unique_ptr<httplib::Client> client;
    std::string cookie;
};

TEST_F(PreviewServer, ByteRangesAreAnsweredWithTheirBytes) {
    const std::string url = SitePath() + "medias/clip.mp4";
    auto whole = Get(url);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body, video);

    const struct {
        const char* range;
        size_t from;
        size_t length;
        const char* contentRange;
    } rows[] = {
        {"bytes=1000-1999", 1000, 1000, "bytes 1000-1999/100000"},
        {"bytes=99990-", 99990, 10, "bytes 99990-99999/100000"},
        {"bytes=-5", 99995, 5, "bytes 99995-99999/100000"},
        {"bytes=0-0", 0, 1, "bytes 0-0/100000"},
        // A piece larger than one read of the server.
        {"bytes=100-90099", 100, 90000, "bytes 100-90099/100000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.range);
        auto piece = Get(url, {{"Range", row.range}});
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->status, 206);
        EXPECT_EQ(piece->body, video.substr(row.from, row.length));
        EXPECT_EQ(piece->get_header_value("Content-Range"), row.contentRange);
        EXPECT_EQ(piece->get_header_value("Content-Type"), "video/mp4");
    }
    auto beyond = Get(url, {{"Range", "bytes=200000-"}});
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->status, 416);

    // The memory page answers ranges too.
    ASSERT_TRUE(server.SetPage(site + "/index.htm", "0123456789"));
    auto page = Get(SitePath() + "index.htm", {{"Range", "bytes=2-4"}});
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 206);
    EXPECT_EQ(page->body, "234");
}

TEST_F(PreviewServer, NothingOutsideTheSiteRootIsServed) {
    const std::string root = SitePath();
    const char* refused[] = {
        "../secret/notes.htm",
        "%2e%2e/secret/notes.htm",
        "%2E%2E%2Fsecret%2Fnotes.htm",
        "news/../../secret/notes.htm",
        "news/%2e%2e/%2e%2e/secret/notes.htm",
        "./index.htm",
        "linked-out/notes.htm",
        "notes.htm",
        "medias/clip.mp4%00.txt",
    };
    for (const char* path : refused) {
        SCOPED_TRACE(path);
        auto answer = Get(root + path);
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->status == 403 || answer->status == 404) << answer->status;
        EXPECT_EQ(answer->body.find(kSecret), std::string::npos);
    }
    // Links that stay inside the site are followed, folders are not listed, names are decoded.
    auto inside = Get(root + "same-clip.mp4");
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->status, 200);
    EXPECT_EQ(inside->body, video);
    for (const char* folder : {"", "medias/", "medias"}) {
        auto listing = Get(root + folder);
        ASSERT_TRUE(listing);
        EXPECT_EQ(listing->status, 404) << folder;
    }
    auto spaced = Get(root + "news/a%20b.htm");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->status, 200);
    EXPECT_EQ(spaced->body, "<p>news</p>");
}

TEST_F(PreviewServer, OnlyThePrefixAndTheRightHostOpenTheSite) {
    const std::string root = SitePath();
    ASSERT_EQ(root.size(), 34u) << "a prefix of 128 random bits";
    std::string wrong = root;
    wrong[5] = wrong[5] == '0' ? '1' : '0';
    const std::string refused[] = {
        "/index.htm",
        "/medias/clip.mp4",
        wrong + "index.htm",
        root.substr(0, root.size() - 1) + "x/index.htm",
        root.substr(0, root.size() - 1) + "-files" + site + "/index.htm",
        root + ".files" + site + "/index.htm",
    };
    for (const std::string& path : refused) {
        auto answer = Get(path);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 404) << path;
    }
    auto good = Get(root + "index.htm");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->status, 200);
    EXPECT_EQ(good->body, kDiskPage);
    EXPECT_EQ(good->get_header_value("Cache-Control"), "no-store");
    // A page elsewhere that reached this port through its own host name.
    auto rebound = Get(root + "index.htm", {{"Host", "attacker.example:80"}});
    ASSERT_TRUE(rebound);
    EXPECT_EQ(rebound->status, 403);

    // Every start has its own prefix.
    CPreviewServer other;
    ASSERT_TRUE(other.Start(site));
    EXPECT_NE(other.SiteUrl(), server.SiteUrl());
    EXPECT_NE(other.Port(), server.Port());
}

TEST_F(PreviewServer, OnlyTheBrowserGivenTheAddressGetsIn) {
    const std::string url = server.SetPage(site + "/index.htm", "preview page").value_or("");
    const std::string entry = url.substr(url.find('/', 7)), page = Clean(entry);
    std::string wrong = cookie;
    wrong.back() = wrong.back() == 'a' ? 'b' : 'a';
    server.SetAllowed({env.sandbox / "elsewhere/movie.webm"}, {});
    const std::string movie = server.FileUrl(env.sandbox / "elsewhere/movie.webm");
    // In this order: a token is spent by its first use.
    const struct {
        std::string path, cookie;
        int status;
    } rows[] = {{page, "", 403},
                {movie, "", 403},
                {page, wrong, 403},
                {page, "x" + cookie, 403},
                {page + "?token=0", "", 403},
                {entry, "", 303},
                {entry, "", 403},
                {entry, cookie, 403},
                {page, "a=b; " + cookie, 200},
                {movie, cookie, 200}};
    const std::string given =
        cookie + "; Path=" + SitePath().substr(0, 33) + "; HttpOnly; SameSite=Strict";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path + " with " + row.cookie);
        auto answer = httplib::Client("127.0.0.1", server.Port())
                          .Get(row.path.c_str(), {{"Cookie", row.cookie}});
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, row.status);
        EXPECT_EQ(answer->body == "preview page" || answer->body == "webm bytes",
                  row.status == 200);
        EXPECT_EQ(answer->get_header_value("Location"), row.status == 303 ? page : "");
        EXPECT_EQ(answer->get_header_value("Set-Cookie"), row.status == 303 ? given : "");
    }
    EXPECT_NE(server.SetPage(site + "/index.htm", "again"), url) << "a token for each preview";
}

TEST_F(PreviewServer, OnlyWhatAPageLoadsIsServedWithItsType) {
    const std::pair<const char*, const char*> served[] = {
        {"a.HTML", "text/html"},
        {"my.site/a.htm", "text/html"},
        {"style.css", "text/css"},
        {"app.js", "text/javascript"},
        {"poster.jpg", "image/jpeg"},
        {"logo.svg", "image/svg+xml"},
        {"icons.woff2", "font/woff2"},
        {"clip.M4V", "video/mp4"},
        {"clip.webm", "video/webm"},
        {"song.mp3", "audio/mpeg"},
        {"song.wav", "audio/wav"},
        {"clip.en.vtt", "text/vtt"},
        {"hls/a.m3u8", "application/vnd.apple.mpegurl"},
        {"hls/a1.m4s", "video/iso.segment"},
    };
    // Links of the site lead no further than their names: to a hidden file and folder.
    Link(site + "/.htpasswd", site + "/users.jpg");
    Link(site + "/.git", site + "/history");
    const char* refused[] = {".htpasswd",         "users.jpg",      ".env",
                             ".git/config",       "history/config", ".git/objects/ab/c.jpg",
                             "media/.hidden.mp4", "index.php",      "INDEX.PHP",
                             "page.phtml",        "shell.php.jpg",  "cgi-bin/run.cgi",
                             "tool.py",           "tool.pl",        "app.rb",
                             "setup.sh",          "page.asp",       "page.aspx",
                             "page.jsp",          "page.shtml",     "notes.txt",
                             "data.json",         "backup.htm~",    "noextension"};
    for (const auto& [path, type] : served) {
        env.sandbox.Write(std::string("site/") + path, kSecret);
        auto answer = Get(SitePath() + path);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, 200) << path;
        EXPECT_EQ(answer->get_header_value("Content-Type"), type) << path;
    }
    for (const char* path : refused) {
        env.sandbox.Write(std::string("site/") + path, kSecret);
        auto answer = Get(SitePath() + path);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, 404) << path;
    }
}

TEST(PreviewTypes, TheSystemListOursAndTheServerConfigurationInThatOrder) {
    test::Environment env;
    env.sandbox.Write("types", "# list\nvideo/x-list mp4 MKV\ntext/vnd.trolltech.linguist ts\n");
    env.sandbox.Write("config", "AddType video/x-conf .MP4\n");
    const auto listed = CPreviewServer::LoadTypes(env.sandbox / "types", env.sandbox / "config");
    const auto bare = CPreviewServer::LoadTypes(env.sandbox / "none", env.sandbox / "none");
    // A name; its type with the list and the configuration; with neither.
    const char* rows[][3] = {{"a.mkv", "video/x-list", "application/octet-stream"},
                             {"/x/A.MP4", "video/x-conf", "video/mp4"},
                             {"a.ts", "video/mp2t", "video/mp2t"},
                             {"a.webm", "video/webm", "video/webm"},
                             {"a.mp4/b", "application/octet-stream", "application/octet-stream"}};
    for (const auto& row : rows) {
        EXPECT_EQ(CPreviewServer::TypeIn(listed, row[0]), row[1]) << row[0];
        EXPECT_EQ(CPreviewServer::TypeIn(bare, row[0]), row[2]) << row[0];
    }
}

TEST_F(PreviewServer, ThePageIsServedFromMemoryAtItsAddress) {
    const std::string bytes = "<html><body>preview \xE4</body></html>";
    const std::optional<std::string> url = server.SetPage(site + "/news/a b.htm", bytes);
    ASSERT_TRUE(url);
    EXPECT_EQ(Clean(*url), server.SiteUrl() + "news/a%20b.htm");
    auto answer = Get(Clean(*url).substr(url->find('/', 7)));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, bytes);
    EXPECT_EQ(answer->get_header_value("Content-Type"), "text/html");
    EXPECT_EQ(test::ReadFile(site + "/news/a b.htm"), "<p>news</p>") << "the file is untouched";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(site + "/news")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"a b.htm"}) << "nothing written beside the page";
    // The other pages still come from the disk.
    auto index = Get(SitePath() + "index.htm");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->body, kDiskPage);

    // A page reached through a link to a folder of the site keeps the link's address.
    Link(site + "/news", site + "/latest");
    EXPECT_EQ(Clean(server.SetPage(site + "/latest/a b.htm", bytes).value_or("")),
              server.SiteUrl() + "news/a%20b.htm");
    EXPECT_EQ(server.SetPage(env.sandbox / "secret/notes.htm", bytes), std::nullopt);
    EXPECT_EQ(server.SetPage(site + "/linked-out/notes.htm", bytes), std::nullopt);
}

TEST_F(PreviewServer, OutsideTheSiteOnlyTheFilesThePreviewNames) {
    const std::string movie = env.sandbox / "elsewhere/movie.webm";
    const std::string player = env.sandbox / "install/video-js";
    std::set<std::string> files;
    const std::string code = "<video src=\"" + PathToUrl(movie) + "\" poster='" +
                             PathToUrl(env.sandbox / "elsewhere/gone.jpg") +
                             "'></video>\n<script src=\"" + PathToUrl(player) +
                             "/video.js\"></script> file://relative stays";
    const std::string served = server.ServeFileUrls(code, files);
    EXPECT_EQ(served.find("file:///"), std::string::npos) << served;
    EXPECT_NE(served.find("src=\"" + server.FileUrl(movie) + "\""), std::string::npos) << served;
    EXPECT_NE(served.find("poster='" + server.FileUrl(env.sandbox / "elsewhere/gone.jpg") + "'"),
              std::string::npos)
        << served;
    EXPECT_NE(served.find("file://relative stays"), std::string::npos);
    EXPECT_EQ(files, (std::set<std::string>{movie, env.sandbox / "elsewhere/gone.jpg",
                                            player + "/video.js"}));
    server.SetAllowed(files, {player});

    auto media = Get(server.FileUrl(movie));
    ASSERT_TRUE(media);
    EXPECT_EQ(media->status, 200);
    EXPECT_EQ(media->body, "webm bytes");
    EXPECT_EQ(media->get_header_value("Content-Type"), "video/webm");
    auto script = Get(server.FileUrl(player + "/video.js"));
    ASSERT_TRUE(script);
    EXPECT_EQ(script->status, 200);
    EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript");

    const std::string refused[] = {
        server.FileUrl(env.sandbox / "elsewhere/neighbour.jpg"),
        server.FileUrl(env.sandbox / "secret/notes.htm"),
        server.FileUrl(player + "/stolen.js"),
        server.FileUrl(player + "/font/icons.woff"),
        server.FileUrl(env.sandbox / "install/Example/sample.htm"),
        server.FileUrl(player + "/../Example/sample.htm"),
        server.FileUrl(env.sandbox / "elsewhere") + "/%2e%2e/secret/notes.htm",
        server.FileUrl(env.sandbox / "elsewhere/gone.jpg"),
    };
    for (const std::string& path : refused) {
        auto answer = Get(path);
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->status == 403 || answer->status == 404) << path;
        EXPECT_EQ(answer->body.find(kSecret), std::string::npos) << path;
    }

    // What a later preview no longer names is no longer served.
    server.SetAllowed({}, {});
    auto later = Get(server.FileUrl(movie));
    ASSERT_TRUE(later);
    EXPECT_EQ(later->status, 404);
}

TEST_F(PreviewServer, StopClosesThePortAndEndsTheRequests) {
    const std::string path = SitePath() + "medias/clip.mp4";
    const int port = server.Port();
    // A connection the browser keeps open does not hold the stop up for good.
    auto before = Get(path);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->status, 200);
    server.Stop();
    EXPECT_FALSE(server.IsRunning());
    EXPECT_EQ(server.SiteUrl(), "");
    httplib::Client fresh("127.0.0.1", port);
    auto after = fresh.Get(path.c_str());
    EXPECT_FALSE(after);
    EXPECT_EQ(after.error(), httplib::Error::Connection);
    server.Stop();  // twice is harmless

    int scopedPort = 0;
    {
        CPreviewServer scoped;
        ASSERT_TRUE(scoped.Start(site));
        scopedPort = scoped.Port();
    }
    httplib::Client gone("127.0.0.1", scopedPort);
    EXPECT_FALSE(gone.Get("/"));

    // A root that is no folder starts nothing.
    CPreviewServer none;
    EXPECT_FALSE(none.Start(env.sandbox / "missing"));
    EXPECT_FALSE(none.Start(site + "/index.htm"));
    EXPECT_FALSE(none.IsRunning());
}

}  // namespace
