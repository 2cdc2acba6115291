// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CHtmlPage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CodePage.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "publish/InsertionEngine.h"
#include "publish/PublishMessages.h"

namespace {

const CRegex& Utf8MetaPattern() {
    static const CRegex pattern("<meta[^>]+charset=utf-8.*>", CRegex::Caseless);
    return pattern;
}

const CRegex& UnicodeMetaPattern() {
    static const CRegex pattern("<meta[^>]+charset=unicode.*>", CRegex::Caseless);
    return pattern;
}

const char* SystemCodePageName() {
    return codepage::SystemIsUtf8() ? "UTF-8" : codepage::SystemCodePage().c_str();
}

// A content fingerprint to notice another program's write; words of 8 bytes, so a stream hashed
// in pieces whose sizes are multiples of 8 gives the same value as the whole.
uint64_t HashBytes(uint64_t hash, std::string_view bytes) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    for (; i < bytes.size(); ++i) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * kMultiplier;
        hash ^= hash >> 29;
    }
    return hash;
}

constexpr uint64_t kHashSeed = 0x243F6A8885A308D3ull;

// Reads in pieces whose sizes are multiples of 8, so the value equals HashBytes of the whole.
std::optional<uint64_t> HashFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string chunk(1 << 20, '\0');
    uint64_t hash = kHashSeed;
    bool ok = true;
    while (ok) {
        size_t filled = 0;
        while (filled < chunk.size()) {
            ssize_t n = ::read(fd, chunk.data() + filled, chunk.size() - filled);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            filled += static_cast<size_t>(n);
        }
        hash = HashBytes(hash, std::string_view(chunk.data(), filled));
        if (filled < chunk.size()) {
            break;
        }
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return hash;
}

bool HasNonZero(std::string_view bytes) {
    return bytes.find_first_not_of('\0') != std::string_view::npos;
}

struct DecodedPage {
    std::string text;
    bool utf8Bom = false;
    // Non-zero bytes after the cut at the first zero would not be shown and so not saved.
    bool dropsData = false;
    // Characters the system code page lacks became its default character.
    bool lossy = false;
};

std::optional<DecodedPage> DecodePage(std::string_view bytes) {
    DecodedPage page;
    const size_t zero = bytes.find('\0');
    const std::string_view cut = bytes.substr(0, zero);
    const bool systemUtf8 = codepage::SystemIsUtf8();
    if (cut.size() >= 2 && static_cast<unsigned char>(cut[1]) == 0xFE) {
        size_t units = bytes.size() / 2;
        size_t end = 1;
        while (end < units && (bytes[2 * end] != '\0' || bytes[2 * end + 1] != '\0')) {
            ++end;
        }
        const std::string_view wide = bytes.substr(2, (end - 1) * 2);
        std::optional<std::string> text = codepage::Convert(wide, "UTF-16LE", SystemCodePageName());
        if (!text) {
            return std::nullopt;
        }
        page.dropsData = end < units && HasNonZero(bytes.substr(2 * end));
        if (!systemUtf8) {
            std::optional<std::string> back =
                codepage::Convert(*text, SystemCodePageName(), "UTF-16LE");
            page.lossy = !back || *back != wide;
        }
        page.text = std::move(*text);
        return page;
    }
    page.dropsData = zero != std::string_view::npos && HasNonZero(bytes.substr(zero));
    if (Utf8MetaPattern().Search(cut)) {
        std::string_view utf8 = cut;
        if (utf8.starts_with("\xEF\xBB\xBF")) {
            utf8.remove_prefix(3);
            page.utf8Bom = true;
        }
        if (systemUtf8) {
            // The round trip is the identity, so even malformed bytes come back as they were.
            page.text = std::string(utf8);
            return page;
        }
        std::optional<std::string> text = codepage::Convert(utf8, "UTF-8", SystemCodePageName());
        if (!text) {
            return std::nullopt;
        }
        std::optional<std::string> back = codepage::Convert(*text, SystemCodePageName(), "UTF-8");
        page.lossy = !back || *back != utf8;
        page.text = std::move(*text);
        return page;
    }
    page.text = std::string(cut);
    return page;
}

void ReportFileError(int id, const std::string& path) {
    const int error = errno;
    MessageBoxFormat(MB_OK | MB_ICONERROR, LoadPublishString(id), path, GetErrorText(error));
}

}  // namespace

CHtmlPage::CHtmlPage() : m_pWriter(&GetDefaultFileWriter()) {}

CHtmlPage::~CHtmlPage() = default;

void CHtmlPage::SetFileWriter(IFileWriter* writer) {
    m_pWriter = writer ? writer : &GetDefaultFileWriter();
}

