// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

// Cuts markup into tags as a browser's tokenizer does, to compare the shape of markup made from
// a hostile name with the shape made from a plain one.
namespace markup {

struct Attribute {
    std::string name;
    char quote = 0;
    std::string value;
};

struct Tag {
    std::string name;
    std::vector<Attribute> attributes;
};

struct Parsed {
    bool balanced = true;  // false when the text ends inside a tag or a quoted value
    std::vector<Tag> tags;
    std::vector<std::string> scripts;  // the text of each script element
};

inline Parsed Tokenize(std::string_view html) {
    const auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    Parsed parsed;
    size_t i = 0;
    while ((i = html.find('<', i)) != std::string_view::npos) {
        ++i;
        if (i >= html.size() ||
            !(std::isalpha(static_cast<unsigned char>(html[i])) || html[i] == '/')) {
            continue;
        }
        Tag tag;
        while (i < html.size() && !space(html[i]) && html[i] != '>' &&
               !(html[i] == '/' && !tag.name.empty())) {
            tag.name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
        }
        while (true) {
            while (i < html.size() && (space(html[i]) || html[i] == '/')) {
                ++i;
            }
            if (i >= html.size()) {
                parsed.balanced = false;
                return parsed;
            }
            if (html[i] == '>') {
                ++i;
                break;
            }
            Attribute attribute;
            while (i < html.size() && !space(html[i]) && html[i] != '/' && html[i] != '>' &&
                   html[i] != '=') {
                attribute.name += html[i++];
            }
            while (i < html.size() && space(html[i])) {
                ++i;
            }
            if (i < html.size() && html[i] == '=') {
                ++i;
                while (i < html.size() && space(html[i])) {
                    ++i;
                }
                if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                    attribute.quote = html[i];
                    const size_t close = html.find(attribute.quote, i + 1);
                    if (close == std::string_view::npos) {
                        parsed.balanced = false;
                        return parsed;
                    }
                    attribute.value = std::string(html.substr(i + 1, close - i - 1));
                    i = close + 1;
                } else {
                    while (i < html.size() && !space(html[i]) && html[i] != '>') {
                        attribute.value += html[i++];
                    }
                }
            }
            tag.attributes.push_back(attribute);
        }
        if (tag.name == "script") {
            const size_t end = html.find("</script", i);
            parsed.scripts.emplace_back(
                html.substr(i, end == std::string_view::npos ? end : end - i));
            i = end == std::string_view::npos ? html.size() : end;
        }
        parsed.tags.push_back(std::move(tag));
    }
    return parsed;
}

// What a file name must not change: tags, attribute names and quoting, brackets and line breaks
// inside values, the quotes inside the data-setup value (which quotes its own strings), and
// every script.
inline std::string Shape(std::string_view html) {
    const Parsed parsed = Tokenize(html);
    if (!parsed.balanced) {
        return "unbalanced";
    }
    std::string out;
    for (const Tag& tag : parsed.tags) {
        out += "<" + tag.name;
        for (const Attribute& a : tag.attributes) {
            out += " " + a.name + "=" + (a.quote ? std::string(1, a.quote) : "");
            for (char c : a.value) {
                const bool quote = c == '"' || c == '\'';
                if (c == '<' || c == '>' || c == '\n' || c == '\r' ||
                    (quote && a.name == "data-setup")) {
                    out += c;
                }
            }
        }
        out += ">";
    }
    for (const std::string& script : parsed.scripts) {
        out += "|" + script;
    }
    return out;
}

}  // namespace markup
