// SPDX-License-Identifier: GPL-3.0-or-later
// A page of arbitrary bytes is loaded, saved untouched, given player code at a cursor taken from
// the input and saved again. Checked: a save without an insertion gives back the very bytes
// whenever the page is UTF-16 or in the encoding it declares; an insertion changes the text by
// exactly the body code at the cursor, the head code at its place and the menu blocks, as a
// plain model of those rules computes them; and a save writes exactly the encoded text, or
// fails with a message and leaves the file as it was. Where the cursor lies in the page's
// structure: a place not reported safe is a construct around the cursor, and the place offered
// after it is safe, unless the construct is left open to the end of the text.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CodePage.h"
#include "core/Regex.h"
#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"
#include "publish/InsertionEngine.h"
#include "publish/InsertionGuard.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr const char* kHeads[] = {
    "",
    "<script src=\"js/video-js/video.js\" type=\"text/javascript\"></script>\n"
    "<link rel=\"stylesheet\" href=\"js/video-js/video-js.css\">\n",
    "<script src=\"../js/mediaelement/jquery.js\"></script>\n"
    "<script src=\"../js/mediaelement/mediaelement-and-player.min.js\"></script>\n"
    "<link rel=\"stylesheet\" href=\"../js/mediaelement/mediaelementplayer.min.css\" />\n",
    "<script src=\"a.js\"></script>\r\n\r\n<style>p{}</style>\r\n",
};

constexpr const char* kBodies[] = {
    "<video class=\"video-js vjs-default-skin\" controls=\"controls\"  width=\"320\" "
    "height=\"240\">\n<source src=\"medias/a.mp4\" type=\"video/mp4\"/>\n</video>",
    "<audio  controls=\"controls\"  >\n<source src=\"medias/b.mp3\" type=\"audio/mpeg\"/>\n"
    "</audio>\n<script>\n$('audio,video').mediaelementplayer({});\n</script>",
    // Looks like a menu block itself: what was just inserted is never taken for one.
    "<script src=\"kvmenu.js\"></script>\n<script>kv_path = 1; kv_lib = 2;</script>\r\n",
    "",
};

const CRegex& Utf8Meta() {
    static const CRegex pattern("<meta[^>]+charset=utf-8.*>", CRegex::Caseless);
    return pattern;
}

const CRegex& UnicodeMeta() {
    static const CRegex pattern("<meta[^>]+charset=unicode.*>", CRegex::Caseless);
    return pattern;
}

const CRegex& ScriptBlock() {
    static const CRegex pattern("(<script.{1,4096}?</script>(?:\\r?\\n)?)",
                                CRegex::Caseless | CRegex::DotAll);
    return pattern;
}

const char* SystemName() {
    return codepage::SystemIsUtf8() ? "UTF-8" : codepage::SystemCodePage().c_str();
}

// How the page was read: UTF-16LE (with the first unit as its mark, or without a mark), or else
// as the text declares.
struct PageEncoding {
    bool utf16 = false;
    std::string mark;
};

// The first zero 16-bit unit at or after unit `from`, or the number of whole units.
size_t ZeroUnit(std::string_view bytes, size_t from) {
    size_t unit = from;
    while (2 * unit + 1 < bytes.size() && (bytes[2 * unit] || bytes[2 * unit + 1])) {
        ++unit;
    }
    return unit;
}

PageEncoding ReadAs(std::string_view bytes) {
    const std::string_view cut = bytes.substr(0, bytes.find('\0'));
    if (cut.size() >= 2 && static_cast<unsigned char>(cut[1]) == 0xFE) {
        return {true, std::string(bytes.substr(0, 2))};
    }
    // A zero second byte: UTF-16LE without a mark when the units up to the first zero one are
    // valid UTF-16.
    if (cut.size() == 1 && bytes.size() >= 2 &&
        codepage::Convert(bytes.substr(0, 2 * ZeroUnit(bytes, 0)), "UTF-16LE", "UTF-32LE")) {
        return {true, ""};
    }
    return {};
}

