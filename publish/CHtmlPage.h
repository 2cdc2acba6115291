// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Error.h"
#include "publish/CPageFile.h"
#include "publish/IFileWriter.h"
#include "publish/IPageEditor.h"
#include "publish/InsertionGuard.h"

// The web page being published into: its file, held open from load until it is closed, its text
// in the system code page, and the player code that goes into it. The steps return what went
// wrong; the questions go through the report the caller hands in (SetReport).
class CHtmlPage {
public:
    CHtmlPage();
    ~CHtmlPage();
    CHtmlPage(const CHtmlPage&) = delete;
    CHtmlPage& operator=(const CHtmlPage&) = delete;

    // Reads the page anew, even when it is the page already loaded, so the text afterwards is
    // always the file's content. A UTF-16LE page (second byte 0xFE: a mark; or, without a mark,
    // a zero second byte and valid UTF-16) and a page declaring UTF-8 in a meta element are
    // converted to the system code page; any other page keeps its bytes. Clears the inserted
    // and modified flags. On failure nothing is loaded; a page the user declined to load (it
    // holds a zero byte, or its text does not fit the system code page) fails without a message.
    // A page of `site` is read and written through the site's handle only.
    CStatus LoadPage(const std::string& path, std::shared_ptr<const CSiteFolder> site = nullptr);
    // The text LoadPage makes of a page's bytes, for a caller that only reads; a page LoadPage
    // would ask about (a zero byte, characters the system code page lacks) fails without a message.
    static CResult<std::string> PageText(std::string bytes);
    // The bytes SavePage writes for `text` (the preview serves them): a UTF-16 page in UTF-16LE
    // with the mark it had (if any), any other page in the encoding its text declares.
    CResult<std::string> EncodePage(std::string_view text) const;
    // Writes `text` as the loaded page, replacing the file safely so that a failure leaves the
    // page as it was, or its old text kept where the message says (CPageFile::ReplaceContents).
    // When another program changed the page since it was loaded, asks first; the answer No (the
    // default) keeps that change and saves nothing. A page whose name now leads to a link or to
    // anything but a regular file is refused: nothing is written through it.
    CStatus SavePage(std::string_view text);
    // Before the files a page needs are put into the site: when another program changed the page
    // since it was loaded, asks as SavePage would; Yes takes that version as the one the save
    // replaces (SavePage then asks only about a later change). A failure when the page is not
    // to be saved.
    CStatus ConfirmUnchanged();
    // The question asked about another program's change (a string id with one %s, the page).
    void SetChangedQuestion(int stringId) { m_nChangedQuestionId = stringId; }
    // Puts the body code at the editor's cursor (replacing the selection), removes the menu
    // product's script blocks and, unless already there, puts the head code into the page's head;
    // the body code is left selected. Inserted code takes the page's CR LF line breaks. The
    // editor sees up to three replacements (body, menu blocks, head); a view may group them.
    void InsertPlayerCode(IPageEditor& editor);
    // Where the body code would land if inserted now: inside a comment, a tag, a script or the
    // like, the head or another player, with the offset just after it. Both front ends ask
    // this before InsertPlayerCode.
    InsertionCheck CheckInsertionPoint(const IPageEditor& editor) const;
    // The same for a copy of the editor's text and selection (to check on another thread).
    InsertionCheck CheckInsertionPoint(std::string_view text, PageSelection selection) const;
    // Back to the text as loaded, nothing inserted; the second form also shows it in the editor.
    void Reset();
    void Reset(IPageEditor& editor);
    // Lets go of the page file (after publishing); the text stays.
    void Close();

    bool IsPageOpen() const { return m_pPageFile != nullptr; }
    // The page's file while it is open; else null.
    const CPageFile* File() const { return m_pPageFile.get(); }
    const std::string& PagePath() const { return m_strPagePath; }
    const std::string& Text() const { return m_bTextIsOriginal ? m_strOriginalText : m_strText; }
    void SetText(std::string text);
    const std::string& OriginalText() const { return m_strOriginalText; }
    const std::string& HeadCode() const { return m_strHeadCode; }
    const std::string& BodyCode() const { return m_strBodyCode; }
    void SetHeadCode(std::string code) { m_strHeadCode = std::move(code); }
    // `ownLines`: the code goes on lines of its own, one line break (the page's) added before
    // and one after it, whatever the cursor is next to.
    void SetBodyCode(std::string code, bool ownLines = false) {
        m_strBodyCode = std::move(code);
        m_bOwnLines = ownLines;
    }
    bool IsInserted() const { return m_bInserted; }
    bool IsModified() const { return m_bModified; }
    void SetModified(bool modified) { m_bModified = modified; }
    bool HasUtf8Bom() const { return m_bUtf8Bom; }
    bool IsUtf16() const { return m_bUtf16; }

    // Null returns to plain write(2) and fsync(2).
    void SetFileWriter(IFileWriter* writer);
    // Where the questions about the page go; null answers No to each.
    void SetReport(IReport* report);

private:
    // The page as this object last read or wrote it, to notice another program's write.
    struct DiskState {
        int64_t size = 0;
        uint64_t hash = 0;
    };

    // The bytes a text is saved as: a mark (byte order or UTF-8 signature), then either the text
    // itself or its conversion.
    struct EncodedText {
        std::string_view mark;
        std::string_view bytes;
        std::string converted;
    };

    // What became of the page on disk since this object last read or wrote it.
    enum class DiskChange { None, Content, NotAFile };

    bool EncodeText(std::string_view text, EncodedText& encoded) const;
    DiskChange CheckDisk() const;
    // Asks about a change CheckDisk found and, on Yes, holds the file now at the page's name;
    // `change` becomes NotAFile when a link is there.
    CStatus AcceptChange(DiskChange& change, const std::function<void()>& beforeTaking = {});
    // The page's name leads elsewhere now (message 312).
    CError Replaced(int error = ESTALE) const;

    std::unique_ptr<CPageFile> m_pPageFile;
    std::string m_strPagePath;
    std::string m_strText;
    std::string m_strOriginalText;
    std::string m_strHeadCode;
    std::string m_strBodyCode;
    bool m_bInserted = false;
    bool m_bOwnLines = false;
    bool m_bModified = false;
    bool m_bUtf8Bom = false;
    bool m_bUtf16 = false;
    std::string m_strUtf16Mark;
    // The text is still the original: one copy of a large page instead of two.
    bool m_bTextIsOriginal = false;
    DiskState m_diskState;
    IFileWriter* m_pWriter;
    IReport* m_pReport;
    int m_nChangedQuestionId;
};
