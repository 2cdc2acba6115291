// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include <QMessageBox>

#include "core/MessageBox.h"

// The program's message boxes as QMessageBox: the buttons and icon of the MB_ type, the
// application title as caption, the answer in the ID_ numbering.
class CQtMessageBox : public IMessageBox {
public:
    int Show(unsigned type, const std::string& text) override;

    // The box Show runs, set up but not shown.
    static std::unique_ptr<QMessageBox> Create(unsigned type, const std::string& text,
                                               QWidget* parent);
    // The answer for the button clicked; null (the box closed without a click) counts as the
    // box's cancel-like answer.
    static int ToId(unsigned type, QMessageBox::StandardButton clicked);
};
