// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StringTable.h"

#include <map>

namespace {

const std::map<int, std::string>& Table() {
    static const std::map<int, std::string> table = {
        {IDS_CANNOT_FIND, "Cannot find \"%s\""},
        {IDS_BROWSE, "Browse"},
        {IDS_FILE_EXISTS_DIFFERENT,
         "File '%s' already exists in '%s' with different content. Would you like to overwrite "
         "it?"},
        {IDS_COPY_ERROR, "An error occured while copying file \"%s\":\n%s"},
        {IDS_PUBLISH_CAPTION, "Publish"},
        {IDS_SELECT_MEDIA_DIALOG, "Select an HTML5 Video or Audio"},
        {IDS_MEDIA_NOT_EXIST,
         "File '%s' does not exist, please check the file name and try again."},
        {IDS_MEDIA_PARSE_FAILED,
         "Failed to parse file '%s', please select the other file and try again."},
        {IDS_NOT_HTML5_MEDIA,
         "The following files are not in HTML5 video or audio format:\r\n%s\r\nRecommend \"Ombrel "
         "Transcoder\" for format conversion and try again. "},
        {IDS_SELECT_MEDIA_FIRST, "Please select an HTML5 Video or Audio and try again."},
        {IDS_SELECT_SUBFOLDER, "Select resource subfolder relative to Site Root:"},
        {IDS_SELECT_SITE_ROOT, "Select site root folder:"},
        {IDS_SITE_ROOT_EMPTY,
         "The site root folder can not empty, Please select the site root folder and try again."},
        {IDS_PAGE_LOAD_FAILED,
         "Failed to load web page '%s', please check the web page and try again."},
        {IDS_PAGE_NOT_UNDER_ROOT,
         "Please load web page from site root '%s', or its subfolders.\n'%s' is not under site "
         "root, please load other web pages and try again."},
        {IDS_AFTER_PUBLISH_ACTIONS, "Do nothing\nOpen HTML page folder\nView HTML page in browser"},
        {IDS_HTML5_EXTENSIONS, ".mp4\n.webm\n.oga\n.ogg\n.mp3\n.m4a\n.wav"},
        {IDS_SELECT_MEDIA_TITLE, "Start"},
        {IDS_SELECT_MEDIA_SUBTITLE, "Select an HTML5 Video or HTML5 Audio file"},
        {IDS_PREVIEW_TOOLTIP, "Preview video or audio in default player"},
        {IDS_SELECT_PLAYER_TITLE, "Select a player"},
        {IDS_SELECT_PLAYER_SUBTITLE,
         "Select an HTML5 player and view the HTML5 player in browser."},
        {IDS_PUBLISH_PAGE_TITLE, "Finish publishing to HTML page"},
        {IDS_PUBLISH_PAGE_SUBTITLE,
         "Select a web page, insert HTML5 Video or Audio, click \"Publish\" button."},
        {IDS_PUBLISH_BUTTON, "Publish"},
        {IDS_SELECT_PAGE_DIALOG, "Select Web Page"},
        {IDS_PAGE_FILTER,
         "HTML Files (*.htm;*.html;*.asp;*.aspx;*.pl*.jsp;*.cfm;*.ph?)|*.htm;*.html;*.asp;*.aspx;*."
         "pl;*.jsp;*.cfm;*.ph?|All Files (*.*)|*.*||"},
        {IDS_OPTIONS_TOOLTIP, "HTML5 video or audio publish settings"},
        {IDS_CONFIRM_QUIT, "Are you sure to quit now?"},
        {IDS_CONVERTER_URL, "https://www.ombreltec.example/transcoder/"},
        {IDS_PUBLISH_ANOTHER,
         "The HTML5 Video or Audio published successfully. Do you want to publish to the other web "
         "pages?"},
        {IDS_OLE_INIT_FAILED,
         "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
        {IDS_ABOUT, "About"},
        {IDS_OPEN_FAILED, "Failed to open %s. %s"},
        {IDS_FOLDER_NOT_EXIST, "Folder %s does not exist."},
        {IDS_UPDATE_URL, "https://www.ombreltec.example/dede5-varodo/update/"},
        {IDS_APP_NAME, "Ombrel DEDE5 Varodo"},
        {IDS_SUPPORT_ADDRESS, "mailto:support@ombreltec.example"},
        {IDS_WEBSITE_URL, "https://www.ombreltec.example/"},
        {IDS_FOLDER_NOT_WRITABLE,
         "Cannot create files in the specified temporary folder \"%s\". Please check if you have "
         "write permission to the folder."},
        {IDS_HELP_URL, "https://www.ombreltec.example/dede5-varodo/help/"},
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
        {IDS_PAGE_NOT_WRITABLE,
         "The web page '%s' can be read but not written:\n%s\nIt cannot be published. Please "
         "make the page writable, then load it again."},
        {IDS_FOLDER_OUTSIDE_SITE,
         "The folder '%s' is not inside the site root '%s': a '..' or a link leads out of the "
         "site. Nothing has been written. Please choose folders inside the site in Publish "
         "Options."},
        {IDS_PAGE_REPLACED,
         "The web page '%s' was replaced by another file or by a link after it was loaded. "
         "Nothing has been written, neither to what is in its place nor to what a link leads "
         "to.\nPlease check the page, then load it again."},
        {IDS_PAGE_SAVE_KEPT_OLD,
         "Cannot save the web page '%s':\n%s\nThe page may be incomplete. Its previous text has "
         "been kept in '%s'."},
        {IDS_MEDIA_FOLDER_FAILED,
         "Cannot create the media folder '%s':\n%s\nThe web page has been saved, but its media "
         "files have not been copied. Please remove what is in the way or choose another media "
         "folder, then publish again."},
        {IDS_COPYING_FILE, "Copying \"%s\"..."},
        {IDS_POSTER_FAILED,
         "No poster picture could be taken from '%s': %s.\nThe video will be published without "
         "a poster."},
        {IDS_SERVER_CONFIG_LINES,
         "The server configuration '%s' of the site cannot be changed:\n%s\nIt is left as it "
         "was. So that the web server sends the media with the right types, please add these "
         "lines to it:\n%s"},
        {IDS_NEW_FOLDER_FAILED, "Cannot create a folder in '%s':\n%s"},
        {IDS_RENAME_FOLDER_FAILED, "Cannot rename the folder '%s' to '%s':\n%s"},
        {IDS_BAD_FOLDER_NAME, "A folder name cannot be empty, \".\" or \"..\", nor contain \"/\"."},
        {IDS_PROGRAM_FAILED, "%s ended with status %d."},
        {IDS_PROGRAM_KILLED, "%s was stopped by signal %d."},
        {IDS_INSERT_IN_COMMENT, "inside a comment"},
        {IDS_INSERT_IN_TAG, "inside the tag <%s>"},
        {IDS_INSERT_IN_ATTRIBUTE, "inside the attribute \"%s\" of the tag <%s>"},
        {IDS_INSERT_IN_HIDDEN,
         "inside the <%s> element, whose content the browser does not show as part of the page"},
        {IDS_INSERT_IN_HEAD, "in the head of the page, before its body"},
        {IDS_INSERT_IN_MEDIA, "inside another <%s> element"},
        {IDS_INSERT_POINT_QUESTION,
         "The cursor is %s (line %d). The player would not show there.\n\n"
         "Yes: insert the code right after it, at line %d.\n"
         "No: insert the code at the cursor anyway%s.\n"
         "Cancel: insert nothing."},
        {IDS_INSERT_REPLACES_SELECTION,
         "Insert Code replaces the selected text (%d characters) with the player code."},
        {IDS_INSERT_POINT_REFUSED,
         "%s: the player would go %s (line %d), where it would not show. The page is left as "
         "it is; use --force to put the player there anyway."},
        {IDS_INSERT_ANYWAY_REPLACES, ", replacing the selected text"},
        {IDS_HTML5_OPTIONS, "HTML5 Options"},
        {IDS_BROWSER_NOT_SUPPORTED, "The browser you are using does not support viewing"},
        {IDS_PLEASE_OPEN_IN, "please open it in"},
        {IDS_SEARCH_TEXT_EMPTY, "Searching text is not! "},
        {IDS_APP_TITLE, "Ombrel DEDE5 Varodo"},
    };
    return table;
}

}  // namespace

const std::string& LoadStringRes(int id) {
    static const std::string empty;
    const auto& table = Table();
    auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

bool HasStringRes(int id) {
    return Table().count(id) != 0;
}
