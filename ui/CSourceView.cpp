// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSourceView.h"

#include <algorithm>
#include <functional>
#include <optional>

#include <QFontDatabase>
#include <QHash>
#include <QMimeData>
#include <QStringEncoder>
#include <QTextBlock>
#include <QUrl>

namespace {

// Beyond this many changed lines the lines between the first and the last change are taken as
// all new: their breaks become the page's usual one.
constexpr ptrdiff_t kMaxLineEdits = 1000;

// For each line now, the line it was before (unchanged), or -1: a shortest edit script over
// whole lines, after the unchanged lines at both ends are set aside.
std::vector<ptrdiff_t> MatchLines(size_t before, size_t now,
                                  const std::function<bool(size_t, size_t)>& equal) {
    std::vector<ptrdiff_t> match(now, -1);
    size_t head = 0;
    while (head < before && head < now && equal(head, head)) {
        match[head] = static_cast<ptrdiff_t>(head);
        ++head;
    }
    size_t tail = 0;
    while (tail < before - head && tail < now - head && equal(before - 1 - tail, now - 1 - tail)) {
        match[now - 1 - tail] = static_cast<ptrdiff_t>(before - 1 - tail);
        ++tail;
    }
    const auto n = static_cast<ptrdiff_t>(before - head - tail);
    const auto m = static_cast<ptrdiff_t>(now - head - tail);
    if (n == 0 || m == 0) {
        return match;
    }
    const auto same = [&](ptrdiff_t x, ptrdiff_t y) {
        return equal(head + static_cast<size_t>(x), head + static_cast<size_t>(y));
    };
    const ptrdiff_t maxEdits = std::min(n + m, kMaxLineEdits);
    // v[k + offset] is the furthest x on diagonal k; trace[d] is v before step d, diagonals
    // -d..d only.
    const ptrdiff_t offset = maxEdits + 1;
    std::vector<ptrdiff_t> v(static_cast<size_t>(2 * maxEdits + 3), 0);
    std::vector<std::vector<ptrdiff_t>> trace;
    const auto at = [&](ptrdiff_t k) -> ptrdiff_t& { return v[static_cast<size_t>(k + offset)]; };
    for (ptrdiff_t d = 0; d <= maxEdits; ++d) {
        trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        for (ptrdiff_t k = -d; k <= d; k += 2) {
            ptrdiff_t x =
                (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            ptrdiff_t y = x - k;
            while (x < n && y < m && same(x, y)) {
                ++x;
                ++y;
            }
            at(k) = x;
            if (x < n || y < m) {
                continue;
            }
            // Walk back through the steps, taking the diagonal runs as unchanged lines.
            for (ptrdiff_t e = d; e > 0; --e) {
                const std::vector<ptrdiff_t>& prev = trace[static_cast<size_t>(e)];
                const auto was = [&](ptrdiff_t kk) { return prev[static_cast<size_t>(kk + e)]; };
                const ptrdiff_t kk = x - y;
                const ptrdiff_t prevK =
                    (kk == -e || (kk != e && was(kk - 1) < was(kk + 1))) ? kk + 1 : kk - 1;
                const ptrdiff_t prevX = was(prevK);
                const ptrdiff_t prevY = prevX - prevK;
                while (x > prevX && y > prevY) {
                    --x;
                    --y;
                    match[head + static_cast<size_t>(y)] = static_cast<ptrdiff_t>(head) + x;
                }
                x = prevX;
                y = prevY;
            }
            while (x > 0 && y > 0) {
                --x;
                --y;
                match[head + static_cast<size_t>(y)] = static_cast<ptrdiff_t>(head) + x;
            }
            return match;
        }
    }
    return match;
}

}  // namespace

CSourceView::CSourceView(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShadow(QFrame::Sunken);
    // The selection stays visible while the Find dialog has the focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    }
    setPalette(colours);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int, int, int) { m_bytes.valid = false; });
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_nGroupDepth == 0) {
            setExtraSelections({});
        }
    });
}

void CSourceView::ShowMarked(size_t start, size_t end) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = textCursor();
    mark.cursor.setPosition(PositionOfOffset(start));
    mark.cursor.setPosition(PositionOfOffset(end), QTextCursor::KeepAnchor);
    QColor tint = palette().color(QPalette::Highlight);
    tint.setAlpha(60);
    mark.format.setBackground(tint);
    QTextCursor cursor = mark.cursor;
    cursor.setPosition(mark.cursor.selectionStart());
    setTextCursor(cursor);
    ensureCursorVisible();
    cursor.setPosition(mark.cursor.selectionEnd());
    setTextCursor(cursor);
    ensureCursorVisible();
    setExtraSelections({mark});
}

