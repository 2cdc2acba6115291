// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CQtMessageBox.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMetaObject>
#include <QPushButton>

#include "core/StringTable.h"

namespace {

TEST(QtMessageBox, TypeGivesButtonsIconAndCaption) {
    using B = QMessageBox;
    const struct {
        unsigned type;
        QList<B::StandardButton> buttons;  // the first is the default
        B::Icon icon;
    } rows[] = {
        {MB_OK, {B::Ok}, B::NoIcon},
        {MB_OK | MB_ICONWARNING, {B::Ok}, B::Warning},
        {MB_OK | MB_ICONERROR, {B::Ok}, B::Critical},
        {MB_OK | MB_ICONINFORMATION, {B::Ok}, B::Information},
        {MB_YESNO | MB_ICONQUESTION, {B::Yes, B::No}, B::Question},
        {MB_YESNOCANCEL | MB_ICONWARNING, {B::Yes, B::No, B::Cancel}, B::Warning},
        {MB_OKCANCEL, {B::Ok, B::Cancel}, B::NoIcon},
        {MB_RETRYCANCEL | MB_ICONERROR, {B::Retry, B::Cancel}, B::Critical},
        {MB_ABORTRETRYIGNORE, {B::Abort, B::Retry, B::Ignore}, B::NoIcon},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        auto box = CQtMessageBox::Create(row.type, "line one\r\nline two", nullptr);
        EXPECT_EQ(box->windowTitle(), "Ombrel DEDE5 Varodo");
        EXPECT_EQ(box->text(), "line one\nline two");
        EXPECT_EQ(box->icon(), row.icon);
        QList<B::StandardButton> buttons;
        for (QAbstractButton* button : box->buttons()) {
            buttons << box->standardButton(button);
        }
        std::sort(buttons.begin(), buttons.end());
        QList<B::StandardButton> expected = row.buttons;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(buttons, expected);
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                  box->button(row.buttons.front()));
    }
}

TEST(QtMessageBox, AnswersInTheProgramsNumbering) {
    using B = QMessageBox;
    const struct {
        unsigned type;
        B::StandardButton clicked;
        int id;
    } rows[] = {
        {MB_OK, B::Ok, IDOK},
        {MB_OKCANCEL, B::Cancel, IDCANCEL},
        {MB_YESNO, B::Yes, IDYES},
        {MB_YESNO, B::No, IDNO},
        {MB_ABORTRETRYIGNORE, B::Abort, IDABORT},
        {MB_ABORTRETRYIGNORE, B::Retry, IDRETRY},
        {MB_ABORTRETRYIGNORE, B::Ignore, IDIGNORE},
        // Closed without a click: the answer a box of that kind gives to Escape.
        {MB_OK, B::NoButton, IDOK},
        {MB_OKCANCEL, B::NoButton, IDCANCEL},
        {MB_YESNO, B::NoButton, IDNO},
        {MB_YESNOCANCEL, B::NoButton, IDCANCEL},
        {MB_RETRYCANCEL, B::NoButton, IDCANCEL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(CQtMessageBox::ToId(row.type, row.clicked), row.id);
    }
}

TEST(QtMessageBox, ShowWaitsForTheUsersAnswer) {
    for (auto [button, id] :
         {std::pair{QMessageBox::No, IDNO}, std::pair{QMessageBox::Yes, IDYES}}) {
        SCOPED_TRACE(id);
        std::string seenText;
        // Runs inside the box's own event loop, as the user's click would.
        QMetaObject::invokeMethod(
            qApp,
            [&seenText, button = button] {
                QMessageBox* box = nullptr;
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* candidate = qobject_cast<QMessageBox*>(widget);
                        candidate && candidate->isVisible()) {
                        box = candidate;
                    }
                }
                if (!box) {
                    return;
                }
                seenText = box->text().toStdString();
                box->button(button)->click();
            },
            Qt::QueuedConnection);
        CQtMessageBox messages;
        EXPECT_EQ(messages.Show(MB_YESNO | MB_ICONQUESTION, LoadStringRes(IDS_CONFIRM_QUIT)), id);
        EXPECT_EQ(seenText, LoadStringRes(IDS_CONFIRM_QUIT));
    }
}

}  // namespace
