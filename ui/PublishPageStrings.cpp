// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PublishPageStrings.h"

#include <map>

#include "core/StringTable.h"

const std::string& LoadPublishPageString(int id) {
    static const std::map<int, std::string> table = {
        {IDS_MEDIA_FOLDER_FAILED,
         "Cannot create the media folder '%s':\n%s\nThe web page has been saved, but its media "
         "files have not been copied. Please remove what is in the way or choose another media "
         "folder, then publish again."},
        {IDS_COPYING_FILE, "Copying \"%s\"..."},
    };
    if (HasStringRes(id)) {
        return LoadStringRes(id);
    }
    static const std::string empty;
    auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}
