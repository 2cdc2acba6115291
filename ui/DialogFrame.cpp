// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DialogFrame.h"

#include <algorithm>

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QMessageBox>

namespace {

// Beside the title: the close button, the window icon and the frame.
constexpr int kTitleBarExtra_px = 120;

}  // namespace

int TitleWidth(const QDialog& dialog) {
    // Title bars draw a bold face, often a little larger than the dialog's.
    QFont font = dialog.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.1);
    return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + kTitleBarExtra_px;
}

void ApplyDialogFrame(QDialog& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const int width = TitleWidth(dialog);
    // A message box fixes its size to its layout's at every show, and remakes that layout when
    // its parts change; its buttons stay, so they carry the width.
    if (auto* message = qobject_cast<QMessageBox*>(&dialog)) {
        const QMargins margins = message->layout()->contentsMargins();
        message->findChild<QDialogButtonBox*>()->setMinimumWidth(width - margins.left() -
                                                                 margins.right());
        return;
    }
    // A strut holds in every size constraint of the layout, a fixed size included.
    auto* box = qobject_cast<QBoxLayout*>(dialog.layout());
    if (box && (box->direction() == QBoxLayout::TopToBottom ||
                box->direction() == QBoxLayout::BottomToTop)) {
        box->addStrut(width);
        return;
    }
    dialog.setMinimumWidth(std::max(dialog.minimumSizeHint().width(), width));
}
