// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Adds each of `names` to a semicolon-separated program list unless a part of the list already
// equals it (ASCII case ignored). Before each append, trailing blanks and semicolons are trimmed
// and one ";" is put between. `changed` (may be null) tells whether anything was added.
std::string MergeWhitelist(std::string list, const std::vector<std::string>& names, bool* changed);
