// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CStringPageEditor.h"

#include <algorithm>
#include <utility>

namespace {

// Room for the inserted code, so an insertion into a large page moves its tail instead of
// copying the whole page to a new buffer.
void KeepRoom(std::string& text) {
    text.reserve(text.size() + text.size() / 16 + 4096);
}

}  // namespace

CStringPageEditor::CStringPageEditor(std::string text) : m_strText(std::move(text)) {
    KeepRoom(m_strText);
}

void CStringPageEditor::ReplaceSelection(std::string_view text) {
    m_strText.replace(m_nSelStart, m_nSelEnd - m_nSelStart, text);
    m_nSelStart += text.size();
    m_nSelEnd = m_nSelStart;
}

void CStringPageEditor::SetText(const std::string& text) {
    m_strText = text;
    KeepRoom(m_strText);
    m_nSelStart = m_nSelEnd = 0;
}

void CStringPageEditor::SetSelection(size_t start, size_t end) {
    m_nSelStart = std::min(start, m_strText.size());
    m_nSelEnd = std::clamp(end, m_nSelStart, m_strText.size());
}

std::string CStringPageEditor::SelectedText() const {
    return m_strText.substr(m_nSelStart, m_nSelEnd - m_nSelStart);
}
