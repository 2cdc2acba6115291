// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaFields.h"

namespace {

// Tabs part the fields of a line and newlines end it, so neither may stand in one.
void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

}  // namespace

void AppendMediaField(std::string& out, int kind, size_t number, std::string_view name,
                      std::string_view value) {
    out += std::to_string(kind) + '\t' + std::to_string(number) + '\t';
    AppendEscaped(out, name);
    out += '\t';
    AppendEscaped(out, value);
    out += '\n';
}

std::string MediaFieldKey(int kind, size_t number, std::string_view parameter) {
    return std::to_string(kind) + '\t' + std::to_string(number) + '\t' + std::string(parameter);
}

std::optional<std::map<std::string, std::string>> ParseMediaFields(std::string_view text) {
    std::map<std::string, std::string> fields;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const size_t afterKind = line.find('\t');
        const size_t afterNumber = line.find('\t', afterKind + 1);
        const size_t afterName = line.find('\t', afterNumber + 1);
        if (afterName == std::string_view::npos || afterKind != 1 ||
            line.find('\t', afterName + 1) != std::string_view::npos) {
            return std::nullopt;
        }
        const auto name = Unescaped(line.substr(afterNumber + 1, afterName - afterNumber - 1));
        const auto value = Unescaped(line.substr(afterName + 1));
        if (!name || !value) {
            return std::nullopt;
        }
        // Kind and number stay as written: a key that matches no question is never asked for.
        fields[std::string(line.substr(0, afterNumber + 1)) + *name] = *value;
    }
    return fields;
}
