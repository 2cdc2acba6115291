// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPublishJob.h"

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "publish/IFileWriter.h"
#include "publish/MediaCopy.h"
#include "tests/support/Sandbox.h"

namespace {

class CountingQuestions : public ICopyQuestions {
public:
    int AskOverwrite(const std::string& text) override {
        asked.push_back(text);
        return answer;
    }
    int AskCopyError(const std::string&) override { return IDABORT; }
    void Tell(const CError&) override {}
    std::vector<std::string> asked;
    int answer = COPY_EXIST_NO;
};

// A site with two pages and one real MP4; ffmpeg is stood in for by a maker that counts.
class PublishJob : public ::testing::Test {
protected:
    void SetUp() override {
        COptions& o = *COptions::Instance();
        site = env.sandbox.MakeFolder("site");
        o.m_strSiteRoot = site + "/";
        o.m_strJsPath = "/js/";
        o.m_strMediaPath = "/medias/";
        o.m_strWorkFolder = env.sandbox / "work";
        o.m_bVideoPoster = 1;
        o.m_bVideoControl = 1;
        o.m_bAutoPlay = 0;
        o.m_bVideoLoop = 0;
        index = env.sandbox.Write("site/index.htm", kPage);
        news = env.sandbox.Write("site/news/a.htm", kPage);
        movie = env.sandbox / "in/movie.mp4";
        CreateFolders(env.sandbox / "in");
        // Index first, so the published copy is the file itself.
        ASSERT_TRUE(test::MakeMedia(
            movie, 1, true, true,
            {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-movflags", "+faststart"}));
        SetStillPictureMaker([this](const std::string& video, const std::string& jpeg) {
            ++pictures;
            std::ofstream(jpeg, std::ios::binary) << "\xFF\xD8 " << video;
            return makerSucceeds;
        });
    }
    void TearDown() override { SetStillPictureMaker(nullptr); }

    // The job as the front ends leave it before the first page: site, media, player, choices.
    void Start(CPublishJob& job, const std::string& media) {
        job.SetSite(SiteFromOptions(*COptions::Instance()));
        job.SetWorkFolder(COptions::Instance()->m_strWorkFolder);
        const MediaCheck check = CPublishJob::CheckMedia(media);
        ASSERT_EQ(check.verdict, MEDIA_ACCEPTED);
        job.SetMedia(media, check.details);
        job.SetPlayer(GetVideoPlayers()[0], 0);
        job.SetChoices(ChoicesFromOptions(*COptions::Instance()));
    }

    // Loads the page, inserts the job's code after <body> and publishes it.
    PublishOutcome PublishInto(CPublishJob& job, const std::string& path,
                               ICopyQuestions& questions) {
        CHtmlPage page;
        page.SetReport(&env.report);
        EXPECT_TRUE(page.LoadPage(path));
        const PageCode code = job.MakeCode(path, PLAYER_MODE_PUBLISH);
        page.SetHeadCode(code.head);
        page.SetBodyCode(code.body);
        CStringPageEditor editor(page.Text());
        const size_t at = page.Text().find("<body>") + 6;
        editor.SetSelection(at, at);
        page.InsertPlayerCode(editor);
        return job.PublishPage(page, editor.Text(), questions);
    }

    static constexpr const char* kPage =
        "<html>\n<head>\n<title>T</title>\n</head>\n<body>\n<p>x</p>\n</body>\n</html>\n";
    test::Environment env;
    std::string site, index, news, movie;
    int pictures = 0;
    bool makerSucceeds = true;
};

TEST_F(PublishJob, MediaCheckVerdictsAndTheirMessages) {
    struct Row {
        const char* name;
        MediaVerdict verdict;
        int message;
    } rows[] = {
        {"gone.mp4", MEDIA_MISSING, IDS_MEDIA_NOT_EXIST},
        {"text.mp4", MEDIA_UNREADABLE, IDS_MEDIA_PARSE_FAILED},
        {"movie.mkv", MEDIA_NOT_HTML5, IDS_NOT_HTML5_MEDIA},
    };
    env.sandbox.Write("in/text.mp4", "not a movie at all");
    ASSERT_TRUE(test::MakeMedia(env.sandbox / "in/movie.mkv", 1, true, false,
                                {"-c:v", "libx264", "-pix_fmt", "yuv420p"}));
    for (const Row& row : rows) {
        const MediaCheck check =
            CPublishJob::CheckMedia(env.sandbox / (std::string("in/") + row.name));
        EXPECT_EQ(check.verdict, row.verdict) << row.name;
        EXPECT_EQ(CPublishJob::RefusalMessageId(check.verdict), row.message) << row.name;
    }
    const MediaCheck good = CPublishJob::CheckMedia(movie);
    EXPECT_EQ(good.verdict, MEDIA_ACCEPTED);
    EXPECT_EQ(CPublishJob::RefusalMessageId(good.verdict), 0);
    EXPECT_EQ(good.details.m_nWidth, 320);
}

TEST_F(PublishJob, PosterIsTakenOncePerMediaAndGoesWithTheJob) {
    std::string poster;
    {
        CPublishJob job;
        Start(job, movie);
        EXPECT_TRUE(job.NeedsPoster());
        ASSERT_TRUE(job.TakePoster(env.sandbox / "work"));
        ASSERT_TRUE(job.TakePoster(env.sandbox / "work"));
        poster = job.Request().posterFile;
        EXPECT_EQ(poster, env.sandbox / "work/movie.jpg");
        for (const std::string& page : {index, news, index}) {
            EXPECT_NE(job.MakeCode(page, PLAYER_MODE_PUBLISH).body.find("poster="),
                      std::string::npos);
            job.MakeCode(page, PLAYER_MODE_PREVIEW);
        }
        EXPECT_EQ(pictures, 1);

        // The same file chosen again keeps its picture; another file gets its own.
        job.SetMedia(movie, CPublishJob::CheckMedia(movie).details);
        EXPECT_FALSE(job.NeedsPoster());
        const std::string other = env.sandbox / "in/other.mp4";
        ASSERT_TRUE(
            test::MakeMedia(other, 1, true, false, {"-c:v", "libx264", "-pix_fmt", "yuv420p"}));
        job.SetMedia(other, CPublishJob::CheckMedia(other).details);
        EXPECT_FALSE(PathExists(poster)) << "the old picture is deleted";
        EXPECT_TRUE(job.TakePoster(env.sandbox / "work"));
        EXPECT_EQ(pictures, 2);
        poster = job.Request().posterFile;
    }
    EXPECT_FALSE(PathExists(poster)) << "the job's end deletes its picture";

    makerSucceeds = false;
    CPublishJob failing;
    Start(failing, movie);
    EXPECT_FALSE(failing.TakePoster(env.sandbox / "work"));
    EXPECT_FALSE(failing.TakePoster(env.sandbox / "work"));
    EXPECT_EQ(pictures, 3) << "a picture that cannot be taken is not tried for every page";
    EXPECT_EQ(failing.MakeCode(index, PLAYER_MODE_PUBLISH).body.find("poster="), std::string::npos);
}

TEST_F(PublishJob, CodeFollowsThePageAndTheMode) {
    CPublishJob job;
    Start(job, movie);
    job.TakePoster(env.sandbox / "work");
    const PageCode top = job.MakeCode(index, PLAYER_MODE_PUBLISH);
    ASSERT_TRUE(top.made);
    EXPECT_NE(top.head.find("src=\"js/video-js/video.js\""), std::string::npos) << top.head;
    EXPECT_NE(top.body.find("src=\"medias/movie.mp4\""), std::string::npos) << top.body;
    const PageCode deeper = job.MakeCode(news, PLAYER_MODE_PUBLISH);
    EXPECT_NE(deeper.head.find("src=\"../js/video-js/video.js\""), std::string::npos);
    EXPECT_NE(deeper.body.find("poster=\"../medias/movie.jpg\""), std::string::npos);
    const PageCode preview = job.MakeCode(index, PLAYER_MODE_PREVIEW);
    EXPECT_EQ(preview.head.find("$(path)"), std::string::npos) << preview.head;
    EXPECT_NE(preview.body.find(PathToUrl(movie)), std::string::npos) << preview.body;
    EXPECT_NE(preview.body.find(PathToUrl(env.sandbox / "work/movie.jpg")), std::string::npos);

    // The YouTube row: its style sheet in the head and its class in the body, from one choice.
    job.SetPlayer(GetVideoPlayers()[1], 1);
    const PageCode tube = job.MakeCode(index, PLAYER_MODE_PUBLISH);
    EXPECT_NE(tube.head.find("video-js/tube.css"), std::string::npos) << tube.head;
    EXPECT_NE(tube.body.find("video-js tubecss"), std::string::npos) << tube.body;
}

TEST_F(PublishJob, PublishingPutsEverythingInPlaceAndAFailedSaveLeavesThePage) {
    CPublishJob job;
    Start(job, movie);
    job.TakePoster(env.sandbox / "work");
    CountingQuestions questions;
    const PublishOutcome first = PublishInto(job, index, questions);
    ASSERT_TRUE(first.Published());
    EXPECT_TRUE(first.warnings.empty());
    EXPECT_NE(test::ReadFile(index).find("<video"), std::string::npos);
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.mp4"), test::ReadFile(movie));
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.jpg"));
    EXPECT_TRUE(IsRegularFile(site + "/medias/.htaccess"));
    EXPECT_TRUE(IsRegularFile(site + "/js/video-js/video.js"));
    EXPECT_TRUE(IsRegularFile(env.sandbox / "work/movie.jpg")) << "kept for the next page";

    // Changed behind the job's back: compared again, so the question comes.
    { std::ofstream(site + "/medias/movie.mp4", std::ios::binary | std::ios::app) << "x"; }
    const PublishOutcome second = PublishInto(job, news, questions);
    EXPECT_TRUE(second.Published());
    EXPECT_EQ(questions.asked.size(), 1u);

    // A page that cannot be saved (the disk is full) stays as it was; its files were put in
    // place first.
    class CFullDisk : public IFileWriter {
    public:
        bool WriteAll(int, std::string_view) override {
            errno = ENOSPC;
            return false;
        }
        bool Sync(int) override { return true; }
    } full;
    const std::string other = env.sandbox.Write("site/other/p.htm", kPage);
    COptions::Instance()->m_strMediaPath = "/other-medias/";
    job.SetSite(SiteFromOptions(*COptions::Instance()));
    CHtmlPage page;
    page.SetReport(&env.report);
    ASSERT_TRUE(page.LoadPage(other));
    page.SetFileWriter(&full);
    const PublishOutcome refused = job.PublishPage(page, "<html>changed</html>", questions);
    ASSERT_TRUE(refused.failure.has_value());
    EXPECT_EQ(refused.failure->step, PUBLISH_STEP_SAVE_PAGE);
    EXPECT_EQ(refused.failure->path, other);
    EXPECT_EQ(refused.failure->error, ENOSPC);
    EXPECT_EQ(test::ReadFile(other), kPage);
    EXPECT_TRUE(PathExists(site + "/other-medias"));
}

}  // namespace

namespace {

TEST_F(PublishJob, CaptionsBesideTheMediaAreOfferedConvertedAndPublished) {
    env.sandbox.Write(
        "in/movie.srt",
        "1\r\n00:00:01,000 --> 00:00:02,000\r\nCaf\xE9 cr\xE8me \xE0 l'\xE9t\xE9\r\n");
    env.sandbox.Write("in/movie.de.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\nHallo\n");
    env.sandbox.Write("in/movie.it.srt", "not captions at all\n");
    const std::string extra =
        env.sandbox.Write("in/extra.es.srt", "1\n00:00:03,000 --> 00:00:04,000\nHola\n");
    CPublishJob job;
    Start(job, movie);
    ASSERT_EQ(job.Captions().size(), 2u);
    EXPECT_EQ(job.Captions()[0].language, "");
    EXPECT_EQ(job.Captions()[1].language, "de");
    EXPECT_EQ(job.Captions()[1].label, "German");
    ASSERT_EQ(job.CaptionsProblems().size(), 1u);
    EXPECT_NE(job.CaptionsProblems()[0].find("movie.it.srt' is neither WebVTT nor SubRip"),
              std::string::npos)
        << job.CaptionsProblems()[0];

    EXPECT_EQ(job.AddCaptions(extra), "");
    EXPECT_EQ(job.Captions()[2].language, "es") << "the name gives the language";
    EXPECT_FALSE(job.SetCaptionsLanguage(0, "not a tag", ""));
    EXPECT_TRUE(job.SetCaptionsLanguage(0, "fr", ""));
    EXPECT_EQ(job.Captions()[0].label, "French");
    EXPECT_TRUE(job.SetCaptionsLanguage(2, "es", "Espa\xC3\xB1ol"));
    const std::string refused = job.AddCaptions(env.sandbox / "in/movie.it.srt");
    EXPECT_NE(refused.find("Line 1:"), std::string::npos) << refused;
    EXPECT_EQ(job.Captions().size(), 3u);

    const PageCode code = job.MakeCode(news, PLAYER_MODE_PUBLISH);
    EXPECT_NE(code.body.find("<track kind=\"captions\" src=\"../medias/movie.fr.vtt\" "
                             "srclang=\"fr\" label=\"French\" default>\n<track kind=\"captions\" "
                             "src=\"../medias/movie.de.vtt\" srclang=\"de\" label=\"German\">\n"
                             "<track kind=\"captions\" src=\"../medias/movie.es.vtt\" "
                             "srclang=\"es\" label=\"Espa&#241;ol\">\n"),
              std::string::npos)
        << code.body;
    CountingQuestions questions;
    ASSERT_TRUE(PublishInto(job, news, questions).Published());
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.fr.vtt"),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nCaf\xC3\xA9 cr\xC3\xA8me \xC3\xA0 "
              "l'\xC3\xA9t\xC3\xA9\n");
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.de.vtt"),
              test::ReadFile(env.sandbox / "in/movie.de.vtt"));
    EXPECT_TRUE(IsRegularFile(site + "/medias/movie.es.vtt"));
    EXPECT_FALSE(PathExists(site + "/medias/movie.vtt")) << "renamed with its language";

    // Another file of the same name is not overwritten without asking.
    job.RemoveCaptions(1);
    env.sandbox.Write("site/medias/movie.es.vtt", "WEBVTT\n\nsomeone else's\n");
    questions.answer = COPY_EXIST_NO;
    ASSERT_TRUE(PublishInto(job, index, questions).Published());
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_NE(questions.asked[0].find("movie.es.vtt"), std::string::npos);
    EXPECT_EQ(test::ReadFile(site + "/medias/movie.es.vtt"), "WEBVTT\n\nsomeone else's\n");
    EXPECT_EQ(job.MakeCode(index, PLAYER_MODE_PUBLISH).body.find("movie.de.vtt"),
              std::string::npos);

    const std::string workFile = job.Captions()[0].file;
    EXPECT_TRUE(IsRegularFile(workFile));
    job.End();
    EXPECT_FALSE(PathExists(workFile)) << "the job's end deletes its converted files";
    EXPECT_TRUE(job.Captions().empty());
}

TEST_F(PublishJob, WithoutCaptionsTheBodyHasNoTrack) {
    CPublishJob job;
    Start(job, movie);
    EXPECT_TRUE(job.Captions().empty());
    EXPECT_EQ(job.MakeCode(index, PLAYER_MODE_PUBLISH).body.find("<track"), std::string::npos);
}

}  // namespace
