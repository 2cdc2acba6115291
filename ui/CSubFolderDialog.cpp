// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSubFolderDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/PathUtils.h"

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kPopulatedRole = Qt::UserRole + 1;

constexpr QDir::Filters kFolders = QDir::Dirs | QDir::NoDotAndDotDot;

bool HasSubFolders(const QString& path) {
    return QDirIterator(path, kFolders).hasNext();
}

std::string Child(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

CSubFolderDialog::CSubFolderDialog(const std::string& rootFolder, const QString& title,
                                   QWidget* parent)
    : QDialog(parent),
      m_strRoot(RemoveBackslash(rootFolder)),
      m_pTree(new QTreeWidget(this)),
      m_pFolderEdit(new QLineEdit(this)),
      m_pButtons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setWindowTitle(title);
    m_pTree->setHeaderHidden(true);
    m_pTree->setUniformRowHeights(true);
    m_pTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTree->header()->setStretchLastSection(false);
    m_pFolderEdit->setReadOnly(true);

    QTreeWidgetItem* root = AddItem(nullptr, ToQt(m_strRoot), m_strRoot);
    Populate(root);
    root->setExpanded(true);
    m_pTree->setCurrentItem(root);

    connect(m_pTree, &QTreeWidget::itemExpanded, this, &CSubFolderDialog::Populate);
    connect(m_pTree, &QTreeWidget::itemSelectionChanged, this,
            &CSubFolderDialog::OnSelectionChanged);
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { item->setExpanded(!item->isExpanded()); });
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* folderRow = new QFormLayout;
    folderRow->addRow(QStringLiteral("Folder:"), m_pFolderEdit);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(title, this);
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addWidget(m_pTree, 1);
    layout->addLayout(folderRow);
    layout->addWidget(m_pButtons);
    resize(420, 440);
    OnSelectionChanged();
}

QTreeWidgetItem* CSubFolderDialog::AddItem(QTreeWidgetItem* parent, const QString& text,
                                           const std::string& path) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_pTree);
    item->setText(0, text);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setData(0, kPathRole, ToQt(path));
    item->setChildIndicatorPolicy(HasSubFolders(ToQt(path)) ? QTreeWidgetItem::ShowIndicator
                                                            : QTreeWidgetItem::DontShowIndicator);
    return item;
}

void CSubFolderDialog::Populate(QTreeWidgetItem* item) {
    if (item->data(0, kPopulatedRole).toBool()) {
        return;
    }
    item->setData(0, kPopulatedRole, true);
    const std::string path = FromQt(item->data(0, kPathRole).toString());
    const QStringList names = QDir(ToQt(path))
                                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                             QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : names) {
        AddItem(item, name, Child(path, FromQt(name)));
    }
}

bool CSubFolderDialog::SelectFolder(const std::string& folder) {
    const std::string target = RemoveBackslash(folder);
    const std::string prefix = AddBackslash(m_strRoot);
    if (!IsFolder(target) || (target != m_strRoot && !target.starts_with(prefix))) {
        return false;
    }
    QTreeWidgetItem* item = m_pTree->topLevelItem(0);
    std::string path = m_strRoot;
    std::string rest = target == m_strRoot ? std::string() : target.substr(prefix.size());
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string name = rest.substr(0, slash);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
        if (name.empty()) {
            continue;
        }
        Populate(item);
        item->setExpanded(true);
        path = Child(path, name);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            if (FromQt(item->child(i)->data(0, kPathRole).toString()) == path) {
                next = item->child(i);
            }
        }
        if (!next) {
            return false;
        }
        item = next;
    }
    m_pTree->setCurrentItem(item);
    m_pTree->scrollToItem(item);
    return true;
}

std::string CSubFolderDialog::SelectedFolder() const {
    const QTreeWidgetItem* item = m_pTree->currentItem();
    return item ? FromQt(item->data(0, kPathRole).toString()) : std::string();
}

void CSubFolderDialog::OnSelectionChanged() {
    const std::string folder = SelectedFolder();
    m_pFolderEdit->setText(ToQt(folder));
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(!folder.empty());
}
