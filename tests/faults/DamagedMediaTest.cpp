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
        const char *name, *file;
        int status;
    } rows[] = {{"asks for 3 GiB again and again", "gigabytes.mp4", 2},
                {"parses for minutes", "minutes.mp4", 2},
                {"a real film", "movie.mp4", 0}};
    const std::string page = test::ReadFile(index);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string media =
            row.status == 0
                ? SampleMedia(row.file)
                : env.sandbox.Write(row.file,
                                    test::ReadFile(std::string(DEDE5_TEST_MEDIA "/") + row.file));
        const RunResult r = Publish(Site({"--no-poster", media, index}), options);
        EXPECT_EQ(r.status, row.status) << r.err;
        const std::string refusal =
            "Failed to parse file '" + media + "', please select the other file and try again.";
        EXPECT_EQ(r.err.find(refusal) != std::string::npos, row.status != 0) << r.err;
        EXPECT_EQ(test::ReadFile(index) == page, row.status != 0);
    }
}

}  // namespace
}  // namespace faults
