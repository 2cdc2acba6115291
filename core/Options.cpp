// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Options.h"

#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kOptionsBlank = "Options ";  // the trailing blank is part of the name
constexpr const char* kHistory = "Options/History";
constexpr const char* kProfiles = "Profiles";
constexpr const char* kVarodo = "DEDE5 Varodo";
constexpr const char* kCapture = "Capture";

std::mutex g_mutex;
COptions* g_instance = nullptr;

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// Decodes the octal escapes /proc/mounts uses for blanks and the like.
std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool ok = true;
            for (size_t k = 1; k <= 3 && ok; ++k) {
                char c = field[i + k];
                ok = c >= '0' && c <= '7';
                value = value * 8 + (c - '0');
            }
            if (ok) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

}  // namespace

COptions* COptions::Instance() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_instance) {
        g_instance = new COptions();
    }
    return g_instance;
}

void COptions::DestroyInstance() {
    std::lock_guard<std::mutex> lock(g_mutex);
    delete g_instance;
    g_instance = nullptr;
}

COptions::COptions() : m_nEncodingThreads(ProcessorCount()) {}

int COptions::ProcessorCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

std::string COptions::DefaultOutputFolder() {
    const std::string appName = LoadStringRes(IDS_APP_NAME);
    std::ifstream mounts("/proc/mounts");
    std::string line;
    std::string best;
    unsigned long long bestFree = 0;
    bool found = false;
    constexpr unsigned long long kEnough = 5ULL << 32;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        fields >> device >> mountPoint;
        // Local disks only: pseudo and network file systems have no /dev device.
        if (!device.starts_with("/dev/")) {
            continue;
        }
        mountPoint = UnescapeMountField(mountPoint);
        struct statvfs vfs {};
        if (::statvfs(mountPoint.c_str(), &vfs) != 0) {
            continue;
        }
        unsigned long long available = static_cast<unsigned long long>(vfs.f_bavail) *
                                       static_cast<unsigned long long>(vfs.f_frsize);
        if (!found || available > bestFree) {
            best = mountPoint;
            bestFree = available;
            found = true;
        }
        if (bestFree >= kEnough) {
            break;
        }
    }
    if (!found) {
        best = "/";
    }
    const std::string temp = GetTempFolder();
    if (SameDevice(temp, best)) {
        return AddBackslash(temp);
    }
    const std::string documents = GetUserDocumentsFolder();
    if (SameDevice(documents, best)) {
        return AddBackslash(documents + "/" + appName);
    }
    return AddBackslash(AddBackslash(best) + appName);
}

void COptions::LoadState() {
    const ISettingsStore& s = GetSettingsStore();
    const std::string appName = LoadStringRes(IDS_APP_NAME);

    for (int i = 0; i < 5; ++i) {
        m_strHistory[i] = s.GetString(kHistory, fmt::sprintf("Converted SWF %d", i), "");
    }

    std::string media = GetUserVideosFolder();
    if (!IsFolder(media)) {
        media = GetUserDocumentsFolder();
    }
    m_strDefaultFolder = AddBackslash(AddBackslash(media) + appName);

    m_strOutputFolder = s.GetString(kOptions, "Output Folder", "");
    if (m_strOutputFolder.empty()) {
        m_strOutputFolder = DefaultOutputFolder();
    }
    m_strOutputFolder = AddBackslash(m_strOutputFolder);

    m_nOutputFolderFormat = s.GetInt(kOptions, "Output Folder Format", 0);
    m_strTempFolder = AddBackslash(s.GetString(kOptions, "Temp Folder", m_strDefaultFolder));

    const int processors = ProcessorCount();
    CLog::Instance()->Write("GetNumberOfProcesseors()=%d.\r\n", processors);
    // Compared unsigned, so a negative stored value counts as very large.
    unsigned threads = static_cast<unsigned>(s.GetInt(kOptions, "Encoding Threads", processors));
    if (threads > static_cast<unsigned>(processors)) {
        threads = static_cast<unsigned>(processors);
    }
    m_nEncodingThreads = threads == 0 ? 1 : static_cast<int>(threads);

    m_bPromptCancelProfiles = s.GetInt(kProfiles, "Prompt Cancel Profiles", 1);
    m_nFinishFormat = s.GetInt(kOptions, "Finish Format", 0);
    m_nFramesConvert = s.GetInt(kOptions, "Frames Convert", 100);
    m_bAudioRepeated = s.GetInt(kOptions, "Audio Rapeated", 0);
    m_nBitDepth = s.GetInt(kOptions, "Bit Depth", 1);
    m_nSnapshotImageFormat = s.GetInt(kOptions, "Snapshot Image Format", 2);
    m_strLastOpenFolder = s.GetString(kOptions, "Last Open Folder", "");
    m_bMp4Prompt = s.GetInt(kOptions, "HTML5 MP4 Video Prompt", 1);
    m_bWebmPrompt = s.GetInt(kOptions, "HTML5 WebM Video Prompt", 1);
    m_bOggPrompt = s.GetInt(kOptions, "HTML5 OGG Video Prompt", 1);
    m_nRunTimes = s.GetInt(kOptions, "Run Times", 0);
    m_nVideoPlayer = s.GetInt(kVarodo, "CSS", 0);
    if (m_nVideoPlayer < 0 || m_nVideoPlayer > 4) {
        m_nVideoPlayer = 0;
    }
    m_bVideoControl = s.GetInt(kVarodo, "Video Control", 1);
    m_bAutoPlay = s.GetInt(kVarodo, "Auto Play", 0);
    m_bVideoPoster = s.GetInt(kVarodo, "Video Poster", 1);
    m_bVideoLoop = s.GetInt(kVarodo, "Video Loop", 0);
    m_nAudioPlayer = s.GetInt(kVarodo, "Audio Player", 0);
    if (m_nAudioPlayer != 0) {
        m_nAudioPlayer = 0;
    }
    m_bAudioAutoPlay = s.GetInt(kVarodo, "Audio Auto Play", 0);
    m_bLoaded = 1;

    m_bCombineNotify = s.GetInt(kOptions, "Combine Notify", 1);
    m_bPromptNotSelectAD = s.GetInt(kVarodo, "Prompt Not Select AD", 1);
    m_bPromptAutoPlayNextFrame = s.GetInt(kOptions, "Prompt Auto Play Next Frame", 1);
    m_bAutoPlayNextFrame = s.GetInt(kOptions, "Auto Play Next Frame", 0);
    m_bDeleteVideosAfterPublish = s.GetInt(kOptionsBlank, "Delete Videos After Publish", 0);
    m_strMediaFolderName = s.GetString(kOptions, "Media Folder Name", "medias");
    m_nPublishActions = s.GetInt(kOptionsBlank, "Publish Actions", 1);
    m_nAfterPublishActions = s.GetInt(kOptionsBlank, "After Publish Actions", 1);
    m_bShowAfterPublished = s.GetInt(kOptionsBlank, "Show After Published", 1);

    if (!IsValidPath(m_strTempFolder) ||
        (!IsFolder(m_strTempFolder) && !CreateFolders(m_strTempFolder))) {
        m_strTempFolder = m_strDefaultFolder;
    }
    m_strWorkFolder = fmt::sprintf("%s/OmbrelTec/%s/Tempory", GetAppDataFolder(), appName);

    m_strSiteRoot = s.GetString(kOptions, "Site Root", "");
    m_strJsPath = s.GetString(kOptions, "JS Path", "");
    m_strMediaPath = s.GetString(kOptions, "Media Path", "");
    m_bUsedForCapture = s.GetInt(kCapture, "Used for Capture", 0);
    m_bCaptureOpenFolder = s.GetInt(kCapture, "Open Folder", 1);
}

