// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Asks about one file of the same name and other content in the media folder. The result is the
// answer in the numbering of the copy engine: Yes 1, Yes to All 1000, No 7, Cancel 2 (also for
// Escape and the close box).
class CDlgCopyExist : public QDialog {
    Q_OBJECT
public:
    explicit CDlgCopyExist(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const;
    // The button of an answer, or null.
    QPushButton* Button(int answer) const;

    void reject() override;

private:
    QLabel* m_pText = nullptr;
    QPushButton* m_pYes = nullptr;
    QPushButton* m_pYesToAll = nullptr;
    QPushButton* m_pNo = nullptr;
    QPushButton* m_pCancel = nullptr;
};
