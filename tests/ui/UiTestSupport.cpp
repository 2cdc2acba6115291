// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ui/UiTestSupport.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "ui/CPublishSheet.h"

namespace test {

std::unique_ptr<CPublishSheet> ShownSheet() {
    auto sheet = std::make_unique<CPublishSheet>(ToQt(LoadStringRes(IDS_PUBLISH_CAPTION)));
    sheet->show();
    return sheet;
}

void EnterMedia(CPublishSheet& sheet, const std::string& media) {
    while (sheet.currentId() > CPublishSheet::kPageSelectVideo) {
        sheet.back();
    }
    QLineEdit* edit = sheet.currentPage()->findChild<QComboBox*>("mediaPathBox")->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, ToQt(media));
    QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
    ASSERT_EQ(sheet.currentId(), CPublishSheet::kPageSelectPlayer);
    QCoreApplication::sendPostedEvents();
    sheet.currentPage()->layout()->activate();
}

bool SaveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(DEDE5_SCREENSHOT_DIR);
    if (!QDir().mkpath(folder)) {
        return false;
    }
    const QPixmap picture = widget.grab();
    return !picture.isNull() && picture.save(folder + QLatin1Char('/') + name + ".png");
}

std::vector<std::string> CutOffWidgets(QWidget& window) {
    std::vector<std::string> problems;
    const QRect inside = window.rect();
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window) || widget->window() != &window) {
            continue;
        }
        QString text;
        QSize needed;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text().isEmpty()) {
                continue;
            }
            text = label->text();
            needed = label->minimumSizeHint();
            if (label->wordWrap()) {
                needed = QSize(0, label->heightForWidth(label->width()));
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text().isEmpty()) {
                continue;
            }
            text = button->text();
            needed = button->minimumSizeHint();
        } else {
            continue;
        }
        const QRect where(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        if (widget->width() < needed.width() || widget->height() < needed.height()) {
            problems.push_back(QStringLiteral("'%1' has %2x%3, needs %4x%5")
                                   .arg(text)
                                   .arg(widget->width())
                                   .arg(widget->height())
                                   .arg(needed.width())
                                   .arg(needed.height())
                                   .toStdString());
        }
        if (!inside.contains(where)) {
            problems.push_back(
                QStringLiteral("'%1' sticks out of the window").arg(text).toStdString());
        }
    }
    return problems;
}

int TallestBlankBand(QWidget& box) {
    const QImage image = box.grab().toImage();
    const QRect rows = box.childrenRect();
    int tallest = 0;
    // Up to the frame's bottom line; left of the rows is the box's own background.
    for (int y = rows.top(), band = 0; y < box.height() - 3; ++y) {
        int x = rows.left();
        while (x <= rows.right() && image.pixel(x, y) == image.pixel(rows.left() - 3, y)) {
            ++x;
        }
        band = x > rows.right() ? band + 1 : 0;
        tallest = std::max(tallest, band);
    }
    return tallest;
}

std::vector<std::string> UnnamedControls(QWidget& window) {
    std::vector<std::string> unnamed;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        // A line edit inside a box is announced as the box, its focus proxy.
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
        if (widget->isVisibleTo(&window) && (widget->focusPolicy() & Qt::TabFocus) &&
            !widget->focusProxy() && control->text(QAccessible::Name).trimmed().isEmpty()) {
            unnamed.push_back(widget->metaObject()->className() +
                              (" " + FromQt(widget->objectName())));
        }
    }
    return unnamed;
}

}  // namespace test
