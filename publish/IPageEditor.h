// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct PageSelection {
    size_t start = 0;
    size_t end = 0;
};

// The editor that shows a page's source. Its text is the page text with the page's own line breaks
// (LF, CR LF or mixed, never normalised); every position is a byte offset into that text, so a
// CR LF pair spans two positions. The wizard's source view maps these offsets to its own.
class IPageEditor {
public:
    virtual ~IPageEditor() = default;
    // The whole text; the view stays valid until the editor's text changes.
    virtual std::string_view GetText() const = 0;
    virtual PageSelection GetSelection() const = 0;
    // Replaces the selection as one step the user can undo.
    virtual void ReplaceSelection(std::string_view text) = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void SetSelection(size_t start, size_t end) = 0;
};