QString CSourceView::MarkedText() const {
    const QList<QTextEdit::ExtraSelection> marks = extraSelections();
    return marks.isEmpty() ? QString()
                           : marks.front().cursor.selectedText().replace(QChar::ParagraphSeparator,
                                                                         QLatin1Char('\n'));
}

QStringView CSourceView::BreakText(Break kind) {
    static const QString texts[] = {
        QString(),
        QStringLiteral("\n"),
        QStringLiteral("\r\n"),
        QStringLiteral("\r"),
        QString(QChar::ParagraphSeparator),
        QString(QChar(0xFDD0)),
        QString(QChar(0xFDD1)),
    };
    return texts[kind];
}

void CSourceView::SetText(const std::string& text) {
    Load(text, CPageCodec::ForText(text));
    // The document keeps a few characters in its own way; should any of them be in the page,
    // byte for byte still holds.
    if (GetText() != text && m_codec.GetKind() != CPageCodec::Kind::Latin1) {
        Load(text, CPageCodec());
    }
}

void CSourceView::Load(const std::string& text, const CPageCodec& codec) {
    m_codec = codec;
    m_strOriginal = m_codec.Decode(text);
    m_arrOriginal.clear();
    // New lines end as the page engine ends the code it inserts: CR LF when the page's first
    // line feed follows a carriage return.
    const qsizetype firstFeed = m_strOriginal.indexOf(QLatin1Char('\n'));
    m_nDefaultBreak =
        firstFeed > 0 && m_strOriginal[firstFeed - 1] == QLatin1Char('\r') ? kCrLf : kLf;
    QString shown;
    shown.reserve(m_strOriginal.size());
    qsizetype start = 0;
    const qsizetype size = m_strOriginal.size();
    const auto endLine = [&](qsizetype end, Break kind) {
        Line line;
        line.offset = start;
        line.length = end - start;
        const QStringView content = QStringView(m_strOriginal).mid(start, line.length);
        line.hash = qHash(content);
        line.after = kind;
        m_arrOriginal.push_back(line);
        shown += content;
        if (kind != kNoBreak) {
            shown += QLatin1Char('\n');
        }
    };
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = m_strOriginal[i].unicode();
        Break kind = kNoBreak;
        qsizetype length = 1;
        if (c == u'\r' && i + 1 < size && m_strOriginal[i + 1] == QLatin1Char('\n')) {
            kind = kCrLf;
            length = 2;
        } else if (c == u'\r') {
            kind = kCr;
        } else if (c == u'\n') {
            kind = kLf;
        } else if (c == QChar::ParagraphSeparator) {
            kind = kParagraph;
        } else if (c == 0xFDD0) {
            kind = kFrameStart;
        } else if (c == 0xFDD1) {
            kind = kFrameEnd;
        }
        if (kind != kNoBreak) {
            endLine(i, kind);
            i += length - 1;
            start = i + 1;
        }
    }
    endLine(size, kNoBreak);
    setPlainText(shown);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_bytes.valid = false;
}

void CSourceView::Rebuild() const {
    std::vector<QString> lines;
    std::vector<size_t> hashes;
    lines.reserve(static_cast<size_t>(document()->blockCount()));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines.push_back(block.text());
        hashes.push_back(qHash(lines.back()));
    }
    const std::vector<ptrdiff_t> match =
        MatchLines(m_arrOriginal.size(), lines.size(), [&](size_t before, size_t now) {
            const Line& line = m_arrOriginal[before];
            return line.hash == hashes[now] &&
                   QStringView(m_strOriginal).mid(line.offset, line.length) == lines[now];
        });

    // A kept line keeps its break. A run of new lines that replaces old ones (a line edited,
    // split or joined) ends with the break that ended the last of them; other new lines get the
    // page's usual break.
    std::vector<Break> after(lines.size(), m_nDefaultBreak);
    ptrdiff_t previous = -1;
    for (size_t i = 0; i < lines.size();) {
        if (match[i] >= 0) {
            after[i] = m_arrOriginal[static_cast<size_t>(match[i])].after;
            previous = match[i];
            ++i;
            continue;
        }
        size_t end = i;
        while (end < lines.size() && match[end] < 0) {
            ++end;
        }
        const ptrdiff_t next =
            end < lines.size() ? match[end] : static_cast<ptrdiff_t>(m_arrOriginal.size());
        if (next - previous > 1) {
            after[end - 1] = m_arrOriginal[static_cast<size_t>(next - 1)].after;
        }
        i = end;
    }

    Bytes& bytes = m_bytes;
    bytes.text.clear();
    bytes.lineStart.assign(lines.size(), 0);
    bytes.lineEnd.assign(lines.size(), 0);
    // One encoder for the whole text, so an encoding with shift states writes what it would for
    // the text in one piece.
    std::optional<QStringEncoder> encoder;
    if (m_codec.GetKind() == CPageCodec::Kind::Named) {
        encoder.emplace(m_codec.Name().constData());
    }
    const auto append = [&](QStringView piece) {
        if (encoder) {
            const QByteArray encoded = encoder->encode(piece);
            bytes.text.append(encoded.constData(), static_cast<size_t>(encoded.size()));
        } else {
            bytes.text += m_codec.Encode(piece);
        }
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        bytes.lineStart[i] = bytes.text.size();
        append(lines[i]);
        bytes.lineEnd[i] = bytes.text.size();
        if (i + 1 < lines.size()) {
            append(BreakText(after[i] == kNoBreak ? m_nDefaultBreak : after[i]));
        }
    }
    bytes.valid = true;
}

