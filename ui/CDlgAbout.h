// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "app/CVersionInfo.h"

class QLabel;

// The about box: title and version, the build text when there is one, the web site, the
// support address and the player libraries shipped with their versions and licences.
class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(const CVersionInfo& version, QWidget* parent = nullptr);

private:
    void OnLink(const QString& url);
};
