// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageCodec.h"

#include <vector>

#include <QStringDecoder>
#include <QStringEncoder>

#include "core/CodePage.h"
#include "core/Regex.h"

namespace {

// The declarations the page engine converts on load and save.
bool EngineConverts(std::string_view bytes) {
    static const CRegex utf8("<meta[^>]+charset=utf-8.*>", CRegex::Caseless);
    static const CRegex unicode("<meta[^>]+charset=unicode.*>", CRegex::Caseless);
    return utf8.Search(bytes) || unicode.Search(bytes);
}

QByteArray DeclaredCharset(std::string_view bytes) {
    static const CRegex declared("<meta[^>]*?charset\\s*=\\s*[\"']?\\s*([a-z0-9_.:-]+)",
                                 CRegex::Caseless);
    CRegex::Match match;
    if (!declared.Search(bytes, &match) || match.groups.empty() ||
        match.groups[0].first == std::string_view::npos) {
        return {};
    }
    const auto [offset, length] = match.groups[0];
    return QByteArray(bytes.data() + offset, static_cast<qsizetype>(length)).toLower();
}

// A declaration of a two- or four-byte encoding cannot describe bytes that were not converted
// from it: such a page would not have loaded as text.
bool IsWideCharset(const QByteArray& name) {
    return name.contains("16") || name.contains("32") || name.contains("ucs") ||
           name.contains("unicode");
}

}  // namespace

CPageCodec CPageCodec::Named(const QByteArray& name, bool* known) {
    const QByteArray lower = name.toLower();
    bool isKnown = true;
    CPageCodec codec;
    if (lower == "utf-8" || lower == "utf8") {
        codec = CPageCodec(Kind::Utf8, "UTF-8");
    } else if (lower == "iso-8859-1" || lower == "latin1" || lower == "latin-1") {
        codec = CPageCodec();
    } else if (QStringDecoder(name.constData()).isValid() &&
               QStringEncoder(name.constData()).isValid()) {
        codec = CPageCodec(Kind::Named, name);
    } else {
        isKnown = false;
    }
    if (known) {
        *known = isKnown;
    }
    return codec;
}

CPageCodec CPageCodec::ForText(std::string_view bytes) {
    std::vector<CPageCodec> candidates;
    bool known = false;
    if (EngineConverts(bytes)) {
        CPageCodec system =
            codepage::SystemIsUtf8()
                ? CPageCodec(Kind::Utf8, "UTF-8")
                : Named(QByteArray::fromStdString(codepage::SystemCodePage()), &known);
        if (codepage::SystemIsUtf8() || known) {
            candidates.push_back(system);
        }
    }
    const QByteArray declared = DeclaredCharset(bytes);
    if (!declared.isEmpty() && !IsWideCharset(declared)) {
        CPageCodec codec = Named(declared, &known);
        if (known) {
            candidates.push_back(codec);
        }
    }
    if (codepage::IsValidUtf8(bytes)) {
        candidates.push_back(CPageCodec(Kind::Utf8, "UTF-8"));
    }
    for (const CPageCodec& codec : candidates) {
        if (codec.RoundTrips(bytes)) {
            return codec;
        }
    }
    return CPageCodec();
}

QString CPageCodec::Decode(std::string_view bytes) const {
    const auto size = static_cast<qsizetype>(bytes.size());
    switch (m_nKind) {
        case Kind::Latin1:
            return QString::fromLatin1(bytes.data(), size);
        case Kind::Utf8: {
            // A signature at the start is a character of the text, to be written back.
            QStringDecoder decoder(QStringConverter::Utf8,
                                   QStringConverter::Flag::ConvertInitialBom);
            return decoder.decode(QByteArrayView(bytes.data(), size));
        }
        case Kind::Named: {
            QStringDecoder decoder(m_strName.constData(),
                                   QStringConverter::Flag::ConvertInitialBom);
            return decoder.decode(QByteArrayView(bytes.data(), size));
        }
    }
    return {};
}

std::string CPageCodec::Encode(QStringView text) const {
    QByteArray bytes;
    switch (m_nKind) {
        case Kind::Latin1:
            bytes = text.toLatin1();
            break;
        case Kind::Utf8:
            bytes = text.toUtf8();
            break;
        case Kind::Named: {
            QStringEncoder encoder(m_strName.constData());
            bytes = encoder.encode(text);
            break;
        }
    }
    return bytes.toStdString();
}

size_t CPageCodec::EncodedSize(QStringView text) const {
    if (m_nKind == Kind::Latin1) {
        return static_cast<size_t>(text.size());
    }
    if (m_nKind == Kind::Utf8) {
        size_t size = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i].unicode();
            if (unit < 0x80) {
                size += 1;
            } else if (unit < 0x800) {
                size += 2;
            } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
                       QChar::isLowSurrogate(text[i + 1].unicode())) {
                size += 4;
                ++i;
            } else {
                size += 3;
            }
        }
        return size;
    }
    return Encode(text).size();
}

bool CPageCodec::RoundTrips(std::string_view bytes) const {
    if (m_nKind == Kind::Latin1) {
        return true;
    }
    if (m_nKind == Kind::Utf8 && !codepage::IsValidUtf8(bytes)) {
        return false;
    }
    return Encode(Decode(bytes)) == bytes;
}