const CSourceView::Bytes& CSourceView::Current() const {
    if (!m_bytes.valid) {
        Rebuild();
    }
    return m_bytes;
}

std::string_view CSourceView::GetText() const {
    return Current().text;
}

int CSourceView::ColumnOfBytes(const QString& line, size_t bytes) const {
    if (m_codec.GetKind() == CPageCodec::Kind::Latin1) {
        return static_cast<int>(std::min<size_t>(bytes, static_cast<size_t>(line.size())));
    }
    // The longest start of the line that takes no more than `bytes`, never half a pair.
    qsizetype low = 0;
    qsizetype high = line.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (m_codec.EncodedSize(QStringView(line).left(mid)) <= bytes) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    if (low > 0 && low < line.size() && line[low - 1].isHighSurrogate()) {
        --low;
    }
    return static_cast<int>(low);
}

int CSourceView::PositionOfOffset(size_t offset) const {
    const Bytes& bytes = Current();
    if (bytes.lineStart.empty()) {
        return 0;
    }
    const auto next = std::upper_bound(bytes.lineStart.begin(), bytes.lineStart.end(), offset);
    const size_t index = next == bytes.lineStart.begin()
                             ? 0
                             : static_cast<size_t>(next - bytes.lineStart.begin()) - 1;
    const QTextBlock block = document()->findBlockByNumber(static_cast<int>(index));
    const QString line = block.text();
    if (offset >= bytes.lineEnd[index]) {
        return block.position() + static_cast<int>(line.size());
    }
    return block.position() + ColumnOfBytes(line, offset - bytes.lineStart[index]);
}

size_t CSourceView::OffsetOfPosition(int position) const {
    const Bytes& bytes = Current();
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid()) {
        return bytes.text.size();
    }
    const auto index = static_cast<size_t>(block.blockNumber());
    const int column = position - block.position();
    return bytes.lineStart[index] + m_codec.EncodedSize(QStringView(block.text()).left(column));
}

PageSelection CSourceView::GetSelection() const {
    const QTextCursor cursor = textCursor();
    return {OffsetOfPosition(cursor.selectionStart()), OffsetOfPosition(cursor.selectionEnd())};
}

void CSourceView::SetSelection(size_t start, size_t end) {
    QTextCursor cursor = textCursor();
    cursor.setPosition(PositionOfOffset(start));
    cursor.setPosition(PositionOfOffset(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void CSourceView::ReplaceSelection(std::string_view text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(m_codec.Decode(text));
    // Inside an edit group the document reports its change only at the end.
    m_bytes.valid = false;
    setTextCursor(cursor);
}

void CSourceView::BeginEditGroup() {
    if (m_nGroupDepth++ == 0) {
        m_groupCursor = QTextCursor(document());
        m_groupCursor.beginEditBlock();
    }
}

void CSourceView::EndEditGroup() {
    if (m_nGroupDepth > 0 && --m_nGroupDepth == 0) {
        m_groupCursor.endEditBlock();
        m_bytes.valid = false;
    }
}

bool CSourceView::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasUrls() || QPlainTextEdit::canInsertFromMimeData(source);
}

void CSourceView::insertFromMimeData(const QMimeData* source) {
    if (!source->hasUrls()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QStringList paths;
    for (const QUrl& url : source->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    emit filesDropped(paths);
}
