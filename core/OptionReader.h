// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/OptionTable.h"

// A refusal of an option's value, in the words users' scripts know; thrown by a fill.
struct OptionRefusal {
    std::string text;
};

// Reads `args` (without the program's name) in their order, so that the first bad argument is
// the one reported: each option given is handed to `fill` with its form's index and its value
// ("yes" or "no" for a flag), the other words go to `positional`. Returns the refusal, empty
// when there is none.
std::string ReadOptionArguments(const std::vector<OptionForm>& forms,
                                const std::vector<std::string>& args,
                                const std::function<void(size_t, const std::string&)>& fill,
                                std::vector<std::string>& positional);
