// SPDX-License-Identifier: GPL-3.0-or-later
// What the publisher could not do is said, also with -q, and its status is not 0.
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class HonestStatus : public FaultTest {};

TEST_F(HonestStatus, PlayerFilesThatCannotBeWrittenAreAnError) {
    env.sandbox.MakeFolder("site/js/video-js/video.js");
    const RunResult r = Publish(
        Site({"-q", "--no-poster", "--player", "default", SampleMedia("movie.mp4"), index}));
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("video-js files could not be copied into " + site + "/js/"),
              std::string::npos)
        << r.err;
}

TEST_F(HonestStatus, PrintToAFullOutputIsAnError) {
    RunOptions options;
    options.program = "/bin/sh";
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" >/dev/full", DEDE5_PUBLISH_PROGRAM};
    for (const std::string& arg : Site({"--print", SampleMedia("movie.mp4"), index})) {
        args.push_back(arg);
    }
    const RunResult r = Publish(args, options);
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("could not be printed"), std::string::npos) << r.err;
}

TEST_F(HonestStatus, APageNamedThriceIsPublishedOnce) {
    const std::string alias = site + "/alias.htm";
    ASSERT_EQ(::symlink(index.c_str(), alias.c_str()), 0);
    RunOptions options;
    options.workingFolder = site;
    const RunResult r = Publish(
        Site({"--no-poster", SampleMedia("movie.mp4"), index, "./index.htm", alias}), options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(test::ReadFile(index), "<video"), 1u);
}

}  // namespace
}  // namespace faults
