// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StringTable.h"

#include <iterator>
#include <map>
#include <utility>

namespace {

constexpr std::pair<int, const char*> kStrings[] = {
    {IDS_CANNOT_FIND, "Cannot find \"%s\""},
    {IDS_BROWSE, "Browse"},
    {IDS_FILE_EXISTS_DIFFERENT,
     "File '%s' already exists in '%s' with different content. Would you like to overwrite "
     "it?"},
    {IDS_COPY_ERROR, "An error occurred while copying file \"%s\":\n%s"},
    {IDS_PUBLISH_CAPTION, "Publish"},
    {IDS_SELECT_MEDIA_DIALOG, "Select an HTML5 Video or Audio"},
    {IDS_MEDIA_NOT_EXIST, "File '%s' does not exist, please check the file name and try again."},
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
    {IDS_SELECT_MEDIA_TITLE, "Start"},
    {IDS_SELECT_MEDIA_SUBTITLE, "Select an HTML5 Video or HTML5 Audio file"},
    {IDS_PREVIEW_TOOLTIP, "Preview video or audio in default player"},
    {IDS_SELECT_PLAYER_TITLE, "Select a player"},
    {IDS_SELECT_PLAYER_SUBTITLE, "Select an HTML5 player and view the HTML5 player in browser."},
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
    {IDS_PAGE_NOT_A_FILE,
     "'%s' is not a web page file but a named pipe, a device or a socket. Please load a web "
     "page file from the site and try again."},
    {IDS_PAGE_NAMED_ELSEWHERE,
     "'%s' is another name for the web page '%s', which lies in another folder: links made "
     "for one folder would not work from the other. Please load the web page by its own "
     "path and try again."},
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
    {IDS_LINK_IN_THE_WAY,
     "'%s' is a link to another file. Nothing is written through a link.\nDo you want to "
     "replace the link itself by the published file? What it points to stays as it is."},
    {IDS_LINK_LEFT_ALONE,
     "'%s' is a link to another file and has been left as it is. The page is not published, "
     "so that it does not use a file from elsewhere. Remove the link, or agree to replace "
     "it, then publish again."},
    {IDS_PAGE_CHANGED_BEFORE_PUBLISHING,
     "The web page '%s' has been changed by another program since the publisher read it.\n"
     "Do you want to replace it with the page the publisher made from the earlier version? "
     "Answer No to keep the other program's version; nothing is published into it then."},
    {IDS_PAGE_RELOADED_INSERT_AGAIN,
     "The media, the player or its options have changed, so the web page '%s' has been "
     "loaded again from the disk and the code inserted before is gone. Please insert the "
     "code again."},
    {IDS_INSERTION_WILL_BE_LOST,
     "The code inserted into the web page '%s' has not been published and will be lost.\n"
     "Do you want to quit anyway?"},
    {IDS_FIT_PLAYER, "&Fit the player to the page"},
    {IDS_SHOW_CONTROLS, "Show &controls"},
    {IDS_LOOP, "&Loop"},
    {IDS_AUDIO_AUTOPLAY_NOTE,
     "Browsers start sound only after the visitor has used the site (a click or a key)."},
    {IDS_CAPTIONS_REFUSED, "The captions file '%s' is neither WebVTT nor SubRip.\nLine %d: %s."},
    {IDS_CAPTIONS_NO_TIME_LINE,
     "a time line such as \"00:00:01,000 --> 00:00:04,000\" was expected here"},
    {IDS_CAPTIONS_BAD_TIME, "the time \"%s\" is not hours:minutes:seconds,milliseconds"},
    {IDS_CAPTIONS_NO_CUES, "the file holds no captions"},
    {IDS_CAPTIONS_CHARSET,
     "The captions file '%s' is in a character set that cannot be read (%s). Please save "
     "it as UTF-8."},
    {IDS_CAPTIONS_READ_ERROR, "Cannot read the captions file '%s':\n%s"},
    {IDS_CAPTIONS_WRITE_ERROR, "Cannot write the captions for the web page to '%s':\n%s"},
    {IDS_CAPTIONS_BAD_LANGUAGE,
     "\"%s\" is not a language tag. Please give one such as \"en\", \"fr\" or \"pt-BR\"."},
    {IDS_PREVIEW_SERVER_FAILED, "The preview cannot start its web server on this computer:\n%s"},
    {IDS_FAST_START_LABEL, "Fast start:"},
    {IDS_FAST_START_YES, "Yes"},
    {IDS_FAST_START_NO, "No \u2014 fixed when published"},
    {IDS_POSTER_MOMENT, "Poster &taken at (seconds):"},
    {IDS_POSTER_DARK, "The picture at %s s is nearly black; %s s gives a brighter one."},
    {IDS_POSTER_DARK_NONE, "The picture at %s s is nearly black."},
    {IDS_POSTER_USE_SUGGESTED, "&Use %s s"},
    {IDS_POSTER_MOMENT_TIP,
     "The moment of the video the poster picture is taken from; 0 is its first second."},
    {IDS_CONVERT_OFFER,
     "'%s' is not in a video or audio format that web browsers play.\n%s\nDo you want to "
     "make a web-ready copy of it now? The original file is left as it is."},
    {IDS_CONVERT_PLAN_REMUX,
     "Its video and sound can stay as they are; only the container changes (%s). This is "
     "quick: %s."},
    {IDS_CONVERT_PLAN_AUDIO,
     "Its video stays as it is; only the sound is encoded anew (%s). This takes %s."},
    {IDS_CONVERT_PLAN_ENCODE,
     "It has to be encoded anew as H.264 video with AAC sound (%s). This takes %s."},
    {IDS_CONVERT_PLAN_SOUND, "Its sound is encoded anew (%s). This takes %s."},
    {IDS_CONVERTING, "Making '%s' web-ready..."},
    {IDS_CONVERT_PROGRESS, "%d%% done, %s left"},
    {IDS_CONVERT_FAILED,
     "'%s' could not be made web-ready: %s.\nNo file has been left behind, and the original "
     "is as it was."},
    {IDS_CONVERT_CANCELLED, "The conversion of '%s' was cancelled. No file has been left behind."},
    {IDS_THEORA_NOTE, "Theora video does not play in Safari and in some builds of Chrome."},
    {IDS_THEORA_OFFER,
     "'%s' holds Theora video, which does not play in Safari and in some builds of Chrome.\n"
     "%s\nDo you want to make a copy that plays everywhere now? The original file is left as "
     "it is."},
    {IDS_CONVERT_WITH_OPTION,
     "Run again with --convert to make a web-ready copy of '%s' first. %s"},
    {IDS_CONVERT_TITLE, "Convert a video or audio file for the web"},
    {IDS_CONVERTED, "Made web-ready: '%s'."},
    {IDS_CONVERT_BUTTON, "Make &web-ready..."},
    {IDS_CONVERT_SELECT_DIALOG, "Select a video or audio file to make web-ready"},
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
    {IDS_INSERT_POINT_OPEN,
     "The cursor is %s (line %d), which the page leaves open up to its end: the player "
     "would not show there nor anywhere after it.\n\n"
     "OK: insert the code at the cursor anyway%s.\n"
     "Cancel: insert nothing."},
    {IDS_HTML5_OPTIONS, "HTML5 Options"},
    {IDS_BROWSER_NOT_SUPPORTED, "The browser you are using does not support viewing"},
    {IDS_PLEASE_OPEN_IN, "please open it in"},
    {IDS_SEARCH_TEXT_EMPTY, "Searching text is not! "},
    {IDS_APP_TITLE, "Ombrel DEDE5 Varodo"},
    {IDS_INSERT_IN_FOREIGN,
     "inside the <%s> element, which the browser draws as a picture or formula, not as a page"},
    {IDS_INSERT_IN_LIST,
     "inside the <%s> element, which shows no more than the text of its options"},
    {IDS_INSERT_IN_FALLBACK,
     "inside the <%s> element, whose content shows only where the element itself cannot"},
    {IDS_INSERT_IN_FRAMESET, "in a frameset page, which shows only the pages of its frames"},
    {IDS_PUBLISH_NEXT_STEP,
     "Next: choose the web page to publish into. Type its path in the box above and press "
     "Enter, pick it from the box's list, click the folder button, or drop the page here."},
    {IDS_CONVERT_ESTIMATING, "Estimating the time left\u2026"},
    {IDS_CONVERT_SAVE_DIALOG, "Save the web-ready copy as"},
    {IDS_CONVERT_SAVED,
     "The web-ready copy has been saved as\n%s\n\nPublish it now? Yes opens it on the first "
     "page."},
    {IDS_CONVERT_SAME_FILE, "'%s' is the file being converted; the copy needs a name of its own."},
    {IDS_VARODO_USAGE,
     "Usage: dede5-varodo [OPTION]... [MEDIA-FILE]\n"
     "Publish an HTML5 video or audio file into a page of a web site on disk, step by step.\n"
     "MEDIA-FILE (a path or a file: URL) is opened on the first page.\n\n"
     "  -h, --help     print this help and exit\n"
     "      --version  print the version and exit\n\n"
     "The manual: dede5-varodo(1), or Help > Manual in the window.\n"},
    {IDS_CONVERT_NO_ROOM,
     "'%s' could not be made web-ready: no room is left for it in '%s' (a full disk or "
     "a size limit): %s.\nNo file has been left behind, and the original is as it was."},
    {IDS_CAPTIONS_NOT_A_FILE, "Cannot use '%s' as captions: it is not a regular file."},
    {IDS_CAPTIONS_TOO_LARGE,
     "Cannot use '%s' as captions: it holds %s bytes, and a captions file may hold at most "
     "%s."},
    {IDS_FASTSTART_WITHOUT_FFMPEG,
     "'%s' has its index at its end, and ffmpeg, which would put it first, was not found: "
     "it is published as it is, so that a visitor's browser starts playing it only once it "
     "has all been downloaded. Install ffmpeg, or give --no-faststart to publish it so "
     "without this warning."},
    {IDS_PUBLISHED_AS,
     "'%s' in '%s' holds other content and is kept; the media goes in as '%s', and the "
     "page points at that."},
    {IDS_SYSTEM_ERROR_TEXT, "%s"},
    {IDS_LOG_OPEN_FAILED, "%s could not be opened.\n%s"},
    {IDS_WORK_FOLDER_FAILED, "the working folder %s cannot be made: %s"},
    {IDS_FFMPEG_NOT_FOUND, "ffmpeg was not found; install the ffmpeg package"},
    {IDS_POSTER_MEDIA_GONE, "the video %s is gone"},
    {IDS_POSTER_NOT_TAKEN, "%s could not take a picture from the video"},
    {IDS_FFMPEG_NOT_STARTED, "ffmpeg could not be started: %s"},
    {IDS_FFMPEG_SIGNALLED, "ffmpeg was stopped by signal %d (%s)"},
    {IDS_FFMPEG_NOT_WRITTEN, "ffmpeg could not write the result: %s"},
    {IDS_FFMPEG_STATUS, "ffmpeg ended with status %d"},
    {IDS_FFMPEG_STATUS_WORDS, "ffmpeg ended with status %d: %s"},
    {IDS_CONVERT_NOT_NEEDED, "it plays in web browsers as it is"},
    {IDS_CONVERT_OVER_ORIGINAL, "the result would take the place of the original"},
    {IDS_CONVERT_NO_FILE, "no file can be made in '%s': %s"},
    {IDS_CONVERT_WORD_CANCELLED, "cancelled"},
    {IDS_CONVERT_WORD_STOPPED, "stopped"},
    {IDS_CONVERT_NOT_WEB_READY, "ffmpeg made a file that is not web-ready media"},
    {IDS_CONVERT_NOT_WEB_READY_WORDS, "ffmpeg made a file that is not web-ready media: %s"},
    {IDS_CONVERT_NOT_NAMED, "the result cannot be named %s: %s"},
    {IDS_ABOUT_A_SECOND, "about a second"},
    {IDS_ABOUT_SECONDS, "about %d seconds"},
    {IDS_ABOUT_MINUTES, "about %d minutes"},
    {IDS_ABOUT_HOURS, "about %.1f hours"},
    {IDS_SAMPLE_FILE_ERROR, "%s\n%s"},
    {IDS_RUN_CAPTIONS_NO_FILE, "--captions needs a file"},
    {IDS_RUN_CAPTIONS_BAD_LANGUAGE, "--captions: '%s' is not a language tag (en, fr, pt-BR...)"},
    {IDS_RUN_ANSWERED_NO, "%s No."},
    {IDS_RUN_STOPPED_CONVERSION, "dede5-publish: stopped; %s was not written."},
    {IDS_RUN_STOPPED_PAGES, "dede5-publish: stopped; pages not published yet are as they were."},
    {IDS_RUN_ALREADY_WEB_READY, "%s plays in web browsers as it is; nothing was written."},
    {IDS_RUN_OUT_EXTENSION, "dede5-publish: %s becomes a %s file; name OUT with that extension."},
    {IDS_RUN_OUT_KEPT,
     "dede5-publish: %s already exists; it is kept (--overwrite yes replaces it)."},
    {IDS_RUN_NOT_CONVERTED, "dede5-publish: %s; %s was not converted."},
    {IDS_RUN_POSTER_AT_PAST_END,
     "dede5-publish: --poster-at %g is past the end of %s (%.2f s long; its last picture is "
     "before %.2f s)"},
    {IDS_RUN_AUDIO_CAPTIONS, "No player shows captions for audio; --captions is left out."},
    {IDS_RUN_FILE_LEFT_OUT, "%s\nThe file is left out."},
    {IDS_RUN_NO_POSTER, "dede5-publish: %s: no poster: %s"},
    {IDS_RUN_DARK_POSTER,
     "dede5-publish: %s: the poster picture (the first second) is nearly black%s"},
    {IDS_RUN_BRIGHTER_POSTER, "; --poster-at %g gives a brighter one"},
    {IDS_RUN_PLACE_NOT_FOUND, "'%s' does not occur in '%s'; the page is left as it is."},
    {IDS_RUN_PLAYER_FILES_FAILED, "Some %s files could not be copied into %s: %s"},
    {IDS_RUN_SERVER_CONFIG_FAILED, "The server configuration %s could not be written: %s"},
    {IDS_RUN_PLAYER_FOLDER_FAILED, "The player's files could not be put into %s: %s"},
    {IDS_RUN_PAGE_REPEATED, "%s is a page already published in this run; skipped."},
    {IDS_RUN_PAGE_PLAYS, "%s already plays %s; skipped (--again adds another player)."},
    {IDS_RUN_NOT_PRINTED, "dede5-publish: the code could not be printed: %s"},
    {IDS_RUN_PUBLISHED, "published %s"},
    {IDS_MEDIA_UNREADABLE, "%s cannot be read as media"},
    {IDS_RESULT_CUT_OFF, "the file ends after %d of its %d bytes"},
    {IDS_RESULT_NO_INDEX, "the file has no index (its moov box is missing)"},
    {IDS_RESULT_UNREADABLE, "it cannot be read again: %s"},
    {IDS_RESULT_EMPTY, "the file is empty"},
    {IDS_RESULT_NOT_A_FILE, "it is no regular file"},
    {IDS_FFMPEG_WRITE_FAILED, "ffmpeg could not write the result: %s"},
    {IDS_FFMPEG_INCOMPLETE, "ffmpeg's result is incomplete: %s"},
    {IDS_FFMPEG_RESULT_UNREADABLE, "ffmpeg's result cannot be read as media"},
    {IDS_FFMPEG_RESULT_NO_SOUND, "ffmpeg's result has no sound"},
    {IDS_FFMPEG_RESULT_NO_VIDEO, "ffmpeg's result has no video"},
    {IDS_RESULT_SHORTER,
     "the result lasts %.1f s where the original should last %.1f s; the original seems to be "
     "incomplete or damaged"},
    {IDS_STREAM_NO_PICTURE, "it has no picture to make several qualities of"},
    {IDS_STREAM_INCOMPLETE, "ffmpeg's stream is incomplete: %s"},
    {IDS_STREAM_FAILED,
     "The several qualities of '%s' could not be made: %s.\nNothing has been left behind, and "
     "'%s' is left as it was."},
    {IDS_STREAM_MAKING, "Making several qualities of '%s' for slow connections..."},
    {IDS_STREAM_PLAN, "Qualities: %s, each switched to as the connection allows."},
    {IDS_REPLACE_KEEP_POSTER, "Keep the current poster?"},
    {IDS_SOURCE_REFUSED, "The other source '%s' cannot be offered beside '%s': %s."},
    {IDS_SOURCE_MISSING, "it does not exist"},
    {IDS_SOURCE_UNREADABLE, "it cannot be read as video or audio"},
    {IDS_SOURCE_NOT_PLAYABLE, "browsers cannot play its type or its codecs as they are"},
    {IDS_SOURCE_OTHER_KIND, "it is not of the same kind as the media (video or audio)"},
    {IDS_SOURCE_LENGTH, "it lasts %.1f s and the media %.1f s, more than a second apart"},
    {IDS_SOURCE_SAME_TYPE,
     "it is of the type %s, as the media or another source is, and a browser would never "
     "choose it"},
    {IDS_SOURCES_DIALOG, "Select Other Sources of the Same Video"},
    {IDS_FILE_OVER_LIMIT, "it is larger than %d MiB, the most that is read"},
    {IDS_NOT_A_REGULAR_FILE, "it is not a regular file"},
};

const std::map<int, std::string>& Table() {
    static const std::map<int, std::string> table(std::begin(kStrings), std::end(kStrings));
    return table;
}

}  // namespace

const std::string& LoadStringRes(int id) {
    static const std::string empty;
    auto it = Table().find(id);
    return it == Table().end() ? empty : it->second;
}
