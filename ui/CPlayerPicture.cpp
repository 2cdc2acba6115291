// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPlayerPicture.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CPlayerPicture::CPlayerPicture(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    const QString text = QStringLiteral("View HTML5 player");
    setToolTip(text);
    setAccessibleName(text);
}

void CPlayerPicture::SetPicture(const QPixmap& picture) {
    m_picture = picture;
    update();
}

void CPlayerPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_picture.isNull()) {
        QSize shown = m_picture.deviceIndependentSize().toSize();
        shown.scale(contentsRect().size(), Qt::KeepAspectRatio);
        const QRect where(contentsRect().topLeft(), shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(where, m_picture);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CPlayerPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CPlayerPicture::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}
