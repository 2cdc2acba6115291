// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtText.h"

#include "core/CodePage.h"

QString ToQt(std::string_view text) {
    if (codepage::SystemIsUtf8()) {
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (auto utf8 = codepage::SystemToUtf8(text)) {
        return QString::fromStdString(*utf8);
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    std::string utf8 = text.toStdString();
    if (codepage::SystemIsUtf8()) {
        return utf8;
    }
    auto system = codepage::Utf8ToSystem(utf8);
    return system ? *system : utf8;
}
