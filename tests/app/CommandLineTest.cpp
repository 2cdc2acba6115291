// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <string>

#include <gtest/gtest.h>

#include <QDir>

#include "tests/support/Sandbox.h"

namespace {

TEST(CommandLine, StartFileIsTheFirstFileMadeAbsolute) {
    test::Sandbox sandbox;
    const std::string here = sandbox.MakeFolder("videos");
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(here)));
    const struct {
        const char* name;
        QStringList arguments;
        std::string file;
    } rows[] = {
        {"no arguments", {"dede5-varodo"}, ""},
        {"only options", {"dede5-varodo", "--quit-when-shown"}, ""},
        {"an absolute path", {"dede5-varodo", "/media/clip one.mp4"}, "/media/clip one.mp4"},
        {"a path relative to the folder started in",
         {"dede5-varodo", "clip.webm"},
         here + "/clip.webm"},
        {"after an option", {"dede5-varodo", "--quit-when-shown", "a.mp3"}, here + "/a.mp3"},
        {"the first of two", {"dede5-varodo", "/a.mp4", "/b.mp4"}, "/a.mp4"},
        {"a file: URL with an escaped blank",
         {"dede5-varodo", "file:///media/my%20clip.ogv"},
         "/media/my clip.ogv"},
        {"a name that looks like an option, after --",
         {"dede5-varodo", "--", "-odd.wav"},
         here + "/-odd.wav"},
        {"an empty argument", {"dede5-varodo", "", "/x.m4a"}, "/x.m4a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GetStartFile(row.arguments), row.file);
    }
    QDir::setCurrent(saved);
}

}  // namespace
