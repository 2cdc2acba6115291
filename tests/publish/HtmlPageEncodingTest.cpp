// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>
#include <set>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "core/StringTable.h"
#include "tests/publish/PageTestSupport.h"

namespace {

std::string Utf16le(std::u16string_view text, bool mark = true) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

class HtmlPageEncodingTest : public ::testing::Test {
protected:
    // Copies a committed page into the test's own site folder.
    std::string PutCommitted(const std::string& name) {
        return env.sandbox.Write("site/" + name, test::CommittedPage(name));
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        return env.sandbox.Write("site/" + name, bytes);
    }
    // Loads and saves the page unchanged; returns the bytes on disk afterwards.
    std::string LoadAndSave(CHtmlPage& page, const std::string& path) {
        EXPECT_TRUE(test::Shown(page.LoadPage(path))) << path;
        EXPECT_TRUE(test::Shown(page.SavePage(page.Text()))) << path;
        return test::ReadFile(path);
    }

    test::Environment env;
};

TEST_F(HtmlPageEncodingTest, EveryCommittedPageRoundTripsByteForByte) {
    // Cut on purpose, checked in its own test below.
    const std::set<std::string> converted = {"zero-byte.htm"};
    {
        SCOPED_TRACE("UTF-8 system");
        test::CodePagePin pin("UTF-8");
        int checked = 0;
        for (const auto& entry : std::filesystem::directory_iterator(DEDE5_TEST_PAGES)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".") || converted.count(name)) {
                continue;
            }
            CHtmlPage page;
            page.SetReport(&env.report);
            EXPECT_EQ(LoadAndSave(page, PutCommitted(name)), test::CommittedPage(name)) << name;
            ++checked;
        }
        EXPECT_GE(checked, 14);
        EXPECT_TRUE(env.box.messages.empty());
    }
    {
        SCOPED_TRACE("CP1252 system");
        test::CodePagePin pin("CP1252");
        std::set<std::string> asked;
        for (const auto& entry : std::filesystem::directory_iterator(DEDE5_TEST_PAGES)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".") || converted.count(name)) {
                continue;
            }
            const std::string path = PutCommitted(name);
            CHtmlPage page;
            page.SetReport(&env.report);
            env.box.messages.clear();
            env.box.fallback = IDNO;
            if (!test::Shown(page.LoadPage(path))) {
                asked.insert(name);
                continue;
            }
            ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
            EXPECT_EQ(test::ReadFile(path), test::CommittedPage(name)) << name;
        }
        // Korean text has no place in CP1252: those pages are refused after a question.
        EXPECT_EQ(asked,
                  (std::set<std::string>{"utf16le-bom-korean.htm", "utf16le-bom-unicode-meta.htm",
                                         "utf8-meta-bom.htm", "utf8-meta-nobom.htm"}));
    }
}

