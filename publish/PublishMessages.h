// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Messages of the page engine that the program's string table does not hold yet.
enum PublishStringId : int {
    IDS_PAGE_READ_ERROR = 300,
    IDS_PAGE_SAVE_ERROR = 301,
    IDS_FILE_WRITE_ERROR = 302,
    IDS_PAGE_CHANGED_ON_DISK = 303,
    IDS_PAGE_CUT_AT_ZERO = 304,
    IDS_PAGE_LOSSY_CODEPAGE = 305,
};

// The text of a message: the string table's entry once it has one, else the engine's own.
const std::string& LoadPublishString(int id);
