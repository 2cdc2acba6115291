// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CHtmlPage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CFileDescriptor.h"
#include "core/CodePage.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "core/StringTable.h"
#include "publish/ContentHash.h"
#include "publish/InsertionEngine.h"

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

uint64_t HashOf(std::string_view a, std::string_view b = {}) {
    CContentHash hash;
    hash.Update(a);
    hash.Update(b);
    return hash.Value();
}

bool HasNonZero(std::string_view bytes) {
    return bytes.find_first_not_of('\0') != std::string_view::npos;
}

// The first zero 16-bit unit at or after unit `from`, or the number of whole units. Eight bytes
// at a time: a byte-wise search for "\0\0" costs more than converting the page.
size_t FindZeroUnit(std::string_view bytes, size_t from) {
    const size_t units = bytes.size() / 2;
    size_t unit = from;
    constexpr uint64_t kLow = 0x0001000100010001ull;
    constexpr uint64_t kHigh = 0x8000800080008000ull;
    for (; unit + 4 <= units; unit += 4) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + 2 * unit, 8);
        if (((word - kLow) & ~word & kHigh) != 0) {
            break;
        }
    }
    for (; unit < units; ++unit) {
        if (bytes[2 * unit] == '\0' && bytes[2 * unit + 1] == '\0') {
            return unit;
        }
    }
    return units;
}

struct DecodedPage {
    // The text, unless it is the bytes read themselves (then `textIsBytes`).
    std::string text;
    bool textIsBytes = false;
    size_t bytesStart = 0;
    size_t bytesLength = 0;
    bool utf8Bom = false;
    bool utf16 = false;
    // The first unit of a UTF-16 page that has one, as it was.
    std::string utf16Mark;
    // Non-zero bytes after the cut at the first zero would not be shown and so not saved.
    bool dropsData = false;
    // Characters the system code page lacks became its default character.
    bool lossy = false;
};

// Reads UTF-16LE units from `first` (0, or 1 past a mark) up to the first zero unit.
std::optional<DecodedPage> DecodeUtf16(std::string_view bytes, size_t first) {
    DecodedPage page;
    const size_t units = bytes.size() / 2;
    const size_t end = FindZeroUnit(bytes, first);
    const std::string_view wide = bytes.substr(2 * first, (end - first) * 2);
    std::optional<std::string> text = codepage::Convert(wide, "UTF-16LE", SystemCodePageName());
    if (!text) {
        return std::nullopt;
    }
    // Also an odd last byte, which is no unit of its own.
    page.dropsData = (end < units || bytes.size() % 2 != 0) && HasNonZero(bytes.substr(2 * end));
    if (!codepage::SystemIsUtf8()) {
        std::optional<std::string> back =
            codepage::Convert(*text, SystemCodePageName(), "UTF-16LE");
        page.lossy = !back || *back != wide;
    }
    page.text = std::move(*text);
    page.utf16 = true;
    page.utf16Mark = bytes.substr(0, 2 * first);
    return page;
}

std::optional<DecodedPage> DecodePage(std::string_view bytes) {
    const size_t zero = bytes.find('\0');
    const std::string_view cut = bytes.substr(0, zero);
    const bool systemUtf8 = codepage::SystemIsUtf8();
    if (cut.size() >= 2 && static_cast<unsigned char>(cut[1]) == 0xFE) {
        return DecodeUtf16(bytes, 1);
    }
    // No text in a single-byte or UTF-8 encoding has a zero second byte, while UTF-16LE without
    // a mark has one wherever the page starts with a Latin-1 character, as every HTML page does.
    // Bytes that are no valid UTF-16 are read as bytes.
    if (zero == 1) {
        const int error = errno;
        if (std::optional<DecodedPage> page = DecodeUtf16(bytes, 0)) {
            return page;
        }
        errno = error;
    }
    DecodedPage page;
    page.dropsData = zero != std::string_view::npos && HasNonZero(bytes.substr(zero));
    std::string_view raw = cut;
    if (Utf8MetaPattern().Search(cut)) {
        if (raw.starts_with("\xEF\xBB\xBF")) {
            raw.remove_prefix(3);
            page.utf8Bom = true;
        }
        if (!systemUtf8) {
            std::optional<std::string> text = codepage::Convert(raw, "UTF-8", SystemCodePageName());
            if (!text) {
                return std::nullopt;
            }
            std::optional<std::string> back =
                codepage::Convert(*text, SystemCodePageName(), "UTF-8");
            page.lossy = !back || *back != raw;
            page.text = std::move(*text);
            return page;
        }
        // In a UTF-8 system the round trip is the identity, so even malformed bytes come back
        // as they were.
    }
    page.textIsBytes = true;
    page.bytesStart = static_cast<size_t>(raw.data() - bytes.data());
    page.bytesLength = raw.size();
    return page;
}

