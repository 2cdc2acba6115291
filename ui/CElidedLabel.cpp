// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CElidedLabel.h"

#include <QFontMetrics>

CElidedLabel::CElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void CElidedLabel::SetFullText(const QString& text) {
    m_strFullText = text;
    Elide();
}

QSize CElidedLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("...")),
            QLabel::minimumSizeHint().height()};
}

QSize CElidedLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_strFullText), QLabel::sizeHint().height()};
}

void CElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void CElidedLabel::Elide() {
    const QString shown =
        fontMetrics().elidedText(m_strFullText, Qt::ElideMiddle, contentsRect().width());
    if (shown != text()) {
        setText(shown);
    }
    setToolTip(shown == m_strFullText ? QString() : m_strFullText);
}
