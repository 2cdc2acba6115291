// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PublishJob.h"

#include <chrono>

#include <unistd.h>

#include "app/CBoxReport.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/StopRequest.h"
#include "media/MediaConverter.h"
#include "players/PlayerMarkup.h"
#include "publish/MediaCopy.h"

namespace {

// The first letter of the answer to `question`, lower-cased, once it is one of `letters` (any
// letter when empty); nullopt at the end of the input.
std::optional<char> AskOnTerminal(std::FILE* err, const std::string& question, const char* choices,
                                  std::string_view letters = {}) {
    char line[64];
    do {
        std::fprintf(err, "%s [%s] ", question.c_str(), choices);
        std::fflush(err);
        if (!std::fgets(line, sizeof line, stdin)) {
            return std::nullopt;
        }
        line[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    } while (!letters.empty() && letters.find(line[0]) == std::string_view::npos);
    return line[0];
}

// The run's words and questions on the terminal; a question the options do not let it ask is
// answered with its safe default (No, keep what is there).
class CTerminal : public IMessageBox, public ICopyQuestions, public IRunOutput {
public:
    CTerminal(const PublishRequest& options, std::FILE* out, std::FILE* err)
        : m_options(options),
          m_out(out),
          m_err(err),
          m_bShowProgress(options.verbosity > 0 && ::isatty(::fileno(err)) == 1) {}

    int Show(unsigned type, const std::string& text) override {
        const unsigned buttons = type & MB_BUTTONMASK;
        const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
        std::string said = text;
        std::erase(said, '\r');
        if (const auto answer = yesNo && m_options.overwrite == PublishRequest::Overwrite::Ask
                                    ? AskOnTerminal(m_err, said, "y/N")
                                    : std::nullopt) {
            return answer == 'y' ? IDYES : IDNO;
        }
        Say(said);
        return yesNo ? IDNO : buttons == MB_ABORTRETRYIGNORE ? IDABORT : IDOK;
    }

    int AskOverwrite(const std::string& text) override {
        const int answers[] = {COPY_EXIST_YES, COPY_EXIST_YES_TO_ALL, COPY_EXIST_NO,
                               COPY_EXIST_CANCEL};
        const auto answer = AskOnTerminal(m_err, text, "y/a/n/c", "yanc");
        return answer ? answers[std::string_view("yanc").find(*answer)] : COPY_EXIST_CANCEL;
    }

    int AskCopyError(const std::string& text) override {
        const int answers[] = {IDABORT, IDRETRY, IDIGNORE};
        const auto answer = AskOnTerminal(m_err, text, "a/r/i", "ari");
        if (!answer) {
            Say(text);
        }
        return answer ? answers[std::string_view("ari").find(*answer)] : IDABORT;
    }

    bool Progress(const std::string& file, uint64_t done, uint64_t total) override {
        const auto now = std::chrono::steady_clock::now();
        if (std::exchange(m_strFile, file) != file) {
            m_start = now;
            if (m_options.verbosity > 1) {
                std::fprintf(m_err, "copying %s\n", file.c_str());
            }
        }
        // Only a copy that takes more than a second gets a progress line.
        if (now - m_start > std::chrono::seconds(1)) {
            ShowPercent(file, total ? static_cast<double>(done * 100 / total) : 100,
                        done == total ? "\n" : "");
        }
        return true;
    }

    void Say(const std::string& text) override { std::fprintf(m_err, "%s\n", text.c_str()); }
    void Tell(const CError& message) override { ShowMessage(message); }
    bool Ask(const CError& question) override { return ShowMessage(question, MB_YESNO) == IDYES; }

    bool Print(const std::string& code) override {
        return std::fputs(code.c_str(), m_out) >= 0 && std::fflush(m_out) == 0 &&
               !std::ferror(m_out);
    }

    void Converting(const std::string& name, const ConversionProgress* progress) override {
        const double left = progress ? progress->secondsLeft : -1;
        if (progress) {
            ShowPercent(name, progress->percent,
                        (left >= 0 ? ", " + FormatTimeEstimate(left) + " left" : "") + "\033[K");
        } else if (std::exchange(m_bLineOpen, false)) {
            std::fputs("\n", m_err);
        }
    }

private:
    // On one line that is written over, on a terminal only.
    void ShowPercent(const std::string& name, double percent, const std::string& end) {
        if (m_bShowProgress) {
            std::fprintf(m_err, "\r%s: %3d%%%s", name.c_str(), static_cast<int>(percent),
                         end.c_str());
            std::fflush(m_err);
            m_bLineOpen = !end.ends_with('\n');
        }
    }

    const PublishRequest& m_options;
    std::FILE *m_out, *m_err;
    bool m_bShowProgress, m_bLineOpen = false;
    std::string m_strFile;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace

int ExitStatus(RunEnd end) {
    // RunEnd lists the other ends in the order of the statuses users' scripts know.
    static_assert(static_cast<int>(RunEnd::NoRoom) == 7 && RunEnd::Stopped > RunEnd::NoRoom);
    return end == RunEnd::Stopped ? 128 + StopSignal() : static_cast<int>(end);
}

int RunPublishJob(const PublishOptions& options, std::FILE* out, std::FILE* err) {
    const COptions& saved = *COptions::Instance();
    const RunSettings settings{SiteFromOptions(saved), ChoicesFromOptions(saved),
                               saved.m_nVideoPlayer};
    const auto publish = [&](const PublishRequest& request) {
        CTerminal terminal(request, out, err);
        SetMessageBox(&terminal);
        const RunEnd end = RunPublish(request, settings, terminal, terminal);
        SetMessageBox(nullptr);
        return end;
    };
    CTerminal terminal(options, out, err);
    return ExitStatus(options.command.empty()
                          ? publish(options)
                          : RunSiteCommand(options, settings.site, terminal, publish));
}
