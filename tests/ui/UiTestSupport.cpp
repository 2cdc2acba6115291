// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ui/UiTestSupport.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAccessible>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "app/QtText.h"

namespace test {

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
    int band = 0;
    // The frame's bottom line ends the band.
    for (int y = rows.top(); y < box.height() - 3; ++y) {
        // Left of the rows is the box's own background.
        const QRgb blank = image.pixel(rows.left() - 3, y);
        bool drawn = false;
        for (int x = rows.left(); x <= rows.right() && !drawn; ++x) {
            drawn = image.pixel(x, y) != blank;
        }
        band = drawn ? 0 : band + 1;
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
