// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/OptionTable.h"

// A refusal of an option's value, in the words users' scripts know; thrown by a fill.
struct OptionRefusal {
    std::string text;
};

// An option's value (for a flag "yes", or "no" from the form that says no) into its field: true
// for a flag, yes or no for one that can say no, added to a repeatable option's list, else the
// value.
template <typename T>
void StoreOptionValue(T& field, const std::string& value) {
    if constexpr (std::is_same_v<T, bool>) {
        field = true;
    } else if constexpr (std::is_same_v<T, std::optional<bool>>) {
        field = value == "yes";
    } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
        field.push_back(value);
    } else {
        field = value;
    }
}

// Reads `args` (without the program's name) in their order, so that the first bad argument is
// the one reported: each option given is handed to `fill` with its form's index and its value
// ("yes" or "no" for a flag), the other words go to `positional`. Returns the refusal, empty
// when there is none.
std::string ReadOptionArguments(const std::vector<OptionForm>& forms,
                                const std::vector<std::string>& args,
                                const std::function<void(size_t, const std::string&)>& fill,
                                std::vector<std::string>& positional);
