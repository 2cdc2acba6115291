// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QDialog;

// Gives a small dialog the frame it needs: a title and a close button, no minimise or maximise
// box, and at least the width its whole title needs. Call once the title is set.
void ApplyDialogFrame(QDialog& dialog);

// The width the window manager needs to show `dialog`'s whole title beside its close button.
int TitleWidth(const QDialog& dialog);
