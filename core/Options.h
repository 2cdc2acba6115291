// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>

class COptions;

// How a row of the settings table keeps its value in the store.
enum class SettingType : unsigned char {
    Int,
    Flag,     // an int saved as 0 or 1 but loaded as stored
    Counter,  // an int saved one up, and the field with it: it counts the runs that ended
    Text,
    Folder,  // a text given a trailing "/" when loaded
    Texts,   // an array of texts; the value name is a printf format of the index
};

// Defaults that are not the row's constant.
enum class SettingDefault : unsigned char {
    Constant,
    ProcessorCount,
    DefaultFolder,  // m_strDefaultFolder; empty until loaded
    RoomiestDisk,   // DefaultOutputFolder(), found at load; a stored empty text counts as absent
};

// What becomes of a stored int out of its range.
enum class SettingClamp : unsigned char {
    None,
    ToDefault,    // outside min..max: the default
    UpToDefault,  // the nearest of min..default, compared unsigned: a negative value is large
};

// Nothing in the program reads a Kept value; it is loaded and saved only so that the settings
// file keeps it.
enum class SettingUse : unsigned char { Read, Kept };

using SettingTexts = std::string[5];

// One value of COptions in the settings store. Exactly one field pointer is set, as `type` says.
struct SettingRow {
    const char* section;
    const char* name;
    SettingType type;
    int COptions::*pInt = nullptr;
    std::string COptions::*pText = nullptr;
    SettingTexts COptions::*pTexts = nullptr;
    int intDefault = 0;
    const char* textDefault = "";
    SettingDefault from = SettingDefault::Constant;
    SettingClamp clamp = SettingClamp::None;
    int min = 0;
    int max = 0;
    SettingUse use = SettingUse::Read;
};

// The process-wide settings: read once at start, changed by the wizard during the run, written
// once at exit. Folders end with "/".
class COptions {
public:
    static COptions* Instance();
    // Destroys the process-wide object without saving (shutdown, after SaveState).
    static void DestroyInstance();

    virtual ~COptions() = default;
    COptions(const COptions&) = delete;
    COptions& operator=(const COptions&) = delete;

    void LoadState();
    void SaveState();

    // The table LoadState and SaveState go through, in the order they read and write. A new
    // setting is one row there and one field here.
    static std::span<const SettingRow> SettingRows();

    int m_bLoaded = 0;
    // A field with a row in the table starts at the row's default; m_strDefaultFolder and
    // m_strWorkFolder have none and are set by LoadState.
    std::string m_strHistory[5];
    std::string m_strDefaultFolder;
    std::string m_strOutputFolder;
    std::string m_strTempFolder;
    int m_nOutputFolderFormat;
    int m_nEncodingThreads;
    int m_bPromptCancelProfiles;
    int m_nFinishFormat;
    int m_nFramesConvert;
    int m_bAudioRepeated;
    int m_nBitDepth;
    int m_nSnapshotImageFormat;
    std::string m_strLastOpenFolder;
    int m_bMp4Prompt;
    int m_bWebmPrompt;
    int m_bOggPrompt;
    int m_nRunTimes;
    int m_nVideoPlayer;
    int m_bVideoControl;
    int m_bAutoPlay;
    int m_bVideoPoster;
    int m_bVideoLoop;
    int m_nAudioPlayer;
    int m_bAudioAutoPlay;
    int m_bCombineNotify;
    int m_bPromptNotSelectAD;
    std::string m_strWorkFolder;
    int m_bPromptAutoPlayNextFrame;
    int m_bAutoPlayNextFrame;
    int m_bDeleteVideosAfterPublish;
    std::string m_strMediaFolderName;
    int m_nPublishActions;
    int m_nAfterPublishActions;
    int m_bShowAfterPublished;
    std::string m_strSiteRoot;
    std::string m_strJsPath;
    std::string m_strMediaPath;
    int m_bUsedForCapture;
    int m_bCaptureOpenFolder;
    int m_bFitPlayer;
    int m_bQualities;

    // The folder chosen for "Output Folder" when none is stored: the mounted local file system
    // with the most free space (the first one with 20 GiB or more wins at once).
    static std::string DefaultOutputFolder();

    static int ProcessorCount();

private:
    COptions();
};
