// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPagePublishHTML.h"

#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "ui/WizardTexts.h"

CPagePublishHTML::CPagePublishHTML(CWizardState& state, QWidget* parent)
    : QWizardPage(parent), m_state(state) {
    setTitle(ToQt(LoadStringRes(IDS_PUBLISH_PAGE_TITLE)));
    setSubTitle(ToQt(LoadStringRes(IDS_PUBLISH_PAGE_SUBTITLE)));
    setWindowTitle(QString::fromUtf8(kWizardPageCaption));
    new QVBoxLayout(this);
}

void CPagePublishHTML::OnWizardFinish() {}

void CPagePublishHTML::SetFinishEnabled(bool enabled) {
    if (m_bFinishEnabled != enabled) {
        m_bFinishEnabled = enabled;
        emit completeChanged();
    }
}
