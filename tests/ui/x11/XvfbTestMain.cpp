// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tests on a private Xvfb server, so that what they grab is what an X server really
// shows. Without Xvfb on PATH they are skipped (exit status 77). "--dark" runs them with a dark
// palette, as under a dark desktop theme.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QSettings>
#include <QStyleFactory>
#include <QToolTip>

#include "core/Folders.h"
#include "core/Process.h"
#include "tests/app/QtTestHome.h"
#include "tests/support/Sandbox.h"

extern char** environ;

namespace {

constexpr int kSkipped = 77;

// A dark palette of the kind dark desktop themes give Qt programs.
QPalette DarkPalette() {
    QPalette dark;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    return dark;
}

// An Xvfb server of its own on the first free display; it is gone when this is.
class CXvfb {
public:
    bool Start(const std::string& xvfb) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            return false;
        }
        // -displayfd: the server picks a free display and writes its number once it accepts
        // connections, so nothing is waited for by the clock.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string args[] = {xvfb,           "-displayfd", "3",   "-screen", "0",
                                    "1600x1200x24", "-nolisten",  "tcp", "-noreset"};
        char* argv[std::size(args) + 1] = {};
        for (size_t i = 0; i < std::size(args); ++i) {
            argv[i] = const_cast<char*>(args[i].c_str());
        }
        const int rc = posix_spawn(&m_pid, xvfb.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        if (rc != 0) {
            ::close(ready[0]);
            m_pid = -1;
            return false;
        }
        std::string number;
        char c = 0;
        while (::read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(ready[0]);
        if (number.empty()) {
            return false;
        }
        m_strDisplay = ":" + number;
        return true;
    }
    ~CXvfb() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    const std::string& Display() const { return m_strDisplay; }

private:
    pid_t m_pid = -1;
    std::string m_strDisplay;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool dark = false;
    for (int i = 1; i < argc; ++i) {
        dark = dark || std::strcmp(argv[i], "--dark") == 0;
    }
    const std::string xvfb = FindOnPath("Xvfb");
    if (xvfb.empty()) {
        std::printf("Xvfb is not installed: the tests on a real X server are skipped\n");
        return kSkipped;
    }
    CXvfb server;
    if (!server.Start(xvfb)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("XAUTHORITY");
    ::unsetenv("WAYLAND_DISPLAY");

    test::Sandbox processHome;
    test::ConfineUserFolders(processHome);

    int result = 0;
    {
        QApplication app(argc, argv);
        if (dark) {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QApplication::setPalette(DarkPalette());
            QToolTip::setPalette(DarkPalette());
        }
        result = RUN_ALL_TESTS();
    }
    return result;
}
