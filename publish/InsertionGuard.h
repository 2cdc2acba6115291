// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Where in a page's structure code put at some offset would land, as a browser parses the page.
enum class InsertionConstruct {
    None,          // plain content of the body: the code shows
    Comment,       // <!-- ... --> (and <!...>, <?...>, which parse as comments)
    Tag,           // inside a start or end tag, an attribute among them
    RawText,       // script, style, title, textarea and the like: their content is no markup
    Head,          // before the body: the head, the doctype, the html tag
    MediaElement,  // another <video> or <audio>, whose content only shows where it cannot play
    // Content a browser draws as something else or not at all: svg and math, the lists
    // (select, datalist), canvas and an object's fallback, and the whole of a frameset page.
    NotShown,
};

struct InsertionCheck {
    InsertionConstruct construct = InsertionConstruct::None;
    // The element ("script", "video", the tag's name); the attribute, when inside one.
    std::string element;
    std::string attribute;
    // The construct's extent in the text, and where code can go instead: the first offset
    // after it that lies in none of these constructs.
    size_t start = 0;
    size_t end = 0;
    size_t safeOffset = 0;
    // The construct, or one after it, is left open at the end of the text: nothing after the
    // cursor shows, and `safeOffset` is the end of the text, which is no better.
    bool openToEnd = false;

    bool IsSafe() const { return construct == InsertionConstruct::None; }
};

// Finds where the code replacing the text between `selStart` and `selEnd` would land: the
// selection's start, then its end, each strictly inside a construct (a position right before or
// after one is fine). Of nested constructs the one whose end is furthest is named, so that
// `safeOffset` lies outside all of them. `encoding` is the iconv name of the text's character
// set; empty means the page's own: the charset it declares, else UTF-8 when the bytes are valid
// UTF-8, else Latin-1, whose structure reads the same in any of the usual ASCII-based sets.
InsertionCheck CheckInsertionPoint(std::string_view text, size_t selStart, size_t selEnd,
                                   const std::string& encoding = {});

// The check's construct as a phrase for messages ("inside a comment").
std::string DescribeInsertionPoint(const InsertionCheck& check);

// The 1-based line of `offset`.
size_t LineAtOffset(std::string_view text, size_t offset);