// The bytes a text is saved as: a UTF-16 page stays UTF-16, any other page goes by what it
// declares.
std::optional<std::string> Encode(std::string_view text, bool bom, const PageEncoding& read) {
    if (read.utf16) {
        auto wide = codepage::Convert(text, SystemName(), "UTF-16LE");
        return wide ? std::optional<std::string>(read.mark + *wide) : std::nullopt;
    }
    if (Utf8Meta().Search(text)) {
        std::string out = bom ? "\xEF\xBB\xBF" : "";
        if (codepage::SystemIsUtf8()) {
            return out.append(text);
        }
        auto utf8 = codepage::Convert(text, SystemName(), "UTF-8");
        return utf8 ? std::optional<std::string>(out + *utf8) : std::nullopt;
    }
    if (UnicodeMeta().Search(text)) {
        auto wide = codepage::Convert(text, SystemName(), "UTF-16LE");
        return wide ? std::optional<std::string>("\xFF\xFE" + *wide) : std::nullopt;
    }
    return std::string(text);
}

// The code with the page's line breaks: CR LF throughout when the page's first break is one.
std::string LikePage(std::string_view code, std::string_view page) {
    const size_t lf = page.find('\n');
    if (lf == std::string_view::npos || lf == 0 || page[lf - 1] != '\r') {
        return std::string(code);
    }
    std::string out;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '\n' && (i == 0 || code[i - 1] != '\r')) {
            out += '\r';
        }
        out += code[i];
    }
    return out;
}

size_t FindLowerCase(const std::string& text, std::string_view tag) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower.find(tag);
}

bool HeadPresent(const std::string& text, std::string_view head) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : std::string(head) + "\n") {
        if (c == '\n') {
            if (!line.empty()) {
                lines.push_back(line);
            }
            line.clear();
        } else {
            line += c;
        }
    }
    if (lines.empty()) {
        return false;
    }
    return std::all_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return text.find(l) != std::string::npos; });
}

struct Expected {
    std::string text;
    size_t selStart = 0, selEnd = 0;
};

// The insertion rules, written plainly: body at the selection, every menu block outside the
// body removed, the head before the first closing head, else body, else html tag, else at 0.
Expected ModelInsert(const std::string& page, size_t start, size_t end, std::string_view head,
                     std::string_view body, bool inserted) {
    const std::string b = LikePage(body, page);
    Expected e;
    e.text = page.substr(0, start) + b + page.substr(end);
    size_t cursor = start;
    if (head.empty()) {
        e.selStart = e.selEnd = start + b.size();
        return e;
    }
    std::vector<CRegex::Match> blocks;
    for (const CRegex::Match& m : ScriptBlock().FindAll(e.text)) {
        if (m.offset < start + b.size() && start < m.offset + m.length) {
            continue;
        }
        const std::string_view block = std::string_view(e.text).substr(m.offset, m.length);
        for (const CRegex& pattern : MenuScriptPatterns()) {
            if (pattern.Search(block)) {
                blocks.push_back(m);
                break;
            }
        }
    }
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        e.text.erase(it->offset, it->length);
        if (it->offset < start) {
            cursor -= it->length;
        }
    }
    size_t headPos = std::string::npos;
    for (std::string_view tag : {"</head>", "<body>", "<html>"}) {
        headPos = FindLowerCase(e.text, tag);
        if (headPos != std::string::npos) {
            break;
        }
    }
    if (headPos == std::string::npos) {
        headPos = 0;
    }
    size_t headLength = 0;
    if (!inserted && !HeadPresent(e.text, head)) {
        const std::string h = LikePage(head, e.text);
        e.text.insert(headPos, h);
        headLength = h.size();
    }
    if (cursor >= headPos) {
        cursor += headLength;
    }
    e.selStart = cursor;
    e.selEnd = cursor + b.size();
    return e;
}

