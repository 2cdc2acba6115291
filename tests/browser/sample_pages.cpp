// SPDX-License-Identifier: GPL-3.0-or-later
// Writes every sample page the way the select-player page shows it, so that the browser tests
// open what the program itself produces. Prints one line per page: its sample file name, a tab,
// the path of the written page.
//
//   dede5_sample_pages --work DIR [--controls] [--autoplay] [--audio-autoplay] [--poster] [--loop]
#include <cstdio>
#include <string>
#include <string_view>

#include "core/Folders.h"
#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "players/PlayerInfo.h"
#include "players/SamplePages.h"

namespace {

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "dede5_sample_pages: %s\nusage: dede5_sample_pages --work DIR [--controls] "
                 "[--autoplay] [--audio-autoplay] [--poster] [--loop]\n",
                 problem);
    return 2;
}

bool Write(int kind, const PlayerInfo& row, const PlayerChoices& choices, const std::string& work) {
    const std::string sample = GetInstallFolder() + "/Example/" + row.samplePage;
    auto page = WriteSamplePage(kind, sample, choices, work);
    if (!page) {
        std::fprintf(stderr, "dede5_sample_pages: %s was not written\n", row.samplePage);
        return false;
    }
    std::printf("%s\t%s\n", row.samplePage, page.value.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Every option starts off, so that each one a test names is the only reason it is on.
    PlayerChoices choices;
    std::string work;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--work" && i + 1 < argc) {
            work = AddBackslash(argv[++i]);
        } else if (arg == "--controls") {
            choices.controls = true;
        } else if (arg == "--autoplay") {
            choices.autoPlay = true;
        } else if (arg == "--audio-autoplay") {
            choices.audioAutoPlay = true;
        } else if (arg == "--poster") {
            choices.poster = true;
        } else if (arg == "--loop") {
            choices.loop = true;
        } else {
            return Usage(("unknown argument " + std::string(arg)).c_str());
        }
    }
    if (work.empty()) {
        return Usage("--work DIR is required");
    }
    bool ok = true;
    for (const PlayerInfo& row : GetVideoPlayers()) {
        ok = Write(MEDIA_KIND_VIDEO, row, choices, work) && ok;
    }
    for (const PlayerInfo& row : GetAudioPlayers()) {
        ok = Write(MEDIA_KIND_AUDIO, row, choices, work) && ok;
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
