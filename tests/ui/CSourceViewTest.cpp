// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSourceView.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "core/CodePage.h"
#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "tests/support/Sandbox.h"

namespace {

TEST(SourceView, PagesComeBackByteForByte) {
    const struct {
        const char* name;
        std::string bytes;
        CPageCodec::Kind kind;
        QString shown;  // empty: not checked
    } rows[] = {
        {"LF", "<p>a</p>\n<p>b</p>\n", CPageCodec::Kind::Utf8, "<p>a</p>\n<p>b</p>\n"},
        {"CR LF", "<p>a</p>\r\n<p>b</p>\r\n", CPageCodec::Kind::Utf8, "<p>a</p>\n<p>b</p>\n"},
        {"mixed breaks and a lone CR", "a\r\nb\nc\rd\r\r\ne\n\r\n", CPageCodec::Kind::Utf8,
         "a\nb\nc\nd\n\ne\n\n"},
        {"characters the document keeps as breaks or spaces",
         "a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c\xEF\xB7\x90"
         "d\xC2\xA0"
         "e\t\x01",
         CPageCodec::Kind::Utf8,
         {}},
        {"UTF-8 signature without a declaration", "\xEF\xBB\xBF<p>\xC3\xA4</p>\n",
         CPageCodec::Kind::Utf8, QChar(0xFEFF) + QString::fromUtf8("<p>\xC3\xA4</p>\n")},
        {"declared windows-1252", "<meta charset=\"windows-1252\">\r\n<p>\x80 caf\xE9</p>\r\n",
         CPageCodec::Kind::Named,
         QString::fromUtf8("<meta charset=\"windows-1252\">\n<p>\xE2\x82\xAC caf\xC3\xA9</p>\n")},
        {"declared windows-1252 with a byte it leaves undefined",
         "<meta charset=windows-1252>\n<p>\x81\x80</p>\n",
         CPageCodec::Kind::Named,
         {}},
        // Not a byte sequence of that charset: the bytes are shown one for one instead.
        {"declared Shift_JIS that is not",
         "<meta charset=shift_jis>\n<p>\x81\xFF</p>\n",
         CPageCodec::Kind::Latin1,
         {}},
        {"undeclared Shift_JIS", "<p>\x93\xFA\x96\x7B</p>\r\n", CPageCodec::Kind::Latin1, {}},
        {"declared but unknown charset",
         "<meta charset=\"x-nothing\">\n\xE9\n",
         CPageCodec::Kind::Latin1,
         {}},
        {"empty", "", CPageCodec::Kind::Utf8, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CSourceView view;
        view.SetText(row.bytes);
        EXPECT_EQ(view.GetText(), row.bytes);
        EXPECT_EQ(view.Codec().GetKind(), row.kind) << view.Codec().Name().toStdString();
        if (!row.shown.isNull()) {
            EXPECT_EQ(view.toPlainText(), row.shown);
        }
    }
}

TEST(SourceView, OffsetsAreBytesOfThePage) {
    CSourceView view;
    // "ä" is two bytes, "€" three; each line ends in CR LF.
    const std::string page = "ab\r\n\xC3\xA4x\r\n\xE2\x82\xACy";
    view.SetText(page);
    const struct {
        size_t offset;
        int position;
    } rows[] = {{0, 0}, {2, 2},  {3, 2} /* between CR and LF */,
                {4, 3}, {6, 4},  {5, 3} /* inside "ä" */,
                {9, 6}, {12, 7}, {99, 8}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offset);
        EXPECT_EQ(view.PositionOfOffset(row.offset), row.position);
    }
    view.SetSelection(4, 7);
    EXPECT_EQ(view.textCursor().selectedText(), QString::fromUtf8("\xC3\xA4x"));
    const PageSelection selection = view.GetSelection();
    EXPECT_EQ(selection.start, 4u);
    EXPECT_EQ(selection.end, 7u);
}

TEST(SourceView, EditsKeepTheBreaksOfLinesTheyDoNotTouch) {
    const std::string page = "one\r\ntwo\nthree\rfour\r\n";
    {
        SCOPED_TRACE("typing in a line");
        CSourceView view;
        view.SetText(page);
        view.SetSelection(5, 5);
        QTest::keyClicks(&view, "2");
        EXPECT_EQ(view.GetText(), "one\r\n2two\nthree\rfour\r\n");
    }
    {
        SCOPED_TRACE("Enter in a CR LF page");
        CSourceView view;
        view.SetText(page);
        view.SetSelection(7, 7);
        QTest::keyClick(&view, Qt::Key_Return);
        EXPECT_EQ(view.GetText(), "one\r\ntw\r\no\nthree\rfour\r\n");
    }
    {
        SCOPED_TRACE("joining two lines keeps the break of the second");
        CSourceView view;
        view.SetText(page);
        view.SetSelection(8, 8);
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_EQ(view.GetText(), "one\r\ntwothree\rfour\r\n");
    }
    {
        SCOPED_TRACE("typed and undone");
        CSourceView view;
        view.SetText(page);
        view.SetSelection(9, 9);
        QTest::keyClicks(&view, "x");
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClicks(&view, "y");
        view.undo();
        view.undo();
        view.undo();
        EXPECT_EQ(view.GetText(), page);
    }
}

// The view must do to the page's bytes what the plain string editor does.
TEST(SourceView, InsertionMatchesTheStringEditorAndUndoesInOneStep) {
    test::Sandbox sandbox;
    const struct {
        const char* name;
        std::string page;
    } rows[] = {
        {"LF", "<html><head>\n<title>t</title>\n</head>\n<body>\n<p>x</p>\n</body></html>\n"},
        {"CR LF with a menu script before the cursor",
         "<HTML>\r\n<HEAD>\r\n<script src=\"kvmenu.js\"></script>\r\n</HEAD>\r\n<BODY>\r\n"
         "<p>\xC3\xA4</p>\r\n</BODY>\r\n</HTML>\r\n"},
        {"mixed breaks",
         "<html>\n<head>\r\n<title>t</title>\r</head>\n<body>\r\n<p>x</p>\n</body>\r\n</html>"},
        {"declared windows-1252",
         "<html><head><meta charset=windows-1252>\r\n</head>\r\n<body>\r\n<p>\xE9\x80\r\n</body>"},
    };
    const std::string head = "<script src=\"js/p.js\"></script>\n<link href=\"js/p.css\">\n";
    const std::string body = "<video>\n<source src=\"m.mp4\"/>\n</video>\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = sandbox.Write("page.htm", row.page);
        const size_t cursor = row.page.find("<p>") == std::string::npos ? row.page.find("\xE9")
                                                                        : row.page.find("<p>");
        ASSERT_NE(cursor, std::string::npos);

        CHtmlPage expected;
        ASSERT_TRUE(expected.LoadPage(path));
        expected.SetHeadCode(head);
        expected.SetBodyCode(body);
        CStringPageEditor plain(expected.Text());
        plain.SetSelection(cursor, cursor + 3);
        expected.InsertPlayerCode(plain);

        CHtmlPage shown;
        ASSERT_TRUE(shown.LoadPage(path));
        shown.SetHeadCode(head);
        shown.SetBodyCode(body);
        CSourceView view;
        view.SetText(shown.Text());
        view.SetSelection(cursor, cursor + 3);
        view.BeginEditGroup();
        shown.InsertPlayerCode(view);
        view.EndEditGroup();

        EXPECT_EQ(view.GetText(), plain.Text());
        EXPECT_EQ(view.GetSelection().start, plain.GetSelection().start);
        EXPECT_EQ(view.GetSelection().end, plain.GetSelection().end);
        view.undo();
        EXPECT_EQ(view.GetText(), row.page);
        EXPECT_FALSE(view.document()->isUndoAvailable()) << "one step undoes the insertion";
        view.redo();
        EXPECT_EQ(view.GetText(), plain.Text());
    }
}

TEST(SourceView, DroppedFilesAreHandedOnNotInserted) {
    CSourceView view;
    view.SetText("<p>x</p>");
    view.show();
    QSignalSpy dropped(&view, &CSourceView::filesDropped);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/srv/site/a.htm")});
    data.setText("/srv/site/a.htm");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &drop);
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(), QStringList{"/srv/site/a.htm"});
    EXPECT_EQ(view.GetText(), "<p>x</p>");
}

}  // namespace