void COptions::SaveState() {
    if (!m_bLoaded) {
        return;
    }
    ISettingsStore& s = GetSettingsStore();
    for (int i = 0; i < 5; ++i) {
        s.WriteString(kHistory, fmt::sprintf("Converted SWF %d", i), m_strHistory[i]);
    }
    s.WriteString(kOptions, "Output Folder", m_strOutputFolder);
    s.WriteString(kOptions, "Temp Folder", m_strTempFolder);
    s.WriteInt(kOptions, "Output Folder Format", m_nOutputFolderFormat);
    s.WriteInt(kOptions, "Encoding Threads", m_nEncodingThreads);
    s.WriteInt(kProfiles, "Prompt Cancel Profiles", m_bPromptCancelProfiles);
    s.WriteInt(kOptions, "Finish Format", m_nFinishFormat);
    s.WriteInt(kOptions, "Frames Convert", m_nFramesConvert);
    s.WriteInt(kOptions, "Audio Rapeated", m_bAudioRepeated);
    s.WriteInt(kOptions, "Bit Depth", m_nBitDepth);
    s.WriteInt(kOptions, "Snapshot Image Format", m_nSnapshotImageFormat);
    s.WriteString(kOptions, "Last Open Folder", m_strLastOpenFolder);
    s.WriteInt(kOptions, "HTML5 MP4 Video Prompt", m_bMp4Prompt);
    s.WriteInt(kOptions, "HTML5 WebM Video Prompt", m_bWebmPrompt);
    s.WriteInt(kOptions, "HTML5 OGG Video Prompt", m_bOggPrompt);
    s.WriteInt(kOptions, "Run Times", m_nRunTimes + 1);
    ++m_nRunTimes;
    s.WriteInt(kVarodo, "CSS", m_nVideoPlayer);
    s.WriteInt(kVarodo, "Video Control", m_bVideoControl);
    s.WriteInt(kVarodo, "Auto Play", m_bAutoPlay);
    s.WriteInt(kVarodo, "Video Poster", m_bVideoPoster);
    s.WriteInt(kVarodo, "Video Loop", m_bVideoLoop);
    s.WriteInt(kVarodo, "Audio Player", m_nAudioPlayer);
    s.WriteInt(kVarodo, "Audio Auto Play", m_bAudioAutoPlay);
    s.WriteInt(kOptions, "Combine Notify", m_bCombineNotify ? 1 : 0);
    s.WriteInt(kVarodo, "Prompt Not Select AD", m_bPromptNotSelectAD);
    DeleteFolder(m_strWorkFolder);
    s.WriteInt(kOptions, "Prompt Auto Play Next Frame", m_bPromptAutoPlayNextFrame);
    s.WriteInt(kOptions, "Auto Play Next Frame", m_bAutoPlayNextFrame);
    s.WriteInt(kOptionsBlank, "Delete Videos After Publish", m_bDeleteVideosAfterPublish);
    s.WriteString(kOptions, "Media Folder Name", m_strMediaFolderName);
    s.WriteInt(kOptionsBlank, "Publish Actions", m_nPublishActions);
    s.WriteInt(kOptionsBlank, "After Publish Actions", m_nAfterPublishActions);
    s.WriteInt(kOptionsBlank, "Show After Published", m_bShowAfterPublished);
    s.WriteString(kOptions, "Site Root", m_strSiteRoot);
    s.WriteString(kOptions, "JS Path", m_strJsPath);
    s.WriteString(kOptions, "Media Path", m_strMediaPath);
    s.WriteInt(kCapture, "Used for Capture", m_bUsedForCapture);
    s.WriteInt(kCapture, "Open Folder", m_bCaptureOpenFolder);
    s.Flush();
    CLog::Instance()->Write("COptions::SaveState().\r\n");
}
