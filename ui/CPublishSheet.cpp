// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPublishSheet.h"

#include <utility>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPixmap>
#include <QShortcut>
#include <QTimer>

#include "app/CBoxReport.h"
#include "app/HelpCommands.h"
#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/SettingsStore.h"
#include "core/Shell.h"
#include "core/StringTable.h"
#include "ui/CDlgAbout.h"
#include "ui/CPagePublishHTML.h"
#include "ui/CPageSelectPlayer.h"
#include "ui/CPageSelectVideo.h"

namespace {

// Where the window was and how large, for the next start.
constexpr const char* kWindowSection = "Window";
constexpr const char* kGeometryKey = "Geometry";

constexpr Qt::WindowFlags kWindowFlags = Qt::Dialog | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                         Qt::WindowCloseButtonHint;

// The pages were laid out 366 by 215 dialog units; a dialog unit is a quarter of the font's
// average character width across and an eighth of its height down.
QSize PageSize(const QFontMetrics& metrics) {
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {366 * letters / 52 / 4, 215 * metrics.height() / 8};
}

}  // namespace

CPublishSheet::CPublishSheet(const QString& caption, QWidget* parent, int mode)
    : QWizard(parent, kWindowFlags), m_strCaption(caption) {
    m_state.m_nMode = mode;
    m_state.m_job.SetWorkFolder(COptions::Instance()->m_strWorkFolder);
    setWindowTitle(caption);
    setWizardStyle(QWizard::ModernStyle);
    setPixmap(QWizard::LogoPixmap, QPixmap(QStringLiteral(":/dede5/logo48.png")));
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::HaveHelpButton);

    // Finish publishes, and the publish page asks for a click on "Publish": the button says so.
    // Its mnemonic is P, so that Alt+F stays with the page's Find.
    setButtonText(QWizard::FinishButton,
                  QStringLiteral("&") + ToQt(LoadStringRes(IDS_PUBLISH_BUTTON)));
    if (COptions::Instance()->m_bUsedForCapture) {
        setButtonText(QWizard::FinishButton, ToQt(LoadStringRes(IDS_PUBLISH_BUTTON)));
        setButtonText(QWizard::BackButton, QStringLiteral("Back"));
        setButtonText(QWizard::NextButton, QStringLiteral("Next"));
        setButtonText(QWizard::CancelButton, QStringLiteral("Cancel"));
        setButtonText(QWizard::HelpButton, QStringLiteral("Help"));
    }

    m_pPageSelectVideo = new CPageSelectVideo(m_state, this);
    m_pPageSelectPlayer = new CPageSelectPlayer(m_state, this);
    m_pPagePublishHTML = new CPagePublishHTML(m_state, this);
    setPage(kPageSelectVideo, m_pPageSelectVideo);
    setPage(kPageSelectPlayer, m_pPageSelectPlayer);
    setPage(kPagePublishHTML, m_pPagePublishHTML);
    const std::initializer_list<QWizardPage*> pages = {m_pPageSelectVideo, m_pPageSelectPlayer,
                                                       m_pPagePublishHTML};
    // Every page gets the height the tallest needs, so the window keeps its size from page to
    // page and no page has its boxes cut off.
    int height = 0;
    for (QWizardPage* page : pages) {
        height = std::max(
            {height, PageSize(page->fontMetrics()).height(), page->minimumSizeHint().height()});
    }
    for (QWizardPage* page : pages) {
        page->setMinimumSize(PageSize(page->fontMetrics()).width(), height);
    }

    m_pHelpMenu = new QMenu(this);
    const struct {
        int id;
        const char* text;
    } items[] = {
        {ID_HELP, "&Manual\tF1"},
        {0, nullptr},
        {ID_HELP_HOMEPAGE, "Homepage"},
        {ID_HELP_CHECK_UPDATES, "Check for updates..."},
        {0, nullptr},
        {ID_HELP_CONVERTER, "Convert a video or audio file for the web\u2026"},
        {0, nullptr},
        {ID_HELP_ABOUT, "About..."},
    };
    for (const auto& item : items) {
        if (!item.text) {
            m_pHelpMenu->addSeparator();
            continue;
        }
        QAction* action = m_pHelpMenu->addAction(QString::fromUtf8(item.text));
        action->setData(item.id);
    }
    connect(m_pHelpMenu, &QMenu::triggered, this,
            [this](QAction* action) { OnCommand(action->data().toInt()); });
    connect(this, &QWizard::helpRequested, this, &CPublishSheet::OnHelpButton);
    connect(this, &QWizard::currentIdChanged, this, &CPublishSheet::OnPageChanged);
    connect(m_pPagePublishHTML, &CPagePublishHTML::returnToFirstPage, this,
            &CPublishSheet::ReturnToFirstPage);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { OnCommand(ID_HELP); });

    const std::string geometry = GetSettingsStore().GetString(kWindowSection, kGeometryKey, "");
    if (!geometry.empty()) {
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(geometry)));
    }
}

