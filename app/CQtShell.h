// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "core/Shell.h"

// The desktop as the wizard reaches it. Every program it starts is watched for its first moments
// (SpawnWatched), so one that fails right away is not lost in silence: a browser that will not
// start hands the page on to the next way of showing it, and when none is left, or when the
// desktop has no program for a file, message 105 says so with the program's own words.
class CQtShell : public QObject, public IShell {
    Q_OBJECT
public:
    // How long a program must keep running, or end well, to count as started.
    static constexpr int kStartWindow_ms = 10000;

    explicit CQtShell(int startWindow_ms = kStartWindow_ms, QObject* parent = nullptr);
    ~CQtShell() override;

    // The default program (xdg-open); false when it cannot even be started, which the caller
    // reports. A later failure is reported here.
    bool OpenDefault(const std::string& pathOrUrl) override;
    bool ShowItem(const std::string& path) override;
    bool Launch(const std::string& program, const std::vector<std::string>& args) override;
    CStatus StartFirst(const std::vector<ShellCommand>& commands,
                       const std::string& target) override;

signals:
    // The fate of `target` is known: shown by one of its commands, or reported as failed.
    void settled(const QString& target, bool shown);

private:
    struct Attempt;
    // Starts the next command of `attempt` that can be started; false when none is left (after
    // the message, unless `reportNow` is false).
    bool StartNext(const std::shared_ptr<Attempt>& attempt, bool reportNow);
    void OnOutcome(const std::shared_ptr<Attempt>& attempt, int fd);

    int m_nStartWindow_ms;
};
