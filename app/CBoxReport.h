// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Error.h"
#include "core/MessageBox.h"

// Shows an engine message in the installed message box (the wizard's boxes, the command line's
// lines on standard error) with the icon of its kind; the button chosen. A message without a
// string-table id has been said already (a question the user declined) and shows nothing.
int ShowMessage(const CError& message, unsigned buttons = MB_OK);

// The engine's messages and questions through the installed message box.
class CBoxReport : public IReport {
public:
    void Tell(const CError& message) override { ShowMessage(message); }
    bool Ask(const CError& question) override { return ShowMessage(question, MB_YESNO) == IDYES; }
};