TEST_F(HtmlPageEncodingTest, Utf16PageIsWrittenBackInUtf16) {
    test::CodePagePin pin("UTF-8");
    {
        SCOPED_TRACE("no charset=unicode: still FF FE and UTF-16LE");
        const std::string path = PutCommitted("utf16le-bom-korean.htm");
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        const std::string expected =
            "<html>\r\n<head>\r\n<title>동영상 — Café</title>\r\n</head>\r\n<body>\r\n"
            "<h1>안녕하세요, 동영상 페이지입니다</h1>\r\n<p>Ünïcödé and 한국어 text.</p>\r\n"
            "</body>\r\n</html>\r\n";
        EXPECT_EQ(page.Text(), expected);
        EXPECT_FALSE(page.HasUtf8Bom());
        EXPECT_TRUE(page.IsUtf16());
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), test::CommittedPage("utf16le-bom-korean.htm"));
        // An edit goes back in UTF-16 too, and so does the preview.
        std::string edited = page.Text();
        edited.insert(edited.find("</body>"), "<video src=\"동.mp4\"></video>\r\n");
        ASSERT_TRUE(test::Shown(page.SavePage(edited)));
        EXPECT_EQ(test::ReadFile(path),
                  Utf16le(u"<html>\r\n<head>\r\n<title>동영상 — Café</title>\r\n</head>\r\n"
                          u"<body>\r\n<h1>안녕하세요, 동영상 페이지입니다</h1>\r\n"
                          u"<p>Ünïcödé and 한국어 text.</p>\r\n<video src=\"동.mp4\"></video>\r\n"
                          u"</body>\r\n</html>\r\n"));
        EXPECT_EQ(page.EncodePage(edited).value, test::ReadFile(path)) << "the served preview";
    }
    {
        SCOPED_TRACE("charset=unicode: FF FE and UTF-16LE");
        const std::string path = PutCommitted("utf16le-bom-unicode-meta.htm");
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        EXPECT_NE(page.Text().find("<p>안녕하세요, 동영상 페이지입니다</p>\r\n"),
                  std::string::npos);
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), test::CommittedPage("utf16le-bom-unicode-meta.htm"));
    }
    {
        SCOPED_TRACE("no mark, a meta that says UTF-16: read and written as UTF-16LE");
        const std::u16string wide =
            u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            u"charset=utf-16\"></head>\r\n<body><p>한국어</p></body></html>\r\n";
        const std::string path = Put("bare16.htm", Utf16le(wide, false));
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        EXPECT_TRUE(page.IsUtf16());
        EXPECT_NE(page.Text().find("<p>한국어</p>"), std::string::npos);
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), Utf16le(wide, false));
        // Whatever the text comes to declare: the page stays in its encoding.
        ASSERT_TRUE(test::Shown(page.SavePage("<meta charset=utf-8><p>é</p>")));
        EXPECT_EQ(test::ReadFile(path), Utf16le(u"<meta charset=utf-8><p>é</p>", false));
    }
    {
        SCOPED_TRACE("a zero second byte that is no UTF-16 is still a zero byte");
        const std::string path = Put("zero16.htm", std::string("<\0\0\xD8<p>x</p>", 12));
        CHtmlPage page;
        page.SetReport(&env.report);
        env.box.answers = {IDNO};
        EXPECT_FALSE(test::Shown(page.LoadPage(path)));
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text,
                  fmt::sprintf(LoadStringRes(IDS_PAGE_CUT_AT_ZERO), path));
        env.box.messages.clear();
    }
    {
        SCOPED_TRACE("CP1252 system converts both ways");
        test::CodePagePin cp1252("CP1252");
        const std::string path = Put("latin16.htm", Utf16le(u"<p>Café 5 €</p>"));
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        EXPECT_EQ(page.Text(), "<p>Caf\xE9 5 \x80</p>");
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), Utf16le(u"<p>Café 5 €</p>"));
        const std::string unicode =
            "<meta content=\"text/html; charset=Unicode\"><p>Caf\xE9 \x80</p>";
        ASSERT_TRUE(test::Shown(page.SavePage(unicode)));
        EXPECT_EQ(test::ReadFile(path),
                  Utf16le(u"<meta content=\"text/html; charset=Unicode\"><p>Café €</p>"));
        const std::string bare = Put("latin16-bare.htm", Utf16le(u"<p>5 €</p>", false));
        ASSERT_TRUE(test::Shown(page.LoadPage(bare)));
        EXPECT_EQ(page.Text(), "<p>5 \x80</p>");
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text() + "\r\n")));
        EXPECT_EQ(test::ReadFile(bare), Utf16le(u"<p>5 €</p>\r\n", false));
    }
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(HtmlPageEncodingTest, Utf8MetaPageKeepsItsByteOrderMarkExactlyWhenItHadOne) {
    test::CodePagePin pin("UTF-8");
    CHtmlPage page;
    page.SetReport(&env.report);
    const std::string withMark = PutCommitted("utf8-meta-bom.htm");
    ASSERT_TRUE(test::Shown(page.LoadPage(withMark)));
    EXPECT_TRUE(page.HasUtf8Bom());
    EXPECT_TRUE(page.Text().starts_with("<!DOCTYPE html>"));
    ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
    EXPECT_EQ(test::ReadFile(withMark), test::CommittedPage("utf8-meta-bom.htm"));

    // The same object, after a page with a mark.
    const std::string without = PutCommitted("utf8-meta-nobom.htm");
    ASSERT_TRUE(test::Shown(page.LoadPage(without)));
    EXPECT_FALSE(page.HasUtf8Bom());
    ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
    EXPECT_EQ(test::ReadFile(without), test::CommittedPage("utf8-meta-nobom.htm"));

    // The preview of a page with a mark has one too.
    ASSERT_TRUE(test::Shown(page.LoadPage(withMark)));
    EXPECT_EQ(page.EncodePage(page.Text()).value, test::CommittedPage("utf8-meta-bom.htm"));
}

