// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Messages of the publish page that the program's string table does not hold yet.
enum PublishPageStringId : int {
    IDS_MEDIA_FOLDER_FAILED = 330,
    IDS_COPYING_FILE = 331,
};

// The text of a message: the string table's entry once it has one, else the page's own.
const std::string& LoadPublishPageString(int id);
