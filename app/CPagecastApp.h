// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/CBoxReport.h"

class IMessageBox;
class IShell;
class ISettingsStore;

// The program's life: settings store, log and settings are set up, the publish wizard runs until
// the user quits, then the settings are saved and everything is torn down in a fixed order.
class CPagecastApp {
public:
    // Publishing into an HTML page, the only mode the wizard is started in.
    static constexpr int kModePublishToPage = 1;

    // Runs the wizard modally with its caption and mode; returns when the user has quit.
    using WizardRunner = std::function<void(const std::string& caption, int mode)>;

    // `box` and `shell` (not owned) are installed for the run, null keeps the current ones.
    // Without `store` the user's settings file is used.
    explicit CPagecastApp(WizardRunner runWizard, IMessageBox* box = nullptr,
                          IShell* shell = nullptr, std::shared_ptr<ISettingsStore> store = nullptr);

    bool InitInstance();
    int ExitInstance();

private:
    WizardRunner m_runWizard;
    IMessageBox* m_pMessageBox;
    IShell* m_pShell;
    std::shared_ptr<ISettingsStore> m_pStore;
    CBoxReport m_logReport;
};
