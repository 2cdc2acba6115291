// SPDX-License-Identifier: GPL-3.0-or-later
// An arbitrary settings file read as the program reads it at start. Checked: the values the
// program relies on are within their ranges; the file is not written before the program saves
// (a file that did not parse is first kept whole beside it); what is saved reads back the same.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <iterator>
#include <utility>
#include <vector>

#include <unistd.h>

#include <QString>

#include "app/CQtSettingsStore.h"
#include "core/Log.h"
#include "core/Options.h"
#include "players/PlayerInfo.h"
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

// Every value the settings file keeps, by value name.
std::vector<std::pair<std::string, std::string>> Snapshot(const COptions& o) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const SettingRow& row : COptions::SettingRows()) {
        switch (row.type) {
            case SettingType::Int:
            case SettingType::Counter:
                values.emplace_back(row.name, std::to_string(o.*row.pInt));
                break;
            case SettingType::Flag:
                // Saved as 0 or 1.
                values.emplace_back(row.name, std::to_string(o.*row.pInt != 0));
                break;
            case SettingType::Text:
            case SettingType::Folder:
                values.emplace_back(row.name, o.*row.pText);
                break;
            case SettingType::Texts:
                for (size_t i = 0; i < std::size(o.*row.pTexts); ++i) {
                    values.emplace_back(std::string(row.name) + " [" + std::to_string(i) + "]",
                                        (o.*row.pTexts)[i]);
                }
                break;
        }
    }
    return values;
}

void CheckSame(const std::vector<std::pair<std::string, std::string>>& read,
               const std::vector<std::pair<std::string, std::string>>& saved) {
    for (size_t i = 0; i < saved.size(); ++i) {
        if (read[i].second != saved[i].second) {
            std::fprintf(stderr, "%s saved as \"%s\" reads back as \"%s\"\n",
                         saved[i].first.c_str(), fuzz::Printable(saved[i].second).c_str(),
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
    FUZZ_CHECK(o.m_nVideoPlayer >= 0 && o.m_nVideoPlayer < std::ssize(kVideoPlayers));
    FUZZ_CHECK(o.m_nAudioPlayer >= 0 && o.m_nAudioPlayer < std::ssize(kAudioPlayers));
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
