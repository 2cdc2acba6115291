// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CDlgAbout.h"

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"

namespace {

QLabel* Label(CDlgAbout& about, const char* name) {
    return about.findChild<QLabel*>(QString::fromUtf8(name));
}

TEST(DlgAbout, ShowsTitleVersionAndBuild) {
    test::Environment env;
    const struct {
        CVersionInfo version;
        const char* title;
        const char* build;  // empty: the build line is not shown
    } rows[] = {
        {{2, 10, 7, ""}, "Ombrel DEDE5 Varodo 2.10", ""},
        {{1, 3, 0, "v1.3-5-gabc1234"}, "Ombrel DEDE5 Varodo 1.3", "Build: v1.3-5-gabc1234"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        CDlgAbout about(row.version);
        about.show();
        EXPECT_EQ(about.windowTitle(), "About");
        EXPECT_EQ(Label(about, "title")->text(), row.title);
        EXPECT_TRUE(Label(about, "title")->font().bold());
        EXPECT_EQ(Label(about, "build")->isVisible(), *row.build != '\0');
        if (*row.build) {
            EXPECT_EQ(Label(about, "build")->text(), row.build);
        }
    }
}

TEST(DlgAbout, LinksOpenTheWebSiteAndTheSupportAddress) {
    test::Environment env;
    test::RecordingShell shell;
    SetShell(&shell);
    CDlgAbout about(CVersionInfo::Compiled());
    about.show();
    for (const auto& [name, id] :
         {std::pair{"website", IDS_WEBSITE_URL}, std::pair{"support", IDS_SUPPORT_ADDRESS}}) {
        SCOPED_TRACE(name);
        QLabel* link = Label(about, name);
        ASSERT_NE(link, nullptr);
        std::smatch href;
        const std::string html = FromQt(link->text());
        ASSERT_TRUE(std::regex_search(html, href, std::regex("href=\"([^\"]*)\"")));
        EXPECT_EQ(href[1], LoadStringRes(id));
        shell.opened.clear();
        emit link->linkActivated(ToQt(href[1].str()));
        EXPECT_EQ(shell.opened, std::vector<std::string>{LoadStringRes(id)});
    }
    SetShell(nullptr);
}

TEST(DlgAbout, ListsThePlayerLibrariesAsTheirPackagesDescribeThem) {
    test::Environment env;
    CDlgAbout about(CVersionInfo::Compiled());
    about.show();
    QLabel* libraries = Label(about, "libraries");
    ASSERT_NE(libraries, nullptr);
    EXPECT_TRUE(libraries->isVisible());
    const QStringList lines = libraries->text().split(QLatin1Char('\n'));
    // Each package's own package.json, read now, against what the build compiled in.
    QStringList expected;
    for (const char* package : {"video.js", "mediaelement", "jquery", "plyr"}) {
        QFile file(QStringLiteral(DEDE5_NODE_MODULES "/%1/package.json").arg(package));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
        expected << QStringLiteral("%1 %2 (%3)")
                        .arg(QString::fromUtf8(package), json.value("version").toString(),
                             json.value("license").toString());
    }
    EXPECT_EQ(lines, expected);
    // And what it is built with, and its own licence in full.
    const QString linked = Label(about, "linkedLibraries")->text();
    EXPECT_TRUE(linked.startsWith(QStringLiteral("Qt %1 (LGPL-3.0-only)\n").arg(qVersion())))
        << linked.toStdString();
    const QString licence = about.findChild<QPlainTextEdit*>()->toPlainText();
    EXPECT_TRUE(
        licence.startsWith(QStringLiteral("                    GNU GENERAL PUBLIC LICENSE")) &&
        licence.contains(QStringLiteral("END OF TERMS AND CONDITIONS")));
}

TEST(DlgAbout, NothingIsCutOff) {
    test::Environment env;
    CVersionInfo version = CVersionInfo::Compiled();
    if (version.m_strPrivateBuild.empty()) {
        version.m_strPrivateBuild = "v1.0.0-12-g0123abc-dirty";
    }
    CDlgAbout about(version);
    about.show();
    EXPECT_EQ(test::CutOffWidgets(about), std::vector<std::string>{});
    EXPECT_TRUE(test::SaveScreenshot(about, QStringLiteral("about-box")));
}

}  // namespace
