// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Task.h"

#include <utility>

CTask::CTask(std::string inputPath) : m_strInputPath(std::move(inputPath)) {}

void CTask::SetStatus(int status) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nStatus = status;
}

int CTask::GetStatus() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nStatus;
}
