// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWizardPage>

#include "ui/CWizardState.h"

// The second page: the player template and its playback options.
class CPageSelectPlayer : public QWizardPage {
    Q_OBJECT
public:
    explicit CPageSelectPlayer(CWizardState& state, QWidget* parent = nullptr);

protected:
    CWizardState& State() { return m_state; }

private:
    CWizardState& m_state;
};
