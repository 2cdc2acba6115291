// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "publish/IPageEditor.h"

// An editor without a window: the command-line publisher inserts code through it.
class CStringPageEditor : public IPageEditor {
public:
    explicit CStringPageEditor(std::string text = {});

    std::string_view GetText() const override { return m_strText; }
    PageSelection GetSelection() const override { return {m_nSelStart, m_nSelEnd}; }
    // Leaves the cursor after the new text, as an editor does after typing.
    void ReplaceSelection(std::string_view text) override;
    // Puts the cursor at the start.
    void SetText(const std::string& text) override;
    // Positions beyond the text are pulled back to its end.
    void SetSelection(size_t start, size_t end) override;

    const std::string& Text() const { return m_strText; }
    std::string SelectedText() const;

private:
    std::string m_strText;
    size_t m_nSelStart = 0;
    size_t m_nSelEnd = 0;
};
