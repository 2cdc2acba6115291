// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Commands of the wizard's help menu and the application's About and Help commands.
enum : int {
    ID_HELP_HOMEPAGE = 32772,
    ID_HELP_CHECK_UPDATES = 32774,
    ID_HELP_ABOUT = 32776,
    ID_HELP_CONVERTER = 32935,
    ID_APP_ABOUT = 57664,
    ID_HELP = 57670,
};

// The user manual installed with the program: it is the home page and the help page.
std::string GetManualPath();
// What a command opens with the desktop's default program: the manual or a web address of the
// string table; empty for the about commands, the conversion (which the wizard runs itself) and
// unknown ids.
std::string GetHelpCommandTarget(int id);
bool IsAboutCommand(int id);
