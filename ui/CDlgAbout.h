// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "app/CVersionInfo.h"

class QGridLayout;

// The about box: title and version, the build text when there is one, the web site, the
// support address, the player libraries shipped and the libraries built in with their versions
// and licences, and the program's own licence in full.
class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(const CVersionInfo& version, QWidget* parent = nullptr);

private:
    // The web site and the support address.
    QGridLayout* MakeLinks();
    void OnLink(const QString& url);
};
