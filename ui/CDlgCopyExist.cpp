// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CDlgCopyExist.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "publish/MediaCopy.h"
#include "ui/DialogFrame.h"

CDlgCopyExist::CDlgCopyExist(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ToQt(LoadStringRes(IDS_APP_TITLE)));
    setModal(true);

    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);
    m_pText = new QLabel(this);
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);
    m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pText->setMinimumWidth(m_pText->fontMetrics().averageCharWidth() * 50);

    m_pYes = new QPushButton(QStringLiteral("&Yes"), this);
    m_pYesToAll = new QPushButton(QStringLiteral("Yes to &All"), this);
    m_pNo = new QPushButton(QStringLiteral("&No"), this);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pYes->setDefault(true);

    auto* message = new QHBoxLayout;
    message->addWidget(icon);
    message->addWidget(m_pText, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {m_pYes, m_pYesToAll, m_pNo, m_pCancel}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message, 1);
    layout->addLayout(buttons);

    connect(m_pYes, &QPushButton::clicked, this, [this] { done(COPY_EXIST_YES); });
    connect(m_pYesToAll, &QPushButton::clicked, this, [this] { done(COPY_EXIST_YES_TO_ALL); });
    connect(m_pNo, &QPushButton::clicked, this, [this] { done(COPY_EXIST_NO); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { done(COPY_EXIST_CANCEL); });
    ApplyDialogFrame(*this);
}

void CDlgCopyExist::SetText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_pText->setText(shown);
    adjustSize();
}

QString CDlgCopyExist::Text() const {
    return m_pText->text();
}

QPushButton* CDlgCopyExist::Button(int answer) const {
    switch (answer) {
        case COPY_EXIST_YES:
            return m_pYes;
        case COPY_EXIST_YES_TO_ALL:
            return m_pYesToAll;
        case COPY_EXIST_NO:
            return m_pNo;
        case COPY_EXIST_CANCEL:
            return m_pCancel;
        default:
            return nullptr;
    }
}

void CDlgCopyExist::reject() {
    done(COPY_EXIST_CANCEL);
}
