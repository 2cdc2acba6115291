// SPDX-License-Identifier: GPL-3.0-or-later
#define PCRE2_CODE_UNIT_WIDTH 8
#include "core/Regex.h"

#include <pcre2.h>

struct CRegex::Code {
    pcre2_code* code = nullptr;
    ~Code() { pcre2_code_free(code); }
};

CRegex::CRegex(std::string_view pattern, unsigned flags) {
    uint32_t options = 0;
    if (flags & Caseless) {
        options |= PCRE2_CASELESS;
    }
    if (flags & DotAll) {
        options |= PCRE2_DOTALL;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     options, &errorCode, &errorOffset, nullptr);
    if (!code) {
        PCRE2_UCHAR buffer[256];
        pcre2_get_error_message(errorCode, buffer, sizeof buffer);
        m_error = reinterpret_cast<const char*>(buffer);
        return;
    }
    // JIT is an optimisation: without it the interpreter gives the same answers.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    m_code = new Code;
    m_code->code = code;
}

CRegex::~CRegex() {
    delete m_code;
}

CRegex::CRegex(CRegex&& other) noexcept : m_code(other.m_code), m_error(std::move(other.m_error)) {
    other.m_code = nullptr;
}

CRegex& CRegex::operator=(CRegex&& other) noexcept {
    if (this != &other) {
        delete m_code;
        m_code = other.m_code;
        m_error = std::move(other.m_error);
        other.m_code = nullptr;
    }
    return *this;
}

bool CRegex::Search(std::string_view subject, Match* match, size_t start) const {
    if (!m_code || start > subject.size()) {
        return false;
    }
    // Match data is per call so one pattern can be shared between threads.
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(m_code->code, nullptr);
    int rc = pcre2_match(m_code->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                         start, 0, data, nullptr);
    bool found = rc > 0;
    if (found && match) {
        PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        match->offset = ovector[0];
        match->length = ovector[1] - ovector[0];
        match->groups.clear();
        for (int i = 1; i < rc; ++i) {
            if (ovector[2 * i] == PCRE2_UNSET) {
                match->groups.emplace_back(std::string_view::npos, 0);
            } else {
                match->groups.emplace_back(ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]);
            }
        }
        uint32_t count = 0;
        pcre2_pattern_info(m_code->code, PCRE2_INFO_CAPTURECOUNT, &count);
        while (match->groups.size() < count) {
            match->groups.emplace_back(std::string_view::npos, 0);
        }
    }
    pcre2_match_data_free(data);
    return found;
}

std::vector<CRegex::Match> CRegex::FindAll(std::string_view subject) const {
    std::vector<Match> matches;
    size_t start = 0;
    Match m;
    while (start <= subject.size() && Search(subject, &m, start)) {
        matches.push_back(m);
        start = m.length == 0 ? m.offset + 1 : m.offset + m.length;
    }
    return matches;
}
