// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/PublishMessages.h"

#include <map>

#include "core/StringTable.h"

const std::string& LoadPublishString(int id) {
    static const std::map<int, std::string> table = {
        {IDS_PAGE_READ_ERROR, "Cannot read the web page '%s':\n%s"},
        {IDS_PAGE_SAVE_ERROR,
         "Cannot save the web page '%s':\n%s\nThe page on disk has been left as it was."},
        {IDS_FILE_WRITE_ERROR, "Cannot write the file '%s':\n%s"},
        {IDS_PAGE_CHANGED_ON_DISK,
         "The web page '%s' has been changed by another program since it was loaded.\n"
         "Do you want to replace it with the page shown here? Choose No to keep the other "
         "program's version; nothing is published then."},
        {IDS_PAGE_CUT_AT_ZERO,
         "The web page '%s' contains a zero byte. The text after it cannot be shown, and it would "
         "be lost when the page is published.\nDo you want to load the page anyway?"},
        {IDS_PAGE_LOSSY_CODEPAGE,
         "The web page '%s' contains characters that the system character set (%s) cannot "
         "represent. They would be replaced by '?' when the page is published.\nDo you want to "
         "load the page anyway?"},
    };
    if (HasStringRes(id)) {
        return LoadStringRes(id);
    }
    static const std::string empty;
    auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}
