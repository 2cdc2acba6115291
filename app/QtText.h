// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include <QString>

// The engine's text is in the system code page; Qt's is Unicode. These convert at the boundary.
QString ToQt(std::string_view text);
std::string FromQt(const QString& text);
