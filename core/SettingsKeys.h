// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sections and value names that are read or written outside COptions. COptions' own values
// are the rows of its table (COptions::SettingRows); the two together make up the settings file.
namespace settings {

inline constexpr const char* kOptions = "Options";
// The page the HTML5 options sheet opens on.
inline constexpr const char* kHtml5Page = "HTML5 Page";
// Video players no wider than the page's column and no larger than the video (a row of COptions;
// named here for the front ends' tests and the manual).
inline constexpr const char* kFitPlayer = "Fit Player";

inline constexpr const char* kGeneral = "Options/General";
inline constexpr const char* kEnableLogging = "Enable Logging";
// Only read: nothing in the program sets it.
inline constexpr const char* kLogLevel = "Log Level";

// Each file dialog has its section: kFileDialogs, "/" and the dialog's name.
inline constexpr const char* kFileDialogs = "File Dialogs";
inline constexpr const char* kFilterIndex = "Filter Index";
inline constexpr const char* kLastPath = "Last Path";

// The most-recent lists of the media, page and site-root boxes.
inline constexpr const char* kMediaHistory = "Publish/HTML5 File Path";
inline constexpr const char* kPageHistory = "Publish/HTML_Files";
inline constexpr const char* kSiteRootHistory = "Publish/Site Root";
inline constexpr const char* kRecentCount = "Count";
// A printf format of the entry's index, counted from 0.
inline constexpr const char* kRecentEntry = "#%d";

}  // namespace settings
