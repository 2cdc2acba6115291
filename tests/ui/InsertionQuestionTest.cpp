// SPDX-License-Identifier: GPL-3.0-or-later
// Insert Code with the cursor where a browser would not show the player: the wizard says where
// the cursor is and lets the user choose the place.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/CodePage.h"
#include "core/MessageBox.h"
#include "core/StringTable.h"
#include "tests/ui/PublishFixture.h"
#include "ui/CDialogFind.h"

namespace {

// A page as a site generator writes it, with the words "AUDIO HERE" in a comment, an
// attribute, a script and another player.
constexpr const char* kTripPage =
    "<!DOCTYPE html>\n"                                // 1
    "<html lang=\"en\">\n"                             // 2
    "<head>\n"                                         // 3
    "<meta charset=\"utf-8\">\n"                       // 4
    "<title>Our summer trip</title>\n"                 // 5
    "</head>\n"                                        // 6
    "<body class=\"post\">\n"                          // 7
    "<h1>Our summer trip</h1>\n"                       // 8
    "<p>Here is the film we made.</p>\n"               // 9
    "<!--\n"                                           // 10
    "AUDIO HERE\n"                                     // 11
    "-->\n"                                            // 12
    "<div class=\"slot\" data-note=\"AUDIO HERE\">\n"  // 13
    "</div>\n"                                         // 14
    "<script>\n"                                       // 15
    "var slot = 'AUDIO HERE';\n"                       // 16
    "</script>\n"                                      // 17
    "<video src=\"old.mp4\">\n"                        // 18
    "<p>AUDIO HERE</p>\n"                              // 19
    "</video>\n"                                       // 20
    "<p>Comments are welcome.</p>\n"                   // 21
    "</body>\n"                                        // 22
    "</html>\n";                                       // 23

size_t Find(const std::string& text, const std::string& what, size_t from = 0) {
    const size_t at = text.find(what, from);
    EXPECT_NE(at, std::string::npos) << what;
    return at;
}

class InsertionQuestionTest : public test::PublishTest {
protected:
    CPagePublishHTML& Open(const std::string& bytes) {
        const std::string path = env.sandbox.Write("site/trip.htm", bytes);
        CPagePublishHTML& page = StartWizard(Audio(), 0);
        TypePath(page, path);
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
        return page;
    }

    // Selects from `start` to `end` and clicks Insert Code, giving `answers` to what is asked.
    void InsertAt(CPagePublishHTML& page, size_t start, size_t end, std::vector<int> answers) {
        page.SourceView()->SetSelection(start, end);
        env.box.answers = std::move(answers);
        QTest::mouseClick(page.InsertButton(), Qt::LeftButton);
        EXPECT_TRUE(env.box.answers.empty()) << "asked fewer questions than answered";
    }

    // `text` with the page's body code in place of the text from `start` to `end`, and its
    // head code at the end of the head.
    static std::string Inserted(const CPagePublishHTML& page, std::string text, size_t start,
                                size_t end) {
        text.replace(start, end - start, page.Page().BodyCode());
        text.insert(text.find("</head>"), page.Page().HeadCode());
        return text;
    }

    static std::string Question(const std::string& where, int line, int safeLine, bool replaces) {
        return fmt::sprintf(LoadStringRes(IDS_INSERT_POINT_QUESTION), where, line, safeLine,
                            replaces ? LoadStringRes(IDS_INSERT_ANYWAY_REPLACES) : std::string());
    }

    // The one message shown since the last call, which must be the question of `type`.
    std::string TakeQuestion(unsigned type) {
        std::vector<test::RecordingMessageBox::Message> shown = env.box.messages;
        env.box.messages.clear();
        if (shown.size() != 1) {
            ADD_FAILURE() << shown.size() << " messages instead of one question";
            return {};
        }
        EXPECT_EQ(shown[0].type, type);
        return shown[0].text;
    }

