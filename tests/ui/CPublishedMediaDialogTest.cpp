// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPublishedMediaDialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "players/CHTML5Player.h"
#include "players/PlayerMarkup.h"
#include "tests/support/Sandbox.h"

namespace {

constexpr const char* kPage = "<html><head>\n</head><body>\n</body></html>\n";

TEST(PublishedMediaDialog, ListsThePlayersAndRemovesTheSelectedOne) {
    test::Environment env;
    const std::string site = env.sandbox.MakeFolder("site");
    const std::string movie = env.sandbox.Write("site/media/movie.mp4", "a film");
    // The page as the YouTube player's template writes it.
    PlayerRequest request;
    request.mediaFiles = {movie};
    request.mediaKind = MEDIA_KIND_VIDEO;
    request.width = 320;
    request.height = 240;
    request.playerIndex = 1;
    request.mediaFolderUrl = "media/";
    request.pagePath = site + "/index.htm";
    std::string head, body;
    auto player = CreatePlayer(PLAYER_TYPE_VIDEOJS);
    ASSERT_TRUE(player->GetHeadCode(request, head) && player->GetBodyCode(request, body));
    std::string page = kPage;
    page.insert(page.find("</head>"), HeadCodeForPage(head, "js/"));
    page.insert(page.find("<body>") + 6, body);
    const std::string index = env.sandbox.Write("site/index.htm", page);
    const std::string other = "<video src=\"media/other.mp4\"></video>";
    env.sandbox.Write("site/other.htm", other);

    CPublishedMediaDialog dialog({site + "/", "/js/", "/media/", ""});
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("playersTable"));
    auto* remove = dialog.findChild<QPushButton*>();
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        remove = button->text() == QStringLiteral("&Remove") ? button : remove;
    }
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("index.htm"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("youtube"));
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("media/movie.mp4"));
    EXPECT_EQ(table->item(1, 2)->text(), QStringLiteral("other video"));
    table->selectRow(1);
    EXPECT_FALSE(remove->isEnabled()) << "other video is never touched";
    table->selectRow(0);
    ASSERT_TRUE(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(test::ReadFile(index), kPage);
    EXPECT_EQ(test::ReadFile(site + "/other.htm"), other);
    EXPECT_FALSE(PathExists(movie));
    EXPECT_EQ(table->rowCount(), 1);
}

}  // namespace
