// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QStringList>

// The media file the wizard was started with (a path or a file: URL, as file managers pass it),
// made absolute; empty when the arguments name none. Arguments before "--" that begin with "-"
// are options, not files; the first file wins.
std::string GetStartFile(const QStringList& arguments);