// Held on the page's folder from the look at the page on disk until the new page is in place,
// so that of two publishers saving one page the second always sees the first one's page.
class CPageFolderLock {
public:
    explicit CPageFolderLock(const CPageFile& page)
        : m_fd(page.FolderFd() < 0
                   ? -1
                   : ::openat(page.FolderFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (m_fd.valid() && ::flock(m_fd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }

private:
    CFileDescriptor m_fd;
};

// Message `id` on `path` with the reason errno gives.
CError FileError(int id, const std::string& path) {
    const int error = errno;
    return Failure(error, MESSAGE_ERROR, id, path, GetErrorText(error));
}

// The last system error, in its own words.
CError LastError() {
    const int error = errno;
    return Failure(error, MESSAGE_ERROR, IDS_SYSTEM_ERROR_TEXT, GetErrorText(error));
}

}  // namespace

CHtmlPage::CHtmlPage()
    : m_pWriter(&GetDefaultFileWriter()),
      m_pReport(&SilentReport()),
      m_nChangedQuestionId(IDS_PAGE_CHANGED_ON_DISK) {}

CHtmlPage::~CHtmlPage() = default;

void CHtmlPage::SetFileWriter(IFileWriter* writer) {
    m_pWriter = writer ? writer : &GetDefaultFileWriter();
}

void CHtmlPage::SetReport(IReport* report) {
    m_pReport = report ? report : &SilentReport();
}

CStatus CHtmlPage::LoadPage(const std::string& path, std::shared_ptr<const CSiteFolder> site) {
    Close();
    m_strPagePath.clear();
    m_strText.clear();
    m_strOriginalText.clear();
    m_bTextIsOriginal = false;
    m_bInserted = m_bModified = m_bUtf8Bom = m_bUtf16 = false;
    m_strUtf16Mark.clear();

    auto file = std::make_unique<CPageFile>();
    std::string bytes;
    if (!file->Open(path, std::move(site))) {
        // The page is opened for writing too, so that one we could not save is refused now.
        const int error = errno;
        const bool readable =
            (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY) &&
            ::access(path.c_str(), R_OK) == 0;
        errno = error;
        return FileError(readable ? IDS_PAGE_NOT_WRITABLE : IDS_PAGE_READ_ERROR, path);
    }
    if (!file->ReadAll(bytes)) {
        return FileError(IDS_PAGE_READ_ERROR, path);
    }
    std::optional<DecodedPage> page = DecodePage(bytes);
    if (!page) {
        return LastError();
    }
    if (page->dropsData && !m_pReport->Ask(Message(MESSAGE_WARNING, IDS_PAGE_CUT_AT_ZERO, path))) {
        return CError{};
    }
    if (page->lossy && !m_pReport->Ask(Message(MESSAGE_WARNING, IDS_PAGE_LOSSY_CODEPAGE, path,
                                               codepage::SystemCodePage()))) {
        return CError{};
    }
    m_pPageFile = std::move(file);
    m_diskState = {static_cast<int64_t>(bytes.size()), HashOf(bytes)};
    m_strPagePath = path;
    if (page->textIsBytes) {
        // The buffer read becomes the text without a copy.
        bytes.resize(page->bytesStart + page->bytesLength);
        bytes.erase(0, page->bytesStart);
        m_strOriginalText = std::move(bytes);
    } else {
        m_strOriginalText = std::move(page->text);
    }
    m_bTextIsOriginal = true;
    m_bUtf8Bom = page->utf8Bom;
    m_bUtf16 = page->utf16;
    m_strUtf16Mark = std::move(page->utf16Mark);
    return {};
}

CResult<std::string> CHtmlPage::PageText(std::string bytes) {
    std::optional<DecodedPage> page = DecodePage(bytes);
    if (!page) {
        return LastError();
    }
    if (page->dropsData || page->lossy) {
        return CError{};
    }
    if (!page->textIsBytes) {
        return std::move(page->text);
    }
    bytes.resize(page->bytesStart + page->bytesLength);
    bytes.erase(0, page->bytesStart);
    return bytes;
}

CHtmlPage::DiskChange CHtmlPage::CheckDisk() const {
    switch (m_pPageFile->CheckName()) {
        case CPageFile::NameState::Same:
            break;
        case CPageFile::NameState::NotAFile:
            return DiskChange::NotAFile;
        case CPageFile::NameState::Missing:
        case CPageFile::NameState::Replaced:
            return DiskChange::Content;
    }
    struct stat st {};
    if (::fstat(m_pPageFile->Fd(), &st) != 0 || st.st_size != m_diskState.size) {
        return DiskChange::Content;
    }
    // The content decides: a write within the clock's resolution keeps size and time, while a
    // program that only rewrote the same bytes changes nothing worth asking about.
    std::optional<uint64_t> hash = HashFile(m_pPageFile->Fd());
    return !hash || *hash != m_diskState.hash ? DiskChange::Content : DiskChange::None;
}

bool CHtmlPage::EncodeText(std::string_view text, EncodedText& encoded) const {
    encoded = EncodedText();
    // A page read as UTF-16 stays UTF-16 whatever it declares: browsers go by its mark or, when
    // it has none, by what the server says, and neither changes with the text.
    if (m_bUtf16) {
        std::optional<std::string> wide = codepage::Convert(text, SystemCodePageName(), "UTF-16LE");
        if (!wide) {
            return false;
        }
        encoded.mark = m_strUtf16Mark;
        encoded.converted = std::move(*wide);
        encoded.bytes = encoded.converted;
        return true;
    }
    if (Utf8MetaPattern().Search(text)) {
        if (m_bUtf8Bom) {
            encoded.mark = "\xEF\xBB\xBF";
        }
        if (codepage::SystemIsUtf8()) {
            encoded.bytes = text;
            return true;
        }
        std::optional<std::string> utf8 = codepage::Convert(text, SystemCodePageName(), "UTF-8");
        if (!utf8) {
            return false;
        }
        encoded.converted = std::move(*utf8);
        encoded.bytes = encoded.converted;
        return true;
    }
    if (UnicodeMetaPattern().Search(text)) {
        std::optional<std::string> wide = codepage::Convert(text, SystemCodePageName(), "UTF-16LE");
        if (!wide) {
            return false;
        }
        encoded.mark = "\xFF\xFE";
        encoded.converted = std::move(*wide);
        encoded.bytes = encoded.converted;
        return true;
    }
    encoded.bytes = text;
    return true;
}

CResult<std::string> CHtmlPage::EncodePage(std::string_view text) const {
    EncodedText encoded;
    if (!EncodeText(text, encoded)) {
        return LastError();
    }
    std::string bytes(encoded.mark);
    bytes += encoded.bytes;
    return bytes;
}

CStatus CHtmlPage::SavePage(std::string_view text) {
    if (!m_pPageFile) {
        errno = EBADF;
        return FileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
    }
    EncodedText encoded;
    if (!EncodeText(text, encoded)) {
        return LastError();
    }
    auto lock = std::make_unique<CPageFolderLock>(*m_pPageFile);
    DiskChange change = CheckDisk();
    if (change == DiskChange::Content) {
        // Nobody waits for the lock while the user decides.
        lock.reset();
        if (auto accepted = AcceptChange(
                change, [&] { lock = std::make_unique<CPageFolderLock>(*m_pPageFile); });
            !accepted) {
            return accepted;
        }
    }
    if (change == DiskChange::NotAFile) {
        lock.reset();
        return Replaced();
    }
    if (!m_pPageFile->ReplaceContents({encoded.mark, encoded.bytes}, *m_pWriter)) {
        lock.reset();
        const int error = errno;
        if (m_pPageFile->NameChanged()) {
            return Replaced(error);
        }
        if (m_pPageFile->BackupPath().empty()) {
            return FileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
        }
        return Failure(error, MESSAGE_ERROR, IDS_PAGE_SAVE_KEPT_OLD, m_strPagePath,
                       GetErrorText(error), m_pPageFile->BackupPath());
    }
    lock.reset();
    m_diskState = {static_cast<int64_t>(encoded.mark.size() + encoded.bytes.size()),
                   HashOf(encoded.mark, encoded.bytes)};
    return {};
}

CError CHtmlPage::Replaced(int error) const {
    return Failure(error, MESSAGE_ERROR, IDS_PAGE_REPLACED, m_strPagePath);
}

CStatus CHtmlPage::AcceptChange(DiskChange& change, const std::function<void()>& beforeTaking) {
    if (!m_pReport->Ask(Message(MESSAGE_WARNING, m_nChangedQuestionId, m_strPagePath))) {
        return CError{};
    }
    if (beforeTaking) {
        beforeTaking();
    }
    // The page replaced is the one the user was asked about, or whatever regular file has taken
    // its place since: never one reached through a link.
    if (!m_pPageFile->TakeFileAtName()) {
        if (errno != ELOOP) {
            return FileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
        }
        change = DiskChange::NotAFile;
    }
    return {};
}

CStatus CHtmlPage::ConfirmUnchanged() {
    if (!m_pPageFile) {
        errno = EBADF;
        return FileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
    }
    DiskChange change = CheckDisk();
    if (change == DiskChange::Content) {
        if (auto accepted = AcceptChange(change); !accepted) {
            return accepted;
        }
        if (change == DiskChange::Content) {
            // The version the user agreed to replace: the save asks again only if it changes.
            struct stat st {};
            const std::optional<uint64_t> hash = HashFile(m_pPageFile->Fd());
            if (::fstat(m_pPageFile->Fd(), &st) != 0 || !hash) {
                return FileError(IDS_PAGE_SAVE_ERROR, m_strPagePath);
            }
            m_diskState = {static_cast<int64_t>(st.st_size), *hash};
        }
    }
    if (change == DiskChange::NotAFile) {
        return Replaced();
    }
    return {};
}

void CHtmlPage::InsertPlayerCode(IPageEditor& editor) {
    std::string_view text = editor.GetText();
    PageSelection selection = editor.GetSelection();
    selection.start = std::min(selection.start, text.size());
    selection.end = std::clamp(selection.end, selection.start, text.size());
    const std::string body = MatchLineBreaks(m_strBodyCode, text);
    // Breaks that do not depend on the text around are ones a removal can take out again.
    const std::string lead = m_bOwnLines && !body.empty() ? MatchLineBreaks("\n", text) : "";
    const std::string& trail = lead;
    editor.ReplaceSelection(lead + body + trail);

    if (!m_strHeadCode.empty()) {
        // The page is edited in place, piece by piece: a large page is never copied, and each
        // step stays in the editor's undo history.
        size_t cursor = selection.start + lead.size();
        text = editor.GetText();
        const std::vector<TextRange> blocks = FindMenuScripts(text, cursor, body.size());
        if (!blocks.empty()) {
            // One edit from the first block to the end of the last keeps what lies between.
            std::string between;
            for (size_t i = 1; i < blocks.size(); ++i) {
                between.append(
                    text.substr(blocks[i - 1].end(), blocks[i].offset - blocks[i - 1].end()));
            }
            const size_t before = cursor;
            for (const TextRange& block : blocks) {
                if (block.offset < before) {
                    cursor -= block.length;
                }
            }
            editor.SetSelection(blocks.front().offset, blocks.back().end());
            editor.ReplaceSelection(between);
            text = editor.GetText();
        }
        const size_t headPos = FindHeadInsertPosition(text);
        size_t headLength = 0;
        if (!m_bInserted && !IsHeadCodePresent(text, m_strHeadCode)) {
            const std::string head = MatchLineBreaks(m_strHeadCode, text);
            editor.SetSelection(headPos, headPos);
            editor.ReplaceSelection(head);
            headLength = head.size();
        }
        if (cursor >= headPos) {
            cursor += headLength;
        }
        editor.SetSelection(cursor, cursor + body.size());
    }
    m_bInserted = true;
    m_bModified = true;
}

InsertionCheck CHtmlPage::CheckInsertionPoint(const IPageEditor& editor) const {
    return CheckInsertionPoint(editor.GetText(), editor.GetSelection());
}

InsertionCheck CHtmlPage::CheckInsertionPoint(std::string_view text,
                                              PageSelection selection) const {
    // A text the engine converted is in the system code page; any other keeps the page's bytes.
    const bool converted = m_bUtf16 || Utf8MetaPattern().Search(text);
    return ::CheckInsertionPoint(text, selection.start, selection.end,
                                 converted ? SystemCodePageName() : std::string());
}

void CHtmlPage::SetText(std::string text) {
    m_strText = std::move(text);
    m_bTextIsOriginal = false;
}

void CHtmlPage::Reset() {
    m_strText.clear();
    m_bTextIsOriginal = true;
    m_bInserted = false;
    m_bModified = false;
}

void CHtmlPage::Reset(IPageEditor& editor) {
    Reset();
    editor.SetText(Text());
}

void CHtmlPage::Close() {
    m_pPageFile.reset();
}
