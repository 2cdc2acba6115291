// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMovieMakerPagePublish.h"

#include <utility>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/RecentList.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"
#include "publish/SiteLayout.h"

namespace {

constexpr const char* kHistorySection = settings::kSiteRootHistory;

// Tooltips are the chooser titles without their closing colon.
QString Tooltip(int id) {
    QString text = ToQt(LoadStringRes(id));
    if (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text;
}

QToolButton* MakeBrowseButton(const QString& name, int tooltip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
    button->setToolTip(Tooltip(tooltip));
    button->setAccessibleName(button->toolTip());
    button->setAutoRaise(true);
    return button;
}

// "/" when `chosen` is the root itself, else the part below the root with "/" at both ends;
// empty when `chosen` is not inside the root.
std::string RelativeSubFolder(const std::string& siteRoot, const std::string& chosen) {
    if (RemoveBackslash(chosen) == RemoveBackslash(siteRoot)) {
        return "/";
    }
    const std::string root = AddBackslash(siteRoot);
    if (!chosen.starts_with(root)) {
        return {};
    }
    std::string relative = AddBackslash(chosen.substr(root.size()));
    if (!relative.starts_with('/')) {
        relative.insert(relative.begin(), '/');
    }
    return relative;
}

}  // namespace

CMovieMakerPagePublish::CMovieMakerPagePublish(CFolderChoosers choosers, QWidget* parent)
    : QWidget(parent), m_choosers(std::move(choosers)) {
    const COptions* options = COptions::Instance();
    m_strSiteRoot = options->m_strSiteRoot;
    m_strJsPath = options->m_strJsPath;
    m_strMediaPath = options->m_strMediaPath;

    auto* group = new QGroupBox(QStringLiteral("Publish resource folder"), this);
    auto* siteRootLabel = new QLabel(
        QStringLiteral("Site Root: (The root directory of your web server on your local system)"),
        group);
    m_pSiteRootBox = new QComboBox(group);
    m_pSiteRootBox->setObjectName(QStringLiteral("siteRootBox"));
    m_pSiteRootBox->setEditable(true);
    m_pSiteRootBox->setInsertPolicy(QComboBox::NoInsert);
    m_pSiteRootBox->setMaxCount(static_cast<int>(kRecentListMax));
    m_pSiteRootBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pSiteRootBox->setMinimumContentsLength(30);
    siteRootLabel->setBuddy(m_pSiteRootBox);
    m_pBrowseSiteRoot =
        MakeBrowseButton(QStringLiteral("browseSiteRoot"), IDS_SELECT_SITE_ROOT, group);

    auto* whereLabel = new QLabel(
        QStringLiteral("Where are your resource files stored? (subfolders relative to Site Root)"),
        group);
    const auto folderLabel = [group](const QString& text, const QString& name, QLineEdit*& edit) {
        auto* label = new QLabel(text, group);
        edit = new QLineEdit(group);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        label->setBuddy(edit);
        return label;
    };
    auto* jsLabel = folderLabel(QStringLiteral("JavaScript files:"), QStringLiteral("jsPathEdit"),
                                m_pJsPathEdit);
    m_pBrowseJsPath = MakeBrowseButton(QStringLiteral("browseJsPath"), IDS_SELECT_SUBFOLDER, group);
    auto* mediaLabel = folderLabel(QStringLiteral("Media files:"), QStringLiteral("mediaPathEdit"),
                                   m_pMediaPathEdit);
    m_pBrowseMediaPath =
        MakeBrowseButton(QStringLiteral("browseMediaPath"), IDS_SELECT_SUBFOLDER, group);

    auto* grid = new QGridLayout(group);
    grid->addWidget(siteRootLabel, 0, 0, 1, 3);
    grid->addWidget(m_pSiteRootBox, 1, 0, 1, 2);
    grid->addWidget(m_pBrowseSiteRoot, 1, 2);
    grid->setRowMinimumHeight(2, 12);
    grid->addWidget(whereLabel, 3, 0, 1, 3);
    grid->addWidget(jsLabel, 4, 0);
    grid->addWidget(m_pJsPathEdit, 4, 1);
    grid->addWidget(m_pBrowseJsPath, 4, 2);
    grid->addWidget(mediaLabel, 5, 0);
    grid->addWidget(m_pMediaPathEdit, 5, 1);
    grid->addWidget(m_pBrowseMediaPath, 5, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);

    m_arrHistory = LoadRecentList(GetSettingsStore(), kHistorySection, false);
    FillHistory();
    m_pSiteRootBox->setEditText(ToQt(m_strSiteRoot));
    m_pJsPathEdit->setText(ToQt(m_strJsPath));
    m_pMediaPathEdit->setText(ToQt(m_strMediaPath));

    connect(m_pSiteRootBox->lineEdit(), &QLineEdit::textEdited, this,
            &CMovieMakerPagePublish::OnSiteRootEdited);
    connect(m_pSiteRootBox, &QComboBox::activated, this,
            &CMovieMakerPagePublish::OnSiteRootActivated);
    connect(m_pBrowseSiteRoot, &QToolButton::clicked, this,
            &CMovieMakerPagePublish::OnBrowseSiteRoot);
    connect(m_pBrowseJsPath, &QToolButton::clicked, this,
            [this] { OnBrowseSubFolder(m_pJsPathEdit); });
    connect(m_pBrowseMediaPath, &QToolButton::clicked, this,
            [this] { OnBrowseSubFolder(m_pMediaPathEdit); });
}

CMovieMakerPagePublish::~CMovieMakerPagePublish() {
    SaveRecentList(GetSettingsStore(), kHistorySection, m_arrHistory);
}

void CMovieMakerPagePublish::FillHistory() {
    const QSignalBlocker blocker(m_pSiteRootBox);
    m_pSiteRootBox->clear();
    for (const std::string& entry : m_arrHistory) {
        m_pSiteRootBox->addItem(ToQt(entry));
    }
}

void CMovieMakerPagePublish::SetSiteRoot(const std::string& root) {
    m_strSiteRoot = root;
    m_pJsPathEdit->setText(QStringLiteral("/"));
    m_pMediaPathEdit->setText(QStringLiteral("/"));
}

void CMovieMakerPagePublish::OnSiteRootEdited(const QString& text) {
    // An emptied box leaves no site root, rather than the whole file system.
    SetSiteRoot(AddBackslash(TrimWhiteSpace(FromQt(text))));
}

void CMovieMakerPagePublish::OnSiteRootActivated(int index) {
    if (index < 0 || index >= m_pSiteRootBox->count()) {
        return;
    }
    SetSiteRoot(AddBackslash(FromQt(m_pSiteRootBox->itemText(index))));
}

void CMovieMakerPagePublish::OnBrowseSiteRoot() {
    const auto folder =
        m_choosers.browseForFolder(m_strSiteRoot, LoadStringRes(IDS_SELECT_SITE_ROOT), window());
    if (!folder) {
        return;
    }
    if (!CanWriteToFolder(*folder)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_NOT_WRITABLE, *folder);
        return;
    }
    const std::string root = AddBackslash(*folder);
    AddToRecentList(m_arrHistory, root);
    FillHistory();
    m_pSiteRootBox->setCurrentIndex(0);
    m_pSiteRootBox->setEditText(ToQt(root));
    SetSiteRoot(root);
}