// A position in the text, moved back to a character's start where the page was converted (a
// view never puts the cursor inside a character).
size_t Position(uint32_t seed, const std::string& text, bool converted) {
    size_t pos = text.empty() ? 0 : seed % (text.size() + 1);
    if (converted && codepage::SystemIsUtf8()) {
        while (pos > 0 && pos < text.size() &&
               (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
            --pos;
        }
    }
    return pos;
}

// Writes without flushing to the disk: the fuzzer runs thousands of saves a second.
class CQuickWriter : public IFileWriter {
public:
    bool WriteAll(int fd, std::string_view bytes) override {
        return GetDefaultFileWriter().WriteAll(fd, bytes);
    }
    bool Sync(int) override { return true; }
};

// The check of the selection from `start` to `end`: a construct that holds one of its ends,
// and a safe place after it and not before the cursor.
InsertionCheck CheckPlace(const CHtmlPage& page, const std::string& text, size_t start,
                          size_t end) {
    const InsertionCheck check = page.CheckInsertionPoint(text, {start, end});
    if (check.IsSafe()) {
        return check;
    }
    FUZZ_CHECK(check.start < check.end && check.end <= text.size());
    // A construct left open holds the end of the text too; the head, the start of the text.
    const bool openEnd = check.openToEnd && check.end == text.size();
    // The head and a frameset hold the start of the text, a signature before them included.
    const bool fromStart =
        check.construct == InsertionConstruct::Head ||
        (check.construct == InsertionConstruct::NotShown && check.element == "frameset");
    const auto holds = [&](size_t at) {
        return (check.start < at || fromStart) && (at < check.end || (openEnd && at == check.end));
    };
    FUZZ_CHECK(holds(start) || holds(end));
    FUZZ_CHECK(check.safeOffset >= check.end && check.safeOffset <= text.size());
    FUZZ_CHECK(check.safeOffset >= start);
    if (check.openToEnd) {
        // Nothing after the cursor shows, the end of the text included.
        FUZZ_CHECK(check.safeOffset == text.size());
        FUZZ_CHECK(!page.CheckInsertionPoint(text, {text.size(), text.size()}).IsSafe());
        return check;
    }
    const InsertionCheck after =
        page.CheckInsertionPoint(text, {check.safeOffset, check.safeOffset});
    if (!after.IsSafe()) {
        std::fprintf(stderr, "offered %zu, which is in a construct %zu-%zu\n", check.safeOffset,
                     after.start, after.end);
    }
    FUZZ_CHECK(after.IsSafe());
    return check;
}

fuzz::CAnsweringMessageBox g_box;
CQuickWriter g_writer;

// The page's questions, asked through the answering box.
class CBoxQuestions : public IReport {
public:
    void Tell(const CError& message) override { g_box.Show(MB_OK, ErrorText(message)); }
    bool Ask(const CError& question) override {
        return g_box.Show(MB_YESNO | MB_ICONWARNING, ErrorText(question)) == IDYES;
    }
} g_questions;

// Saves `text` as the loaded page and checks the file against the encoding rules.
void SaveAndCheck(CHtmlPage& page, const std::string& path, const std::string& text,
                  const PageEncoding& read) {
    const std::string before = fuzz::ReadWholeFile(path);
    const std::optional<std::string> expected = Encode(text, page.HasUtf8Bom(), read);
    g_box.Reset(IDNO);
    const CStatus saved = page.SavePage(text);
    FUZZ_CHECK(g_box.questions == 0);  // nobody else wrote the page
    if (!expected) {
        // Text the declared encoding cannot hold: refused with a message, the page untouched.
        FUZZ_CHECK(!saved);
        FUZZ_CHECK(saved.why.id != 0);
        FUZZ_CHECK(fuzz::ReadWholeFile(path) == before);
        return;
    }
    FUZZ_CHECK(saved);
    FUZZ_CHECK(g_box.texts.empty());
    FUZZ_CHECK(fuzz::ReadWholeFile(path) == *expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ConfineEnvironment();
    SetMessageBox(&g_box);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t mode = in.ConsumeIntegral<uint8_t>();
    const uint32_t cursorSeed = in.ConsumeIntegral<uint32_t>();
    const uint16_t selectionSeed = in.ConsumeIntegral<uint16_t>();
    const uint32_t secondSeed = in.ConsumeIntegral<uint32_t>();
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    // A legacy code page makes the UTF-8 and UTF-16 pages really convert.
    codepage::SetSystemCodePageForTesting((mode & 1) ? "CP1252" : "");
    const int loadAnswer = (mode & 2) ? IDNO : IDYES;
    const std::string_view head = kHeads[(mode >> 2) & 3];
    const std::string_view body = kBodies[(mode >> 4) & 3];
    const bool twice = (mode & 0x40) != 0;

    const std::string path = fuzz::WriteScratchFile("page.htm", bytes);
    CHtmlPage page;
    page.SetFileWriter(&g_writer);
    page.SetReport(&g_questions);
    g_box.Reset(loadAnswer);
    if (const CStatus loaded = page.LoadPage(path); !loaded) {
        // Refused: always with a message (or after a question), and the page is left alone.
        FUZZ_CHECK(loaded.why.id != 0 || !g_box.texts.empty());
        FUZZ_CHECK(!page.IsPageOpen());
        FUZZ_CHECK(fuzz::ReadWholeFile(path) == bytes);
        return 0;
    }
    const bool asked = g_box.questions > 0;
    FUZZ_CHECK(!asked || loadAnswer == IDYES);
    const std::string text = page.Text();
    FUZZ_CHECK(text == page.OriginalText());
    FUZZ_CHECK(text.find('\0') == std::string::npos);

    const std::string_view cut = std::string_view(bytes).substr(0, bytes.find('\0'));
    const PageEncoding read = ReadAs(bytes);
    FUZZ_CHECK(page.IsUtf16() == read.utf16);
    const bool utf16 = read.utf16;
    const bool converted = utf16 || Utf8Meta().Search(cut);

    SaveAndCheck(page, path, text, read);
    // Untouched pages in the encoding they were read in come back byte for byte.
    if (!asked) {
        const std::string saved = fuzz::ReadWholeFile(path);
        if (!utf16 && (Utf8Meta().Search(cut) || !UnicodeMeta().Search(cut))) {
            FUZZ_CHECK(saved == cut);
        }
        if (utf16) {
            // Up to the first zero unit; what follows it is zeros, an odd last byte included
            // (else the load asks).
            const size_t units = ZeroUnit(bytes, read.mark.empty() ? 0 : 1);
            FUZZ_CHECK(saved == bytes.substr(0, 2 * units));
            FUZZ_CHECK(std::string_view(bytes).substr(2 * units).find_first_not_of('\0') ==
                       std::string_view::npos);
        }
    }

    const size_t start = Position(cursorSeed, text, converted);
    const size_t end = std::min(text.size(), start + selectionSeed % 64);
    const size_t selectionEnd =
        std::max(start, Position(static_cast<uint32_t>(end), text, converted));
    page.SetHeadCode(std::string(head));
    page.SetBodyCode(std::string(body));
    CheckPlace(page, text, start, selectionEnd);
    CStringPageEditor editor(text);
    editor.SetSelection(start, selectionEnd);
    page.InsertPlayerCode(editor);
    // The text with the code in it obeys the same rules. That code put at a safe place lands
    // at a safe place is not checked: a tag the parser drops from the tree (a second <body>, a
    // stray end tag) is not seen, and code put inside one lands inside a tag.
    CheckPlace(page, editor.Text(), editor.GetSelection().start, editor.GetSelection().start);
    Expected expected = ModelInsert(text, start, selectionEnd, head, body, false);
    if (editor.Text() != expected.text) {
        std::fprintf(stderr, "inserted: %s\nmodel:    %s\n", fuzz::Printable(editor.Text()).c_str(),
                     fuzz::Printable(expected.text).c_str());
    }
    FUZZ_CHECK(editor.Text() == expected.text);
    FUZZ_CHECK(editor.GetSelection().start == expected.selStart);
    FUZZ_CHECK(editor.GetSelection().end == expected.selEnd);
    FUZZ_CHECK(page.IsInserted() && page.IsModified());

    if (twice) {
        // Another copy of the body, never a second head.
        const std::string first = editor.Text();
        const size_t again = Position(secondSeed, first, converted);
        editor.SetSelection(again, again);
        page.InsertPlayerCode(editor);
        expected = ModelInsert(first, again, again, head, body, true);
        FUZZ_CHECK(editor.Text() == expected.text);
        FUZZ_CHECK(editor.GetSelection().start == expected.selStart);
        FUZZ_CHECK(editor.GetSelection().end == expected.selEnd);
    }
    SaveAndCheck(page, path, editor.Text(), read);
    return 0;
}
