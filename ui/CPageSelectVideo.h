// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWizardPage>

#include "ui/CWizardState.h"

// The first page: the media file to publish.
class CPageSelectVideo : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageSelectVideo(CWizardState& state, QWidget* parent = nullptr);

protected:
    CWizardState& State() { return m_state; }

private:
    CWizardState& m_state;
};
