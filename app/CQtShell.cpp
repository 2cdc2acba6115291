// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CQtShell.h"

#include <cerrno>

#include <unistd.h>

#include <fmt/printf.h>

#include <QSocketNotifier>

#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"

namespace {

std::string Reason(const std::string& program, const SpawnOutcome& outcome) {
    if (outcome.status < 0) {
        return GetErrorText(outcome.error);
    }
    // The last line a program wrote is where programs put the reason they give up.
    std::string words = LastLine(outcome.output);
    if (!words.empty()) {
        return words;
    }
    if (outcome.status > 128) {
        return fmt::sprintf(LoadStringRes(IDS_PROGRAM_KILLED), program, outcome.status - 128);
    }
    return fmt::sprintf(LoadStringRes(IDS_PROGRAM_FAILED), program, outcome.status);
}

}  // namespace

struct CQtShell::Attempt {
    std::vector<ShellCommand> commands;
    size_t next = 0;
    std::string target;
    std::string reason{};
    int error = ENOENT;
    std::string program{};
};

CQtShell::CQtShell(int startWindow_ms, QObject* parent)
    : QObject(parent), m_nStartWindow_ms(startWindow_ms) {}

CQtShell::~CQtShell() = default;

bool CQtShell::OpenDefault(const std::string& pathOrUrl) {
    return StartNext(
        std::make_shared<Attempt>(Attempt{{ShellCommand{{}, {pathOrUrl}}}, 0, pathOrUrl}), false);
}

bool CQtShell::ShowItem(const std::string& path) {
    return ShowInFileManager(path) || OpenDefault(GetPathFolder(path));
}

bool CQtShell::Launch(const std::string& program, const std::vector<std::string>& args) {
    const std::string& target = args.empty() ? program : args.front();
    return StartNext(std::make_shared<Attempt>(Attempt{{ShellCommand{program, args}}, 0, target}),
                     false);
}

CStatus CQtShell::StartFirst(const std::vector<ShellCommand>& commands, const std::string& target) {
    const auto attempt = std::make_shared<Attempt>(Attempt{commands, 0, target});
    // A failure has been shown here, as one found later is.
    return StartNext(attempt, true) ? CStatus() : CStatus(CError{attempt->error});
}

bool CQtShell::StartNext(const std::shared_ptr<Attempt>& attempt, bool reportNow) {
    while (attempt->next < attempt->commands.size()) {
        const ShellCommand& command = attempt->commands[attempt->next++];
        const bool byDefault = command.program.empty();
        if (byDefault && command.args.empty()) {
            continue;
        }
        attempt->program = byDefault ? std::string("xdg-open") : command.program;
        const std::vector<std::string> args =
            byDefault ? std::vector<std::string>{command.args.front()} : command.args;
        const int fd = SpawnWatched(attempt->program, args, m_nStartWindow_ms);
        if (fd < 0) {
            attempt->error = errno;
            attempt->reason = GetErrorText(errno);
            continue;
        }
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, attempt, fd] {
            notifier->setEnabled(false);
            notifier->deleteLater();
            OnOutcome(attempt, fd);
        });
        return true;
    }
    if (attempt->reason.empty()) {
        attempt->reason = GetErrorText(ENOENT);
    }
    if (reportNow) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_OPEN_FAILED, attempt->target, attempt->reason);
        emit settled(ToQt(attempt->target), false);
    } else {
        errno = attempt->error;
    }
    return false;
}

void CQtShell::OnOutcome(const std::shared_ptr<Attempt>& attempt, int fd) {
    const SpawnOutcome outcome = ReadSpawnOutcome(fd);
    ::close(fd);
    if (outcome.running || outcome.status == 0) {
        emit settled(ToQt(attempt->target), true);
        return;
    }
    attempt->reason = Reason(attempt->program, outcome);
    StartNext(attempt, true);
}
