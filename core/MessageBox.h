// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>

#include <fmt/printf.h>

#include "core/StringTable.h"

// Box types and answers keep the numbering the rest of the program (and stored answers) use.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_BUTTONMASK = 0xF,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
};

// Shows a message to the user and returns the button chosen. The wizard implements it with Qt
// message boxes, the command-line publisher on the terminal, tests by recording.
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual int Show(unsigned type, const std::string& text) = 0;
};

// The message box everything reports through; never null. Until one is installed, messages go
// to standard error and the first button is the answer.
IMessageBox& GetMessageBox();
// Installs `box` (not owned); null returns to the standard-error box.
void SetMessageBox(IMessageBox* box);

template <typename... Args>
int MessageBoxFormat(unsigned type, const std::string& format, Args&&... args) {
    return GetMessageBox().Show(type, fmt::sprintf(format, std::forward<Args>(args)...));
}

template <typename... Args>
int MessageBoxRes(unsigned type, int id, Args&&... args) {
    return MessageBoxFormat(type, LoadStringRes(id), std::forward<Args>(args)...);
}
