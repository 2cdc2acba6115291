// SPDX-License-Identifier: GPL-3.0-or-later
#include <clocale>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "app/CBoxReport.h"
#include "app/CQtSettingsStore.h"
#include "app/CReadOnlySettingsStore.h"
#include "app/CVersionInfo.h"
#include "cli/PublishJob.h"
#include "core/Log.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    auto options =
        ParsePublishArguments({argv + 1, argv + argc}, ::isatty(STDIN_FILENO) == 1, error);
    if (!options) {
        std::fprintf(stderr, "dede5-publish: %s\nTry 'dede5-publish --help'.\n", error.c_str());
        return ExitStatus(RunEnd::BadArguments);
    }
    // Help, the version and the build's texts need no settings.
    std::optional<std::string> said = options->help ? PublishUsage(!options->command.empty())
                                      : options->completion ? PublishBashCompletion()
                                                            : std::optional<std::string>();
    if (!said && options->manTemplate) {
        std::stringstream manTemplate;
        manTemplate << std::ifstream(*options->manTemplate).rdbuf();
        if (!(said = OptionManPage(PublishOptionForms(), manTemplate.str(), error))) {
            std::fprintf(stderr, "dede5-publish: %s\n", error.c_str());
            return ExitStatus(RunEnd::BadArguments);
        }
    }
    if (!said && options->version) {
        said = "dede5-publish (Ombrel DEDE5 Varodo) " + CVersionInfo::Compiled().GetText() + "\n";
    }
    if (said) {
        std::fputs(said->c_str(), stdout);
        return ExitStatus(RunEnd::Published);
    }
    const std::string& settings = options->settingsFile;
    if (!settings.empty() && !IsRegularFile(settings)) {
        std::fprintf(stderr, "dede5-publish: settings file '%s' %s\n", settings.c_str(),
                     IsFolder(settings)     ? "is a folder, not a file"
                     : PathExists(settings) ? "is not a regular file"
                                            : "does not exist");
        return ExitStatus(RunEnd::BadArguments);
    }
    auto source =
        settings.empty()
            ? std::make_unique<CQtSettingsStore>()
            : std::make_unique<CQtSettingsStore>(QString::fromLocal8Bit(settings.c_str()));
    SetSettingsStore(std::make_shared<CReadOnlySettingsStore>(std::move(source)));
    CBoxReport logReport;
    CLog::SetReport(&logReport);
    COptions::Instance()->LoadState();
    // Before the working folder is made: a stop from here on removes what the run made.
    CatchStopSignals();
    const int status = RunPublishJob(*options, stdout, stderr);
    COptions::DestroyInstance();
    CLog::DestroyInstance();
    CLog::SetReport(nullptr);
    SetSettingsStore(nullptr);
    return status;
}
