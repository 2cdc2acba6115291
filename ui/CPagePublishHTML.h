// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWizardPage>

#include "ui/CWizardState.h"

// The last page: a web page under the site root gets the player code and is published by the
// wizard's Finish, which is enabled only once code has been inserted.
class CPagePublishHTML : public QWizardPage {
    Q_OBJECT
public:
    explicit CPagePublishHTML(CWizardState& state, QWidget* parent = nullptr);

    bool isComplete() const override { return m_bFinishEnabled; }
    // The wizard's Finish. Publishing never closes the wizard.
    void OnWizardFinish();

protected:
    void SetFinishEnabled(bool enabled);
    CWizardState& State() { return m_state; }

private:
    CWizardState& m_state;
    bool m_bFinishEnabled = false;
};
