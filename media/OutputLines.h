// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Cuts a child's output into lines as it arrives. A line ends at a carriage return or a line
// feed, and the whole run of them that follows counts as one separator, so "\r\n", blank lines
// and ffmpeg's "\r"-ended status lines never yield empty lines between two lines. The lines do
// not depend on where the reads split the output, not even when a run of separators is cut.
class COutputLines {
public:
    using LineHandler = std::function<void(const std::string& line)>;

    void Append(std::string_view chunk, const LineHandler& onLine);
    // Text after the last line end, which stays unparsed when the output ends.
    const std::string& Pending() const { return m_strPending; }

private:
    std::string m_strPending;
    // The last line's separator reached the end of the text seen so far and may go on.
    bool m_bInSeparator = false;
};
