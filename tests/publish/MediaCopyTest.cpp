// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MediaCopy.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/FileCopy.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"

namespace {

class ScriptedQuestions : public ICopyQuestions {
public:
    int AskOverwrite(const std::string& text) override {
        overwriteTexts.push_back(text);
        return Next(overwriteAnswers, COPY_EXIST_NO);
    }
    int AskCopyError(const std::string& text) override {
        errorTexts.push_back(text);
        int answer = Next(errorAnswers, IDABORT);
        if (answer == IDRETRY && clearFaultOnRetry) {
            SetCopyFaultForTesting(-1, 0);
        }
        return answer;
    }
    void Tell(const CError& note) override { notes.push_back(note.id); }
    static int Next(std::vector<int>& queue, int fallback) {
        if (queue.empty()) {
            return fallback;
        }
        int answer = queue.front();
        queue.erase(queue.begin());
        return answer;
    }
    std::vector<int> overwriteAnswers, errorAnswers;
    std::vector<std::string> overwriteTexts, errorTexts;
    std::vector<int> notes;
    bool clearFaultOnRetry = false;
};

class MediaCopy : public ::testing::Test {
protected:
    void TearDown() override { SetCopyFaultForTesting(-1, 0); }

    PlayerRequest Request(std::initializer_list<std::string> files) {
        PlayerRequest r;
        r.mediaFolderUrl = "medias/";
        for (const auto& f : files) {
            r.copyList.push_back(box.Write("work/" + f, "content of " + f));
        }
        return r;
    }
    std::string Media(const std::string& name) { return box / ("site/medias/" + name); }
    // Copies into `folder` of the site in the sandbox, as publishing does.
    bool Copy(PlayerRequest& r, const std::string& folder = "medias") {
        box.MakeFolder("site");
        const auto site = CSiteFolder::Open(box / "site");
        MediaCopyPlace place{site.value.get(), folder, box / "work", nullptr, {}};
        return site && CopyMediaFiles(r, place, questions);
    }
    CStatus ServerConfig() {
        const auto site = CSiteFolder::Open(box.MakeFolder("site"));
        return site ? CopyServerConfig(*site.value, "medias") : CStatus(site.why);
    }

