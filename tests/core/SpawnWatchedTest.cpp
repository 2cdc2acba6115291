// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/Sandbox.h"

namespace {

// A program made for the test: a shell script in the sandbox.
std::string Script(test::Sandbox& box, const std::string& name, const std::string& body) {
    const std::string path = box.Write("bin/" + name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

// Waits for the outcome without a time limit of its own: the watcher always answers.
SpawnOutcome Outcome(int fd) {
    EXPECT_GE(fd, 0);
    if (fd < 0) {
        return {};
    }
    const SpawnOutcome outcome = ReadSpawnOutcome(fd);
    ::close(fd);
    return outcome;
}

TEST(SpawnWatched, TellsHowTheProgramFaredAtOnce) {
    test::Sandbox box;
    // A window far longer than any of these takes: they are reported as soon as they end.
    constexpr int kLong_ms = 600000;
    {
        SCOPED_TRACE("ends in failure with its reason");
        const SpawnOutcome outcome = Outcome(SpawnWatched(
            Script(box, "fails", "echo starting\necho \"cannot open display: :9\" >&2\nexit 1\n"),
            {}, kLong_ms));
        EXPECT_FALSE(outcome.running);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.output, "starting\ncannot open display: :9\n");
    }
    {
        SCOPED_TRACE("ends well, its arguments passed as they are");
        const std::string marker = box / "marker";
        const SpawnOutcome outcome =
            Outcome(SpawnWatched(Script(box, "writes", "printf '%s|' \"$@\" > \"$1\"\n"),
                                 {marker, "a page.htm", "", "$HOME"}, kLong_ms));
        EXPECT_FALSE(outcome.running);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(test::ReadFile(marker), marker + "|a page.htm||$HOME|");
    }
    {
        SCOPED_TRACE("ended by a signal");
        const SpawnOutcome outcome =
            Outcome(SpawnWatched(Script(box, "killed", "kill -TERM $$\n"), {}, kLong_ms));
        EXPECT_FALSE(outcome.running);
        EXPECT_EQ(outcome.status, 128 + SIGTERM);
    }
    {
        // Found and executable, but the system cannot run it: the watcher tells why.
        SCOPED_TRACE("a script whose interpreter is missing");
        const std::string orphan = box.Write("bin/orphan", "#!/nonexistent/interpreter\n");
        ::chmod(orphan.c_str(), 0755);
        const SpawnOutcome outcome = Outcome(SpawnWatched(orphan, {}, kLong_ms));
        EXPECT_EQ(outcome.status, -1);
        EXPECT_EQ(outcome.error, ENOENT);
    }
    {
        SCOPED_TRACE("a program that is not there");
        errno = 0;
        EXPECT_EQ(SpawnWatched(box / "bin/missing", {}, kLong_ms), -1);
        EXPECT_EQ(errno, ENOENT);
    }
}

// Writes `text` into the FIFO `path`; waits until the other side opens it.
void Tell(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

TEST(SpawnWatched, ProgramThatKeepsRunningCountsAsStartedAndMayStillWrite) {
    test::Sandbox box;
    const std::string go = box / "go";
    const std::string result = box / "result";
    ASSERT_EQ(::mkfifo(go.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(result.c_str(), 0600), 0);
    // Waits past the watch, then writes far more than a pipe holds: were the output not read
    // any more, it would never get to the end.
    const std::string program =
        Script(box, "lingers",
               "read go < \"$1\"\ni=0\nwhile [ $i -lt 5000 ]; do\n"
               "  echo \"line $i of what a browser may write while it runs\"; i=$((i+1))\ndone\n"
               "echo finished > \"$2\"\n");
    const SpawnOutcome outcome = Outcome(SpawnWatched(program, {go, result}, 100));
    EXPECT_TRUE(outcome.running);
    Tell(go, "go\n");
    EXPECT_EQ(test::ReadFile(result), "finished\n");
}

TEST(SpawnWatched, DescriptorIsReadableOnlyOnceThereIsAnOutcome) {
    test::Sandbox box;
    const std::string gate = box / "gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    const int fd = SpawnWatched(Script(box, "waits", "read x < \"$1\"\nexit 4\n"), {gate}, 600000);
    ASSERT_GE(fd, 0);
    pollfd ready{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 0), 0);
    Tell(gate, "x\n");
    EXPECT_EQ(Outcome(fd).status, 4);
}

}  // namespace
