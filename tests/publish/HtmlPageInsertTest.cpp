// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "publish/InsertionEngine.h"
#include "tests/publish/PageTestSupport.h"

namespace {

const std::string kHead =
    "<link rel=\"stylesheet\" href=\"../js/video-js/video-js.css\">\n"
    "<script src=\"../js/video-js/video.js\"></script>\n";
const std::string kBody =
    "<video id=\"v1\" class=\"video-js\" controls>\n"
    "<source src=\"../medias/a.mp4\" type=\"video/mp4\"/>\n"
    "</video>\n";

std::string Crlf(std::string text) {
    for (size_t pos = text.find('\n'); pos != std::string::npos; pos = text.find('\n', pos + 2)) {
        text.insert(pos, 1, '\r');
    }
    return text;
}

// Counts the undoable edits.
class CRecordingEditor : public CStringPageEditor {
public:
    using CStringPageEditor::CStringPageEditor;
    void ReplaceSelection(std::string_view text) override {
        replaced.emplace_back(text);
        CStringPageEditor::ReplaceSelection(text);
    }
    std::vector<std::string> replaced;
};

class HtmlPageInsertTest : public ::testing::Test {
protected:
    HtmlPageInsertTest() {
        page.SetReport(&env.report);
        page.SetHeadCode(kHead);
        page.SetBodyCode(kBody);
    }
    // Puts the cursor right after `marker` in the editor's text.
    static void PlaceCursorAfter(CStringPageEditor& editor, const std::string& marker) {
        size_t pos = editor.Text().find(marker);
        ASSERT_NE(pos, std::string::npos) << marker;
        editor.SetSelection(pos + marker.size(), pos + marker.size());
    }

