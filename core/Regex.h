// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A compiled PCRE2 pattern (8-bit, JIT-compiled where the platform allows).
class CRegex {
public:
    enum Flags : unsigned { None = 0, Caseless = 1, DotAll = 2 };

    struct Match {
        size_t offset = 0;
        size_t length = 0;
        // Captured groups 1..n as (offset, length); an unset group has offset npos.
        std::vector<std::pair<size_t, size_t>> groups;
    };

    CRegex(std::string_view pattern, unsigned flags = None);
    ~CRegex();
    CRegex(const CRegex&) = delete;
    CRegex& operator=(const CRegex&) = delete;
    CRegex(CRegex&&) noexcept;
    CRegex& operator=(CRegex&&) noexcept;

    bool valid() const { return m_code != nullptr; }
    const std::string& error() const { return m_error; }

    // True when the pattern matches somewhere in `subject` at or after `start`.
    bool Search(std::string_view subject, Match* match = nullptr, size_t start = 0) const;
    // Every non-overlapping match, left to right.
    std::vector<Match> FindAll(std::string_view subject) const;

private:
    struct Code;
    Code* m_code = nullptr;
    std::string m_error;
};
