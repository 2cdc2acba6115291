// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <mutex>

#include <iconv.h>
#include <langinfo.h>

#include "core/LargeBuffer.h"

namespace codepage {
namespace {

std::mutex g_mutex;
std::string g_pinned;

std::string LocaleCodePage() {
    // Reads the locale's character set without disturbing the program's own locale.
    locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    std::string name;
    if (loc != static_cast<locale_t>(nullptr)) {
        name = nl_langinfo_l(CODESET, loc);
        freelocale(loc);
    }
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII") {
        name = "UTF-8";
    }
    return name;
}

// Converts as far as iconv can; returns false on an invalid or unrepresentable sequence, with
// `in` left at the offending input.
enum class Step { Done, Invalid, Failed };

// At most this much output room is made (and so zero-filled) ahead of iconv at a time: a large
// conversion then touches only the memory its result needs.
constexpr size_t kOutputWindow = size_t{1} << 18;

// With `flush`, a conversion that ends also writes what returns the output to its initial shift
// state.
Step Run(iconv_t cd, std::string_view& in, std::string& out, bool flush = true) {
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t produced = out.size();
    // Twice the input holds what pages need (UTF-8 to UTF-16); reserving maps, it does not touch.
    ReserveLarge(out, produced + 2 * srcLeft + 16);
    bool inputDone = false;
    // Small at first: a conversion resumed after each character the target lacks makes room anew.
    size_t room = std::min<size_t>(64, 2 * srcLeft + 16);
    while (true) {
        out.resize(produced + room);
        char* dst = out.data() + produced;
        size_t dstLeft = out.size() - produced;
        const size_t rc = inputDone ? iconv(cd, nullptr, nullptr, &dst, &dstLeft)
                                    : iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        produced = out.size() - dstLeft;
        const bool failed = rc == static_cast<size_t>(-1);
        if (failed && errno == E2BIG) {
            room = std::min(2 * room, kOutputWindow);
            continue;
        }
        if (failed && !inputDone) {
            out.resize(produced);
            in = std::string_view(src, srcLeft);
            return errno == EILSEQ ? Step::Invalid : Step::Failed;
        }
        if (flush && !inputDone) {
            inputDone = true;
            continue;
        }
        out.resize(produced);
        in = {};
        return Step::Done;
    }
}

}  // namespace

CIconv::CIconv(const char* from, const char* to) : m_handle(iconv_open(to, from)) {}

CIconv::~CIconv() {
    if (IsValid()) {
        iconv_close(m_handle);
    }
}

bool CIconv::IsValid() const {
    return m_handle != reinterpret_cast<iconv_t>(-1);
}

void CIconv::ResetState() {
    iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
}

bool CIconv::Convert(std::string_view in, std::string& out) {
    out.clear();
    return Run(m_handle, in, out, false) == Step::Done;
}

const std::string& SystemCodePage() {
    std::lock_guard<std::mutex> lock(g_mutex);
    static std::string localeName = LocaleCodePage();
    return g_pinned.empty() ? localeName : g_pinned;
}

void SetSystemCodePageForTesting(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pinned = name;
}

bool SystemIsUtf8() {
    const std::string& cp = SystemCodePage();
    return strcasecmp(cp.c_str(), "UTF-8") == 0 || strcasecmp(cp.c_str(), "UTF8") == 0;
}

std::optional<std::string> Convert(std::string_view text, const char* from, const char* to,
                                   char defaultChar) {
    std::string out;
    if (text.empty()) {
        return out;
    }
    {
        CIconv direct(from, to);
        if (!direct.IsValid()) {
            return std::nullopt;
        }
        std::string_view rest = text;
        Step step = Run(direct.Handle(), rest, out);
        if (step == Step::Done) {
            return out;
        }
        if (step == Step::Failed) {
            errno = EILSEQ;
            return std::nullopt;
        }
    }
    // Either the input is malformed or the target lacks a character: decode to UTF-32 first so
    // the two cases can be told apart, then encode character by character where needed.
    CIconv decode(from, "UTF-32LE");
    CIconv encode("UTF-32LE", to);
    if (!decode.IsValid() || !encode.IsValid()) {
        return std::nullopt;
    }
    std::string wide;
    std::string_view rest = text;
    if (Run(decode.Handle(), rest, wide) != Step::Done) {
        errno = EILSEQ;
        return std::nullopt;
    }
    out.clear();
    std::string_view units = wide;
    while (!units.empty()) {
        Step step = Run(encode.Handle(), units, out);
        if (step == Step::Done) {
            break;
        }
        if (step == Step::Failed || units.size() < 4) {
            errno = EILSEQ;
            return std::nullopt;
        }
        out.push_back(defaultChar);
        units.remove_prefix(4);
    }
    return out;
}

std::optional<std::string> SystemToUtf8(std::string_view text) {
    if (SystemIsUtf8()) {
        return std::string(text);
    }
    return Convert(text, SystemCodePage().c_str(), "UTF-8");
}

std::optional<std::string> Utf8ToSystem(std::string_view text) {
    if (SystemIsUtf8()) {
        if (!IsValidUtf8(text)) {
            errno = EILSEQ;
            return std::nullopt;
        }
        return std::string(text);
    }
    return Convert(text, "UTF-8", SystemCodePage().c_str());
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        unsigned min = 0;
        unsigned cp = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace codepage
