// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PublishJob.h"

#include <gtest/gtest.h>

namespace {

std::optional<PublishOptions> Parse(std::vector<std::string> args, bool terminal = false) {
    std::string error;
    return ParsePublishArguments(args, terminal, error);
}

TEST(PublishArguments, OptionsAndTheirDefaults) {
    auto o = Parse({"--player", "YouTube", "--no-poster", "--loop", "--at", "<!-- video -->",
                    "movie.mp4", "a.htm", "b.htm"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->player, "youtube");
    EXPECT_EQ(o->poster, false);
    EXPECT_EQ(o->loop, true);
    EXPECT_FALSE(o->autoplay.has_value()) << "not given: the saved option stands";
    EXPECT_EQ(o->at, "<!-- video -->");
    EXPECT_EQ(o->media, "movie.mp4");
    EXPECT_EQ(o->pages, (std::vector<std::string>{"a.htm", "b.htm"}));
    EXPECT_EQ(o->overwrite, PublishOptions::Overwrite::No) << "no terminal: keep existing files";
    EXPECT_EQ(Parse({"m.mp4", "p.htm"}, true)->overwrite, PublishOptions::Overwrite::Ask);
    EXPECT_EQ(Parse({"--overwrite", "yes", "m.mp4", "p.htm"}, true)->overwrite,
              PublishOptions::Overwrite::Yes);
    EXPECT_EQ(Parse({"--", "-odd name.mp4", "p.htm"})->media, "-odd name.mp4");
    EXPECT_FALSE(o->force) << "a marker where the player would not show is refused";
    EXPECT_TRUE(Parse({"--force", "--after", "x", "m.mp4", "p.htm"})->force);
}

TEST(PublishArguments, CaptionsTakeALanguageAndALabel) {
    auto o = Parse({"--captions", "a.srt", "--captions", "b.vtt:fr", "--captions",
                    "dir:x/c.SRT:pt-BR:Portugu\xC3\xAAs: Brasil", "--captions", "d.txt:en:E",
                    "--no-captions", "m.mp4", "p.htm"});
    ASSERT_TRUE(o);
    ASSERT_EQ(o->captions.size(), 4u);
    const std::vector<std::vector<std::string>> expected = {
        {"a.srt", "", ""},
        {"b.vtt", "fr", ""},
        {"dir:x/c.SRT", "pt-BR", "Portugu\xC3\xAAs: Brasil"},
        {"d.txt", "en", "E"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((std::vector<std::string>{o->captions[i].file, o->captions[i].language,
                                            o->captions[i].label}),
                  expected[i]);
    }
    EXPECT_TRUE(o->noCaptions);
    EXPECT_FALSE(Parse({"m.mp4", "p.htm"})->noCaptions);
}

TEST(PublishArguments, BadArgumentsAreRefusedWithAReason) {
    struct Row {
        std::vector<std::string> args;
        const char* reason;
    } rows[] = {
        {{"movie.mp4"}, "at least one PAGE"},
        {{"--player", "vlc", "m.mp4", "p.htm"}, "unknown player"},
        {{"--overwrite", "maybe", "m.mp4", "p.htm"}, "ask, yes or no"},
        {{"--at", "x", "--after", "y", "m.mp4", "p.htm"}, "together"},
        {{"--frobnicate", "m.mp4", "p.htm"}, "unknown option"},
        {{"--at=x", "m.mp4", "p.htm"}, "unknown option --at=x"},
        {{"--player", "vlc", "-qv", "m.mp4", "p.htm"}, "unknown player"},
        {{"-qv", "--player", "vlc", "m.mp4", "p.htm"}, "unknown option -qv"},
        {{"m.mp4", "p.htm", "--site-root"}, "needs a value"},
        {{"--at", "", "m.mp4", "p.htm"}, "needs a text"},
        {{"--captions", "a.srt:english", "m.mp4", "p.htm"}, "not a language tag"},
        {{"--captions", ":en", "m.mp4", "p.htm"}, "needs a file"},
        {{"m.mp4", "p.htm", "--captions"}, "needs a value"},
    };
    for (const auto& row : rows) {
        std::string error;
        EXPECT_FALSE(ParsePublishArguments(row.args, false, error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    }
}

TEST(PublishArguments, HelpDocumentsEveryOption) {
    const std::string usage = PublishUsage();
    for (const char* option :
         {"--player",    "--site-root",   "--js-path",     "--media-path", "--poster",
          "--no-poster", "--autoplay",    "--no-autoplay", "--loop",       "--no-loop",
          "--controls",  "--no-controls", "--fit",         "--no-fit",     "--at",
          "--after",     "--print",       "--overwrite",   "--settings",   "-q",
          "-v",          "--version",     "--help",        "--captions",   "--no-captions",
          "--force"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_TRUE(Parse({"--help"})->help);
}

}  // namespace
