// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <iconv.h>

// Text inside the program is in the system code page: the locale's character set, where a
// C/POSIX locale counts as UTF-8. Conversions go through iconv.
namespace codepage {

// The iconv name of the system code page ("UTF-8", "CP1252", ...).
const std::string& SystemCodePage();

// Pins the system code page (tests); an empty name returns to the locale's.
void SetSystemCodePageForTesting(const std::string& name);

bool SystemIsUtf8();

// One iconv conversion from `from` to `to`, closed when it goes.
class CIconv {
public:
    CIconv(const char* from, const char* to);
    ~CIconv();
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsValid() const;
    iconv_t Handle() const { return m_handle; }
    // Back to the initial shift state.
    void ResetState();
    // Converts all of `in` into `out`, keeping the shift state for the next call; false (errno
    // EINVAL for an incomplete character, EILSEQ for an invalid one) when it cannot.
    bool Convert(std::string_view in, std::string& out);

private:
    iconv_t m_handle;
};

// Converts between two iconv encodings. Input that is not valid in `from` fails (nullopt, errno
// set); characters that `to` cannot represent become `defaultChar`.
std::optional<std::string> Convert(std::string_view text, const char* from, const char* to,
                                   char defaultChar = '?');

std::optional<std::string> SystemToUtf8(std::string_view text);
std::optional<std::string> Utf8ToSystem(std::string_view text);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace codepage