CPublishSheet::~CPublishSheet() = default;

void CPublishSheet::RunModal(const std::string& caption, int mode) {
    RunModalWithFile(caption, mode, {});
}

void CPublishSheet::RunModalWithFile(const std::string& caption, int mode,
                                     const std::string& startFile) {
    CPublishSheet sheet(ToQt(caption), nullptr, mode);
    sheet.SetStartFile(startFile);
    sheet.exec();
}

void CPublishSheet::showEvent(QShowEvent* event) {
    QWizard::showEvent(event);
    if (m_strStartFile.empty()) {
        return;
    }
    // Once the window is on screen, so that a refusal appears over it.
    QTimer::singleShot(0, this, [this, path = std::exchange(m_strStartFile, {})] {
        if (currentId() == kPageSelectVideo) {
            m_pPageSelectVideo->OpenStartFile(path);
        }
    });
}

void CPublishSheet::OnCommand(int id) {
    if (IsAboutCommand(id)) {
        auto* about = new CDlgAbout(CVersionInfo::Compiled(), this);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->open();
        return;
    }
    if (id == ID_HELP_CONVERTER) {
        // The conversion makes the job's media: it happens on the first page.
        ReturnToFirstPage();
        if (currentId() == kPageSelectVideo) {
            m_pPageSelectVideo->OnConvertCommand();
        }
        return;
    }
    const std::string target = GetHelpCommandTarget(id);
    if (!target.empty()) {
        ShowMessage(OpenDefaultOrReport(target).why);
    }
}

void CPublishSheet::done(int result) {
    if (result == QDialog::Accepted) {
        m_pPagePublishHTML->OnWizardFinish();
        return;
    }
    // Unpublished code is named in the question, whichever page is showing.
    const int answer = m_pPagePublishHTML->HasUnpublishedCode()
                           ? MessageBoxRes(MB_YESNO | MB_ICONQUESTION, IDS_INSERTION_WILL_BE_LOST,
                                           m_pPagePublishHTML->Page().PagePath())
                           : MessageBoxRes(MB_YESNO | MB_ICONQUESTION, IDS_CONFIRM_QUIT);
    if (answer != IDYES) {
        return;
    }
    GetSettingsStore().WriteString(kWindowSection, kGeometryKey,
                                   saveGeometry().toBase64().toStdString());
    QWizard::done(result);
}

void CPublishSheet::ReturnToFirstPage() {
    while (currentId() > kPageSelectVideo) {
        const int before = currentId();
        back();
        if (currentId() == before) {
            break;
        }
    }
}

void CPublishSheet::OnHelpButton() {
    QAbstractButton* help = button(QWizard::HelpButton);
    m_pHelpMenu->popup(help->mapToGlobal(QPoint(0, help->height() + 1)));
}

void CPublishSheet::OnPageChanged(int id) {
    const QWizardPage* current = page(id);
    // The keys go to the page's first box (the path to type, the player list), not to a button.
    if (auto* box = current ? current->findChild<QComboBox*>() : nullptr) {
        box->setFocus(Qt::OtherFocusReason);
    }
    setWindowTitle(current && !current->windowTitle().isEmpty() ? current->windowTitle()
                                                                : m_strCaption);
}
