// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/Captions.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CodePage.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

constexpr std::string_view kSubRip =
    "1\n00:00:01,000 --> 00:00:02,500\nFirst line\n<i>second</i> line\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\nCaf\xC3\xA9 \xE2\x80\x94 d\xC3\xA9j\xC3\xA0 vu\n";

constexpr std::string_view kWebVttOfSubRip =
    "WEBVTT\n\n00:00:01.000 --> 00:00:02.500\nFirst line\n<i>second</i> line\n\n"
    "00:00:03.000 --> 00:00:04.000\nCaf\xC3\xA9 \xE2\x80\x94 d\xC3\xA9j\xC3\xA0 vu\n";

std::string Replace(std::string text, std::string_view what, std::string_view with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

std::string Converted(std::string_view bytes) {
    const CaptionsText text = ConvertCaptions(bytes, "test.srt");
    EXPECT_TRUE(text.Ok()) << text.problem;
    return text.webvtt;
}

TEST(Captions, SubRipBecomesWebVtt) {
    EXPECT_EQ(Converted(kSubRip), kWebVttOfSubRip);
    {
        SCOPED_TRACE("CRLF line ends and a UTF-8 byte-order mark");
        EXPECT_EQ(Converted("\xEF\xBB\xBF" + Replace(std::string(kSubRip), "\n", "\r\n")),
                  kWebVttOfSubRip);
    }
    {
        SCOPED_TRACE("no cue numbers, extra blank lines, short fractions, 3-digit hours");
        EXPECT_EQ(Converted("\n\n0:0:1,5 --> 100:00:02,25\nA\n\n\n\n00:00:03.000 --> "
                            "00:00:04.000  X1:10 X2:20\nB\n\n"),
                  "WEBVTT\n\n00:00:01.500 --> 100:00:02.250\nA\n\n00:00:03.000 --> "
                  "00:00:04.000\nB\n");
    }
    {
        SCOPED_TRACE("font tags go, markup and the time arrow in the text are escaped");
        EXPECT_EQ(Converted("1\n00:00:01,000 --> 00:00:02,000\n<font color=\"red\">Red</font> "
                            "a<b & c --> d <B>bold</B>\n"),
                  "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nRed a&lt;b &amp; c --&gt; d "
                  "<b>bold</b>\n");
    }
}

TEST(Captions, CharacterSetsAreDetected) {
    const std::string utf8(kSubRip);
    {
        SCOPED_TRACE("windows-1252 without a mark (uchardet)");
        const std::string text =
            "1\n00:00:01,000 --> 00:00:02,000\nL'\xE9t\xE9 \xE0 la plage, un caf\xE9 tr\xE8s "
            "chaud \x96 d\xE9j\xE0 vu \x80 na\xEFve\n\n2\n00:00:03,000 --> 00:00:04,000\n"
            "Gar\xE7on, o\xF9 est le march\xE9 de No\xEBl ?\n";
        const std::string vtt = Converted(text);
        EXPECT_NE(vtt.find("L'\xC3\xA9t\xC3\xA9 \xC3\xA0 la plage"), std::string::npos) << vtt;
        EXPECT_NE(vtt.find("\xE2\x80\x93 d\xC3\xA9j\xC3\xA0 vu \xE2\x82\xAC"), std::string::npos)
            << vtt;
        EXPECT_NE(vtt.find("Gar\xC3\xA7on, o\xC3\xB9"), std::string::npos) << vtt;
    }
    for (const char* charset : {"UTF-16LE", "UTF-16BE"}) {
        SCOPED_TRACE(charset);
        const auto utf16 = codepage::Convert(utf8, "UTF-8", charset);
        ASSERT_TRUE(utf16);
        const std::string mark = std::string_view(charset) == "UTF-16LE" ? "\xFF\xFE" : "\xFE\xFF";
        EXPECT_EQ(Converted(mark + *utf16), kWebVttOfSubRip) << "with a byte-order mark";
        EXPECT_EQ(Converted(*utf16), kWebVttOfSubRip) << "without one";
    }
    {
        SCOPED_TRACE("UTF-32 with its mark is not read as UTF-16");
        const auto utf32 = codepage::Convert(utf8, "UTF-8", "UTF-32LE");
        ASSERT_TRUE(utf32);
        EXPECT_EQ(Converted(std::string("\xFF\xFE\0\0", 4) + *utf32), kWebVttOfSubRip);
    }
}

TEST(Captions, WebVttIsPassedThrough) {
    const std::string vtt =
        "WEBVTT - a title\nKind: captions\n\nSTYLE\n::cue { color: yellow }\n\nNOTE a note\n"
        "with --> in it\n\nintro\n00:01.000 --> 00:02.000 line:0 align:start\n<v Ann>Hi & "
        "bye</v>\n\n01:00:03.000 --> 01:00:04.000\n\xC3\xA9t\xC3\xA9\n";
    EXPECT_EQ(Converted(vtt), vtt) << "text and cue settings stay as they are";
    EXPECT_EQ(Converted("\xEF\xBB\xBF" + vtt), vtt) << "the byte-order mark goes";
    EXPECT_EQ(Converted("WEBVTT"), "WEBVTT") << "a file without cues is valid WebVTT";
    const auto latin1 = codepage::Convert(vtt, "UTF-8", "UTF-16LE");
    ASSERT_TRUE(latin1);
    EXPECT_EQ(Converted("\xFF\xFE" + *latin1), vtt) << "only the character set changes";
}

TEST(Captions, InvalidFilesNameTheLine) {
    struct Row {
        const char* name;
        std::string bytes;
        const char* line;
        const char* why;
    };
    const Row rows[] = {
        {"plain text", "Hello\nworld\n", "Line 1:", "time line"},
        {"SubRip without a time line", "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\nB\n",
         "Line 6:", "time line"},
        {"SubRip minutes over 59",
         "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:61:00,000 "
         "--> 00:62:00,000\nB\n",
         "Line 6:", "\"00:61:00,000\""},
        {"SubRip with CRLF counts lines alike", "1\r\n00:00:01,000 --> x\r\nA\r\n",
         "Line 2:", "\"x\""},
        {"WebVTT with a comma",
         "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nA\n\n00:00:03,000 --> "
         "00:00:04.000\nB\n",
         "Line 6:", "\"00:00:03,000\""},
        {"WebVTT cue without times", "WEBVTT\n\nid\ntext only\n", "Line 4:", "time line"},
        {"empty file", "", "Line 1:", "no captions"},
        {"only blank lines", "\r\n\r\n", "Line 1:", "no captions"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CaptionsText text = ConvertCaptions(row.bytes, "/in/movie.srt");
        EXPECT_FALSE(text.Ok());
        EXPECT_TRUE(text.webvtt.empty());
        EXPECT_NE(text.problem.find("'/in/movie.srt' is neither WebVTT nor SubRip"),
                  std::string::npos)
            << text.problem;
        EXPECT_NE(text.problem.find(row.line), std::string::npos) << text.problem;
        EXPECT_NE(text.problem.find(row.why), std::string::npos) << text.problem;
    }
}

TEST(Captions, ReadingFiles) {
    test::Sandbox box;
    EXPECT_EQ(ReadCaptions(box.Write("a.srt", std::string(kSubRip))).webvtt, kWebVttOfSubRip);
    const CaptionsText missing = ReadCaptions(box / "missing.srt");
    EXPECT_FALSE(missing.Ok());
    EXPECT_NE(missing.problem.find("Cannot read the captions file"), std::string::npos);
    EXPECT_NE(missing.problem.find("missing.srt"), std::string::npos);
}

TEST(Captions, LanguagesAndLabels) {
    for (const char* good : {"en", "pt-BR", "zh-Hant", "gsw", "sr-Latn-RS", "EN"}) {
        EXPECT_TRUE(IsCaptionsLanguage(good)) << good;
    }
    for (const char* bad : {"", "e", "english", "en-", "-en", "en--us", "e1", "en US",
                            "fr\"><script>", "en-toolongsubtag"}) {
        EXPECT_FALSE(IsCaptionsLanguage(bad)) << bad;
    }
    EXPECT_EQ(CaptionsLabelFor("fr"), "French");
    EXPECT_EQ(CaptionsLabelFor("pt-BR"), "Portuguese (BR)");
    EXPECT_EQ(CaptionsLabelFor("tlh"), "tlh");
    EXPECT_EQ(CaptionsLabelFor(""), "Captions");
}

TEST(Captions, FilesBesideTheMediaAreFound) {
    test::Sandbox box;
    const std::string media = box.Write("in/My movie.mp4", "x");
    for (const char* name :
         {"My movie.srt", "My movie.de.srt", "My movie.de.vtt", "My movie.EN.VTT",
          "My movie.pt-BR.srt", "My movie.vtt.txt", "My movie.notalanguagetag.srt",
          "My movie 2.vtt", "Other.vtt", "My movie.fr.srt.bak", "My movieX.en.vtt"}) {
        box.Write(std::string("in/") + name, "WEBVTT\n");
    }
    box.MakeFolder("in/My movie.fr.vtt");
    std::vector<std::string> found;
    for (const CaptionsBeside& file : FindCaptionsBeside(media)) {
        found.push_back(GetPathFileName(file.path) + "|" + file.language);
    }
    EXPECT_EQ(found, (std::vector<std::string>{"My movie.srt|", "My movie.de.vtt|de",
                                               "My movie.EN.VTT|EN", "My movie.pt-BR.srt|pt-BR"}));
    EXPECT_TRUE(FindCaptionsBeside(box / "nowhere/movie.mp4").empty());
}

TEST(Captions, PublishedNamesAreUnique) {
    EXPECT_EQ(CaptionsFileNames("movie", {"", "en", "fr", "en", "EN", ""}),
              (std::vector<std::string>{"movie.vtt", "movie.en.vtt", "movie.fr.vtt",
                                        "movie.en.2.vtt", "movie.EN.3.vtt", "movie.2.vtt"}));
}

}  // namespace
