// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CBoxReport.h"

int ShowMessage(const CError& message, unsigned buttons) {
    if (message.id == 0) {
        return IDCANCEL;
    }
    const unsigned icon = message.kind == MESSAGE_NOTE      ? MB_ICONINFORMATION
                          : message.kind == MESSAGE_WARNING ? MB_ICONWARNING
                                                            : MB_ICONERROR;
    return GetMessageBox().Show(buttons | icon, ErrorText(message));
}
