// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the wizard's pages hand on to one another, owned by the sheet. The media details of the
// chosen file, the player request and the chosen player type join it with the pages that fill
// them in.
struct CWizardState {
    // 1: publish into an HTML page.
    int m_nMode = 1;
};
