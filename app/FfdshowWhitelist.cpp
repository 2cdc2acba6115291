// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FfdshowWhitelist.h"

#include "core/PathUtils.h"

namespace {

bool ListHolds(const std::string& list, const std::string& name) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        if (EqualsNoCase(std::string_view(list).substr(start, end - start), name)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

std::string MergeWhitelist(std::string list, const std::vector<std::string>& names, bool* changed) {
    bool added = false;
    for (const std::string& name : names) {
        if (ListHolds(list, name)) {
            continue;
        }
        list = TrimRightChars(list, " ;");
        if (!list.empty()) {
            list += ';';
        }
        list += name;
        added = true;
    }
    if (changed) {
        *changed = added;
    }
    return list;
}
