// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The media probe's answer: one line a field, "kind TAB number TAB name TAB value", with
// backslash escapes for tabs, line breaks and backslashes.
void AppendMediaField(std::string& out, int kind, size_t number, std::string_view name,
                      std::string_view value);
// Where ParseMediaFields files the value of `parameter` of stream `number` of `kind`.
std::string MediaFieldKey(int kind, size_t number, std::string_view parameter);
// The fields CMediaInfoReader::Fields wrote, by MediaFieldKey; nothing when the text is not
// whole lines of that form.
std::optional<std::map<std::string, std::string>> ParseMediaFields(std::string_view text);
