// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CHTML5Sheet.h"

#include <utility>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"
#include "ui/CMovieMakerPagePublish.h"
#include "ui/DialogFrame.h"

CHTML5Sheet::CHTML5Sheet(QWidget* parent, CFolderChoosers choosers)
    : QDialog(parent),
      m_pTabs(new QTabWidget(this)),
      m_pPublishPage(new CMovieMakerPagePublish(std::move(choosers), m_pTabs)),
      m_pButtons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setWindowTitle(ToQt(LoadStringRes(IDS_HTML5_OPTIONS)));
    m_pTabs->addTab(m_pPublishPage, QStringLiteral("Publish"));
    const int start = GetSettingsStore().GetInt(settings::kOptions, settings::kHtml5Page, 0);
    m_pTabs->setCurrentIndex(start >= 0 && start < m_pTabs->count() ? start : 0);

    if (COptions::Instance()->m_bUsedForCapture) {
        m_pButtons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        m_pButtons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    }
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs, 1);
    layout->addWidget(m_pButtons);
    ApplyDialogFrame(*this);
}

void CHTML5Sheet::done(int result) {
    if (result == QDialog::Accepted) {
        m_pPublishPage->OnApply();
    }
    GetSettingsStore().WriteInt(settings::kOptions, settings::kHtml5Page, m_pTabs->currentIndex());
    QDialog::done(result);
}
