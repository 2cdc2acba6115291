// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HelpCommands.h"

#include "core/Folders.h"
#include "core/StringTable.h"

std::string GetManualPath() {
    return GetInstallFolder() + "/manual/index.html";
}

std::string GetHelpCommandTarget(int id) {
    switch (id) {
        case ID_HELP_HOMEPAGE:
        case ID_HELP:
            return GetManualPath();
        case ID_HELP_CHECK_UPDATES:
            return LoadStringRes(IDS_UPDATE_URL);
        default:
            return {};
    }
}

bool IsAboutCommand(int id) {
    return id == ID_HELP_ABOUT || id == ID_APP_ABOUT;
}
