// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"

// A browser found on the system; not detected: versions 0 and an empty program name.
struct BrowserInfo {
    int major = 0;
    int minor = 0;
    std::string program;
    bool detected() const { return !program.empty(); }
};

// What OpenInBrowser decides to do with a page.
enum class BrowserChoice { InternetExplorer, Firefox, Chrome, DefaultHandler };

// Chooses the browser for a page whose media has `extension`: one whose format row lists it
// among its first two browsers and is new enough, else a fixed order, else the default handler.
BrowserChoice ChooseBrowser(const BrowserInfo& ie, const BrowserInfo& firefox,
                            const BrowserInfo& chrome, std::string_view extension);

// The ways to try a page, best first: the chosen browser, then the other detected browsers that
// the fixed order would take, then the desktop's default browser (an entry with no program).
std::vector<BrowserInfo> BrowserOrder(const BrowserInfo& ie, const BrowserInfo& firefox,
                                      const BrowserInfo& chrome, std::string_view extension);

// Reads the first "%d.%d" of a version text; false when there is none.
bool ParseVersion(std::string_view text, int& major, int& minor);

// Finding and starting browsers: Chrome is google-chrome, google-chrome-stable or chromium on
// PATH, Firefox is firefox or firefox-esr; versions come from "PROGRAM --version", read once.
class IBrowserHost {
public:
    virtual ~IBrowserHost() = default;
    virtual bool DetectChrome(BrowserInfo& info) = 0;
    virtual bool DetectFirefox(BrowserInfo& info) = 0;
    virtual bool DetectInternetExplorer(BrowserInfo& info) = 0;
    virtual bool LaunchBrowser(const BrowserInfo& info, const std::string& page) = 0;
    virtual bool OpenDefault(const std::string& page) = 0;
    // Shows `page` with the first of `order` (BrowserOrder) that starts; the failure is message
    // 105 with the reason when none does. The default tries LaunchBrowser and OpenDefault in turn.
    virtual CStatus OpenWith(const std::vector<BrowserInfo>& order, const std::string& page);
};

IBrowserHost& GetBrowserHost();
// Installs `host` (not owned; tests); null returns to the system's.
void SetBrowserHost(IBrowserHost* host);

// Shows the page in the browser chosen for its media; when that one does not start, in the next of
// BrowserOrder. The failure is message 105 with the reason when none started.
CStatus OpenInBrowser(const std::string& page, std::string_view mediaExtension);