TEST_F(HtmlPageEncodingTest, Cp1252SystemReallyConvertsUtf8Pages) {
    test::CodePagePin pin("CP1252");
    const std::string path = PutCommitted("utf8-meta-latin.htm");
    CHtmlPage page;
    page.SetReport(&env.report);
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    EXPECT_NE(page.Text().find("<p>Cr\xE8me br\xFBl\xE9"
                               "e, 5 \x80 \x96 na\xEFve fa\xE7"
                               "ade</p>"),
              std::string::npos);
    // An edit in CP1252 goes back to the file as UTF-8.
    std::string text = page.Text();
    text.replace(text.find("Cr\xE8me"), 5, "Cr\xEApe");
    ASSERT_TRUE(test::Shown(page.SavePage(text)));
    const std::string saved = test::ReadFile(path);
    EXPECT_NE(saved.find("<p>Crêpe brûlée, 5 € – naïve façade</p>"), std::string::npos);
    EXPECT_EQ(saved.size(), test::CommittedPage("utf8-meta-latin.htm").size());

    // Both declarations: UTF-8 wins.
    ASSERT_TRUE(
        test::Shown(page.SavePage("<meta charset=unicode><META x charset=utf-8 y><p>\xE9</p>")));
    EXPECT_EQ(test::ReadFile(path), "<meta charset=unicode><META x charset=utf-8 y><p>é</p>");
}

