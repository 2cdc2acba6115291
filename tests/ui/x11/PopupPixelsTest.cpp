// SPDX-License-Identifier: GPL-3.0-or-later
// Popups as an X server shows them: a tooltip, the path box's completion list and the Help menu
// are grabbed from the screen and must show something, not one flat box.
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include "app/QtText.h"
#include "core/Shell.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"
#include "ui/CPublishSheet.h"

namespace {

// What the screen shows where `widget` is.
QImage OnScreen(QWidget& widget) {
    QCoreApplication::processEvents();
    const QRect where(widget.mapToGlobal(QPoint(0, 0)), widget.size());
    return widget.screen()
        ->grabWindow(0, where.x(), where.y(), where.width(), where.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

struct Colours {
    size_t distinct = 0;
    QColor dominant;
};

Colours Count(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    Colours colours;
    colours.distinct = counts.size();
    int most = 0;
    for (const auto& [rgb, n] : counts) {
        if (n > most) {
            most = n;
            colours.dominant = QColor(rgb);
        }
    }
    return colours;
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 16 && std::abs(a.green() - b.green()) <= 16 &&
           std::abs(a.blue() - b.blue()) <= 16;
}

// The popup shows its text on its own background: more than one colour, and mostly the colour
// the palette gives its background.
void ExpectDrawn(QWidget& popup, const QColor& background, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popup));
    // Painting follows the showing; what counts is what the server ends up showing.
    QImage shown;
    const bool drawn = QTest::qWaitFor(
        [&] {
            shown = OnScreen(popup);
            return Count(shown).distinct > 2;
        },
        5000);
    ASSERT_FALSE(shown.isNull());
    const Colours colours = Count(shown);
    EXPECT_TRUE(drawn) << "one flat box of " << colours.distinct << " colours";
    EXPECT_TRUE(Near(colours.dominant, background))
        << "background " << colours.dominant.name().toStdString() << ", the palette says "
        << background.name().toStdString();
}

class PopupPixelsTest : public ::testing::Test {
protected:
    PopupPixelsTest() {
        SetShell(&shell);
        sheet = std::make_unique<CPublishSheet>(QStringLiteral("Publish"));
        sheet->show();
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    }
    ~PopupPixelsTest() override {
        sheet.reset();
        SetShell(nullptr);
    }

    test::Environment env;
    test::RecordingShell shell;
    std::unique_ptr<CPublishSheet> sheet;
};

TEST_F(PopupPixelsTest, TooltipOfTheBrowseButton) {
    auto* browse = sheet->findChild<QToolButton*>(QStringLiteral("browseMedia"));
    ASSERT_NE(browse, nullptr);
    // The pointer rests on the button, as a user's would.
    QCursor::setPos(browse->mapToGlobal(browse->rect().center()));
    QWidget* tip = nullptr;
    const auto shownTip = [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->inherits("QTipLabel")) {
                tip = widget;
            }
        }
        return tip != nullptr;
    };
    if (!QTest::qWaitFor(shownTip, 5000)) {
        // A pointer that does not move over the button sends no hover: show it the direct way.
        QToolTip::showText(browse->mapToGlobal(browse->rect().center()), browse->toolTip(), browse);
        ASSERT_TRUE(QTest::qWaitFor(shownTip, 5000));
    }
    ExpectDrawn(*tip, QToolTip::palette().color(QPalette::ToolTipBase), "tooltip");
}

TEST_F(PopupPixelsTest, CompletionListOfThePathBox) {
    test::Sandbox files;
    files.Write("clips/first.mp4", "x");
    files.Write("clips/second.mp4", "x");
    auto* box = sheet->findChild<QComboBox*>(QStringLiteral("mediaPathBox"));
    ASSERT_NE(box, nullptr);
    QLineEdit* edit = box->lineEdit();
    edit->setFocus();
    QTest::keyClicks(edit, ToQt(files / "clips/"));
    QAbstractItemView* list = box->completer()->popup();
    if (!QTest::qWaitFor([&] { return list->isVisible(); }, 10000)) {
        // The folder is listed in the background; ask again once it is.
        box->completer()->complete();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }, 10000));
    // Both files are listed before the list is looked at.
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount() >= 2; }, 10000));
    ExpectDrawn(*list, list->palette().color(QPalette::Base), "completion list");
    list->hide();
}

TEST_F(PopupPixelsTest, HelpMenu) {
    QTest::mouseClick(sheet->button(QWizard::HelpButton), Qt::LeftButton);
    QMenu* menu = sheet->HelpMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    ExpectDrawn(*menu, menu->palette().color(QPalette::Window), "help menu");
    menu->close();
}

}  // namespace
