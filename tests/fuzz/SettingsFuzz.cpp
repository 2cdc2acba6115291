// SPDX-License-Identifier: GPL-3.0-or-later
// An arbitrary settings file read as the program reads it at start. Checked: the values the
// program relies on are within their ranges; the file is not written before the program saves
// (a file that did not parse is first kept whole beside it); what is saved reads back the same.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <unistd.h>

#include <QString>

#include "app/CQtSettingsStore.h"
#include "core/Log.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/SettingsStore.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Reads through to the file, but keeps the one folder the loader creates inside the scratch
// folder: an absolute "Temp Folder" in the file must not make folders anywhere on the machine.
class CConfinedStore : public ISettingsStore {
public:
    explicit CConfinedStore(std::unique_ptr<CQtSettingsStore> inner) : m_pInner(std::move(inner)) {}

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override {
        const int value = m_pInner->GetInt(section, name, defaultValue);
        // The log would leave one file per run behind.
        return name == "Enable Logging" ? 0 : value;
    }
    std::string GetString(std::string_view section, std::string_view name,
                          const std::string& defaultValue) const override {
        std::string value = m_pInner->GetString(section, name, defaultValue);
        // Invalid and existing folders are left as they are: only a new folder is made.
        if (name != "Temp Folder" || value == defaultValue || !IsValidPath(AddBackslash(value)) ||
            IsFolder(AddBackslash(value))) {
            return value;
        }
        const std::string confined = fuzz::ScratchFolder() + "/confined/";
        if (value.starts_with(confined) && value.find("..") == std::string::npos) {
            return value;
        }
        return confined + std::to_string(std::hash<std::string>()(value) % 64) + "/";
    }
    void WriteInt(std::string_view section, std::string_view name, int value) override {
        m_pInner->WriteInt(section, name, value);
    }
    void WriteString(std::string_view section, std::string_view name,
                     const std::string& value) override {
        m_pInner->WriteString(section, name, value);
    }
    void DeleteSection(std::string_view section) override { m_pInner->DeleteSection(section); }
    void Flush() override { m_pInner->Flush(); }

    CQtSettingsStore& Inner() { return *m_pInner; }

private:
    std::unique_ptr<CQtSettingsStore> m_pInner;
};

// Every value the settings file keeps, by name.
std::vector<std::pair<const char*, std::string>> Snapshot(const COptions& o) {
    std::vector<std::pair<const char*, std::string>> values;
    const auto add = [&](const char* name, const auto& value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
            values.emplace_back(name, value);
        } else {
            values.emplace_back(name, std::to_string(value));
        }
    };
#define DEDE5_KEEP(field) add(#field, o.field)
    DEDE5_KEEP(m_strHistory[0]);
    DEDE5_KEEP(m_strHistory[1]);
    DEDE5_KEEP(m_strHistory[2]);
    DEDE5_KEEP(m_strHistory[3]);
    DEDE5_KEEP(m_strHistory[4]);
    DEDE5_KEEP(m_strOutputFolder);
    DEDE5_KEEP(m_strTempFolder);
    DEDE5_KEEP(m_nOutputFolderFormat);
    DEDE5_KEEP(m_nEncodingThreads);
    DEDE5_KEEP(m_bPromptCancelProfiles);
    DEDE5_KEEP(m_nFinishFormat);
    DEDE5_KEEP(m_nFramesConvert);
    DEDE5_KEEP(m_bAudioRepeated);
    DEDE5_KEEP(m_nBitDepth);
    DEDE5_KEEP(m_nSnapshotImageFormat);
    DEDE5_KEEP(m_strLastOpenFolder);
    DEDE5_KEEP(m_bMp4Prompt);
    DEDE5_KEEP(m_bWebmPrompt);
    DEDE5_KEEP(m_bOggPrompt);
    DEDE5_KEEP(m_nRunTimes);
    DEDE5_KEEP(m_nVideoPlayer);
    DEDE5_KEEP(m_bVideoControl);
    DEDE5_KEEP(m_bAutoPlay);
    DEDE5_KEEP(m_bVideoPoster);
    DEDE5_KEEP(m_bVideoLoop);
    DEDE5_KEEP(m_nAudioPlayer);
    DEDE5_KEEP(m_bAudioAutoPlay);
    // Saved as 0 or 1.
    add("m_bCombineNotify", o.m_bCombineNotify != 0);
    DEDE5_KEEP(m_bPromptNotSelectAD);
    DEDE5_KEEP(m_bPromptAutoPlayNextFrame);
    DEDE5_KEEP(m_bAutoPlayNextFrame);
    DEDE5_KEEP(m_bDeleteVideosAfterPublish);
    DEDE5_KEEP(m_strMediaFolderName);
    DEDE5_KEEP(m_nPublishActions);
    DEDE5_KEEP(m_nAfterPublishActions);
    DEDE5_KEEP(m_bShowAfterPublished);
    DEDE5_KEEP(m_strSiteRoot);
    DEDE5_KEEP(m_strJsPath);
    DEDE5_KEEP(m_strMediaPath);
    DEDE5_KEEP(m_bUsedForCapture);
    DEDE5_KEEP(m_bCaptureOpenFolder);
