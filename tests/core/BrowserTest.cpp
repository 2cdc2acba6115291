// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Browser.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

BrowserInfo Browser(int major, int minor, const char* program) {
    return {major, minor, program};
}
const BrowserInfo kNone;

TEST(ChooseBrowser, FormatListThenFixedOrderThenDefault) {
    struct Row {
        const char* name;
        BrowserInfo ie, firefox, chrome;
        const char* extension;
        BrowserChoice expected;
    } rows[] = {
        {"only Firefox 3.6 and an MP4 page", kNone, Browser(3, 6, "firefox"), kNone, ".mp4",
         BrowserChoice::DefaultHandler},
        {"Firefox 4 and Chrome 6 with Ogg video", kNone, Browser(4, 0, "firefox"),
         Browser(6, 0, "chromium"), "ogg", BrowserChoice::Firefox},
        {"sample page with IE 10 and Firefox 20", Browser(10, 0, "iexplore"),
         Browser(20, 0, "firefox"), kNone, ".all", BrowserChoice::Firefox},
        {"MP4 prefers IE 9", Browser(9, 0, "iexplore"), Browser(20, 0, "firefox"),
         Browser(30, 0, "chromium"), "mp4", BrowserChoice::InternetExplorer},
        {"MP4 then Chrome 7", kNone, Browser(20, 0, "firefox"), Browser(7, 0, "chromium"), "mp4",
         BrowserChoice::Chrome},
        {"Ogg video prefers Chrome", kNone, Browser(20, 0, "firefox"), Browser(30, 0, "chromium"),
         "ogv", BrowserChoice::Chrome},
        {"Ogg audio prefers Firefox 5", kNone, Browser(5, 0, "firefox"), Browser(30, 0, "chromium"),
         "oga", BrowserChoice::Firefox},
        // " Firefox" (with its blank) after "Chrome," matches nothing: WebM video is Chrome only.
        {"WebM video skips Firefox in its list", kNone, Browser(20, 0, "firefox"),
         Browser(6, 0, "chromium"), "webm", BrowserChoice::Firefox},
        {"WebM video with only Chrome 6 and IE 9", Browser(9, 0, "iexplore"), kNone,
         Browser(6, 0, "chromium"), "webm", BrowserChoice::InternetExplorer},
        // WAV lists "Firefox, Chrome, ...": Chrome's piece has a blank, so Chrome only by order.
        {"WAV audio with Chrome only", kNone, kNone, Browser(30, 0, "chromium"), "wav",
         BrowserChoice::Chrome},
        {"WAV audio prefers Firefox 5", kNone, Browser(5, 0, "firefox"), Browser(30, 0, "chromium"),
         "wav", BrowserChoice::Firefox},
        {"nothing at all", kNone, kNone, kNone, "mp3", BrowserChoice::DefaultHandler},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseBrowser(row.ie, row.firefox, row.chrome, row.extension), row.expected)
            << row.name;
    }
}

TEST(ChooseBrowser, WebmWithOnlyFirefox4GoesByTheFixedOrder) {
    // Firefox is not a usable piece for WebM video, so only the fixed order (4 or more) finds it.
    EXPECT_EQ(ChooseBrowser(kNone, Browser(4, 0, "firefox"), kNone, "webm"),
              BrowserChoice::Firefox);
    EXPECT_EQ(ChooseBrowser(kNone, Browser(3, 0, "firefox"), kNone, "webm"),
              BrowserChoice::DefaultHandler);
}

TEST(ParseVersion, FirstMajorDotMinor) {
    int major = -1, minor = -1;
    EXPECT_TRUE(ParseVersion("30.0.1599.101", major, minor));
    EXPECT_EQ(major, 30);
    EXPECT_EQ(minor, 0);
    EXPECT_TRUE(ParseVersion("Mozilla Firefox 21.0 (x86 en-US)", major, minor));
    EXPECT_EQ(major, 21);
    EXPECT_TRUE(ParseVersion("Chromium 156.0.8078.73 built on Debian", major, minor));
    EXPECT_EQ(major, 156);
    EXPECT_TRUE(ParseVersion("build 7 of 2.5", major, minor));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 5);
    EXPECT_FALSE(ParseVersion("no version", major, minor));
    EXPECT_FALSE(ParseVersion("", major, minor));
}

class FakeHost : public IBrowserHost {
public:
    bool DetectChrome(BrowserInfo& info) override { return Fill(info, chrome); }
    bool DetectFirefox(BrowserInfo& info) override { return Fill(info, firefox); }
    bool DetectInternetExplorer(BrowserInfo& info) override { return Fill(info, ie); }
    bool LaunchBrowser(const BrowserInfo& info, const std::string& page) override {
        launched = info.program + " " + page;
        tried.push_back(info.program);
        errno = failWith;
        return failing.count(info.program) == 0;
    }
    bool OpenDefault(const std::string& page) override {
        launched = "default " + page;
        tried.push_back("default");
        errno = failWith;
        return failing.count("default") == 0;
    }
    static bool Fill(BrowserInfo& out, const BrowserInfo& in) {
        out = in;
        return in.detected();
    }
    BrowserInfo ie, chrome, firefox;
    std::string launched;
    std::vector<std::string> tried;
    std::set<std::string> failing;
    int failWith = 0;
};

