// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include <gtest/gtest.h>

#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/CHTML5Player.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "tests/support/Sandbox.h"

namespace {

class CaptionTracks : public ::testing::Test {
protected:
    PlayerRequest Request(const std::string& mediaName, int kind, int index = 0) {
        PlayerRequest r;
        const std::string media = env.sandbox.Write("work/" + mediaName, "media");
        r.mediaFiles = {media};
        r.copyList = {media};
        r.pagePath = env.sandbox.Write("site/index.htm", "<html></html>");
        r.mediaTitle = GetPathFileTitle(media);
        r.width = 640;
        r.height = 360;
        r.mediaKind = kind;
        r.playerIndex = index;
        r.jsFolderUrl = "js/";
        r.mediaFolderUrl = "medias/";
        r.jsFolder = env.sandbox / "site/js/";
        r.mediaFolder = env.sandbox / "site/medias/";
        r.showControls = true;
        return r;
    }
    std::string Body(int type, const PlayerRequest& r) {
        std::string out;
        EXPECT_TRUE(CreatePlayer(type)->GetBodyCode(r, out));
        return out;
    }

    test::Environment env;
    const std::vector<CaptionTrack> tracks = {
        {"/in/a.srt", "/work/movie.fr.vtt", "fr",
         "Fran\xC3\xA7"
         "ais \"VF\""},
        {"/in/b.vtt", "/work/movie & co.vtt", "", "Captions"},
    };
    const std::string trackLines =
        "<track kind=\"captions\" src=\"medias/movie.fr.vtt\" srclang=\"fr\" "
        "label=\"Fran&#231;ais &quot;VF&quot;\" default>\n"
        "<track kind=\"captions\" src=\"medias/movie%20%26%20co.vtt\" srclang=\"und\" "
        "label=\"Captions\">\n";
};

TEST_F(CaptionTracks, EveryVideoPlayerPutsThemInsideItsVideoAfterTheSources) {
    struct Row {
        int type;
        int index;
        const char* before;  // what the track lines follow
    } rows[] = {
        {PLAYER_TYPE_VIDEOJS, 0, "type=\"video/mp4\"/>\n"},
        {PLAYER_TYPE_VIDEOJS, 1, "type=\"video/mp4\"/>\n"},
        {PLAYER_TYPE_MEDIAELEMENT, 2, "type=\"video/mp4\"/>\n"},
        {PLAYER_TYPE_LEANBACK, 3, "type=\"video/mp4\"/>\n"},
        {PLAYER_TYPE_PROJEKKTOR, 4, "type=\"video/mp4\"/>\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO, row.index);
        const std::string without = Body(row.type, r);
        r.captions = tracks;
        const std::string with = Body(row.type, r);
        // The markup without captions, with the track lines put in after the source line.
        std::string expected = without;
        const size_t at = expected.find(row.before);
        ASSERT_NE(at, std::string::npos) << without;
        expected.insert(at + std::string(row.before).size(), trackLines);
        EXPECT_EQ(with, expected);
        EXPECT_LT(with.find("<track"), with.find("</video>"));
    }
}

TEST_F(CaptionTracks, AudioGetsNoTracksAndNothingIsCopied) {
    PlayerRequest r = Request("song.mp3", MEDIA_KIND_AUDIO, 0);
    const std::string without = Body(PLAYER_TYPE_MEDIAELEMENT, r);
    r.captions = tracks;
    EXPECT_EQ(Body(PLAYER_TYPE_MEDIAELEMENT, r), without);
    EXPECT_EQ(PublishCopyList(r), r.copyList);
}

TEST_F(CaptionTracks, LocationsFollowTheModeAndTheCopyListHasTheFiles) {
    PlayerRequest r = Request("movie.mp4", MEDIA_KIND_VIDEO);
    r.captions = tracks;
    EXPECT_EQ(PublishCopyList(r), (std::vector<std::string>{r.mediaFiles[0], "/work/movie.fr.vtt",
                                                            "/work/movie & co.vtt"}));
    r.mode = PLAYER_MODE_PREVIEW;
    EXPECT_NE(BuildTrackList(r).find("src=\"file:///work/movie.fr.vtt\""), std::string::npos)
        << BuildTrackList(r);
    r.mode = PLAYER_MODE_PUBLISH;
    r.mediaFolderUrl.clear();
    EXPECT_NE(BuildTrackList(r).find("src=\"movie.fr.vtt\""), std::string::npos);
    r.captions.clear();
    EXPECT_EQ(BuildTrackList(r), "");
}

}  // namespace
