// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/OutputLines.h"

namespace {
constexpr const char* kLineEnds = "\r\n";
}

void COutputLines::Append(std::string_view chunk, const LineHandler& onLine) {
    if (m_bInSeparator) {
        const size_t text = chunk.find_first_not_of(kLineEnds);
        if (text == std::string_view::npos) {
            return;
        }
        chunk.remove_prefix(text);
        m_bInSeparator = false;
    }
    m_strPending.append(chunk);
    size_t start = 0;
    while (true) {
        const size_t end = m_strPending.find_first_of(kLineEnds, start);
        if (end == std::string::npos) {
            break;
        }
        const std::string line = m_strPending.substr(start, end - start);
        start = m_strPending.find_first_not_of(kLineEnds, end);
        if (start == std::string::npos) {
            start = m_strPending.size();
            m_bInSeparator = true;
        }
        onLine(line);
    }
    m_strPending.erase(0, start);
}
