// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A one-line text that never widens its window: when it does not fit it is shortened in the
// middle (a long path keeps its start and its file name) and the whole text becomes the tooltip.
class CElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit CElidedLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    QString FullText() const { return m_strFullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_strFullText;
};