    // Back to the page as loaded, for the next case.
    void Reset(CPagePublishHTML& page, const std::string& text = kTripPage) {
        QTest::mouseClick(page.ResetButton(), Qt::LeftButton);
        ASSERT_EQ(page.SourceView()->GetText(), text);
        ASSERT_FALSE(page.Page().IsInserted());
    }
};

TEST_F(InsertionQuestionTest, ACursorWherePlayersDoNotShowIsSaidAndTheUserChooses) {
    const std::string text = kTripPage;
    const struct {
        const char* name;
        size_t cursor;
        std::string where;
        int line;
        size_t safe;  // right after the construct
        int safeLine;
    } rows[] = {
        {"inside a comment", Find(text, "AUDIO HERE"), LoadStringRes(IDS_INSERT_IN_COMMENT), 11,
         Find(text, "-->") + 3, 12},
        {"inside a tag", Find(text, "<div") + 4,
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_TAG), "div"), 13, Find(text, ">\n</div>") + 1,
         13},
        {"inside an attribute", Find(text, "AUDIO HERE\">") + 5,
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_ATTRIBUTE), "data-note", "div"), 13,
         Find(text, ">\n</div>") + 1, 13},
        {"inside a script", Find(text, "var slot"),
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_HIDDEN), "script"), 16,
         Find(text, "</script>") + 9, 17},
        {"inside another player", Find(text, "<p>AUDIO") + 3,
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_MEDIA), "video"), 19, Find(text, "</video>") + 8,
         20},
        {"inside the title", Find(text, "summer"), LoadStringRes(IDS_INSERT_IN_HEAD), 5,
         Find(text, "<body class=\"post\">") + 19, 7},
        {"between the head's tags", Find(text, "<meta"), LoadStringRes(IDS_INSERT_IN_HEAD), 4,
         Find(text, "<body class=\"post\">") + 19, 7},
    };
    CPagePublishHTML& page = Open(text);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string question = Question(row.where, row.line, row.safeLine, false);

        // Cancel: nothing goes in, the cursor stays.
        InsertAt(page, row.cursor, row.cursor, {IDCANCEL});
        EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
        EXPECT_EQ(page.SourceView()->GetText(), text);
        EXPECT_FALSE(page.Page().IsInserted());
        EXPECT_FALSE(page.Page().IsModified());
        EXPECT_FALSE(FinishEnabled());
        EXPECT_EQ(page.SourceView()->GetSelection().start, row.cursor);
        EXPECT_EQ(page.SourceView()->GetSelection().end, row.cursor);

        // Yes: right after the construct.
        InsertAt(page, row.cursor, row.cursor, {IDYES});
        EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
        EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, row.safe, row.safe));
        EXPECT_TRUE(FinishEnabled());
        Reset(page);

        // No: at the cursor all the same.
        InsertAt(page, row.cursor, row.cursor, {IDNO});
        EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
        EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, row.cursor, row.cursor));
        EXPECT_TRUE(FinishEnabled());
        Reset(page);
    }
}

TEST_F(InsertionQuestionTest, PlainPlacesInTheBodyAskNothing) {
    const std::string text = kTripPage;
    const struct {
        const char* name;
        size_t cursor;
    } rows[] = {
        {"between paragraphs", Find(text, "<!--")},
        {"in a paragraph's text", Find(text, "the film")},
        {"right after a comment", Find(text, "-->") + 3},
        {"right after a script", Find(text, "</script>") + 9},
        {"right after the body tag", Find(text, "<body class=\"post\">") + 19},
        {"before the body's end tag", Find(text, "</body>")},
    };
    CPagePublishHTML& page = Open(text);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InsertAt(page, row.cursor, row.cursor, {});
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
        EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, row.cursor, row.cursor));
        Reset(page);
    }
}

TEST_F(InsertionQuestionTest, ASelectionIsReplacedOnlyAfterTheUserAgrees) {
    const std::string text = kTripPage;
    CPagePublishHTML& page = Open(text);
    const std::string words = "Here is the film we made.";
    const size_t start = Find(text, words);
    const std::string question =
        fmt::sprintf(LoadStringRes(IDS_INSERT_REPLACES_SELECTION), words.size());

    InsertAt(page, start, start + words.size(), {IDCANCEL});
    EXPECT_EQ(TakeQuestion(MB_OKCANCEL | MB_ICONQUESTION), question);
    EXPECT_EQ(page.SourceView()->GetText(), text);
    EXPECT_FALSE(page.Page().IsInserted());
    EXPECT_EQ(page.SourceView()->textCursor().selectedText().toStdString(), words)
        << "the selection stays";

    InsertAt(page, start, start + words.size(), {IDOK});
    EXPECT_EQ(TakeQuestion(MB_OKCANCEL | MB_ICONQUESTION), question);
    EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, start, start + words.size()));
    Reset(page);

    // A whole comment selected is a marker the player takes the place of.
    const size_t comment = Find(text, "<!--");
    const size_t commentEnd = Find(text, "-->") + 3;
    InsertAt(page, comment, commentEnd, {IDOK});
    EXPECT_EQ(TakeQuestion(MB_OKCANCEL | MB_ICONQUESTION),
              fmt::sprintf(LoadStringRes(IDS_INSERT_REPLACES_SELECTION), commentEnd - comment));
    EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, comment, commentEnd));
}

// A page that ends inside a comment has no place after it where the player shows.
TEST_F(InsertionQuestionTest, APageLeftOpenAtItsEndOffersNoPlaceAfterTheCursor) {
    const std::string text =
        "<html>\n<head>\n<title>T</title>\n</head>\n<body>\n<p>x</p>\n"
        "<!-- AUDIO HERE\n<p>y</p>\n";
    CPagePublishHTML& page = Open(text);
    const size_t cursor = Find(text, "HERE");
    const std::string question = fmt::sprintf(LoadStringRes(IDS_INSERT_POINT_OPEN),
                                              LoadStringRes(IDS_INSERT_IN_COMMENT), 7, "");
    InsertAt(page, cursor, cursor, {IDCANCEL});
    EXPECT_EQ(TakeQuestion(MB_OKCANCEL | MB_ICONWARNING), question);
    EXPECT_EQ(page.SourceView()->GetText(), text);
    EXPECT_FALSE(page.Page().IsInserted());

    InsertAt(page, cursor, cursor, {IDOK});
    EXPECT_EQ(TakeQuestion(MB_OKCANCEL | MB_ICONWARNING), question);
    EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, cursor, cursor));
}

