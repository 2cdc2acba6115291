// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Browser.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/Shell.h"
#include "core/StringTable.h"

namespace {

// Reads a program's version once per process; a program that is not there gives nothing.
class CSystemBrowserHost : public IBrowserHost {
public:
    bool DetectChrome(BrowserInfo& info) override {
        return Detect({"google-chrome", "google-chrome-stable", "chromium"}, 8, 111, m_chrome,
                      info);
    }
    bool DetectFirefox(BrowserInfo& info) override {
        return Detect({"firefox", "firefox-esr"}, 0, 0, m_firefox, info);
    }
    bool DetectInternetExplorer(BrowserInfo& info) override {
        info = BrowserInfo{};
        return false;
    }
    bool LaunchBrowser(const BrowserInfo& info, const std::string& page) override {
        return GetShell().Launch(info.program, {page});
    }
    bool OpenDefault(const std::string& page) override { return GetShell().OpenDefault(page); }
    // The shell tries them, so one that can watch a browser start goes on when it fails.
    CStatus OpenWith(const std::vector<BrowserInfo>& order, const std::string& page) override {
        std::vector<ShellCommand> commands;
        for (const BrowserInfo& info : order) {
            commands.push_back(info.detected() ? ShellCommand{info.program, {page}}
                                               : ShellCommand{{}, {page}});
        }
        return GetShell().StartFirst(commands, page);
    }

private:
    struct Cached {
        std::once_flag once;
        BrowserInfo info;
    };

    static bool Detect(const std::vector<const char*>& programs, int fallbackMajor,
                       int fallbackMinor, Cached& cache, BrowserInfo& info) {
        std::call_once(cache.once, [&] {
            for (const char* program : programs) {
                const std::string path = FindOnPath(program);
                if (path.empty()) {
                    continue;
                }
                BrowserInfo found;
                found.program = program;
                if (!ParseVersion(RunAndCapture(path, {"--version"}, 4096), found.major,
                                  found.minor)) {
                    found.major = fallbackMajor;
                    found.minor = fallbackMinor;
                }
                cache.info = found;
                return;
            }
        });
        info = cache.info;
        return info.detected();
    }

    Cached m_chrome, m_firefox;
};

std::atomic<IBrowserHost*> g_host{nullptr};

}  // namespace

CStatus IBrowserHost::OpenWith(const std::vector<BrowserInfo>& order, const std::string& page) {
    int error = ENOENT;
    for (const BrowserInfo& info : order) {
        errno = 0;
        if (info.detected() ? LaunchBrowser(info, page) : OpenDefault(page)) {
            return {};
        }
        error = errno != 0 ? errno : ENOENT;
    }
    return Failure(error, MESSAGE_WARNING, IDS_OPEN_FAILED, page, GetErrorText(error));
}

bool ParseVersion(std::string_view text, int& major, int& minor) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            continue;
        }
        int a = 0, b = 0;
        std::string rest(text.substr(i, 32));
        if (std::sscanf(rest.c_str(), "%d.%d", &a, &b) == 2) {
            major = a;
            minor = b;
            return true;
        }
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
    }
    return false;
}

BrowserChoice ChooseBrowser(const BrowserInfo& ie, const BrowserInfo& firefox,
                            const BrowserInfo& chrome, std::string_view extension) {
    const int row = FindMediaFormat(extension, MEDIA_KIND_VIDEO);
    if (row >= 0) {
        // The pieces are not trimmed: " Firefox" after "Chrome," matches nothing.
        std::vector<std::string> pieces;
        SplitString(GetMediaFormat(row).browsers, ",", pieces);
        for (size_t i = 0; i < pieces.size() && i < 2; ++i) {
            const std::string& piece = pieces[i];
            if (EqualsNoCase(piece, "Chrome") && chrome.major >= 7) {
                return BrowserChoice::Chrome;
            }
            if (EqualsNoCase(piece, "Firefox") && firefox.major >= 5) {
                return BrowserChoice::Firefox;
            }
            if (piece.starts_with("IE") && ie.major >= 9) {
                return BrowserChoice::InternetExplorer;
            }
        }
    }
    if (firefox.major >= 4) {
        return BrowserChoice::Firefox;
    }
    if (ie.major >= 9) {
        return BrowserChoice::InternetExplorer;
    }
    if (chrome.major >= 7) {
        return BrowserChoice::Chrome;
    }
    return BrowserChoice::DefaultHandler;
}

IBrowserHost& GetBrowserHost() {
    static CSystemBrowserHost system;
    IBrowserHost* host = g_host.load();
    return host ? *host : system;
}

void SetBrowserHost(IBrowserHost* host) {
    g_host.store(host);
}

std::vector<BrowserInfo> BrowserOrder(const BrowserInfo& ie, const BrowserInfo& firefox,
                                      const BrowserInfo& chrome, std::string_view extension) {
    std::vector<BrowserInfo> order;
    const auto add = [&order](const BrowserInfo& info) {
        if (std::ranges::find(order, info.program, &BrowserInfo::program) == order.end()) {
            order.push_back(info);
        }
    };
    switch (ChooseBrowser(ie, firefox, chrome, extension)) {
        case BrowserChoice::InternetExplorer:
            add(ie);
            break;
        case BrowserChoice::Firefox:
            add(firefox);
            break;
        case BrowserChoice::Chrome:
            add(chrome);
            break;
        case BrowserChoice::DefaultHandler:
            break;
    }
    // After a chosen browser come the others the fixed order accepts; the desktop's default
    // browser is always the last resort.
    if (!order.empty()) {
        if (firefox.detected() && firefox.major >= 4) {
            add(firefox);
        }
        if (ie.detected() && ie.major >= 9) {
            add(ie);
        }
        if (chrome.detected() && chrome.major >= 7) {
            add(chrome);
        }
    }
    order.push_back(BrowserInfo{});
    return order;
}

CStatus OpenInBrowser(const std::string& page, std::string_view mediaExtension) {
    IBrowserHost& host = GetBrowserHost();
    BrowserInfo ie, firefox, chrome;
    host.DetectInternetExplorer(ie);
    host.DetectFirefox(firefox);
    host.DetectChrome(chrome);
    return host.OpenWith(BrowserOrder(ie, firefox, chrome, mediaExtension), page);
}