bool CHtmlPage::LoadPage(const std::string& path) {
    Close();
    m_strPagePath.clear();
    m_strText.clear();
    m_strOriginalText.clear();
    m_bInserted = m_bModified = m_bUtf8Bom = false;

    auto file = std::make_unique<CPageFile>();
    std::string bytes;
    if (!file->Open(path) || !file->ReadAll(bytes)) {
        ReportFileError(IDS_PAGE_READ_ERROR, path);
        return false;
    }
    std::optional<DecodedPage> page = DecodePage(bytes);
    if (!page) {
        ShowLastError();
        return false;
    }
    if (page->dropsData &&
        MessageBoxFormat(MB_YESNO | MB_ICONWARNING, LoadPublishString(IDS_PAGE_CUT_AT_ZERO),
                         path) != IDYES) {
        return false;
    }
    if (page->lossy &&
        MessageBoxFormat(MB_YESNO | MB_ICONWARNING, LoadPublishString(IDS_PAGE_LOSSY_CODEPAGE),
                         path, codepage::SystemCodePage()) != IDYES) {
        return false;
    }
    m_pPageFile = std::move(file);
    if (!RememberDiskState(HashBytes(kHashSeed, bytes))) {
        ReportFileError(IDS_PAGE_READ_ERROR, path);
        m_pPageFile.reset();
        return false;
    }
    m_strPagePath = path;
    m_strText = std::move(page->text);
    m_strOriginalText = m_strText;
    m_bUtf8Bom = page->utf8Bom;
    return true;
}

bool CHtmlPage::RememberDiskState(uint64_t hash) {
    struct stat st {};
    if (::fstat(m_pPageFile->Fd(), &st) != 0) {
        return false;
    }
    m_diskState.size = st.st_size;
    m_diskState.hash = hash;
    return true;
}

bool CHtmlPage::ChangedOnDisk() const {
    struct stat st {};
    if (::stat(m_pPageFile->Path().c_str(), &st) != 0) {
        return true;
    }
    if (st.st_size != m_diskState.size) {
        return true;
    }
    // The content decides: a write within the clock's resolution keeps size and time, while a
    // program that only rewrote the same bytes changes nothing worth asking about.
    std::optional<uint64_t> hash = HashFile(m_pPageFile->Path());
    return !hash || *hash != m_diskState.hash;
}

std::optional<std::string> CHtmlPage::EncodeText(std::string_view text) const {
    if (Utf8MetaPattern().Search(text)) {
        std::optional<std::string> utf8 = codepage::SystemToUtf8(text);
        if (!utf8) {
            return std::nullopt;
        }
        if (m_bUtf8Bom) {
            utf8->insert(0, "\xEF\xBB\xBF");
        }
        return utf8;
    }
    if (UnicodeMetaPattern().Search(text)) {
        std::optional<std::string> wide = codepage::Convert(text, SystemCodePageName(), "UTF-16LE");
        if (!wide) {
            return std::nullopt;
        }
        wide->insert(0, "\xFF\xFE");
        return wide;
    }
    return std::string(text);
}

bool CHtmlPage::SavePage(CPageFile& file, std::string_view text) {
    std::optional<std::string> bytes = EncodeText(text);
    if (!bytes) {
        ShowLastError();
        return false;
    }
    if (!file.WriteInPlace(*bytes, *m_pWriter)) {
        ReportFileError(IDS_FILE_WRITE_ERROR, file.Path());
        return false;
    }
    return true;
}

bool CHtmlPage::SavePage(std::string_view text) {
    if (!m_pPageFile) {
        errno = EBADF;
        ReportFileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
        return false;
    }
    std::optional<std::string> bytes = EncodeText(text);
    if (!bytes) {
        ShowLastError();
        return false;
    }
    if (ChangedOnDisk() &&
        MessageBoxFormat(MB_YESNO | MB_ICONWARNING, LoadPublishString(IDS_PAGE_CHANGED_ON_DISK),
                         m_strPagePath) != IDYES) {
        return false;
    }
    if (!m_pPageFile->ReplaceContents(*bytes, *m_pWriter)) {
        ReportFileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
        return false;
    }
    // The bytes are on disk already; a failing stat only means the next save asks once more.
    RememberDiskState(HashBytes(kHashSeed, *bytes));
    return true;
}

void CHtmlPage::InsertPlayerCode(IPageEditor& editor) {
    std::string text = editor.GetText();
    PageSelection selection = editor.GetSelection();
    selection.start = std::min(selection.start, text.size());
    selection.end = std::clamp(selection.end, selection.start, text.size());
    const std::string body = MatchLineBreaks(m_strBodyCode, text);
    editor.ReplaceSelection(body);

    if (!m_strHeadCode.empty()) {
        // The editor's text now, without asking it for a second copy of a large page.
        text.replace(selection.start, selection.end - selection.start, body);
        size_t cursor = selection.start;
        bool changed = RemoveMenuScripts(text, cursor, body.size());
        const size_t headPos = FindHeadInsertPosition(text);
        size_t headLength = 0;
        if (!m_bInserted && !IsHeadCodePresent(text, m_strHeadCode)) {
            const std::string head = MatchLineBreaks(m_strHeadCode, text);
            text.insert(headPos, head);
            headLength = head.size();
            changed = true;
        }
        if (changed) {
            editor.SetText(text);
        }
        if (cursor >= headPos) {
            cursor += headLength;
        }
        editor.SetSelection(cursor, cursor + body.size());
    }
    m_bInserted = true;
    m_bModified = true;
}

void CHtmlPage::Reset() {
    m_strText = m_strOriginalText;
    m_bInserted = false;
    m_bModified = false;
}

void CHtmlPage::Close() {
    m_pPageFile.reset();
}
