// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/InsertionGuard.h"

#include <filesystem>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/CodePage.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "tests/publish/PageTestSupport.h"

namespace {

using C = InsertionConstruct;

// `marked` with "|" where the cursor is (or "[" and "]" around a selection), taken out.
struct Marked {
    std::string text;
    size_t start = 0;
    size_t end = 0;
};

Marked Mark(std::string marked) {
    Marked m;
    const size_t open = marked.find('[');
    if (open != std::string::npos) {
        marked.erase(open, 1);
        const size_t close = marked.find(']');
        marked.erase(close, 1);
        m.start = open;
        m.end = close;
    } else {
        m.start = m.end = marked.find('|');
        marked.erase(m.start, 1);
    }
    m.text = std::move(marked);
    return m;
}

InsertionCheck Check(const Marked& m, const std::string& encoding = {}) {
    return CheckInsertionPoint(m.text, m.start, m.end, encoding);
}

TEST(InsertionGuard, EachConstructIsNamedWithTheOffsetJustAfterIt) {
    const struct {
        const char* name;
        const char* page;
        C construct;
        const char* element;
        const char* attribute;
        // The text right before the safe offset.
        const char* safeAfter;
    } rows[] = {
        {"cursor inside a comment", "<body><p>a</p><!-- AUDIO |HERE --><p>b</p></body>", C::Comment,
         "", "", "<!-- AUDIO HERE -->"},
        {"selection inside a comment, as Find leaves it",
         "<body><p>a</p><!-- [AUDIO HERE] --><p>b</p></body>", C::Comment, "", "", "HERE -->"},
        {"unclosed comment runs to the end", "<body><p>a</p><!-- open| <p>b</p>", C::Comment, "",
         "", "<p>b</p>"},
        {"bogus comment of a server page", "<body><?php echo 'x|'; ?><p>b</p>", C::Comment, "", "",
         "'; ?>"},
        {"inside a start tag's name", "<body><p>a</p><di|v class=x>b</div>", C::Tag, "div", "",
         "<div class=x>"},
        {"inside an attribute value", "<body><a href=\"page|.htm\" title=t>a</a>", C::Tag, "a",
         "href", "title=t>"},
        {"inside an unquoted attribute name", "<body><img alt=a wid|th=3>", C::Tag, "img", "width",
         "width=3>"},
        {"between two attributes", "<body><img alt=\"a\" | width=3>", C::Tag, "img", "",
         "width=3>"},
        {"inside an end tag", "<body><p>a</p|></body>", C::Tag, "p", "", "<p>a</p>"},
        {"inside a script", "<body><script>var a = '|';</script><p>x</p>", C::RawText, "script", "",
         "</script>"},
        {"markup inside a script is script", "<body><script>w('<p>|hi</p>')</script><p>x</p>",
         C::RawText, "script", "", "</script>"},
        {"inside a style", "<body><style>p { col|or: red }</style>", C::RawText, "style", "",
         "</style>"},
        {"inside a textarea", "<body><form><textarea>ty|ped</textarea></form>", C::RawText,
         "textarea", "", "</textarea>"},
        {"inside a title in the body", "<body><title>Ho|me</title><p>x</p>", C::RawText, "title",
         "", "</title>"},
        {"inside a noscript", "<body><noscript><p>No |scripts</p></noscript>", C::RawText,
         "noscript", "", "</noscript>"},
        {"cursor inside the head", "<html><head>|<meta charset=utf-8></head><body class=a><p>x",
         C::Head, "", "", "<body class=a>"},
        {"before the doctype", "|<!DOCTYPE html><html><head></head><body><p>x", C::Head, "", "",
         "<body>"},
        {"inside the body tag itself", "<html><head></head><body class=\"a|b\"><p>x", C::Tag,
         "body", "class", "<body class=\"ab\">"},
        {"head without a body tag", "<html><head><title>T</title>|</head><p>x</p>", C::Head, "", "",
         "</head>"},
        {"doctype without any tags after it", "<!DOCTYPE html>|\n<p>x</p>", C::Head, "", "",
         "<!DOCTYPE html>\n"},
        {"inside a video", "<body><video controls><source src=a.mp4>|</video><p>x", C::MediaElement,
         "video", "", "</video>"},
        {"inside an audio", "<body><p>a</p><audio controls>|</audio>", C::MediaElement, "audio", "",
         "</audio>"},
        {"video closed by its parent's end tag", "<div><video src=a>|</div><p>after</p>",
         C::MediaElement, "video", "", "</div>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Marked m = Mark(row.page);
        const InsertionCheck check = Check(m);
        EXPECT_EQ(check.construct, row.construct);
        EXPECT_EQ(check.element, row.element);
        EXPECT_EQ(check.attribute, row.attribute);
        ASSERT_LE(check.safeOffset, m.text.size());
        EXPECT_TRUE(m.text.substr(0, check.safeOffset).ends_with(row.safeAfter))
            << m.text.substr(0, check.safeOffset);
        EXPECT_LE(check.start, m.start);
        EXPECT_GE(check.end, m.start);
        // Code at the end of a page that ends inside a comment would be in the comment too.
        EXPECT_EQ(check.openToEnd, row.name == std::string("unclosed comment runs to the end"));
        EXPECT_EQ(CheckInsertionPoint(m.text, check.safeOffset, check.safeOffset).IsSafe(),
                  !check.openToEnd)
            << "the offset offered is safe itself";
    }
}

TEST(InsertionGuard, NestedConstructsAreLeftAsAWhole) {
    const struct {
        const char* name;
        const char* page;
        C construct;
        const char* element;
        const char* safeAfter;
    } rows[] = {
        {"comment inside the head", "<html><head><!-- AUDIO |HERE --></head>\n<body>\n<p>x",
         C::Head, "", "<body>"},
        {"title inside the head", "<html><head><title>Ho|me</title></head><body><p>x", C::Head, "",
         "<body>"},
        {"script inside the head", "<head><script>var a='|';</script></head><body><p>x", C::Head,
         "", "<body>"},
        {"attribute of a source inside a video",
         "<body><video><source sr|c=a.mp4 type=video/mp4></video><p>x", C::MediaElement, "video",
         "</video>"},
        {"comment inside an audio", "<body><audio><!-- x| --></audio><p>y", C::MediaElement,
         "audio", "</audio>"},
        {"video inside a video", "<body><video><video>|</video></video><p>y", C::MediaElement,
         "video", "</video></video>"},
        {"comment with a tag inside a script", "<body><script><!-- <p>|x</p> --></script>",
         C::RawText, "script", "</script>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Marked m = Mark(row.page);
        const InsertionCheck check = Check(m);
        EXPECT_EQ(check.construct, row.construct);
        EXPECT_EQ(check.element, row.element);
        EXPECT_TRUE(m.text.substr(0, check.safeOffset).ends_with(row.safeAfter))
            << m.text.substr(0, check.safeOffset);
    }
}

TEST(InsertionGuard, PlainPlacesInTheBodyAreSafe) {
    for (const char* page : {
             "<html><head><title>T</title></head>\n<body class=\"home\">\n<p>Put the |video "
             "here.</p>",
             "<body>|<!-- video --></body>",
             "<body>[<!-- video -->]</body>",
             "<body><p>a</p>|<script>x()</script>",
             "<body><p>a</p><script>x()</script>|",
             "<body><video src=a></video>|<p>x</p>",
             "<body><p>a</p></body>|\n</html>",
             "<html><head><title>T</title></head>|\n<p>x</p>",
             "<p>a fragment |of a page</p>",
             "|\n<div class=\"news\">\n<p>A fragment</p>\n</div>\n",
             "<body><p>a &amp; b| and c</p>",
             "<body><p>x</p>|",
             "",
         }) {
        SCOPED_TRACE(page);
        const InsertionCheck check = Check(Mark(*page ? page : "|"));
        EXPECT_TRUE(check.IsSafe()) << DescribeInsertionPoint(check);
    }
}

// Code put anywhere after the cursor would join what the page leaves unfinished.
TEST(InsertionGuard, APageEndingInsideAConstructHasNoPlaceAfterIt) {
    const struct {
        const char* page;
        C construct;
        const char* element;
        const char* attribute;
    } rows[] = {
        {"<body><p>a</p><!-- unfinished|", C::Comment, "", ""},
        {"<body><p>a</p><!-- un|finished", C::Comment, "", ""},
        {"<body><p>a</p><img src=\"x.png\" alt=\"a picture|", C::Tag, "img", "alt"},
        {"<body><p>a</p><img src=\"x.png\" |", C::Tag, "img", ""},
        {"<body><p>a</p><script>var a = 1;|", C::RawText, "script", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.page);
        const Marked m = Mark(row.page);
        const InsertionCheck check = Check(m);
        EXPECT_EQ(check.construct, row.construct);
        EXPECT_EQ(check.element, row.element);
        EXPECT_EQ(check.attribute, row.attribute);
        EXPECT_TRUE(check.openToEnd);
        EXPECT_EQ(check.end, m.text.size());
        EXPECT_EQ(check.safeOffset, m.text.size());
    }
    // Finished, the same constructs have a place after them.
    const InsertionCheck closed = Check(Mark("<body><p>a</p><!-- fini|shed -->"));
    EXPECT_EQ(closed.construct, C::Comment);
    EXPECT_FALSE(closed.openToEnd);
}

TEST(InsertionGuard, ASelectionThatEndsInsideAConstructIsNotSafe) {
    const Marked m = Mark("<body><p>[a</p><!-- b]c --><p>d</p>");
    const InsertionCheck check = Check(m);
    EXPECT_EQ(check.construct, C::Comment);
    EXPECT_EQ(m.text.substr(check.start, check.end - check.start), "<!-- bc -->");
}

TEST(InsertionGuard, DescriptionsNameTheConstruct) {
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><!--|--><p>"))),
              LoadStringRes(IDS_INSERT_IN_COMMENT));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><a href=|x>"))),
              fmt::sprintf(LoadStringRes(IDS_INSERT_IN_ATTRIBUTE), "href", "a"));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><A H|REF=x>"))),
              fmt::sprintf(LoadStringRes(IDS_INSERT_IN_ATTRIBUTE), "href", "a"));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><SCRIPT>|</SCRIPT>"))),
              fmt::sprintf(LoadStringRes(IDS_INSERT_IN_HIDDEN), "script"));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><my-player |></my-player>"))),
              fmt::sprintf(LoadStringRes(IDS_INSERT_IN_TAG), "my-player"));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<head>|</head><body>"))),
              LoadStringRes(IDS_INSERT_IN_HEAD));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body><audio>|</audio>"))),
              fmt::sprintf(LoadStringRes(IDS_INSERT_IN_MEDIA), "audio"));
    EXPECT_EQ(DescribeInsertionPoint(Check(Mark("<body>|"))), "");
    EXPECT_EQ(LineAtOffset("a\nb\r\nc", 0), 1u);
    EXPECT_EQ(LineAtOffset("a\nb\r\nc", 2), 2u);
    EXPECT_EQ(LineAtOffset("a\nb\r\nc", 99), 3u);
}