void CMovieMakerPagePublish::OnBrowseSubFolder(QLineEdit* target) {
    if (m_strSiteRoot.empty()) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_SITE_ROOT_EMPTY);
        m_pSiteRootBox->setFocus();
        return;
    }
    // A chooser cannot be rooted at a folder that is not there.
    if (!IsFolder(m_strSiteRoot)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_NOT_EXIST, RemoveBackslash(m_strSiteRoot));
        m_pSiteRootBox->setFocus();
        return;
    }
    const std::string chosen =
        m_choosers.browseForSubFolder(m_strSiteRoot, LoadStringRes(IDS_SELECT_SUBFOLDER), window());
    if (chosen.empty()) {
        return;
    }
    const std::string relative = RelativeSubFolder(m_strSiteRoot, chosen);
    // Inside by its name, but a link leads out of the site.
    if (!relative.empty() && !SiteLayout::IsInsideSite(AddBackslash(chosen), m_strSiteRoot)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_FOLDER_OUTSIDE_SITE, chosen, m_strSiteRoot);
        return;
    }
    if (!relative.empty()) {
        target->setText(ToQt(relative));
    }
}

void CMovieMakerPagePublish::OnApply() {
    m_strJsPath = FromQt(m_pJsPathEdit->text());
    m_strMediaPath = FromQt(m_pMediaPathEdit->text());
    COptions* options = COptions::Instance();
    options->m_strJsPath = m_strJsPath;
    options->m_strMediaPath = m_strMediaPath;
    options->m_strSiteRoot = m_strSiteRoot;
}
