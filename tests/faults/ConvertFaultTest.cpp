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
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_NE(r.err.find("could not be made web-ready: no room is left for it in '" + out + "'"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No file has been left behind"), std::string::npos) << r.err;
    EXPECT_EQ(Listing(out), "") << "no part of the film and no temporary file";
    EXPECT_EQ(test::ReadFile(avi), before);

    // Publishing with --convert: nothing reaches the site either.
    const std::string site_before = Listing(site);
    RunResult published = Publish(Site({"--convert", avi, index}), full);
    EXPECT_EQ(published.status, 7) << published.err;
    EXPECT_EQ(Listing(site), site_before);

    RunResult roomy = Publish({"--convert-only", out + "/film.mp4", avi});
    EXPECT_EQ(roomy.status, 0) << roomy.err;
    EXPECT_TRUE(IsRegularFile(out + "/film.mp4"));
}

TEST_F(ConvertFault, AResultFfmpegCutShortIsAnErrorNamingTheCause) {
    const std::string avi = env.sandbox / "clip.avi";
    ASSERT_TRUE(test::MakeMedia(avi, 2, true, true, {"-c:v", "mpeg4", "-c:a", "mp2"}, 320, 240));
    // Each stand-in runs the real ffmpeg, then spoils its result and still exits 0.
    const std::string run = "#!/bin/sh\nfor out; do :; done\nffmpeg \"$@\" || exit\n";
    struct Row {
        const char* name;
        std::string spoil;
        int status;
        const char* said;
    } rows[] = {
        {"trailer on a full disk",
         "truncate -s $(($(stat -c %s \"$out\") / 2)) \"$out\"\necho \"Error writing trailer of "
         "$out: No space left on "
         "device\"\n",
         7, "No space left on device"},
        {"cut off silently", "truncate -s $(($(stat -c %s \"$out\") * 3 / 5)) \"$out\"\n", 4,
         "incomplete: the file ends after"},
        {"no index", "printf '\\0\\0\\0\\10ftyp' > \"$out\"\n", 4, "has no index"},
        {"sound lost",
         "ffmpeg -v error -y -i \"$out\" -an -c copy -f mp4 \"$out.v\"\nmv \"$out.v\" \"$out\"\n",
         4, "has no sound"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = env.sandbox.MakeFolder("out-" + std::to_string(++n));
        RunOptions options;
        options.env = {{"DEDE5_VARODO_HOME",
                        FakeInstall(env.sandbox, "install-" + std::to_string(n), run + row.spoil)}};
        const RunResult r = Publish({"--convert-only", out + "/clip.mp4", avi}, options);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
        EXPECT_EQ(Listing(out), "") << "nothing of it is left";
    }
}

TEST_F(ConvertFault, NoWorkingFolderTouchesNothingOfTheUsers) {
    const std::string avi = env.sandbox / "old.avi";
    ASSERT_TRUE(test::MakeMedia(avi, 1, true, true, {"-c:v", "mpeg4", "-c:a", "mp2"}, 320, 240));
    const std::string here = env.sandbox.MakeFolder("here");
    const std::string own = env.sandbox.Write("here/old.mp4", "the user's own file");
    for (const std::string& tmp : {env.sandbox / "no-such-folder", own}) {
        SCOPED_TRACE(tmp);
        RunOptions options;
        options.env = {{"TMPDIR", tmp}};
        options.workingFolder = here;
        const std::string before = Listing(site);
        const RunResult r = Publish(Site({"--convert", avi, index}), options);
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_NE(r.err.find("working folder '" + tmp + "' cannot be made: " +
                             (tmp == own ? "Not a directory" : "No such file or directory")),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(test::ReadFile(own), "the user's own file");
        EXPECT_EQ(Listing(here), "old.mp4 19\n");
        EXPECT_EQ(Listing(site), before);
    }
}

}  // namespace
}  // namespace faults
