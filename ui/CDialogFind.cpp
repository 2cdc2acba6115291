// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CDialogFind.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/MessageBox.h"
#include "core/StringTable.h"
#include "ui/DialogFrame.h"

CDialogFind::CDialogFind(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Find"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
    m_pFindEdit = new QLineEdit(this);
    label->setBuddy(m_pFindEdit);
    m_pFindNext = new QPushButton(QStringLiteral("&Find Next"), this);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pMatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    m_pUp = new QRadioButton(QStringLiteral("&Up"), direction);
    m_pDown = new QRadioButton(QStringLiteral("&Down"), direction);
    m_pDown->setChecked(true);
    auto* directions = new QHBoxLayout(direction);
    directions->addWidget(m_pUp);
    directions->addWidget(m_pDown);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pFindEdit, 0, 1, 1, 2);
    grid->addWidget(m_pMatchCase, 1, 0, 1, 2, Qt::AlignBottom);
    grid->addWidget(direction, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pFindNext);
    buttons->addWidget(m_pCancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 2, 1);
    grid->setColumnStretch(1, 1);

    m_pFindNext->setDefault(true);
    m_pFindNext->setEnabled(false);
    connect(m_pFindEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_pFindNext->setEnabled(!text.isEmpty()); });
    connect(m_pFindNext, &QPushButton::clicked, this, &CDialogFind::OnFindNext);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::close);
    ApplyDialogFrame(*this);
}

void CDialogFind::OnFindNext() {
    const QString text = m_pFindEdit->text();
    if (text.isEmpty()) {
        MessageBoxRes(MB_OK, IDS_SEARCH_TEXT_EMPTY);
        TakeBackFocus();
        return;
    }
    emit findInPage(
        text, (m_pUp->isChecked() ? kFindUp : 0) + (m_pMatchCase->isChecked() ? kMatchCase : 0));
    TakeBackFocus();
}

void CDialogFind::TakeBackFocus() {
    if (isVisible()) {
        raise();
        activateWindow();
        m_pFindEdit->setFocus(Qt::OtherFocusReason);
    }
}

void CDialogFind::SetSearch(const QString& text, int code) {
    m_pFindEdit->setText(text);
    m_pFindEdit->selectAll();
    m_pUp->setChecked((code % 10) != 0);
    m_pDown->setChecked((code % 10) == 0);
    m_pMatchCase->setChecked(code / 10 != 0);
}

void CDialogFind::keyPressEvent(QKeyEvent* event) {
    // Enter searches even while Find Next is disabled, which tells why nothing happens.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier && !qobject_cast<QPushButton*>(focusWidget())) {
        OnFindNext();
        return;
    }
    QDialog::keyPressEvent(event);
}
