// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "core/SettingsStore.h"

// Reads through to another store and keeps this run's writes in memory, so the publisher never
// changes the user's settings.
class CReadOnlySettingsStore : public ISettingsStore {
public:
    explicit CReadOnlySettingsStore(std::unique_ptr<ISettingsStore> source)
        : m_pSource(std::move(source)) {}

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override {
        return m_overlay.Has(section, name) ? m_overlay.GetInt(section, name, defaultValue)
                                            : m_pSource->GetInt(section, name, defaultValue);
    }
    std::string GetString(std::string_view section, std::string_view name,
                          const std::string& defaultValue) const override {
        return m_overlay.Has(section, name) ? m_overlay.GetString(section, name, defaultValue)
                                            : m_pSource->GetString(section, name, defaultValue);
    }
    void WriteInt(std::string_view section, std::string_view name, int value) override {
        m_overlay.WriteInt(section, name, value);
    }
    void WriteString(std::string_view section, std::string_view name,
                     const std::string& value) override {
        m_overlay.WriteString(section, name, value);
    }
    void DeleteSection(std::string_view section) override { m_overlay.DeleteSection(section); }

private:
    std::unique_ptr<ISettingsStore> m_pSource;
    CMemorySettingsStore m_overlay;
};
