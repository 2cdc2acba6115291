// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <QFileInfo>
#include <QUrl>

#include "app/QtText.h"

std::string GetStartFile(const QStringList& arguments) {
    bool options = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (options && argument == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (argument.isEmpty() || (options && argument.startsWith(QLatin1Char('-')))) {
            continue;
        }
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        return FromQt(QFileInfo(path).absoluteFilePath());
    }
    return {};
}
