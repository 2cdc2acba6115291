// SPDX-License-Identifier: GPL-3.0-or-later
#include <clocale>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    bool help = false, version = false;
    auto options = ParsePublishArguments(args, ::isatty(STDIN_FILENO) == 1, error, help, version);
    if (!options) {
        std::fprintf(stderr, "dede5-publish: %s\nTry 'dede5-publish --help'.\n", error.c_str());
        return PUBLISH_BAD_ARGUMENTS;
    }
    if (help) {
        std::fputs(PublishUsage().c_str(), stdout);
        return PUBLISH_OK;
    }
    if (options->completion) {
        std::fputs(PublishBashCompletion().c_str(), stdout);
        return PUBLISH_OK;
    }
    if (options->manTemplate) {
        std::stringstream manTemplate;
        manTemplate << std::ifstream(*options->manTemplate).rdbuf();
        const auto page = PublishManPage(manTemplate.str(), error);
        std::fputs(page ? page->c_str() : ("dede5-publish: " + error + "\n").c_str(),
                   page ? stdout : stderr);
        return page ? PUBLISH_OK : PUBLISH_BAD_ARGUMENTS;
    }
    if (version) {
        std::printf("dede5-publish (Ombrel DEDE5 Varodo) %s\n",
                    CVersionInfo::Compiled().GetText().c_str());
        return PUBLISH_OK;
    }
    if (!options->settingsFile.empty() && !IsRegularFile(options->settingsFile)) {
        std::fprintf(stderr,
                     IsFolder(options->settingsFile)
                         ? "dede5-publish: settings file '%s' is a folder, not a file\n"
                     : PathExists(options->settingsFile)
                         ? "dede5-publish: settings file '%s' is not a regular file\n"
                         : "dede5-publish: settings file '%s' does not exist\n",
                     options->settingsFile.c_str());
        return PUBLISH_BAD_ARGUMENTS;
    }
    auto source = options->settingsFile.empty()
                      ? std::make_unique<CQtSettingsStore>()
                      : std::make_unique<CQtSettingsStore>(
                            QString::fromLocal8Bit(options->settingsFile.c_str()));
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