// The offsets are the text's bytes, whatever characters come before them.
TEST(InsertionGuard, OffsetsAreTheTextsInEveryEncoding) {
    const std::string tail = "<p>MARK</p><!-- COMMENT --><script>SCRIPT</script>";
    auto expectOffsets = [&](const std::string& text, const std::string& encoding) {
        const size_t mark = text.find("MARK");
        const size_t comment = text.find("<!-- COMMENT -->");
        const size_t script = text.find("SCRIPT");
        ASSERT_NE(mark, std::string::npos);
        EXPECT_TRUE(CheckInsertionPoint(text, mark + 1, mark + 1, encoding).IsSafe());
        const InsertionCheck inComment =
            CheckInsertionPoint(text, comment + 8, comment + 8, encoding);
        EXPECT_EQ(inComment.construct, C::Comment);
        EXPECT_EQ(inComment.start, comment);
        EXPECT_EQ(inComment.end, comment + 16);
        EXPECT_EQ(inComment.safeOffset, comment + 16);
        const InsertionCheck inScript = CheckInsertionPoint(text, script + 2, script + 2, encoding);
        EXPECT_EQ(inScript.construct, C::RawText);
        EXPECT_EQ(inScript.safeOffset, text.find("</script>", script) + 9);
        // Before the body: the head, with the start of the body offered.
        const InsertionCheck inHead = CheckInsertionPoint(text, 1, 1, encoding);
        EXPECT_EQ(inHead.construct, C::Head);
        const size_t body = ToLowerAscii(text).find("<body");
        ASSERT_NE(body, std::string::npos);
        EXPECT_EQ(inHead.safeOffset, text.find('>', body) + 1);
    };
    for (const char* pin : {"UTF-8", "CP1252"}) {
        test::CodePagePin codePage(pin);
        test::Environment env;
        env.box.fallback = IDNO;
        int checked = 0;
        for (const auto& entry : std::filesystem::directory_iterator(DEDE5_TEST_PAGES)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".") || name == "fragment.htm" || name == "zero-byte.htm") {
                continue;
            }
            SCOPED_TRACE(std::string(pin) + " " + name);
            CHtmlPage page;
            page.SetReport(&env.report);
            // A page the system code page cannot hold is refused (the lossy question).
            if (!test::Shown(page.LoadPage(env.sandbox.Write(name, test::CommittedPage(name))))) {
                continue;
            }
            std::string text = page.Text();
            const size_t bodyEnd = ToLowerAscii(text).rfind("</body>");
            ASSERT_NE(bodyEnd, std::string::npos);
            text.insert(bodyEnd, tail);
            // As both front ends ask: through the page, which knows what it converted.
            CStringPageEditor editor(text);
            const size_t comment = text.find("<!-- COMMENT -->");
            editor.SetSelection(comment + 3, comment + 3);
            const InsertionCheck check = page.CheckInsertionPoint(editor);
            EXPECT_EQ(check.construct, C::Comment);
            EXPECT_EQ(check.safeOffset, comment + 16);
            expectOffsets(text, "");
            ++checked;
        }
        EXPECT_GE(checked, std::string(pin) == "UTF-8" ? 14 : 8);
    }

    // A shift state makes ASCII bytes into other characters: read as Latin-1, these would open
    // a title element that swallows the rest of the page.
    const std::string jis =
        "\x1B$B<tit"
        "le>x\x1B(B";
    ASSERT_TRUE(codepage::Convert(jis, "ISO-2022-JP", "UTF-8")) << "four kanji";
    const std::string page = "<html><head><meta charset=\"iso-2022-jp\"></head><body><p>" + jis +
                             "</p>\n" + tail + "</body></html>";
    expectOffsets(page, "");
    EXPECT_EQ(
        CheckInsertionPoint(page, page.find("</p>"), page.find("</p>"), "ISO-8859-1").construct,
        C::RawText)
        << "the misreading the test guards against";

    // Bytes that are no character of the declared set still leave the offsets right.
    const std::string broken = "<html><head><meta charset=utf-8></head><body><p>\xC3\xC3\xFF</p>" +
                               tail + "</body></html>";
    expectOffsets(broken, "");
    expectOffsets(broken, "UTF-8");
}

TEST(InsertionGuard, ALargePageIsCheckedWhole) {
    std::string page = "<html><head><title>Big</title></head><body>\n";
    for (int i = 0; i < 20000; ++i) {
        page += "<div class=\"row\"><p>Row caf\xC3\xA9 " + std::to_string(i) + "</p></div>\n";
    }
    const size_t comment = page.size();
    page += "<!-- AUDIO HERE --></body></html>\n";
    const InsertionCheck check = CheckInsertionPoint(page, comment + 6, comment + 6);
    EXPECT_EQ(check.construct, C::Comment);
    EXPECT_EQ(check.safeOffset, comment + 19);
}

}  // namespace
