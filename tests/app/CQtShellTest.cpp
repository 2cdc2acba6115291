// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CQtShell.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

// Programs made for the test, found on a PATH of their own.
class QtShellTest : public ::testing::Test {
protected:
    QtShellTest() : m_savedPath(std::getenv("PATH") ? std::getenv("PATH") : "") {
        env.sandbox.MakeFolder("bin");
        ::setenv("PATH", (env.sandbox / "bin").c_str(), 1);
    }
    ~QtShellTest() override { ::setenv("PATH", m_savedPath.c_str(), 1); }

    void Program(const std::string& name, const std::string& body) {
        const std::string path = env.sandbox.Write("bin/" + name, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
    }

    // Runs the event loop until the shell has settled the fate of what it was asked to show.
    struct Settled {
        bool done = false;
        QString target;
        bool shown = false;
    };
    static Settled Wait(CQtShell& shell) {
        Settled result;
        QEventLoop loop;
        QObject::connect(&shell, &CQtShell::settled, &loop, [&](const QString& target, bool shown) {
            result = {true, target, shown};
            loop.quit();
        });
        // Only a guard against a test that would hang: the answer comes when the programs end.
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        return result;
    }

    test::Environment env;

private:
    std::string m_savedPath;
};

TEST_F(QtShellTest, BrowserThatFailsAtOnceHandsThePageOn) {
    const std::string marker = env.sandbox / "firefox-got";
    Program("chromium",
            "echo 'Running as root without --no-sandbox is not supported.' >&2\nexit 1\n");
    Program("firefox", "printf '%s' \"$1\" > '" + marker + "'\n");
    CQtShell shell;
    EXPECT_TRUE(shell.StartFirst(
        {{"chromium", {"/srv/a b.htm"}}, {"firefox", {"/srv/a b.htm"}}, {{}, {"/srv/a b.htm"}}},
        "/srv/a b.htm"));
    const Settled settled = Wait(shell);
    EXPECT_TRUE(settled.done);
    EXPECT_TRUE(settled.shown);
    EXPECT_EQ(settled.target, "/srv/a b.htm");
    EXPECT_EQ(test::ReadFile(marker), "/srv/a b.htm");
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(QtShellTest, WhenNothingShowsThePageTheLastReasonIsReported) {
    Program("chromium", "echo 'Missing X server or $DISPLAY' >&2\nexit 1\n");
    Program("xdg-open", "echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    CQtShell shell;
    EXPECT_TRUE(
        shell.StartFirst({{"chromium", {"/srv/a.htm"}}, {{}, {"/srv/a.htm"}}}, "/srv/a.htm"));
    const Settled settled = Wait(shell);
    EXPECT_TRUE(settled.done);
    EXPECT_FALSE(settled.shown);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text,
              "Failed to open /srv/a.htm. xdg-open: no method available for opening "
              "'/srv/a.htm'");
    EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONWARNING);
}

TEST_F(QtShellTest, NoProgramForAFileIsReportedWithItsStatus) {
    // The desktop's opener gives up without a word: the status is the reason.
    Program("xdg-open", "exit 4\n");
    CQtShell shell;
    EXPECT_TRUE(shell.OpenDefault("/home/me/clip.mp4"));
    EXPECT_FALSE(Wait(shell).shown);
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text,
              "Failed to open /home/me/clip.mp4. xdg-open ended with status 4.");
}

TEST_F(QtShellTest, NothingThatCanBeStartedIsReportedAtOnce) {
    CQtShell shell;
    // OpenDefault leaves the report to its caller, with the reason in errno.
    errno = 0;
    EXPECT_FALSE(shell.OpenDefault("/home/me/clip.mp4"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(env.box.messages.empty());
    // StartFirst reports itself.
    EXPECT_FALSE(shell.StartFirst({{"firefox", {"/p.htm"}}, {{}, {"/p.htm"}}}, "/p.htm"));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, "Failed to open /p.htm. " + GetErrorText(ENOENT));
}

TEST_F(QtShellTest, ProgramThatKeepsRunningHasStarted) {
    const std::string gate = env.sandbox / "gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    Program("firefox", "read x < '" + gate + "'\nexit 1\n");
    CQtShell shell(200);
    EXPECT_TRUE(shell.Launch("firefox", {"/p.htm"}));
    const Settled settled = Wait(shell);
    EXPECT_TRUE(settled.shown);
    EXPECT_TRUE(env.box.messages.empty());
    // Its later end, good or bad, is its own business.
    const int fd = ::open(gate.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "x\n", 2), 2);
    ::close(fd);
}

}  // namespace
