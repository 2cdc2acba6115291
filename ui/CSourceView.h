// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextCursor>

#include "publish/IPageEditor.h"
#include "ui/CPageCodec.h"

// The page's source. It shows the page's characters with plain line breaks, while the page
// engine sees the page's own bytes: every line ends in the break the page had there (LF, CR LF,
// CR), lines the user or the engine added end in the page's usual break, and the characters are
// encoded back with the decoding they were shown with. So a page loaded and saved unchanged is
// written byte for byte as it was read.
class CSourceView : public QPlainTextEdit, public IPageEditor {
    Q_OBJECT
public:
    explicit CSourceView(QWidget* parent = nullptr);

    std::string_view GetText() const override;
    PageSelection GetSelection() const override;
    void ReplaceSelection(std::string_view text) override;
    // A new page: the decoding is chosen anew and the undo history starts empty.
    void SetText(const std::string& text) override;
    void SetSelection(size_t start, size_t end) override;

    // The edits between the two calls are one step of the undo history.
    void BeginEditGroup();
    void EndEditGroup();

    // Shows the bytes from `start` to `end` scrolled into view and marked, with the cursor after
    // them and nothing selected, so that a keystroke cannot replace them. The mark goes with the
    // next edit.
    void ShowMarked(size_t start, size_t end);
    // The marked text, empty when there is no mark.
    QString MarkedText() const;

    // Byte offsets in GetText() and document positions. An offset inside a character or a line
    // break goes to the position before that character or at the end of that line.
    int PositionOfOffset(size_t offset) const;
    size_t OffsetOfPosition(int position) const;

    const CPageCodec& Codec() const { return m_codec; }

signals:
    // Files dropped on the view: pages to load, not text to insert.
    void filesDropped(const QStringList& paths);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // The characters that end a line in the document, which shows each as a plain break.
    enum Break : uint8_t { kNoBreak, kLf, kCrLf, kCr, kParagraph, kFrameStart, kFrameEnd };

    struct Line {
        qsizetype offset = 0;
        qsizetype length = 0;
        size_t hash = 0;
        Break after = kNoBreak;
    };

    // The bytes of the current text and where each line's bytes start and end.
    struct Bytes {
        bool valid = false;
        std::string text;
        std::vector<size_t> lineStart;
        std::vector<size_t> lineEnd;
    };

    static QStringView BreakText(Break kind);
    void Load(const std::string& text, const CPageCodec& codec);
    void Rebuild() const;
    const Bytes& Current() const;
    int ColumnOfBytes(const QString& line, size_t bytes) const;

    CPageCodec m_codec;
    QString m_strOriginal;
    std::vector<Line> m_arrOriginal;
    Break m_nDefaultBreak = kLf;
    mutable Bytes m_bytes;
    QTextCursor m_groupCursor;
    int m_nGroupDepth = 0;
};
