// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

// The per-user settings store. Sections nest with "/" ("Publish/HTML_Files"); names are exactly
// as the program writes them, blanks included ("Options " is not "Options").
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // An absent value, or one that is not an integer, gives the default.
    virtual int GetInt(std::string_view section, std::string_view name, int defaultValue) const = 0;
    virtual std::string GetString(std::string_view section, std::string_view name,
                                  const std::string& defaultValue) const = 0;
    virtual void WriteInt(std::string_view section, std::string_view name, int value) = 0;
    virtual void WriteString(std::string_view section, std::string_view name,
                             const std::string& value) = 0;
    // Removes the section with its values and sub-sections.
    virtual void DeleteSection(std::string_view section) = 0;
    // Makes the writes durable; a no-op where they already are.
    virtual void Flush() {}
};

// Keeps everything in memory: the store of tests and of runs that must not touch the user's.
class CMemorySettingsStore : public ISettingsStore {
public:
    int GetInt(std::string_view section, std::string_view name, int defaultValue) const override;
    std::string GetString(std::string_view section, std::string_view name,
                          const std::string& defaultValue) const override;
    void WriteInt(std::string_view section, std::string_view name, int value) override;
    void WriteString(std::string_view section, std::string_view name,
                     const std::string& value) override;
    void DeleteSection(std::string_view section) override;

    bool Has(std::string_view section, std::string_view name) const;
    size_t Size() const { return m_values.size(); }

private:
    // Integers are kept as their decimal text, as an INI file would.
    std::map<std::string, std::string, std::less<>> m_values;
};

// The store the whole program uses; never null (an in-memory store until one is installed).
ISettingsStore& GetSettingsStore();
void SetSettingsStore(std::shared_ptr<ISettingsStore> store);

// Parses a whole decimal integer as stored text; nullopt-like: returns false when it is not one.
bool ParseStoredInt(std::string_view text, int& value);