    test::Environment env;
    test::CodePagePin pin{"UTF-8"};
    CHtmlPage page;
};

TEST_F(HtmlPageInsertTest, CapitalTagsCrLfPageGetsHeadBeforeClosingHeadAndKeepsCrLf) {
    const std::string path =
        env.sandbox.Write("site/capitals-crlf.htm", test::CommittedPage("capitals-crlf.htm"));
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    CRecordingEditor editor(page.Text());
    PlaceCursorAfter(editor, "<P>Put the video here.</P>\r\n");
    page.InsertPlayerCode(editor);

    const std::string expected = "<HTML>\r\n<HEAD>\r\n<TITLE>Capitals</TITLE>\r\n" + Crlf(kHead) +
                                 "</HEAD>\r\n<BODY BGCOLOR=\"#FFFFFF\">\r\n"
                                 "<P>Put the video here.</P>\r\n" +
                                 Crlf(kBody) + "</BODY>\r\n</HTML>\r\n";
    EXPECT_EQ(editor.Text(), expected);
    EXPECT_EQ(editor.SelectedText(), Crlf(kBody));
    // Two edits the user can undo, nothing put back wholesale.
    EXPECT_EQ(editor.replaced, (std::vector<std::string>{Crlf(kBody), Crlf(kHead)}));
    EXPECT_TRUE(page.IsInserted());
    EXPECT_TRUE(page.IsModified());

    page.SetText(editor.Text());
    ASSERT_TRUE(test::Shown(page.SavePage(page.Text())));
    EXPECT_EQ(test::ReadFile(path), expected);

    // Reset shows the page as loaded again.
    page.Reset(editor);
    EXPECT_EQ(editor.Text(), test::CommittedPage("capitals-crlf.htm"));
    EXPECT_FALSE(page.IsInserted());
}

TEST_F(HtmlPageInsertTest, HeadCodeGoesBeforeTheFirstTagFound) {
    struct Row {
        const char* fault;
        std::string page;
        std::string cursorAfter;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"no </head>, <body> or <html>: offset 0",
         "<div class=\"news\">\n<p>Fragment</p>\n</div>\n", "<p>Fragment</p>\n",
         kHead + "<div class=\"news\">\n<p>Fragment</p>\n" + kBody + "</div>\n"},
        {"<body> with attributes does not count: before <html>",
         "<!DOCTYPE html>\n<html>\n<head>\n<body class=\"main\">\n<p>Text</p>\n", "<p>Text</p>\n",
         "<!DOCTYPE html>\n" + kHead + "<html>\n<head>\n<body class=\"main\">\n<p>Text</p>\n" +
             kBody},
        {"no </head>: before <Body>", "<head><title>t</title>\n<Body>\n<p>x</p>\n", "<p>x</p>\n",
         "<head><title>t</title>\n" + kHead + "<Body>\n<p>x</p>\n" + kBody},
        {"cursor inside the head: the body lands there",
         "<html><head>\n<title>t</title>\n</head><body></body></html>", "<title>t</title>\n",
         "<html><head>\n<title>t</title>\n" + kBody + kHead + "</head><body></body></html>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        CHtmlPage fresh;
        fresh.SetReport(&env.report);
        fresh.SetHeadCode(kHead);
        fresh.SetBodyCode(kBody);
        CStringPageEditor editor(row.page);
        PlaceCursorAfter(editor, row.cursorAfter);
        fresh.InsertPlayerCode(editor);
        EXPECT_EQ(editor.Text(), row.expected);
        EXPECT_EQ(editor.SelectedText(), kBody);
    }
}

TEST_F(HtmlPageInsertTest, SecondInsertionAddsBodyCodeOnly) {
    CStringPageEditor editor("<html><head>\n</head><body>\n<p>one</p>\n<p>two</p>\n</body></html>");
    PlaceCursorAfter(editor, "<p>one</p>\n");
    page.InsertPlayerCode(editor);
    PlaceCursorAfter(editor, "<p>two</p>\n");
    page.InsertPlayerCode(editor);
    EXPECT_EQ(editor.Text(), "<html><head>\n" + kHead + "</head><body>\n<p>one</p>\n" + kBody +
                                 "<p>two</p>\n" + kBody + "</body></html>");
    EXPECT_EQ(editor.SelectedText(), kBody);

    // Reset forgets the insertion: the head code goes in again.
    page.Reset();
    EXPECT_FALSE(page.IsInserted());
    EXPECT_FALSE(page.IsModified());
    CStringPageEditor again("<html><head>\n</head><body>\n</body></html>");
    PlaceCursorAfter(again, "<body>\n");
    page.InsertPlayerCode(again);
    EXPECT_EQ(again.Text(),
              "<html><head>\n" + kHead + "</head><body>\n" + kBody + "</body></html>");
}

TEST_F(HtmlPageInsertTest, PageAlreadyHoldingTheHeadCodeGetsNoSecondCopy) {
    {
        SCOPED_TRACE("every line present, other order, CR LF page");
        const std::string text =
            "<html><head>\r\n<script src=\"../js/video-js/video.js\"></script>\r\n"
            "<link rel=\"stylesheet\" href=\"../js/video-js/video-js.css\">\r\n</head><body>\r\n"
            "</body></html>";
        CRecordingEditor editor(text);
        PlaceCursorAfter(editor, "<body>\r\n");
        page.InsertPlayerCode(editor);
        std::string expected = text;
        expected.insert(expected.find("</body>"), Crlf(kBody));
        EXPECT_EQ(editor.Text(), expected);
        EXPECT_EQ(editor.SelectedText(), Crlf(kBody));
        EXPECT_EQ(editor.replaced, std::vector<std::string>{Crlf(kBody)});
    }
    {
        SCOPED_TRACE("one line missing");
        CHtmlPage other;
        other.SetReport(&env.report);
        other.SetHeadCode(kHead);
        other.SetBodyCode(kBody);
        CStringPageEditor editor(
            "<head><script src=\"../js/video-js/video.js\"></script>\n</head><body></body>");
        PlaceCursorAfter(editor, "<body>");
        other.InsertPlayerCode(editor);
        EXPECT_EQ(editor.Text(), "<head><script src=\"../js/video-js/video.js\"></script>\n" +
                                     kHead + "</head><body>" + kBody + "</body>");
    }
}

TEST_F(HtmlPageInsertTest, MenuScriptsAreRemovedAndTheBodyStillLandsAtTheCursor) {
    const std::string path =
        env.sandbox.Write("site/menu.htm", test::CommittedPage("menu-scripts-crlf.htm"));
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    CStringPageEditor editor(page.Text());
    PlaceCursorAfter(editor, "<p>Before the video.</p>\r\n");
    page.InsertPlayerCode(editor);
    const std::string expected =
        "<html>\r\n<head>\r\n<title>Menu</title>\r\n"
        "<script type=\"text/javascript\" src=\"site.js\"></script>\r\n" +
        Crlf(kHead) + "</head>\r\n<body>\r\n<p>Before the video.</p>\r\n" + Crlf(kBody) +
        "<p>After the video.</p>\r\n</body>\r\n</html>\r\n";
    EXPECT_EQ(editor.Text(), expected);
    EXPECT_EQ(editor.SelectedText(), Crlf(kBody));
}

TEST_F(HtmlPageInsertTest, MenuScriptRemovalLimits) {
    const std::string menu = test::CommittedPage("menu-scripts-crlf.htm");
    {
        SCOPED_TRACE("empty head code: nothing removed, body only");
        CHtmlPage bodyOnly;
        bodyOnly.SetReport(&env.report);
        bodyOnly.SetBodyCode(kBody);
        CStringPageEditor editor(menu);
        PlaceCursorAfter(editor, "<p>Before the video.</p>\r\n");
        bodyOnly.InsertPlayerCode(editor);
        std::string expected = menu;
        expected.insert(expected.find("<p>After"), Crlf(kBody));
        EXPECT_EQ(editor.Text(), expected);
        EXPECT_TRUE(bodyOnly.IsInserted());
    }
    struct Row {
        const char* fault;
        size_t between;  // characters between "<script" and "</script>"
        bool removed;
    };
    for (const Row& row : {Row{"4096 characters: removed", 4096, true},
                           Row{"4097 characters: too long for the pattern, stays", 4097, false}}) {
        SCOPED_TRACE(row.fault);
        const std::string open = " src=\"kvmenu.js\">";
        const std::string block =
            "<script" + open + std::string(row.between - open.size(), ' ') + "</script>\n";
        const std::string text = "<head>\n" + block + "</head><body>\n";
        CStringPageEditor editor(text);
        PlaceCursorAfter(editor, "<body>\n");
        page.Reset();
        page.InsertPlayerCode(editor);
        const std::string kept = row.removed ? "" : block;
        EXPECT_EQ(editor.Text(), "<head>\n" + kept + kHead + "</head><body>\n" + kBody);
        EXPECT_EQ(editor.SelectedText(), kBody);
    }
    {
        SCOPED_TRACE("blocks on both sides of the cursor, capitals, a kept block between");
        const std::string text =
            "<head>\n<SCRIPT SRC=\"MENU/KVMENU.JS\"></SCRIPT>\n<script>keep();</script>\n</head>"
            "<body>\n<p>x</p>\n<script>var kv_path = \"m/\"; var kv_lib = 1;</script>\n</body>";
        CStringPageEditor editor(text);
        PlaceCursorAfter(editor, "<p>x</p>\n");
        page.Reset();
        page.InsertPlayerCode(editor);
        EXPECT_EQ(editor.Text(), "<head>\n<script>keep();</script>\n" + kHead +
                                     "</head><body>\n<p>x</p>\n" + kBody + "</body>");
        EXPECT_EQ(editor.SelectedText(), kBody);
    }
    {
        SCOPED_TRACE("a long kv_path script stays too");
        const std::string block =
            "<script>var kv_path = 1;/*" + std::string(5000, '*') + "*/ var kv_lib = 2;</script>\n";
        CStringPageEditor editor("<head>" + block + "</head><body>");
        PlaceCursorAfter(editor, "<body>");
        page.Reset();
        page.InsertPlayerCode(editor);
        EXPECT_EQ(editor.Text(), "<head>" + block + kHead + "</head><body>" + kBody);
    }
    {
        SCOPED_TRACE("the code just inserted is never taken for a menu block");
        CStringPageEditor editor(menu);
        PlaceCursorAfter(editor, "src=\"menu/kvmenu.js\">");
        page.Reset();
        page.InsertPlayerCode(editor);
        EXPECT_NE(editor.Text().find("src=\"menu/kvmenu.js\">" + Crlf(kBody) + "</script>"),
                  std::string::npos);
        EXPECT_EQ(editor.SelectedText(), Crlf(kBody));
        EXPECT_EQ(editor.Text().find("kelvary_dhtmlmenu"), std::string::npos);
    }
}

TEST_F(HtmlPageInsertTest, MixedLineEndingsOutsideTheCodeStayAsTheyWere) {
    const std::string mixed = test::CommittedPage("mixed-line-endings.htm");
    CStringPageEditor editor(mixed);
    PlaceCursorAfter(editor, "<p>One</p>\n");
    page.InsertPlayerCode(editor);
    EXPECT_EQ(editor.Text(), "<html>\r\n<head>\n<title>Mixed</title>\r\n" + Crlf(kHead) +
                                 "</head>\n<body>\r\n<p>One</p>\n" + Crlf(kBody) +
                                 "<p>Two</p>\r\n</body>\n</html>\r\n");
}

TEST_F(HtmlPageInsertTest, SelectionIsReplacedByTheBodyCode) {
    CRecordingEditor editor("<head></head><body><p>placeholder</p></body>");
    const size_t start = editor.Text().find("<p>");
    editor.SetSelection(start, editor.Text().find("</body>"));
    page.InsertPlayerCode(editor);
    EXPECT_EQ(editor.Text(), "<head>" + kHead + "</head><body>" + kBody + "</body>");
    EXPECT_EQ(editor.SelectedText(), kBody);
    EXPECT_EQ(editor.replaced.front(), kBody);
}

TEST(InsertionEngineTest, FindHeadInsertPosition) {
    struct Row {
        const char* text;
        size_t expected;
    };
    for (const Row& row : {
             Row{"<html><head></head><body>", 12},
             Row{"<HTML><HEAD></HEAD><BODY>", 12},
             Row{"<body></body></Head>", 13},  // "</head>" first, wherever it is
             Row{"<html><BoDy>", 6},
             Row{"<html><body class=x>", 0},
             Row{"x<html lang=en><body bgcolor=white>", 0},
             Row{"<p>nothing</p>", 0},
             Row{"", 0},
             Row{"</head", 0},
         }) {
        EXPECT_EQ(FindHeadInsertPosition(row.text), row.expected) << row.text;
    }
}

TEST(InsertionEngineTest, IsHeadCodePresent) {
    const std::string page =
        "<head>\r\n<script src=\"a.js\"></script>\r\n<link href=\"b.css\">\r\n";
    EXPECT_TRUE(IsHeadCodePresent(page, "<link href=\"b.css\">\n<script src=\"a.js\"></script>"));
    EXPECT_TRUE(IsHeadCodePresent(page, "\n\n<link href=\"b.css\">\n\n"));
    EXPECT_FALSE(
        IsHeadCodePresent(page, "<link href=\"b.css\">\n<script src=\"c.js\"></script>\n"));
    EXPECT_FALSE(IsHeadCodePresent(page, "<LINK href=\"b.css\">\n"));
    EXPECT_FALSE(IsHeadCodePresent(page, ""));
    EXPECT_FALSE(IsHeadCodePresent(page, "\n\n"));
    // CR LF head code: each line ends in CR, so an LF page does not hold it.
    EXPECT_FALSE(IsHeadCodePresent("<link href=\"b.css\">\n", "<link href=\"b.css\">\r\n"));
}

TEST(InsertionEngineTest, SwapCodeLines) {
    const std::string published =
        "<script src=\"../js/p.js\"></script>\n<video src=\"../m/a.mp4\">\n";
    const std::string page =
        "<head><script src=\"../js/p.js\"></script>\n</head>\n"
        "<video src=\"../m/a.mp4\">\n<p>and again</p><video src=\"../m/a.mp4\">\n";
    {
        SCOPED_TRACE("three lines against four change nothing");
        std::string text = page;
        EXPECT_FALSE(SwapCodeLines(text, "a\nb\nc\n", "a\nb\nc\nd\n"));
        EXPECT_FALSE(SwapCodeLines(text, "", "a\n"));
        EXPECT_EQ(text, page);
    }
    {
        SCOPED_TRACE("every occurrence replaced");
        std::string text = page;
        EXPECT_TRUE(SwapCodeLines(
            text, published,
            "<script src=\"file:///opt/p.js\"></script>\n<video src=\"file:///m/a.mp4\">"));
        EXPECT_EQ(text,
                  "<head><script src=\"file:///opt/p.js\"></script>\n</head>\n"
                  "<video src=\"file:///m/a.mp4\">\n<p>and again</p>"
                  "<video src=\"file:///m/a.mp4\">\n");
    }
    {
        SCOPED_TRACE("a missing line stops the swap; earlier lines stay swapped");
        std::string text = "<b>one</b>\n<i>three</i>\n";
        EXPECT_FALSE(SwapCodeLines(text, "<b>one</b>\n<b>two</b>\n<i>three</i>\n",
                                   "<b>1</b>\n<b>2</b>\n<i>3</i>\n"));
        EXPECT_EQ(text, "<b>1</b>\n<i>three</i>\n");
    }
    {
        SCOPED_TRACE("identical and blank lines are skipped, blanks in the page untouched");
        std::string text = "<p>  x  </p>\r\n<b>one</b>\r\n";
        EXPECT_TRUE(SwapCodeLines(text, "<p>  x  </p>\r\n  \r\n<b>one</b>\r\n",
                                  "<p>  x  </p>\r\nXX\r\n<b>1</b>\r\n"));
        EXPECT_EQ(text, "<p>  x  </p>\r\n<b>1</b>\r\n");
    }
}

}  // namespace
