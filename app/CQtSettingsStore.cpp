// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CQtSettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include "app/QtText.h"
#include "core/StringTable.h"

namespace {

constexpr const char* kOrganisation = "OmbrelTec";

QString Key(std::string_view section, std::string_view name) {
    return ToQt(section) + QLatin1Char('/') + ToQt(name);
}

// A hand-edited value with a comma comes back from the INI reader as a list.
QString ValueText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(", "));
    }
    return value.toString();
}

// Copies `fileName` to the first free "<file>.corrupt", "<file>.corrupt-1", ...; empty on failure.
QString BackUp(const QString& fileName) {
    for (int n = 0; n < 1000; ++n) {
        QString candidate = fileName + QStringLiteral(".corrupt");
        if (n > 0) {
            candidate += QLatin1Char('-') + QString::number(n);
        }
        if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink()) {
            continue;
        }
        return QFile::copy(fileName, candidate) ? candidate : QString();
    }
    return {};
}

}  // namespace

CQtSettingsStore::CQtSettingsStore()
    : m_pSettings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                              QString::fromLatin1(kOrganisation),
                                              ToQt(LoadStringRes(IDS_APP_NAME)))) {
    Open();
}

CQtSettingsStore::CQtSettingsStore(const QString& fileName)
    : m_pSettings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
    Open();
}

CQtSettingsStore::~CQtSettingsStore() = default;

void CQtSettingsStore::Open() {
    // System-wide files under /etc/xdg would otherwise supply values the user never set.
    m_pSettings->setFallbacksEnabled(false);
    m_strFileName = m_pSettings->fileName();

    const QFileInfo info(m_strFileName);
    bool keepFile = false;
    if (info.exists() || info.isSymLink()) {
        keepFile = !info.isFile() || !(info.permissions() & QFileDevice::WriteOwner);
    }
    // Parsing every section now makes a format error visible before anything is written.
    const QStringList keys = m_pSettings->allKeys();
    if (!keepFile) {
        switch (m_pSettings->status()) {
            case QSettings::NoError:
                return;
            case QSettings::AccessError:
                keepFile = true;
                break;
            case QSettings::FormatError:
                m_strBackupFileName = BackUp(m_strFileName);
                keepFile = m_strBackupFileName.isEmpty();
                break;
        }
    }
    if (!keepFile) {
        return;
    }
    m_pMemory = std::make_unique<CMemorySettingsStore>();
    for (const QString& key : keys) {
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QString() : key.left(slash);
        const QString name = key.mid(slash + 1);
        m_pMemory->WriteString(FromQt(section), FromQt(name),
                               FromQt(ValueText(m_pSettings->value(key))));
    }
    // Nothing was written to it, so destroying it leaves the file alone.
    m_pSettings.reset();
}

int CQtSettingsStore::GetInt(std::string_view section, std::string_view name,
                             int defaultValue) const {
    if (m_pMemory) {
        return m_pMemory->GetInt(section, name, defaultValue);
    }
    const QVariant value = m_pSettings->value(Key(section, name));
    int parsed = 0;
    if (!value.isValid() || !ParseStoredInt(FromQt(ValueText(value)), parsed)) {
        return defaultValue;
    }
    return parsed;
}

std::string CQtSettingsStore::GetString(std::string_view section, std::string_view name,
                                        const std::string& defaultValue) const {
    if (m_pMemory) {
        return m_pMemory->GetString(section, name, defaultValue);
    }
    const QVariant value = m_pSettings->value(Key(section, name));
    return value.isValid() ? FromQt(ValueText(value)) : defaultValue;
}

void CQtSettingsStore::WriteInt(std::string_view section, std::string_view name, int value) {
    if (m_pMemory) {
        m_pMemory->WriteInt(section, name, value);
        return;
    }
    if (!Holds(Key(section, name), QString::number(value))) {
        m_pSettings->setValue(Key(section, name), value);
    }
}

void CQtSettingsStore::WriteString(std::string_view section, std::string_view name,
                                   const std::string& value) {
    if (m_pMemory) {
        m_pMemory->WriteString(section, name, value);
        return;
    }
    const QString text = ToQt(value);
    if (!Holds(Key(section, name), text)) {
        m_pSettings->setValue(Key(section, name), text);
    }
}

bool CQtSettingsStore::Holds(const QString& key, const QString& text) const {
    // A value set again unchanged would have the whole file rewritten and flushed at exit.
    return m_pSettings->contains(key) && ValueText(m_pSettings->value(key)) == text;
}

void CQtSettingsStore::DeleteSection(std::string_view section) {
    if (m_pMemory) {
        m_pMemory->DeleteSection(section);
        return;
    }
    m_pSettings->remove(ToQt(section));
}

void CQtSettingsStore::Flush() {
    if (m_pSettings) {
        m_pSettings->sync();
    }
}
