// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CFolderChoosers.h"

#include "ui/FolderDialogs.h"

CFolderChoosers CFolderChoosers::Dialogs() {
    return {&BrowseForFolder, &BrowseForSubFolder};
}