TEST_F(HtmlPageEncodingTest, PagesWithoutUtf8DeclarationKeepTheirBytes) {
    test::CodePagePin pin("CP1252");
    for (const char* name : {"utf8-nometa-bom.htm", "html5-charset-quoted.htm",
                             "shift_jis-undeclared.htm", "latin1-undeclared.htm"}) {
        SCOPED_TRACE(name);
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(PutCommitted(name))));
        EXPECT_EQ(page.Text(), test::CommittedPage(name));
        EXPECT_FALSE(page.HasUtf8Bom());
    }
    // "charset=utf-8" must appear as such: "utf-8" in quotes is not the declaration.
    CHtmlPage page;
    page.SetReport(&env.report);
    ASSERT_TRUE(
        test::Shown(page.LoadPage(Put("quoted.htm", "<meta charset=\"utf-8\"><p>\xC3\xA9</p>"))));
    EXPECT_EQ(page.Text(), "<meta charset=\"utf-8\"><p>\xC3\xA9</p>");
    // Without dot-all the declaration's closing '>' must be on its line.
    ASSERT_TRUE(test::Shown(
        page.LoadPage(Put("split.htm", "<meta content=\"charset=utf-8\"\n><p>\xC3\xA9</p>"))));
    EXPECT_EQ(page.Text(), "<meta content=\"charset=utf-8\"\n><p>\xC3\xA9</p>");
    ASSERT_TRUE(test::Shown(
        page.LoadPage(Put("joined.htm", "<meta\ncontent=\"charset=utf-8\"><p>\xC3\xA9</p>"))));
    EXPECT_EQ(page.Text(), "<meta\ncontent=\"charset=utf-8\"><p>\xE9</p>");
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(HtmlPageEncodingTest, LargePagesConvertWholeAcrossPieceBoundaries) {
    // Large texts are converted a few megabytes at a time; characters at the seams stay whole.
    constexpr size_t kSeam = 4u << 20;
    {
        SCOPED_TRACE("UTF-16: a surrogate pair across the seam");
        test::CodePagePin pin("UTF-8");
        std::u16string wide(kSeam / 2 - 1, u'a');
        wide += u"\U0001F3AC<p>é</p>";
        wide += std::u16string(1000, u'b');
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(test::Shown(page.LoadPage(Put("large16.htm", Utf16le(wide)))));
        EXPECT_EQ(page.Text(),
                  std::string(kSeam / 2 - 1, 'a') + "🎬<p>é</p>" + std::string(1000, 'b'));
        // Saved as UTF-16 again when it says so, with a three-byte character on the seam.
        const std::string meta = "<meta content=\"charset=unicode\">";
        const std::string text = meta + std::string(kSeam - meta.size() - 1, 'c') + "€d";
        ASSERT_EQ(text.substr(kSeam - 1, 3), "€");
        const std::string path = Put("large16-out.htm", "");
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        ASSERT_TRUE(test::Shown(page.SavePage(text)));
        EXPECT_EQ(test::ReadFile(path),
                  Utf16le(u"<meta content=\"charset=unicode\">" +
                          std::u16string(kSeam - meta.size() - 1, u'c') + u"€d"));
    }
    {
        SCOPED_TRACE("UTF-8 into CP1252: a two-byte character across the seam");
        test::CodePagePin pin("CP1252");
        const std::string head =
            "<meta http-equiv=content-type content=\"text/html; charset=utf-8\">";
        const std::string bytes = head + std::string(kSeam - head.size() - 1, 'x') + "é" + "yz";
        CHtmlPage page;
        page.SetReport(&env.report);
        const std::string path = Put("large8.htm", bytes);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        EXPECT_EQ(page.Text(), head + std::string(kSeam - head.size() - 1, 'x') + "\xE9yz");
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), bytes);
    }
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(HtmlPageEncodingTest, ZeroByteCutsTheText) {
    test::CodePagePin pin("UTF-8");
    {
        SCOPED_TRACE("text after the zero byte would be lost: asked, No refuses");
        const std::string path = PutCommitted("zero-byte.htm");
        CHtmlPage page;
        page.SetReport(&env.report);
        env.box.answers = {IDNO};
        EXPECT_FALSE(test::Shown(page.LoadPage(path)));
        EXPECT_FALSE(page.IsPageOpen());
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONWARNING);
        EXPECT_NE(env.box.messages[0].text.find(path), std::string::npos);

        env.box.answers = {IDYES};
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        EXPECT_EQ(page.Text(),
                  "<html>\n<head>\n<title>Zero</title>\n</head>\n<body>\n<p>Before</p>");
    }
    env.box.messages.clear();
    {
        SCOPED_TRACE("zero padding at the end is cut silently");
        CHtmlPage page;
        page.SetReport(&env.report);
        ASSERT_TRUE(
            test::Shown(page.LoadPage(Put("padded.htm", std::string("<p>x</p>\0\0\0", 11)))));
        EXPECT_EQ(page.Text(), "<p>x</p>");
        ASSERT_TRUE(test::Shown(
            page.LoadPage(Put("padded16.htm", Utf16le(std::u16string(u"<p>x</p>\0\0", 10))))));
        EXPECT_EQ(page.Text(), "<p>x</p>");
        EXPECT_TRUE(env.box.messages.empty());
    }
    {
        SCOPED_TRACE("UTF-16: the cut only detects; the text ends at the first zero unit");
        CHtmlPage page;
        page.SetReport(&env.report);
        const std::string bytes = Utf16le(std::u16string(u"<p>가</p>\0<p>tail</p>", 20));
        env.box.answers = {IDYES};
        ASSERT_TRUE(test::Shown(page.LoadPage(Put("cut16.htm", bytes))));
        EXPECT_EQ(page.Text(), "<p>가</p>");
        EXPECT_EQ(env.box.messages.size(), 1u);
        // An odd trailing byte is no unit of its own.
        ASSERT_TRUE(test::Shown(page.LoadPage(Put("odd16.htm", Utf16le(u"<b>") + '\0'))));
        EXPECT_EQ(page.Text(), "<b>");
    }
}

