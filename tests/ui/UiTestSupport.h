// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QString>

class CPublishSheet;
class QWidget;

namespace test {

// A new wizard under the program's caption, shown.
std::unique_ptr<CPublishSheet> ShownSheet();

// Back on the first page, types `media` and presses Next to the player page, laid out.
void EnterMedia(CPublishSheet& sheet, const std::string& media);

// Saves a picture of `widget` as <build folder>/screenshots/<name>.png; false when it cannot.
bool SaveScreenshot(QWidget& widget, const QString& name);

// The visible labels and buttons of `window` whose text does not fit the room they were given,
// or that stick out of the window, each described for the failure message.
std::vector<std::string> CutOffWidgets(QWidget& window);

// The tallest band of `box`, from its first row to its bottom frame, where nothing is drawn.
int TallestBlankBand(QWidget& box);

// The shown controls of `window` that take the focus but that a screen reader finds no name
// for, by class and object name.
std::vector<std::string> UnnamedControls(QWidget& window);

}  // namespace test
