// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The modeless Find dialog of the publish page. It only asks: the page searches its source view
// when the dialog sends the text and a code, 1 for upwards plus 10 for matching case.
class CDialogFind : public QDialog {
    Q_OBJECT
public:
    enum : int { kFindUp = 1, kMatchCase = 10 };

    explicit CDialogFind(QWidget* owner);

    QLineEdit* FindEdit() const { return m_pFindEdit; }
    QPushButton* FindNextButton() const { return m_pFindNext; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QCheckBox* MatchCaseBox() const { return m_pMatchCase; }
    QRadioButton* UpButton() const { return m_pUp; }
    QRadioButton* DownButton() const { return m_pDown; }

    void OnFindNext();
    // What the last dialog searched for, so that a new one starts from it.
    void SetSearch(const QString& text, int code);

signals:
    void findInPage(const QString& text, int code);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A message box hands the activation back to whichever window the desktop picks; the next
    // keys belong in the text box.
    void TakeBackFocus();
    QLineEdit* m_pFindEdit = nullptr;
    QPushButton* m_pFindNext = nullptr;
    QPushButton* m_pCancel = nullptr;
    QCheckBox* m_pMatchCase = nullptr;
    QRadioButton* m_pUp = nullptr;
    QRadioButton* m_pDown = nullptr;
};
