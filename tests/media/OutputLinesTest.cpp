// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/OutputLines.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Feed(const std::vector<std::string>& chunks,
                              std::string* pending = nullptr) {
    COutputLines splitter;
    std::vector<std::string> lines;
    for (const std::string& chunk : chunks) {
        splitter.Append(chunk, [&](const std::string& line) { lines.push_back(line); });
    }
    if (pending) {
        *pending = splitter.Pending();
    }
    return lines;
}

TEST(OutputLinesTest, AnyRunOfLineEndsIsOneSeparator) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(Feed({"a\r\nb\nc\r"}), (Lines{"a", "b", "c"}));
    EXPECT_EQ(Feed({"a\r\r\nb\n\n\n\nc\n"}), (Lines{"a", "b", "c"}));
    EXPECT_EQ(Feed({"frame=1 time=0.04\rframe=2 time=0.08\r"}),
              (Lines{"frame=1 time=0.04", "frame=2 time=0.08"}));
    // Output that opens with a line end starts with one empty line.
    EXPECT_EQ(Feed({"\n\nx\n"}), (Lines{"", "x"}));
}

TEST(OutputLinesTest, TextAfterTheLastLineEndStaysPending) {
    std::string pending;
    EXPECT_EQ(Feed({"one\ntwo"}, &pending), std::vector<std::string>{"one"});
    EXPECT_EQ(pending, "two");
}

TEST(OutputLinesTest, SplittingTheOutputAnywhereGivesTheSameLines) {
    const std::string output =
        "ffmpeg version 5\r\n  built with gcc\n\nInput #0, mov\r\n"
        "frame=    1 fps=0.0 q=2.0 size=N/A time=00:00:00.40\r"
        "frame=    2 fps=0.0 q=2.0 size=N/A time=00:00:00.80\r\r\n\r\nvideo:5kB\n";
    const auto whole = Feed({output});
    ASSERT_EQ(whole.size(), 6u);
    for (size_t a = 0; a <= output.size(); ++a) {
        for (size_t b = a; b <= output.size(); b += 7) {
            const auto pieces =
                Feed({output.substr(0, a), output.substr(a, b - a), output.substr(b)});
            ASSERT_EQ(pieces, whole) << "split at " << a << " and " << b;
        }
    }
}

TEST(OutputLinesTest, ByteAtATimeGivesTheSameLines) {
    const std::string output = "a\r\n\r\nb\rc\n";
    std::vector<std::string> chunks;
    for (char c : output) {
        chunks.emplace_back(1, c);
    }
    EXPECT_EQ(Feed(chunks), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
