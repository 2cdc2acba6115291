// SPDX-License-Identifier: GPL-3.0-or-later
// A conversion that runs out of room: ffmpeg's writes fail part way, as on a full disk.
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class ConvertFault : public FaultTest {};

TEST_F(ConvertFault, DiskFullHalfWayLeavesNoFileAndSaysSo) {
    const std::string avi = env.sandbox / "old film.avi";
    ASSERT_TRUE(test::MakeMedia(avi, 4, true, true, {"-c:v", "mpeg4", "-c:a", "mp2"}, 320, 240));
    const std::string before = test::ReadFile(avi);
    const std::string out = env.sandbox.MakeFolder("out");

    RunOptions full;
    full.fileSizeLimit = 20 * 1024;
    RunResult r = Publish({"--convert-only", out + "/film.mp4", avi}, full);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("could not be made web-ready: ffmpeg could not write the result: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No file has been left behind"), std::string::npos) << r.err;
    EXPECT_EQ(Listing(out), "") << "no part of the film and no temporary file";
    EXPECT_EQ(test::ReadFile(avi), before);

    // Publishing with --convert: nothing reaches the site either.
    const std::string site_before = Listing(site);
    RunResult published = Publish(Site({"--convert", avi, index}), full);
    EXPECT_EQ(published.status, 2) << published.err;
    EXPECT_EQ(Listing(site), site_before);

    RunResult roomy = Publish({"--convert-only", out + "/film.mp4", avi});
    EXPECT_EQ(roomy.status, 0) << roomy.err;
    EXPECT_TRUE(IsRegularFile(out + "/film.mp4"));
}

}  // namespace
}  // namespace faults
