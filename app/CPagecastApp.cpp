// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CPagecastApp.h"

#include <utility>

#include "app/CQtSettingsStore.h"
#include "core/Log.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/SettingsStore.h"
#include "core/Shell.h"
#include "core/StringTable.h"

CPagecastApp::CPagecastApp(WizardRunner runWizard, IMessageBox* box, IShell* shell,
                           std::shared_ptr<ISettingsStore> store)
    : m_runWizard(std::move(runWizard)),
      m_pMessageBox(box),
      m_pShell(shell),
      m_pStore(std::move(store)) {}

bool CPagecastApp::InitInstance() {
    // Before the log exists, so that even its file-error message reaches the user.
    if (m_pMessageBox) {
        SetMessageBox(m_pMessageBox);
    }
    if (m_pShell) {
        SetShell(m_pShell);
    }
    if (!m_pStore) {
        m_pStore = std::make_shared<CQtSettingsStore>();
    }
    SetSettingsStore(m_pStore);

    CLog::SetReport(&m_logReport);
    CLog::Instance();
    CLog::Instance()->Write("COptions::Instance()->LoadState().\r\n");
    COptions::Instance()->LoadState();

    if (m_runWizard) {
        m_runWizard(LoadStringRes(IDS_PUBLISH_CAPTION), kModePublishToPage);
    }
    CLog::Instance()->Write("CPagecastApp::InitInstance() Out.\r\n");
    return true;
}

int CPagecastApp::ExitInstance() {
    COptions* options = COptions::Instance();
    CLog* log = CLog::Instance();
    log->Write("CPagecastApp::ExitInstance() %d.\r\n", options->m_nRunTimes);
    options->SaveState();
    COptions::DestroyInstance();
    // The log writes "Enable Logging" back as it goes, so the store outlives it.
    CLog::DestroyInstance();
    CLog::SetReport(nullptr);
    GetSettingsStore().Flush();
    SetSettingsStore(nullptr);
    m_pStore.reset();
    if (m_pShell) {
        SetShell(nullptr);
    }
    if (m_pMessageBox) {
        SetMessageBox(nullptr);
    }
    return 0;
}
