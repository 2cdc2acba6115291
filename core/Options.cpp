// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Options.h"

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"
#include "players/PlayerInfo.h"

namespace {

using settings::kOptions;
constexpr const char* kOptionsBlank = "Options ";  // the trailing blank is part of the name
constexpr const char* kHistory = "Options/History";
constexpr const char* kProfiles = "Profiles";
constexpr const char* kVarodo = "DEDE5 Varodo";
constexpr const char* kCapture = "Capture";

constexpr SettingUse kRead = SettingUse::Read;
constexpr SettingUse kKept = SettingUse::Kept;

struct Range {
    SettingClamp clamp = SettingClamp::None;
    int min = 0;
    int max = 0;
};

constexpr Range ElseDefault(int min, int max) {
    return {SettingClamp::ToDefault, min, max};
}

constexpr Range UpToDefault(int min) {
    return {SettingClamp::UpToDefault, min, 0};
}

constexpr SettingRow Row(const char* section, const char* name, SettingType type, SettingUse use) {
    SettingRow row{};
    row.section = section;
    row.name = name;
    row.type = type;
    row.use = use;
    return row;
}

constexpr SettingRow Int(const char* section, const char* name, int COptions::*field, int def,
                         SettingUse use, Range range = {}, SettingType type = SettingType::Int) {
    SettingRow row = Row(section, name, type, use);
    row.pInt = field;
    row.intDefault = def;
    row.clamp = range.clamp;
    row.min = range.min;
    row.max = range.max;
    return row;
}

constexpr SettingRow Int(const char* section, const char* name, int COptions::*field,
                         SettingDefault from, SettingUse use, Range range) {
    SettingRow row = Int(section, name, field, 0, use, range);
    row.from = from;
    return row;
}

constexpr SettingRow Flag(const char* section, const char* name, int COptions::*field, int def,
                          SettingUse use) {
    return Int(section, name, field, def, use, {}, SettingType::Flag);
}

constexpr SettingRow Counter(const char* section, const char* name, int COptions::*field,
                             SettingUse use) {
    return Int(section, name, field, 0, use, {}, SettingType::Counter);
}

constexpr SettingRow Text(const char* section, const char* name, std::string COptions::*field,
                          const char* def, SettingUse use) {
    SettingRow row = Row(section, name, SettingType::Text, use);
    row.pText = field;
    row.textDefault = def;
    return row;
}

constexpr SettingRow Folder(const char* section, const char* name, std::string COptions::*field,
                            SettingDefault from, SettingUse use) {
    SettingRow row = Row(section, name, SettingType::Folder, use);
    row.pText = field;
    row.from = from;
    return row;
}

constexpr SettingRow Texts(const char* section, const char* nameFormat,
                           SettingTexts COptions::*field, SettingUse use) {
    SettingRow row = Row(section, nameFormat, SettingType::Texts, use);
    row.pTexts = field;
    return row;
}

// Read and written in this order. kKept marks the values nothing in the program reads: they
// are loaded and saved only so that the settings file keeps them.
constexpr SettingRow kSettingRows[] = {
    Texts(kHistory, "Converted SWF %d", &COptions::m_strHistory, kKept),
    Folder(kOptions, "Output Folder", &COptions::m_strOutputFolder, SettingDefault::RoomiestDisk,
           kKept),
    Int(kOptions, "Output Folder Format", &COptions::m_nOutputFolderFormat, 0, kKept),
    Folder(kOptions, "Temp Folder", &COptions::m_strTempFolder, SettingDefault::DefaultFolder,
           kKept),
    Int(kOptions, "Encoding Threads", &COptions::m_nEncodingThreads, SettingDefault::ProcessorCount,
        kKept, UpToDefault(1)),
    Int(kProfiles, "Prompt Cancel Profiles", &COptions::m_bPromptCancelProfiles, 1, kKept),
    Int(kOptions, "Finish Format", &COptions::m_nFinishFormat, 0, kKept),
    Int(kOptions, "Frames Convert", &COptions::m_nFramesConvert, 100, kKept),
    Int(kOptions, "Audio Rapeated", &COptions::m_bAudioRepeated, 0, kKept),
    Int(kOptions, "Bit Depth", &COptions::m_nBitDepth, 1, kKept),
    Int(kOptions, "Snapshot Image Format", &COptions::m_nSnapshotImageFormat, 2, kKept),
    Text(kOptions, "Last Open Folder", &COptions::m_strLastOpenFolder, "", kKept),
    Int(kOptions, "HTML5 MP4 Video Prompt", &COptions::m_bMp4Prompt, 1, kKept),
    Int(kOptions, "HTML5 WebM Video Prompt", &COptions::m_bWebmPrompt, 1, kKept),
    Int(kOptions, "HTML5 OGG Video Prompt", &COptions::m_bOggPrompt, 1, kKept),
    Counter(kOptions, "Run Times", &COptions::m_nRunTimes, kRead),
    Int(kVarodo, "CSS", &COptions::m_nVideoPlayer, 0, kRead,
        ElseDefault(0, static_cast<int>(std::size(kVideoPlayers)) - 1)),
    Int(kVarodo, "Video Control", &COptions::m_bVideoControl, 1, kRead),
    Int(kVarodo, "Auto Play", &COptions::m_bAutoPlay, 0, kRead),
    Int(kVarodo, "Video Poster", &COptions::m_bVideoPoster, 1, kRead),
    Int(kVarodo, "Video Loop", &COptions::m_bVideoLoop, 0, kRead),
    Int(kVarodo, "Audio Player", &COptions::m_nAudioPlayer, 0, kRead,
        ElseDefault(0, static_cast<int>(std::size(kAudioPlayers)) - 1)),
    Int(kVarodo, "Audio Auto Play", &COptions::m_bAudioAutoPlay, 0, kRead),
    Flag(kOptions, "Combine Notify", &COptions::m_bCombineNotify, 1, kKept),
    Int(kVarodo, "Prompt Not Select AD", &COptions::m_bPromptNotSelectAD, 1, kKept),
    Int(kOptions, "Prompt Auto Play Next Frame", &COptions::m_bPromptAutoPlayNextFrame, 1, kKept),
    Int(kOptions, "Auto Play Next Frame", &COptions::m_bAutoPlayNextFrame, 0, kKept),
    Int(kOptionsBlank, "Delete Videos After Publish", &COptions::m_bDeleteVideosAfterPublish, 0,
        kKept),
    Text(kOptions, "Media Folder Name", &COptions::m_strMediaFolderName, "medias", kRead),
    Int(kOptionsBlank, "Publish Actions", &COptions::m_nPublishActions, 1, kKept),
    Int(kOptionsBlank, "After Publish Actions", &COptions::m_nAfterPublishActions, 1, kRead),
    Int(kOptionsBlank, "Show After Published", &COptions::m_bShowAfterPublished, 1, kKept),
    Text(kOptions, "Site Root", &COptions::m_strSiteRoot, "", kRead),
    Text(kOptions, "JS Path", &COptions::m_strJsPath, "", kRead),
    Text(kOptions, "Media Path", &COptions::m_strMediaPath, "", kRead),
    Int(kCapture, "Used for Capture", &COptions::m_bUsedForCapture, 0, kRead),
    Int(kCapture, "Open Folder", &COptions::m_bCaptureOpenFolder, 1, kKept),
    Int(kOptions, settings::kFitPlayer, &COptions::m_bFitPlayer, 1, kRead),
    Int(kOptions, "Several Qualities", &COptions::m_bQualities, 0, kRead),
};

constexpr bool SameText(const char* a, const char* b) {
    return std::string_view(a) == std::string_view(b);
}

// Two rows under one name would load one value into both fields and save only the later; two
// rows of one field would save it twice.
constexpr bool RowsAreDistinct() {
    for (size_t i = 0; i < std::size(kSettingRows); ++i) {
        for (size_t k = i + 1; k < std::size(kSettingRows); ++k) {
            const SettingRow& a = kSettingRows[i];
            const SettingRow& b = kSettingRows[k];
            if (SameText(a.section, b.section) && SameText(a.name, b.name)) {
                return false;
            }
            if ((a.pInt && a.pInt == b.pInt) || (a.pText && a.pText == b.pText) ||
                (a.pTexts && a.pTexts == b.pTexts)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(RowsAreDistinct(), "two settings rows share a value name or a field");

int IntDefault(const SettingRow& row) {
    return row.from == SettingDefault::ProcessorCount ? COptions::ProcessorCount() : row.intDefault;
}

int Clamped(const SettingRow& row, int value, int def) {
    switch (row.clamp) {
        case SettingClamp::None:
            break;
        case SettingClamp::ToDefault:
            return value < row.min || value > row.max ? def : value;
        case SettingClamp::UpToDefault:
            if (static_cast<unsigned>(value) > static_cast<unsigned>(def)) {
                return def;
            }
            return value < row.min ? row.min : value;
    }
    return value;
}

void ApplyDefault(const SettingRow& row, COptions& o) {
    switch (row.type) {
        case SettingType::Int:
        case SettingType::Flag:
        case SettingType::Counter:
            o.*row.pInt = IntDefault(row);
            break;
        case SettingType::Text:
        case SettingType::Folder:
            o.*row.pText = row.textDefault;
            break;
        case SettingType::Texts:
            for (std::string& text : o.*row.pTexts) {
                text = row.textDefault;
            }
            break;
    }
}

void Load(const SettingRow& row, const ISettingsStore& s, COptions& o) {
    switch (row.type) {
        case SettingType::Int:
        case SettingType::Flag:
        case SettingType::Counter: {
            const int def = IntDefault(row);
            o.*row.pInt = Clamped(row, s.GetInt(row.section, row.name, def), def);
            break;
        }
        case SettingType::Text:
            o.*row.pText = s.GetString(row.section, row.name, row.textDefault);
            break;
        case SettingType::Folder: {
            std::string folder = s.GetString(
                row.section, row.name,
                row.from == SettingDefault::DefaultFolder ? o.m_strDefaultFolder : row.textDefault);
            if (folder.empty() && row.from == SettingDefault::RoomiestDisk) {
                folder = COptions::DefaultOutputFolder();
            }
            o.*row.pText = AddBackslash(folder);
            break;
        }
        case SettingType::Texts:
            for (size_t i = 0; i < std::size(o.*row.pTexts); ++i) {
                (o.*row.pTexts)[i] = s.GetString(
                    row.section, fmt::sprintf(row.name, static_cast<int>(i)), row.textDefault);
            }
            break;
    }
}

void Save(const SettingRow& row, ISettingsStore& s, COptions& o) {
    switch (row.type) {
        case SettingType::Int:
            s.WriteInt(row.section, row.name, o.*row.pInt);
            break;
        case SettingType::Flag:
            s.WriteInt(row.section, row.name, o.*row.pInt ? 1 : 0);
            break;
        case SettingType::Counter:
            s.WriteInt(row.section, row.name, ++(o.*row.pInt));
            break;
        case SettingType::Text:
        case SettingType::Folder:
            s.WriteString(row.section, row.name, o.*row.pText);
            break;
        case SettingType::Texts:
            for (size_t i = 0; i < std::size(o.*row.pTexts); ++i) {
                s.WriteString(row.section, fmt::sprintf(row.name, static_cast<int>(i)),
                              (o.*row.pTexts)[i]);
            }
            break;
    }
}

std::mutex g_mutex;
COptions* g_instance = nullptr;

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
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

COptions::COptions() {
    for (const SettingRow& row : kSettingRows) {
        ApplyDefault(row, *this);
    }
}

std::span<const SettingRow> COptions::SettingRows() {
    return kSettingRows;
}

int COptions::ProcessorCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

std::string COptions::DefaultOutputFolder() {
    const std::string appName = LoadStringRes(IDS_APP_NAME);
    std::string best;
    unsigned long long bestFree = 0;
    constexpr unsigned long long kEnough = 5ULL << 32;
    // getmntent decodes the escapes the table uses for blanks and the like.
    std::unique_ptr<FILE, int (*)(FILE*)> mounts(::setmntent("/proc/mounts", "re"), ::endmntent);
    mntent entry{};
    char strings[4096];
    while (const mntent* mount =
               mounts ? ::getmntent_r(mounts.get(), &entry, strings, sizeof strings) : nullptr) {
        // Local disks only: pseudo and network file systems have no /dev device.
        if (!std::string_view(mount->mnt_fsname).starts_with("/dev/")) {
            continue;
        }
        struct statvfs vfs {};
        if (::statvfs(mount->mnt_dir, &vfs) != 0) {
            continue;
        }
        unsigned long long available = static_cast<unsigned long long>(vfs.f_bavail) *
                                       static_cast<unsigned long long>(vfs.f_frsize);
        if (best.empty() || available > bestFree) {
            best = mount->mnt_dir;
            bestFree = available;
        }
        if (bestFree >= kEnough) {
            break;
        }
    }
    if (best.empty()) {
        best = "/";
    }
    const std::string temp = GetTempFolder();
    if (SameDevice(temp, best)) {
        return AddBackslash(temp);
    }
    const std::string documents = GetUserDocumentsFolder();
    if (SameDevice(documents, best)) {
        return std::filesystem::path(documents) / appName / "";
    }
    return std::filesystem::path(best) / appName / "";
}

void COptions::LoadState() {
    const ISettingsStore& s = GetSettingsStore();
    const std::string appName = LoadStringRes(IDS_APP_NAME);

    // The default of "Temp Folder".
    std::string media = GetUserVideosFolder();
    if (!IsFolder(media)) {
        media = GetUserDocumentsFolder();
    }
    m_strDefaultFolder = std::filesystem::path(media) / appName / "";
    CLog::Instance()->Write("GetNumberOfProcesseors()=%d.\r\n", ProcessorCount());

    for (const SettingRow& row : kSettingRows) {
        Load(row, s, *this);
    }
    m_bLoaded = 1;

    // The default is made only once something is written there: an empty folder in the
    // user's documents at every start helps nobody.
    if (!IsValidPath(m_strTempFolder) ||
        (m_strTempFolder != m_strDefaultFolder && !IsFolder(m_strTempFolder) &&
         !CreateFolders(m_strTempFolder))) {
        m_strTempFolder = m_strDefaultFolder;
    }
    m_strWorkFolder = fmt::sprintf("%s/OmbrelTec/%s/Tempory", GetAppDataFolder(), appName);
}

void COptions::SaveState() {
    if (!m_bLoaded) {
        return;
    }
    ISettingsStore& s = GetSettingsStore();
    for (const SettingRow& row : kSettingRows) {
        Save(row, s, *this);
    }
    DeleteFolder(m_strWorkFolder);
    s.Flush();
    CLog::Instance()->Write("COptions::SaveState().\r\n");
}