#undef DEDE5_KEEP
    return values;
}

void CheckSame(const std::vector<std::pair<const char*, std::string>>& read,
               const std::vector<std::pair<const char*, std::string>>& saved) {
    for (size_t i = 0; i < saved.size(); ++i) {
        if (read[i].second != saved[i].second) {
            std::fprintf(stderr, "%s saved as \"%s\" reads back as \"%s\"\n", saved[i].first,
                         fuzz::Printable(saved[i].second).c_str(),
                         fuzz::Printable(read[i].second).c_str());
        }
    }
    FUZZ_CHECK(read == saved);
}

std::shared_ptr<CConfinedStore> Open(const std::string& path) {
    auto store = std::make_shared<CConfinedStore>(
        std::make_unique<CQtSettingsStore>(QString::fromLocal8Bit(path.c_str())));
    SetSettingsStore(store);
    COptions::DestroyInstance();
    COptions::Instance()->LoadState();
    return store;
}

void CheckRanges(const COptions& o) {
    FUZZ_CHECK(o.m_bLoaded == 1);
    FUZZ_CHECK(o.m_nVideoPlayer >= 0 && o.m_nVideoPlayer <= 4);
    FUZZ_CHECK(o.m_nAudioPlayer == 0);
    FUZZ_CHECK(o.m_nEncodingThreads >= 1 && o.m_nEncodingThreads <= COptions::ProcessorCount());
    FUZZ_CHECK(o.m_strOutputFolder.ends_with("/"));
    FUZZ_CHECK(o.m_strTempFolder.ends_with("/"));
    FUZZ_CHECK(o.m_strDefaultFolder.ends_with("/"));
    FUZZ_CHECK(IsValidPath(o.m_strTempFolder) || o.m_strTempFolder == o.m_strDefaultFolder);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ConfineEnvironment();
    // Made once, before any file enables logging.
    CLog::Instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // A new name each time: Qt keeps parsed files by name and may not notice a quick rewrite.
    static unsigned long run = 0;
    const std::string path =
        fuzz::WriteScratchFile("settings-" + std::to_string(++run) + ".ini", bytes);
    const std::string backup = path + ".corrupt";
    struct Remove {
        std::string a, b;
        ~Remove() {
            ::unlink(a.c_str());
            ::unlink(b.c_str());
        }
    } remove{path, backup};

    std::shared_ptr<CConfinedStore> first = Open(path);
    CheckRanges(*COptions::Instance());
    FUZZ_CHECK(fuzz::ReadWholeFile(path) == bytes);
    const QString kept = first->Inner().BackupFileName();
    if (!kept.isEmpty()) {
        FUZZ_CHECK(kept.toStdString() == backup);
        FUZZ_CHECK(fuzz::ReadWholeFile(backup) == bytes);
    }
    const bool readOnly = first->Inner().IsReadOnly();
    COptions::Instance()->SaveState();
    const auto saved = Snapshot(*COptions::Instance());
    first.reset();
    SetSettingsStore(nullptr);
    if (readOnly) {
        FUZZ_CHECK(fuzz::ReadWholeFile(path) == bytes);
        return 0;
    }

    // What was saved parses and reads back as it was.
    std::shared_ptr<CConfinedStore> second = Open(path);
    FUZZ_CHECK(second->Inner().BackupFileName().isEmpty());
    FUZZ_CHECK(!second->Inner().IsReadOnly());
    CheckRanges(*COptions::Instance());
    CheckSame(Snapshot(*COptions::Instance()), saved);
    second.reset();
    SetSettingsStore(nullptr);
    COptions::DestroyInstance();
    return 0;
}
