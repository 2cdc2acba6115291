// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectPlayer.h"

#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/StringTable.h"
#include "ui/WizardTexts.h"

CPageSelectPlayer::CPageSelectPlayer(CWizardState& state, QWidget* parent)
    : QWizardPage(parent), m_state(state) {
    setTitle(ToQt(LoadStringRes(IDS_SELECT_PLAYER_TITLE)));
    setSubTitle(ToQt(LoadStringRes(IDS_SELECT_PLAYER_SUBTITLE)));
    setWindowTitle(QString::fromUtf8(kWizardPageCaption));
    new QVBoxLayout(this);
}
