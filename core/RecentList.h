// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ISettingsStore;

// The most-recent lists of the path boxes ("Publish/HTML5 File Path", "Publish/HTML_Files",
// "Publish/Site Root"): "Count" and "#0", "#1", ... in list order, at most 16 entries.
constexpr size_t kRecentListMax = 16;

// Empty entries are skipped; with `existingFilesOnly` so are entries that name no existing file.
std::vector<std::string> LoadRecentList(const ISettingsStore& store, std::string_view section,
                                        bool existingFilesOnly);
// Deletes the section and writes the list anew.
void SaveRecentList(ISettingsStore& store, std::string_view section,
                    const std::vector<std::string>& list);
// Puts `entry` at the top, removes an equal entry and drops what is beyond 16.
void AddToRecentList(std::vector<std::string>& list, const std::string& entry);
