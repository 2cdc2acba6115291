// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "ui/CFolderChoosers.h"

class QDialogButtonBox;
class QTabWidget;
class CMovieMakerPagePublish;

// The "HTML5 Options" sheet with its one page, "Publish". OK stores the page's folders in the
// settings object, Cancel stores nothing; either way the open page's index goes to "HTML5 Page".
class CHTML5Sheet : public QDialog {
    Q_OBJECT
public:
    explicit CHTML5Sheet(QWidget* parent = nullptr,
                         CFolderChoosers choosers = CFolderChoosers::Dialogs());

    CMovieMakerPagePublish* PublishPage() const { return m_pPublishPage; }
    QDialogButtonBox* Buttons() const { return m_pButtons; }

    void done(int result) override;

private:
    QTabWidget* m_pTabs;
    CMovieMakerPagePublish* m_pPublishPage;
    QDialogButtonBox* m_pButtons;
};
