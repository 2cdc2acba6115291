// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CQtMessageBox.h"

#include <QAbstractButton>
#include <QApplication>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "ui/DialogFrame.h"

namespace {

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The buttons in the order they are shown; the first is the default.
QList<QMessageBox::StandardButton> ButtonsOf(unsigned type) {
    switch (type & MB_BUTTONMASK) {
        case MB_OKCANCEL:
            return {QMessageBox::Ok, QMessageBox::Cancel};
        case MB_ABORTRETRYIGNORE:
            return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
        case MB_YESNOCANCEL:
            return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
        case MB_YESNO:
            return {QMessageBox::Yes, QMessageBox::No};
        case MB_RETRYCANCEL:
            return {QMessageBox::Retry, QMessageBox::Cancel};
        default:
            return {QMessageBox::Ok};
    }
}

}  // namespace

std::unique_ptr<QMessageBox> CQtMessageBox::Create(unsigned type, const std::string& text,
                                                   QWidget* parent) {
    QString body = ToQt(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(ToQt(LoadStringRes(IDS_APP_TITLE)));
    box->setTextFormat(Qt::PlainText);
    box->setText(body);
    box->setIcon(IconOf(type));
    const auto buttons = ButtonsOf(type);
    for (QMessageBox::StandardButton button : buttons) {
        box->addButton(button);
    }
    box->setDefaultButton(buttons.front());
    ApplyDialogFrame(*box);
    return box;
}

int CQtMessageBox::ToId(unsigned type, QMessageBox::StandardButton clicked) {
    switch (clicked) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Abort:
            return IDABORT;
        case QMessageBox::Retry:
            return IDRETRY;
        case QMessageBox::Ignore:
            return IDIGNORE;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            break;
    }
    switch (type & MB_BUTTONMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        default:
            return IDCANCEL;
    }
}

int CQtMessageBox::Show(unsigned type, const std::string& text) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) {
        parent = QApplication::activeWindow();
    }
    auto box = Create(type, text, parent);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    return ToId(type, clicked ? box->standardButton(clicked) : QMessageBox::NoButton);
}
