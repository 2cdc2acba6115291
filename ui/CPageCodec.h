// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>
#include <QStringView>

// How the bytes of a page's text become the characters the source view shows, and back. Only a
// decoding whose encoding gives back the very bytes it was given is ever chosen, so showing a
// page and saving it unchanged writes what was read.
class CPageCodec {
public:
    enum class Kind { Latin1, Utf8, Named };

    // Latin-1: every byte is the character of the same number.
    CPageCodec() = default;

    // The page text's own decoding: the system code page for a text the page engine converted
    // (it declares UTF-8 or "unicode"), else the charset the page declares, else UTF-8 when the
    // bytes are valid UTF-8, else Latin-1.
    static CPageCodec ForText(std::string_view bytes);
    // A codec by its name, when Qt knows it; Latin-1 otherwise (`known` tells).
    static CPageCodec Named(const QByteArray& name, bool* known = nullptr);

    QString Decode(std::string_view bytes) const;
    std::string Encode(QStringView text) const;
    // The number of bytes `text` encodes to.
    size_t EncodedSize(QStringView text) const;
    // True when decoding `bytes` and encoding the result gives `bytes` again.
    bool RoundTrips(std::string_view bytes) const;

    Kind GetKind() const { return m_nKind; }
    const QByteArray& Name() const { return m_strName; }

private:
    CPageCodec(Kind kind, QByteArray name) : m_nKind(kind), m_strName(std::move(name)) {}

    Kind m_nKind = Kind::Latin1;
    QByteArray m_strName = "ISO-8859-1";
};
