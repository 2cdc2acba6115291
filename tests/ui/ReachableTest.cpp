// SPDX-License-Identifier: GPL-3.0-or-later
#include <QSignalSpy>

#include "tests/ui/PublishFixture.h"

namespace {

using ReachableTest = test::PublishTest;

// Keys go where the desktop sends them: to the control with the focus.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
}
// Alt and the button's letter; the button shows itself pressed a moment before it acts.
void Click(QAbstractButton* button, int key) {
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    Press(key, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
}

TEST_F(ReachableTest, TheKeyboardAloneTakesTheMediaToAPublishedPage) {
    sheet = std::make_unique<CPublishSheet>(QStringLiteral("Publish"));
    sheet->show();
    QApplication::setActiveWindow(sheet.get());
    for (const std::string& typed : {Video(), std::string(), index}) {
        QTest::keyClicks(QApplication::focusWidget(), ToQt(typed));
        Press(Qt::Key_Return);
    }
    CPagePublishHTML& page = *sheet->PublishPage();
    ASSERT_EQ(page.Page().PagePath(), index);
    for (int i = 0; i < 9 && QApplication::focusWidget() != page.SourceView(); ++i) {
        Press(Qt::Key_Tab);
    }
    // Before the closing body tag, then Insert Code.
    Press(Qt::Key_End, Qt::ControlModifier);
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    Click(page.InsertButton(), Qt::Key_I);
    // The code is shown, not selected: the next key adds to the page rather than replacing it.
    EXPECT_EQ(FromQt(page.SourceView()->MarkedText()), page.Page().BodyCode());
    Press(Qt::Key_Return);
    EXPECT_NE(page.SourceView()->GetText().find(page.Page().BodyCode()), std::string::npos);
    env.box.answers = {IDNO};
    Click(sheet->button(QWizard::FinishButton), Qt::Key_P);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{LoadStringRes(IDS_PUBLISH_ANOTHER)});
    EXPECT_NE(test::ReadFile(index).find("medias/movie.mp4"), std::string::npos);
}

}  // namespace
