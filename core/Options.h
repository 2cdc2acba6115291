// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

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

    int m_bLoaded = 0;
    std::string m_strHistory[5];
    std::string m_strDefaultFolder;
    std::string m_strOutputFolder;
    std::string m_strTempFolder;
    int m_nOutputFolderFormat = 0;
    int m_nEncodingThreads = 1;
    int m_bPromptCancelProfiles = 1;
    int m_nFinishFormat = 0;
    int m_nFramesConvert = 100;
    int m_bAudioRepeated = 0;
    int m_nBitDepth = 1;
    int m_nSnapshotImageFormat = 2;
    std::string m_strLastOpenFolder;
    int m_bMp4Prompt = 1;
    int m_bWebmPrompt = 1;
    int m_bOggPrompt = 1;
    int m_nRunTimes = 0;
    int m_nVideoPlayer = 0;
    int m_bVideoControl = 1;
    int m_bAutoPlay = 0;
    int m_bVideoPoster = 1;
    int m_bVideoLoop = 0;
    int m_nAudioPlayer = 0;
    int m_bAudioAutoPlay = 0;
    int m_bCombineNotify = 1;
    int m_bPromptNotSelectAD = 1;
    std::string m_strWorkFolder;
    int m_bPromptAutoPlayNextFrame = 1;
    int m_bAutoPlayNextFrame = 0;
    int m_bDeleteVideosAfterPublish = 0;
    std::string m_strMediaFolderName = "medias";
    int m_nPublishActions = 1;
    int m_nAfterPublishActions = 1;
    int m_bShowAfterPublished = 1;
    std::string m_strSiteRoot;
    std::string m_strJsPath;
    std::string m_strMediaPath;
    int m_bUsedForCapture = 0;
    int m_bCaptureOpenFolder = 1;

    // The folder chosen for "Output Folder" when none is stored: the mounted local file system
    // with the most free space (the first one with 20 GiB or more wins at once).
    static std::string DefaultOutputFolder();
    static int ProcessorCount();

private:
    COptions();
};
