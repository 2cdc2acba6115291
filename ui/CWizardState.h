// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "publish/CPublishJob.h"

// What the wizard's pages hand on to one another, owned by the sheet: the publishing job, which
// holds the chosen media's details, the player request and the chosen player.
struct CWizardState {
    // 1: publish into an HTML page.
    int m_nMode = 1;
    CPublishJob m_job;
};