    test::Sandbox box;
    ScriptedQuestions questions;
    std::string medias = box / "site/medias";
};

TEST_F(MediaCopy, SameMediaTwiceAsksNothing) {
    PlayerRequest r = Request({"movie.mp4", "movie.jpg"});
    ASSERT_TRUE(Copy(r));
    ASSERT_TRUE(Copy(r));
    EXPECT_TRUE(questions.overwriteTexts.empty());
    EXPECT_EQ(test::ReadFile(Media("movie.mp4")), "content of movie.mp4");
}

TEST_F(MediaCopy, ChangedFilesAskOnceEachAndYesToAllSilencesTheRest) {
    PlayerRequest r = Request({"a.mp4", "b.jpg", "c.jpg"});
    for (const char* f : {"a.mp4", "b.jpg", "c.jpg"}) {
        box.Write(std::string("site/medias/") + f, "older");
    }
    questions.overwriteAnswers = {COPY_EXIST_YES_TO_ALL};
    ASSERT_TRUE(Copy(r));
    ASSERT_EQ(questions.overwriteTexts.size(), 1u);
    EXPECT_EQ(questions.overwriteTexts[0],
              "File 'a.mp4' already exists in '" + medias + "/" +
                  "' with different content. Would you like to overwrite it?");
    EXPECT_EQ(test::ReadFile(Media("c.jpg")), "content of c.jpg");

    // Yes to All lasts one publish only.
    box.Write("site/medias/a.mp4", "changed again");
    ASSERT_TRUE(Copy(r));
    EXPECT_EQ(questions.overwriteTexts.size(), 2u);
    EXPECT_EQ(test::ReadFile(Media("a.mp4")), "changed again") << "the default answer is No";
}

TEST_F(MediaCopy, NoKeepsTheOldFileAndStillSucceeds) {
    PlayerRequest r = Request({"a.mp4", "b.mp4"});
    box.Write("site/medias/a.mp4", "users own");
    questions.overwriteAnswers = {COPY_EXIST_NO};
    ASSERT_TRUE(Copy(r));
    EXPECT_EQ(test::ReadFile(Media("a.mp4")), "users own");
    EXPECT_EQ(test::ReadFile(Media("b.mp4")), "content of b.mp4");
    EXPECT_EQ(questions.notes, std::vector<int>{IDS_PUBLISHED_AS}) << "the other name is told";
}

TEST_F(MediaCopy, CancelStopsKeepingEarlierCopiesAndTemporaryFiles) {
    PlayerRequest r = Request({"a.mp4", "b.jpg", "c.mp4"});
    box.Write("site/medias/b.jpg", "older");
    r.tempList = {r.copyList[1]};
    questions.overwriteAnswers = {COPY_EXIST_CANCEL};
    EXPECT_FALSE(Copy(r));
    EXPECT_TRUE(IsRegularFile(Media("a.mp4")));
    EXPECT_FALSE(PathExists(Media("c.mp4")));
    EXPECT_TRUE(IsRegularFile(r.copyList[1])) << "temporary files are not deleted on Cancel";
    EXPECT_EQ(r.tempList.size(), 1u);
}

TEST_F(MediaCopy, ReadOnlyTargetIsOverwritten) {
    PlayerRequest r = Request({"a.mp4"});
    const std::string target = box.Write("site/medias/a.mp4", "older");
    ::chmod(target.c_str(), 0444);
    questions.overwriteAnswers = {COPY_EXIST_YES};
    ASSERT_TRUE(Copy(r));
    EXPECT_EQ(test::ReadFile(target), "content of a.mp4");
}

TEST_F(MediaCopy, FailedCopyOffersAbortRetryIgnore) {
    {
        PlayerRequest r = Request({"a.mp4", "b.mp4"});
        SetCopyFaultForTesting(3, ENOSPC);
        questions.errorAnswers = {IDABORT};
        EXPECT_FALSE(Copy(r));
        ASSERT_EQ(questions.errorTexts.size(), 1u);
        EXPECT_EQ(questions.errorTexts[0],
                  "An error occurred while copying file \"a.mp4\":\nNo space left on device");
        EXPECT_FALSE(PathExists(Media("a.mp4"))) << "no partial file is left";
        EXPECT_FALSE(PathExists(Media("b.mp4")));
    }
    {
        PlayerRequest r = Request({"a.mp4", "b.mp4"});
        questions.errorTexts.clear();
        SetCopyFaultForTesting(3, ENOSPC);
        questions.errorAnswers = {IDIGNORE, IDIGNORE};
        EXPECT_TRUE(Copy(r));
        EXPECT_EQ(questions.errorTexts.size(), 2u) << "Ignore goes on with the next file";
    }
    {
        PlayerRequest r = Request({"a.mp4"});
        questions.errorTexts.clear();
        SetCopyFaultForTesting(3, ENOSPC);
        questions.errorAnswers = {IDRETRY, IDRETRY};
        questions.clearFaultOnRetry = true;
        EXPECT_TRUE(Copy(r));
        EXPECT_EQ(questions.errorTexts.size(), 1u);
        EXPECT_EQ(test::ReadFile(Media("a.mp4")), "content of a.mp4");
    }
}

TEST_F(MediaCopy, MediaDeletedBeforePublishIsReported) {
    PlayerRequest r = Request({"gone.mp4"});
    ::unlink(r.copyList[0].c_str());
    questions.errorAnswers = {IDABORT};
    EXPECT_FALSE(Copy(r));
    ASSERT_EQ(questions.errorTexts.size(), 1u);
    EXPECT_NE(questions.errorTexts[0].find("No such file or directory"), std::string::npos);
}

TEST_F(MediaCopy, TemporaryPosterInsideTheMediaFolderStays) {
    PlayerRequest r = Request({"movie.mp4"});
    const std::string outside = box.Write("work-temp/movie.jpg", "poster");
    const std::string inside = box.Write("site/medias/old.jpg", "poster");
    const std::string neighbour = box.Write("site/medias2/x.jpg", "poster");
    r.copyList.push_back(outside);
    r.tempList = {outside, inside, neighbour};
    ASSERT_TRUE(Copy(r));
    EXPECT_FALSE(PathExists(outside));
    EXPECT_TRUE(PathExists(inside));
    EXPECT_FALSE(PathExists(neighbour)) << "a folder that only begins like the media folder";
    EXPECT_TRUE(IsRegularFile(Media("movie.jpg")));
    EXPECT_TRUE(r.tempList.empty());
}

TEST_F(MediaCopy, MediaAlreadyInTheMediaFolderIsSkipped) {
    PlayerRequest r;
    r.mediaFolderUrl = "medias/";
    r.copyList = {box.Write("site/medias/here.mp4", "x")};
    ASSERT_TRUE(Copy(r));
    EXPECT_EQ(test::ReadFile(Media("here.mp4")), "x");
}

TEST_F(MediaCopy, UnusableMediaFolderStopsSilently) {
    PlayerRequest r = Request({"a.mp4"});
    box.Write("site/file", "x");
    EXPECT_FALSE(Copy(r, "file/medias"));
    EXPECT_TRUE(questions.errorTexts.empty());

    // With an empty relative media path the folder is neither made nor checked.
    PlayerRequest root = Request({"a.mp4"});
    root.mediaFolderUrl.clear();
    box.MakeFolder("site");
    ASSERT_TRUE(Copy(root, ""));
    EXPECT_TRUE(IsRegularFile(box / "site/a.mp4"));
}

TEST_F(MediaCopy, ServerConfigurationGoesBesideTheMedia) {
    test::Environment env;
    const char* saved = std::getenv("DEDE5_VARODO_HOME");
    const std::string savedHome = saved ? saved : "";
    env.sandbox.Write("install/Scripts/.htaccess", "AddType video/mp4 .mp4\n");
    ::setenv("DEDE5_VARODO_HOME", (env.sandbox / "install").c_str(), 1);
    EXPECT_TRUE(ServerConfig()) << "the media folder is made on the first publish";
    EXPECT_EQ(test::ReadFile(Media(".htaccess")), "AddType video/mp4 .mp4\n");
    env.sandbox.Write("install/Scripts/.htaccess", "new\n");
    EXPECT_TRUE(ServerConfig());
    EXPECT_EQ(test::ReadFile(Media(".htaccess")), "AddType video/mp4 .mp4\n")
        << "an existing configuration is not replaced";
    if (!savedHome.empty()) {
        ::setenv("DEDE5_VARODO_HOME", savedHome.c_str(), 1);
    }
}

TEST_F(MediaCopy, TheSitesOwnServerConfigurationOnlyGainsTheMissingTypes) {
    test::Environment env;
    const char* saved = std::getenv("DEDE5_VARODO_HOME");
    const std::string savedHome = saved ? saved : "";
    env.sandbox.Write("install/Scripts/.htaccess",
                      "# ours\nAddType video/mp4 .mp4 .m4v\nAddType audio/mpeg .mp3\n");
    ::setenv("DEDE5_VARODO_HOME", (env.sandbox / "install").c_str(), 1);
    const std::string site =
        "AuthType Basic\nAuthName \"Members\"\nRequire valid-user\nRewriteEngine On\n"
        "addtype VIDEO/MP4 MP4";
    box.Write("site/medias/.htaccess", site);
    EXPECT_TRUE(ServerConfig());
    const std::string expected = site +
                                 "\n# Media types added by Ombrel DEDE5 Varodo\n"
                                 "AddType video/mp4 .m4v\nAddType audio/mpeg .mp3\n"
                                 "# End of the media types added by Ombrel DEDE5 Varodo\n";
    EXPECT_EQ(test::ReadFile(Media(".htaccess")), expected);
    EXPECT_TRUE(ServerConfig());
    EXPECT_EQ(test::ReadFile(Media(".htaccess")), expected) << "the block is written once";
    EXPECT_TRUE(env.box.messages.empty());

    // A link in its place is neither followed nor replaced: the user is told what to add.
    const std::string elsewhere = env.sandbox.Write("elsewhere/.htaccess", "Require all denied\n");
    ::unlink(Media(".htaccess").c_str());
    ASSERT_EQ(::symlink(elsewhere.c_str(), Media(".htaccess").c_str()), 0);
    const CStatus refused = ServerConfig();
    EXPECT_FALSE(refused);
    EXPECT_EQ(test::ReadFile(elsewhere), "Require all denied\n");
    const std::string told = ErrorText(refused.why);
    EXPECT_NE(told.find("AddType video/mp4 .mp4 .m4v\nAddType audio/mpeg .mp3"), std::string::npos)
        << told;
    if (!savedHome.empty()) {
        ::setenv("DEDE5_VARODO_HOME", savedHome.c_str(), 1);
    }
}

}  // namespace
