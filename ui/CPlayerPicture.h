// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QPixmap>

// The picture of a player: shown whole from the top left corner, scaled to the room it is given;
// a click (or Space or Return while it has the focus) asks to see the player in a browser.
class CPlayerPicture : public QLabel {
    Q_OBJECT
public:
    explicit CPlayerPicture(QWidget* parent = nullptr);

    void SetPicture(const QPixmap& picture);
    const QPixmap& Picture() const { return m_picture; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap m_picture;
};
