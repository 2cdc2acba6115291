// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Log.h"

#include <atomic>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

#include "core/PathUtils.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/StringTable.h"

namespace {

std::mutex g_instanceMutex;
CLog* g_instance = nullptr;
std::atomic<IReport*> g_report{nullptr};

}  // namespace

void CLog::SetReport(IReport* report) {
    g_report.store(report);
}

CLog* CLog::Instance() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_instance) {
        g_instance = new CLog();
    }
    return g_instance;
}

void CLog::DestroyInstance() {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

CLog::CLog() {
    const ISettingsStore& store = GetSettingsStore();
    m_bEnabled = store.GetInt(settings::kGeneral, settings::kEnableLogging, 0) != 0;
    m_nLevel = store.GetInt(settings::kGeneral, settings::kLogLevel, 0);
    if (m_bEnabled) {
        Open();
    }
}

CLog::~CLog() {
    GetSettingsStore().WriteInt(settings::kGeneral, settings::kEnableLogging, m_bEnabled ? 1 : 0);
    if (m_pFile) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

bool CLog::Open() {
    if (m_pFile) {
        return true;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[129] = {};
    std::strftime(date, 128, " %Y-%m-%d-", &local);
    const std::string prefix = LoadStringRes(IDS_APP_TITLE) + date;
    auto path = CreateUniqueTempFile(prefix.c_str());
    if (!path) {
        return false;
    }
    int fd = ::open(path->c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file) {
        if (fd >= 0) {
            ::close(fd);
        }
        if (IReport* report = g_report.load()) {
            report->Tell(Message(MESSAGE_ERROR, IDS_LOG_OPEN_FAILED, *path, GetLastErrorText()));
        }
        return false;
    }
    m_pFile = file;
    m_strFilePath = *path;
    m_pLock = std::make_unique<std::mutex>();
    return true;
}

void CLog::Emit(bool stamp, const std::string& text) {
    std::lock_guard<std::mutex> lock(*m_pLock);
    if (stamp) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char clock[16] = {};
        std::strftime(clock, sizeof clock, "%H:%M:%S ", &local);
        std::fputs(clock, m_pFile);
    }
    std::fwrite(text.data(), 1, text.size(), m_pFile);
    std::fflush(m_pFile);
}
