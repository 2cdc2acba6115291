// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RecentList.h"

#include <algorithm>

#include <fmt/printf.h>

#include "core/PathUtils.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"

std::vector<std::string> LoadRecentList(const ISettingsStore& store, std::string_view section,
                                        bool existingFilesOnly) {
    std::vector<std::string> list;
    int count = store.GetInt(section, settings::kRecentCount, 0);
    count = std::clamp(count, 0, static_cast<int>(kRecentListMax));
    for (int i = 0; i < count; ++i) {
        std::string entry = store.GetString(section, fmt::sprintf(settings::kRecentEntry, i), "");
        if (entry.empty() || (existingFilesOnly && !IsRegularFile(entry))) {
            continue;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

void SaveRecentList(ISettingsStore& store, std::string_view section,
                    const std::vector<std::string>& list) {
    store.DeleteSection(section);
    const size_t count = std::min(list.size(), kRecentListMax);
    for (size_t i = 0; i < count; ++i) {
        store.WriteString(section, fmt::sprintf(settings::kRecentEntry, i), list[i]);
    }
    store.WriteInt(section, settings::kRecentCount, static_cast<int>(count));
}

void AddToRecentList(std::vector<std::string>& list, const std::string& entry) {
    // Paths are case-sensitive here, so only an exact duplicate is removed.
    list.erase(std::remove(list.begin(), list.end(), entry), list.end());
    list.insert(list.begin(), entry);
    if (list.size() > kRecentListMax) {
        list.resize(kRecentListMax);
    }
}
