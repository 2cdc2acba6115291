// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/faults/PublishRun.h"
#include "tests/support/Sandbox.h"

namespace faults {

// Media made with ffmpeg once for the whole test program, on first use: "song.mp3" (1 s),
// "long.mp3" (40 s, about 640 KB), "movie.mp4" (1 s of video and sound), "big.mp4" (a short
// film with 40 MB after it, so that a copy takes several writes) and "big-other.mp4" (the same
// film, other bytes after it).
const std::string& SampleMedia(const std::string& name);

// How often `what` occurs in `text`, overlapping ones included.
inline size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++n;
    }
    return n;
}

// A site with one page, in a sandbox of the test's own, and the publisher's arguments for it.
class FaultTest : public ::testing::Test {
protected:
    FaultTest();
    // --site-root, --js-path /js/, --media-path /medias/, then `more`.
    std::vector<std::string> Site(const std::vector<std::string>& more) const;

    test::Environment env;
    std::string site, index;
};

}  // namespace faults