TEST_F(HtmlPageEncodingTest, LoadFailuresAreReportedAndLeaveNothingLoaded) {
    test::CodePagePin pin("UTF-8");
    CHtmlPage page;
    page.SetReport(&env.report);
    ASSERT_TRUE(test::Shown(page.LoadPage(PutCommitted("fragment.htm"))));
    {
        SCOPED_TRACE("missing file");
        EXPECT_FALSE(test::Shown(page.LoadPage(env.sandbox / "site/missing.htm")));
        EXPECT_FALSE(page.IsPageOpen());
        EXPECT_TRUE(page.Text().empty());
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
        EXPECT_NE(env.box.messages[0].text.find("No such file or directory"), std::string::npos);
        EXPECT_NE(env.box.messages[0].text.find("missing.htm"), std::string::npos);
    }
    {
        SCOPED_TRACE("a folder");
        env.box.messages.clear();
        EXPECT_FALSE(test::Shown(page.LoadPage(env.sandbox.MakeFolder("site/folder.htm"))));
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_NE(env.box.messages[0].text.find("Is a directory"), std::string::npos);
    }
    {
        SCOPED_TRACE("UTF-16 with a lone surrogate cannot be converted");
        env.box.messages.clear();
        EXPECT_FALSE(test::Shown(page.LoadPage(Put("bad16.htm", Utf16le(u"<p>\xD800</p>")))));
        EXPECT_FALSE(page.IsPageOpen());
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
    }
    {
        SCOPED_TRACE("CP1252 system: malformed UTF-8 under a UTF-8 declaration");
        test::CodePagePin cp1252("CP1252");
        env.box.messages.clear();
        EXPECT_FALSE(test::Shown(page.LoadPage(Put("bad8.htm", "<meta charset=utf-8 >\xC3("))));
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
    }
    {
        SCOPED_TRACE("UTF-8 system: the same bytes load unchanged, nothing to convert");
        env.box.messages.clear();
        const std::string path = Put("bad8.htm", "<meta charset=utf-8 >\xC3(");
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
        EXPECT_EQ(test::ReadFile(path), "<meta charset=utf-8 >\xC3(");
        EXPECT_TRUE(env.box.messages.empty());
    }
}

TEST_F(HtmlPageEncodingTest, CharactersTheCodePageLacksAreNotLostSilently) {
    test::CodePagePin pin("CP1252");
    const std::string path = PutCommitted("utf8-meta-bom.htm");
    CHtmlPage page;
    page.SetReport(&env.report);
    env.box.answers = {IDNO};
    EXPECT_FALSE(test::Shown(page.LoadPage(path)));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONWARNING);
    EXPECT_NE(env.box.messages[0].text.find("CP1252"), std::string::npos);

    env.box.answers = {IDYES};
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    EXPECT_NE(page.Text().find("<title>Caf\xE9 ?\?\?</title>"), std::string::npos);
    // Nothing was written by loading.
    EXPECT_EQ(test::ReadFile(path), test::CommittedPage("utf8-meta-bom.htm"));
}

TEST_F(HtmlPageEncodingTest, LoadingTheSamePageAgainReadsItAnew) {
    test::CodePagePin pin("UTF-8");
    const std::string path = PutCommitted("fragment.htm");
    CHtmlPage page;
    page.SetReport(&env.report);
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    page.SetHeadCode("<script src=\"p.js\"></script>\n");
    page.SetBodyCode("<video></video>\n");
    CStringPageEditor editor(page.Text());
    page.InsertPlayerCode(editor);
    ASSERT_TRUE(page.IsInserted());
    env.sandbox.Write("site/fragment.htm", "<p>new</p>");
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    EXPECT_EQ(page.Text(), "<p>new</p>");
    EXPECT_EQ(page.OriginalText(), "<p>new</p>");
    EXPECT_FALSE(page.IsModified());
    EXPECT_FALSE(page.IsInserted());
}

}  // namespace