TEST(OpenInBrowser, LaunchesTheChosenProgramWithThePage) {
    FakeHost host;
    SetBrowserHost(&host);
    host.chrome = Browser(8, 111, "chromium");
    OpenInBrowser("/srv/site/.~preview1.htm", ".mp4");
    EXPECT_EQ(host.launched, "chromium /srv/site/.~preview1.htm");
    host.chrome = {};
    OpenInBrowser("/srv/a b.htm", "mp4");
    EXPECT_EQ(host.launched, "default /srv/a b.htm");
    SetBrowserHost(nullptr);
}

TEST(OpenInBrowser, BrowsersThatDoNotStartHandThePageOnAndTheLastFailureIsReported) {
    test::Environment env;
    FakeHost host;
    SetBrowserHost(&host);
    host.firefox = Browser(20, 0, "firefox");
    host.chrome = Browser(30, 0, "chromium");
    host.ie = Browser(10, 0, "iexplore");
    const struct {
        const char* name;
        std::set<std::string> failing;
        std::vector<std::string> tried;
        bool shown;
    } rows[] = {
        {"the chosen one starts", {}, {"chromium"}, true},
        {"the chosen one fails: the fixed order goes on",
         {"chromium"},
         {"chromium", "firefox"},
         true},
        {"every detected browser fails: the desktop's browser",
         {"chromium", "firefox", "iexplore"},
         {"chromium", "firefox", "iexplore", "default"},
         true},
        {"nothing starts",
         {"chromium", "firefox", "iexplore", "default"},
         {"chromium", "firefox", "iexplore", "default"},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        host.tried.clear();
        host.failing = row.failing;
        host.failWith = EACCES;
        // Ogg video prefers Chrome.
        const CStatus opened = OpenInBrowser("/srv/site/a.htm", ".ogv");
        EXPECT_EQ(static_cast<bool>(opened), row.shown);
        EXPECT_EQ(host.tried, row.tried);
        if (!row.shown) {
            EXPECT_EQ(ErrorText(opened.why),
                      "Failed to open /srv/site/a.htm. " + GetErrorText(EACCES));
            EXPECT_EQ(opened.why.kind, MESSAGE_WARNING);
        }
    }
    SetBrowserHost(nullptr);
}

TEST(BrowserOrder, ChosenThenTheFixedOrderThenTheDesktopsBrowser) {
    const auto programs = [](const std::vector<BrowserInfo>& order) {
        std::vector<std::string> names;
        for (const BrowserInfo& info : order) {
            names.push_back(info.detected() ? info.program : "default");
        }
        return names;
    };
    // Too old for the fixed order, so never a stand-in either.
    EXPECT_EQ(programs(BrowserOrder(kNone, Browser(3, 6, "firefox"), kNone, ".mp4")),
              std::vector<std::string>{"default"});
    EXPECT_EQ(
        programs(BrowserOrder(kNone, Browser(3, 6, "firefox"), Browser(30, 0, "chromium"), ".mp4")),
        (std::vector<std::string>{"chromium", "default"}));
    EXPECT_EQ(programs(BrowserOrder(Browser(9, 0, "iexplore"), Browser(20, 0, "firefox"),
                                    Browser(30, 0, "chromium"), ".mp4")),
              (std::vector<std::string>{"iexplore", "firefox", "chromium", "default"}));
    EXPECT_EQ(programs(BrowserOrder(kNone, kNone, kNone, ".all")),
              std::vector<std::string>{"default"});
}

}  // namespace

namespace {

TEST(SystemBrowsers, UnreadableVersionsFallBack) {
    // The only test that asks the system host: it reads each program once per process.
    test::Sandbox box;
    box.Write("bin/chromium", "#!/bin/sh\necho no version here\n");
    box.Write("bin/firefox", "#!/bin/sh\nexit 3\n");
    ::chmod((box / "bin/chromium").c_str(), 0755);
    ::chmod((box / "bin/firefox").c_str(), 0755);
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (box / "bin").c_str(), 1);
    BrowserInfo chrome, firefox, ie;
    EXPECT_TRUE(GetBrowserHost().DetectChrome(chrome));
    EXPECT_TRUE(GetBrowserHost().DetectFirefox(firefox));
    EXPECT_FALSE(GetBrowserHost().DetectInternetExplorer(ie));
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(chrome.program, "chromium");
    EXPECT_EQ(chrome.major, 8);
    EXPECT_EQ(chrome.minor, 111);
    EXPECT_EQ(firefox.program, "firefox");
    EXPECT_EQ(firefox.major, 0);
    EXPECT_FALSE(ie.detected());
}

}  // namespace
