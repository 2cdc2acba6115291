// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>
#include <string_view>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/PathUtils.h"
#include "core/Process.h"
#include "tests/support/Sandbox.h"

namespace {

struct Result {
    int status = -1;
    std::string err;
};

Result Publish(std::vector<std::string> args) {
    ProcessRequest request;
    request.argv = {DEDE5_PUBLISH_PROGRAM};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    request.separateErrors = true;
    Result result;
    const ProcessResult run = RunProcess(
        request, [](std::string_view) {}, [&](std::string_view chunk) { result.err += chunk; });
    EXPECT_TRUE(run.started) << std::strerror(run.startError);
    result.status = run.exited ? run.exitCode : -1;
    return result;
}

std::string StreamHashes(const std::string& path) {
    std::string out;
    EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f",
                         "streamhash", "-"},
                        &out),
              0)
        << out;
    return out;
}

class ConvertCli : public ::testing::Test {
protected:
    void SetUp() override {
        site = env.sandbox.MakeFolder("site");
        index = env.sandbox.Write("site/index.htm",
                                  "<html>\n<head>\n<title>Home</title>\n</head>\n<body>\n<p>text"
                                  "</p>\n</body>\n</html>\n");
        mov = env.sandbox / "Holiday at sea.mov";
        ASSERT_TRUE(test::MakeMedia(mov, 1, true, true,
                                    {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}));
    }
    std::vector<std::string> Site(std::vector<std::string> more) {
        std::vector<std::string> args = {"--site-root",  site,       "--js-path",  "/js/",
                                         "--media-path", "/medias/", "--no-poster"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    test::Environment env;
    std::string site, index, mov;
};

TEST_F(ConvertCli, RefusedMediaNamesTheOptionAndConvertPublishesAWebReadyCopy) {
    const std::string original = test::ReadFile(mov);
    Result refused = Publish(Site({mov, index}));
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("Run again with --convert"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("only the container changes"), std::string::npos) << refused.err;
    EXPECT_FALSE(PathExists(site + "/medias"));

    Result quiet = Publish(Site({"-q", "--convert", mov, index}));
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("Made web-ready"), std::string::npos) << "-q prints errors only";
    EXPECT_EQ(quiet.err.find("only the container changes"), std::string::npos) << quiet.err;
    const std::string published = site + "/medias/Holiday at sea.mp4";
    ASSERT_TRUE(IsRegularFile(published));
    EXPECT_EQ(StreamHashes(published), StreamHashes(mov)) << "only the container changed";
    EXPECT_NE(test::ReadFile(index).find("Holiday%20at%20sea.mp4"), std::string::npos)
        << test::ReadFile(index);
    EXPECT_EQ(test::ReadFile(mov), original);
    struct stat st {};
    ASSERT_EQ(::stat(published.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IROTH, 0u) << "the web server may read it";
}

TEST_F(ConvertCli, ConvertOnlyWritesOneFileAndNoPage) {
    const std::string page = test::ReadFile(index);
    const std::string out = env.sandbox / "out/holiday.mp4";
    CreateFolders(env.sandbox / "out");
    Result converted = Publish({"--convert-only", out, mov});
    EXPECT_EQ(converted.status, 0) << converted.err;
    EXPECT_NE(converted.err.find("Made web-ready: '" + out + "'"), std::string::npos)
        << converted.err;
    EXPECT_EQ(StreamHashes(out), StreamHashes(mov));
    EXPECT_EQ(test::ReadFile(index), page);

    const std::string made = test::ReadFile(out);
    Result exists = Publish({"--convert-only", out, mov});
    EXPECT_EQ(exists.status, 4) << exists.err;
    EXPECT_EQ(test::ReadFile(out), made);
    EXPECT_EQ(Publish({"--convert-only", out, "--overwrite", "yes", mov}).status, 0);

    Result wrongName = Publish({"--convert-only", env.sandbox / "out/holiday.webm", mov});
    EXPECT_EQ(wrongName.status, 1);
    EXPECT_NE(wrongName.err.find("becomes a .mp4 file"), std::string::npos) << wrongName.err;
    EXPECT_FALSE(PathExists(env.sandbox / "out/holiday.webm"));
    EXPECT_EQ(Publish({"--convert-only", out, mov, index}).status, 1) << "no PAGE with it";

    // Media that plays as it is: nothing to write.
    Result ready = Publish({"--convert-only", env.sandbox / "out/again.mp4", out});
    EXPECT_EQ(ready.status, 0);
    EXPECT_FALSE(PathExists(env.sandbox / "out/again.mp4"));
}

}  // namespace
