// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QString>

#include "core/SettingsStore.h"

class QSettings;

// The program's settings in an INI file through QSettings: organisation "OmbrelTec", application
// "Ombrel DEDE5 Varodo", so ~/.config/OmbrelTec/Ombrel DEDE5 Varodo.ini.
//
// QSettings rewrites a file it could not parse with only what it understood, and would replace a
// file the user made read-only. So a file that does not parse is first copied beside itself
// (BackupFileName), and a file that is read-only, unreadable or not a file at all is never
// written: its values are read once and this run's writes stay in memory.
class CQtSettingsStore : public ISettingsStore {
public:
    CQtSettingsStore();
    explicit CQtSettingsStore(const QString& fileName);
    ~CQtSettingsStore() override;
    CQtSettingsStore(const CQtSettingsStore&) = delete;
    CQtSettingsStore& operator=(const CQtSettingsStore&) = delete;

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override;
    std::string GetString(std::string_view section, std::string_view name,
                          const std::string& defaultValue) const override;
    void WriteInt(std::string_view section, std::string_view name, int value) override;
    void WriteString(std::string_view section, std::string_view name,
                     const std::string& value) override;
    void DeleteSection(std::string_view section) override;
    void Flush() override;

    QString FileName() const { return m_strFileName; }
    // The file is left as it is; writes last for this run only.
    bool IsReadOnly() const { return m_pMemory != nullptr; }
    // Where the bytes of a file that did not parse were saved; empty when there was no need.
    QString BackupFileName() const { return m_strBackupFileName; }

private:
    void Open();
    bool Holds(const QString& key, const QString& text) const;
    std::unique_ptr<QSettings> m_pSettings;
    std::unique_ptr<CMemorySettingsStore> m_pMemory;
    QString m_strFileName;
    QString m_strBackupFileName;
};
