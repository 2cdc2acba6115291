// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CFileDialogEx.h"

#include <QFileDialog>
#include <QRegularExpression>

#include "app/QtText.h"
#include "core/PathUtils.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"

CFileDialogEx::CFileDialogEx(const std::string& name, const std::string& filter, bool openFile,
                             QWidget* owner)
    : m_strSection(std::string(settings::kFileDialogs) + "/" + name),
      m_filters(ToQtFilters(filter)),
      m_pDialog(std::make_unique<QFileDialog>(owner)) {
    QFileDialog& dialog = *m_pDialog;
    dialog.setWindowTitle(ToQt(name));
    if (openFile) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!m_filters.isEmpty()) {
        dialog.setNameFilters(m_filters);
    }

    const ISettingsStore& store = GetSettingsStore();
    const int index = store.GetInt(m_strSection, settings::kFilterIndex, 0);
    if (index >= 1 && index <= m_filters.size()) {
        dialog.selectNameFilter(m_filters[index - 1]);
    }
    m_strLastPath = store.GetString(m_strSection, settings::kLastPath, "");
    if (!m_strLastPath.empty() && IsFolder(m_strLastPath)) {
        dialog.setDirectory(ToQt(m_strLastPath));
    }
    QObject::connect(&dialog, &QFileDialog::accepted, &dialog, [this] { OnAccepted(); });
}

CFileDialogEx::~CFileDialogEx() = default;

void CFileDialogEx::StartBelow(const std::string& root) {
    const std::string folder = RemoveBackslash(root);
    if (folder.empty() || !IsFolder(folder)) {
        return;
    }
    const std::string last = RemoveBackslash(m_strLastPath);
    if (IsFolder(last) && (last == folder || last.starts_with(AddBackslash(folder)))) {
        return;
    }
    m_pDialog->setDirectory(ToQt(folder));
}

bool CFileDialogEx::DoModal() {
    return m_pDialog->exec() == QDialog::Accepted;
}

std::string CFileDialogEx::GetPathName() const {
    const QStringList files = m_pDialog->selectedFiles();
    return files.isEmpty() ? std::string() : FromQt(files.front());
}

void CFileDialogEx::OnAccepted() {
    ISettingsStore& store = GetSettingsStore();
    const qsizetype index = m_filters.indexOf(m_pDialog->selectedNameFilter());
    store.WriteInt(m_strSection, settings::kFilterIndex,
                   index < 0 ? 0 : static_cast<int>(index) + 1);
    const std::string path = GetPathName();
    if (!path.empty()) {
        m_strLastPath = IsFolder(path) ? path : GetPathFolder(path);
        store.WriteString(m_strSection, settings::kLastPath, m_strLastPath);
    }
}

QStringList CFileDialogEx::ToQtFilters(std::string_view filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < filter.size()) {
        size_t end = filter.find('|', start);
        if (end == std::string_view::npos) {
            end = filter.size();
        }
        parts.emplace_back(filter.substr(start, end - start));
        start = end + 1;
    }
    static const QRegularExpression shownPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) {
            break;
        }
        QString description = ToQt(parts[i]);
        // Qt reads the patterns from the parentheses, so they must be the real ones.
        description.remove(shownPatterns);
        QStringList patterns;
        for (const QString& pattern :
             ToQt(parts[i + 1]).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty()) {
                patterns << (trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
            }
        }
        if (patterns.isEmpty()) {
            continue;
        }
        filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}
