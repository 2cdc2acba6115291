// SPDX-License-Identifier: GPL-3.0-or-later
// Media that makes libmediainfo take gigabytes or minutes is refused like any file that cannot
// be parsed, at a small cost to the publisher, and real media still reads under the same bounds.
#include <string>

#include <gtest/gtest.h>

#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class DamagedMedia : public FaultTest {};

TEST_F(DamagedMedia, IsRefusedWithinBoundedMemoryAndTime) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit leaves";
#endif
    // More address space than the reading child may have, less than the library asks for; the
    // processor time is less than reading either file in the publisher's own process takes.
    RunOptions options;
    options.addressSpaceLimit = 2LL << 30;
    options.cpuLimit_s = 4;
    const struct {
        const char* name;
        std::string media;
        int status;
    } rows[] = {
        {"asks for 3 GiB again and again",
         env.sandbox.Write("gigabytes.mp4", test::ReadFile(DEDE5_TEST_MEDIA "/gigabytes.mp4")), 2},
        {"parses for minutes",
         env.sandbox.Write("minutes.mp4", test::ReadFile(DEDE5_TEST_MEDIA "/minutes.mp4")), 2},
        {"a real film", SampleMedia("movie.mp4"), 0},
    };
    const std::string page = test::ReadFile(index);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RunResult r = Publish(Site({"--no-poster", row.media, index}), options);
        EXPECT_EQ(r.status, row.status) << r.err;
        const std::string refusal =
            "Failed to parse file '" + row.media + "', please select the other file and try again.";
        EXPECT_EQ(r.err.find(refusal) != std::string::npos, row.status != 0) << r.err;
        EXPECT_EQ(test::ReadFile(index) == page, row.status != 0);
    }
}

}  // namespace
}  // namespace faults