// What the user of the issue did: Find the words in the comment, close Find, Insert Code.
TEST_F(InsertionQuestionTest, WordsFoundInACommentAreNotReplacedByAnInvisiblePlayer) {
    const std::string text = kTripPage;
    CPagePublishHTML& page = Open(text);
    const auto find = [&] {
        page.SourceView()->SetSelection(0, 0);
        QTest::mouseClick(page.FindButton(), Qt::LeftButton);
        CDialogFind* dialog = page.FindDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->FindEdit()->setText("AUDIO HERE");
        QTest::mouseClick(dialog->FindNextButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        ASSERT_EQ(page.SourceView()->GetSelection().start, Find(text, "AUDIO HERE"));
    };
    const size_t words = Find(text, "AUDIO HERE");
    const size_t after = Find(text, "-->") + 3;
    const std::string question =
        Question(LoadStringRes(IDS_INSERT_IN_COMMENT), 11, 12, /*replaces=*/true);

    find();
    env.box.answers = {IDCANCEL};
    QTest::mouseClick(page.InsertButton(), Qt::LeftButton);
    EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
    EXPECT_EQ(page.SourceView()->GetText(), text);

    // No replaces the words, as the user asked for.
    env.box.answers = {IDNO};
    QTest::mouseClick(page.InsertButton(), Qt::LeftButton);
    EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
    EXPECT_EQ(page.SourceView()->GetText(), Inserted(page, text, words, words + 10));
    Reset(page);

    // Yes keeps the words and puts the player after the comment; that is what is published.
    find();
    env.box.answers = {IDYES};
    QTest::mouseClick(page.InsertButton(), Qt::LeftButton);
    EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING), question);
    const std::string expected = Inserted(page, text, after, after);
    EXPECT_EQ(page.SourceView()->GetText(), expected);
    env.box.answers = {IDNO};
    Finish();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_EQ(test::ReadFile(site + "/trip.htm"), expected);
}

// The wizard's text of a page in another encoding is not the file's bytes; the lines and the
// place after the construct are still the right ones.
TEST_F(InsertionQuestionTest, PagesInOtherEncodingsGetTheRightPlace) {
    const std::string utf8 =
        "<html>\n<head>\n<meta charset=\"utf-8\">\n<title>\xC3\xA9t\xC3\xA9</title>\n</head>\n"
        "<body>\n<p>\xE2\x80\x9C\xED\x95\x9C\xEA\xB8\x80\xE2\x80\x9D \xF0\x9F\x8E\xAC</p>\n"
        "<!-- \xC3\xA9t\xC3\xA9\nAUDIO HERE -->\n<p>end</p>\n</body>\n</html>\n";
    const std::string latin1 =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1252\">\r\n<title>\xE9t\xE9</title>\r\n</head>\r\n<body>\r\n"
        "<p>\x93quoted\x94 \x80</p>\r\n<!-- \xE9t\xE9\r\nAUDIO HERE -->\r\n<p>end</p>\r\n"
        "</body>\r\n</html>\r\n";
    const struct {
        const char* name;
        std::string bytes;
        std::string text;  // as the wizard shows it
    } rows[] = {
        {"UTF-8", utf8, utf8},
        {"windows-1252 with CR LF", latin1, latin1},
        {"UTF-16LE", "\xFF\xFE" + *codepage::Convert(utf8, "UTF-8", "UTF-16LE"), utf8},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CPagePublishHTML& page = Open(row.bytes);
        ASSERT_EQ(page.SourceView()->GetText(), row.text);
        const size_t cursor = Find(row.text, "AUDIO");
        const size_t after = Find(row.text, "-->") + 3;
        InsertAt(page, cursor, cursor, {IDYES});
        EXPECT_EQ(TakeQuestion(MB_YESNOCANCEL | MB_ICONWARNING),
                  Question(LoadStringRes(IDS_INSERT_IN_COMMENT), 9, 9, false));
        std::string head = page.Page().HeadCode();
        std::string body = page.Page().BodyCode();
        if (row.text.find("\r\n") != std::string::npos) {
            for (std::string* code : {&head, &body}) {
                for (size_t at = code->find('\n'); at != std::string::npos;
                     at = code->find('\n', at + 2)) {
                    code->insert(at, "\r");
                }
            }
        }
        std::string expected = row.text;
        expected.insert(after, body);
        expected.insert(expected.find("</head>"), head);
        EXPECT_EQ(page.SourceView()->GetText(), expected);

        // A plain place after the non-ASCII text asks nothing.
        Reset(page, row.text);
        InsertAt(page, Find(row.text, "<p>end"), Find(row.text, "<p>end"), {});
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
        sheet.reset();
    }
}

}  // namespace
