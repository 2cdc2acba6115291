// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CSubFolderDialog.h"

#include <cerrno>

#include <sys/stat.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "ui/DialogFrame.h"

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kPopulatedRole = Qt::UserRole + 1;

constexpr QDir::Filters kFolders = QDir::Dirs | QDir::NoDotAndDotDot;
constexpr const char* kNewFolderName = "New Folder";

bool HasSubFolders(const QString& path) {
    return QDirIterator(path, kFolders).hasNext();
}

std::string Child(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

QTreeWidgetItem* ChildWithPath(QTreeWidgetItem* parent, const std::string& path) {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (FromQt(parent->child(i)->data(0, kPathRole).toString()) == path) {
            return parent->child(i);
        }
    }
    return nullptr;
}

bool IsGoodFolderName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

}  // namespace

CSubFolderDialog::CSubFolderDialog(const std::string& rootFolder, const QString& title,
                                   QWidget* parent)
    : QDialog(parent),
      m_strRoot(RemoveBackslash(rootFolder)),
      m_pTree(new QTreeWidget(this)),
      m_pFolderEdit(new QLineEdit(this)),
      m_pButtons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      m_pNewFolder(
          m_pButtons->addButton(QStringLiteral("&New Folder"), QDialogButtonBox::ActionRole)) {
    setWindowTitle(title);
    m_pNewFolder->setObjectName(QStringLiteral("newFolder"));
    m_pNewFolder->setAutoDefault(false);
    m_pTree->setHeaderHidden(true);
    // F2 renames; a double click opens and closes a folder.
    m_pTree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
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
    connect(m_pTree, &QTreeWidget::itemChanged, this, &CSubFolderDialog::OnItemChanged);
    connect(m_pTree, &QWidget::customContextMenuRequested, this, &CSubFolderDialog::OnContextMenu);
    connect(m_pNewFolder, &QPushButton::clicked, this, &CSubFolderDialog::OnNewFolder);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* folderRow = new QFormLayout;
    folderRow->addRow(QStringLiteral("Folder:"), m_pFolderEdit);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(title, this);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_pTree->setAccessibleName(title);
    layout->addWidget(m_pTree, 1);
    layout->addLayout(folderRow);
    layout->addWidget(m_pButtons);
    resize(420, 440);
    OnSelectionChanged();
    ApplyDialogFrame(*this);
}

QTreeWidgetItem* CSubFolderDialog::AddItem(QTreeWidgetItem* parent, const QString& text,
                                           const std::string& path) {
    // Filling in an item is no rename.
    const QSignalBlocker blocker(m_pTree);
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_pTree);
    if (parent) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
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
        item = ChildWithPath(item, path);
        if (!item) {
            return false;
        }
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

void CSubFolderDialog::OnNewFolder() {
    QTreeWidgetItem* parent = m_pTree->currentItem();
    if (!parent) {
        parent = m_pTree->topLevelItem(0);
    }
    const std::string folder = FromQt(parent->data(0, kPathRole).toString());
    QString name = QString::fromUtf8(kNewFolderName);
    for (int n = 2; PathExists(Child(folder, FromQt(name))); ++n) {
        name = QStringLiteral("%1 (%2)").arg(QString::fromUtf8(kNewFolderName)).arg(n);
    }
    const std::string path = Child(folder, FromQt(name));
    if (::mkdir(path.c_str(), 0777) != 0) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_NEW_FOLDER_FAILED, folder, GetErrorText(errno));
        return;
    }
    Populate(parent);
    parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    parent->setExpanded(true);
    QTreeWidgetItem* item = ChildWithPath(parent, path);
    if (!item) {
        item = AddItem(parent, name, path);
    }
    m_pTree->setCurrentItem(item);
    m_pTree->scrollToItem(item);
    m_pTree->editItem(item);
}

void CSubFolderDialog::OnRename() {
    QTreeWidgetItem* item = m_pTree->currentItem();
    if (item && item->parent()) {
        m_pTree->editItem(item);
    }
}

void CSubFolderDialog::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (column != 0 || !item->parent()) {
        return;
    }
    const std::string from = FromQt(item->data(0, kPathRole).toString());
    const QString name = item->text(0);
    if (name == ToQt(GetPathFileName(from))) {
        return;
    }
    const std::string to =
        Child(FromQt(item->parent()->data(0, kPathRole).toString()), FromQt(name));
    std::string reason;
    if (!IsGoodFolderName(name)) {
        reason = LoadStringRes(IDS_BAD_FOLDER_NAME);
    } else if (PathExists(to)) {
        // rename() would quietly replace an empty folder of that name.
        reason = GetErrorText(EEXIST);
    } else if (::rename(from.c_str(), to.c_str()) != 0) {
        reason = GetErrorText(errno);
    }
    const QSignalBlocker blocker(m_pTree);
    if (!reason.empty()) {
        item->setText(0, ToQt(GetPathFileName(from)));
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_RENAME_FOLDER_FAILED, from, FromQt(name), reason);
        return;
    }
    MovePaths(item, to);
    OnSelectionChanged();
}

void CSubFolderDialog::MovePaths(QTreeWidgetItem* item, const std::string& path) {
    item->setData(0, kPathRole, ToQt(path));
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        MovePaths(child, Child(path, FromQt(child->text(0))));
    }
}

void CSubFolderDialog::OnContextMenu(const QPoint& where) {
    if (QTreeWidgetItem* item = m_pTree->itemAt(where)) {
        m_pTree->setCurrentItem(item);
    }
    QMenu menu(this);
    menu.addAction(QStringLiteral("&New Folder"), this, &CSubFolderDialog::OnNewFolder);
    QAction* rename = menu.addAction(QStringLiteral("&Rename"), this, &CSubFolderDialog::OnRename);
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    const QTreeWidgetItem* current = m_pTree->currentItem();
    rename->setEnabled(current && current->parent());
    menu.exec(m_pTree->viewport()->mapToGlobal(where));
}
