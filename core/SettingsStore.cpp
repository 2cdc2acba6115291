// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SettingsStore.h"

#include <charconv>
#include <mutex>

namespace {

std::string Key(std::string_view section, std::string_view name) {
    std::string key(section);
    key += '\x1f';
    key += name;
    return key;
}

std::mutex g_storeMutex;
std::shared_ptr<ISettingsStore> g_store;

}  // namespace

bool ParseStoredInt(std::string_view text, int& value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    long long parsed = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    // Stored as a 32-bit value: larger unsigned numbers wrap as they would in a DWORD.
    if (parsed < -2147483648LL || parsed > 4294967295LL) {
        return false;
    }
    value = static_cast<int>(static_cast<unsigned>(parsed & 0xFFFFFFFFLL));
    return true;
}

int CMemorySettingsStore::GetInt(std::string_view section, std::string_view name,
                                 int defaultValue) const {
    auto it = m_values.find(Key(section, name));
    int value = 0;
    if (it == m_values.end() || !ParseStoredInt(it->second, value)) {
        return defaultValue;
    }
    return value;
}

std::string CMemorySettingsStore::GetString(std::string_view section, std::string_view name,
                                            const std::string& defaultValue) const {
    auto it = m_values.find(Key(section, name));
    return it == m_values.end() ? defaultValue : it->second;
}

void CMemorySettingsStore::WriteInt(std::string_view section, std::string_view name, int value) {
    m_values[Key(section, name)] = std::to_string(value);
}

void CMemorySettingsStore::WriteString(std::string_view section, std::string_view name,
                                       const std::string& value) {
    m_values[Key(section, name)] = value;
}

void CMemorySettingsStore::DeleteSection(std::string_view section) {
    std::string exact = std::string(section) + '\x1f';
    std::string nested = std::string(section) + '/';
    for (auto it = m_values.begin(); it != m_values.end();) {
        if (it->first.starts_with(exact) || it->first.starts_with(nested)) {
            it = m_values.erase(it);
        } else {
            ++it;
        }
    }
}

bool CMemorySettingsStore::Has(std::string_view section, std::string_view name) const {
    return m_values.count(Key(section, name)) != 0;
}

ISettingsStore& GetSettingsStore() {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    if (!g_store) {
        g_store = std::make_shared<CMemorySettingsStore>();
    }
    return *g_store;
}

void SetSettingsStore(std::shared_ptr<ISettingsStore> store) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    g_store = std::move(store);
}
