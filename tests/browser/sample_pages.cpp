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
#include "core/Options.h"
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

bool Write(int kind, const PlayerInfo& row) {
    const std::string sample = GetInstallFolder() + "/Example/" + row.samplePage;
    auto page = WriteSamplePage(kind, sample);
    if (!page) {
        std::fprintf(stderr, "dede5_sample_pages: %s was not written\n", row.samplePage);
        return false;
    }
    std::printf("%s\t%s\n", row.samplePage, page->c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    COptions* options = COptions::Instance();
    // Every option starts off, so that each one a test names is the only reason it is on.
    options->m_bVideoControl = 0;
    options->m_bAutoPlay = 0;
    options->m_bAudioAutoPlay = 0;
    options->m_bVideoPoster = 0;
    options->m_bVideoLoop = 0;
    options->m_strWorkFolder.clear();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--work" && i + 1 < argc) {
            options->m_strWorkFolder = AddBackslash(argv[++i]);
        } else if (arg == "--controls") {
            options->m_bVideoControl = 1;
        } else if (arg == "--autoplay") {
            options->m_bAutoPlay = 1;
        } else if (arg == "--audio-autoplay") {
            options->m_bAudioAutoPlay = 1;
        } else if (arg == "--poster") {
            options->m_bVideoPoster = 1;
        } else if (arg == "--loop") {
            options->m_bVideoLoop = 1;
        } else {
            return Usage(("unknown argument " + std::string(arg)).c_str());
        }
    }
    if (options->m_strWorkFolder.empty()) {
        return Usage("--work DIR is required");
    }
    bool ok = true;
    for (const PlayerInfo& row : GetVideoPlayers()) {
        ok = Write(MEDIA_KIND_VIDEO, row) && ok;
    }
    for (const PlayerInfo& row : GetAudioPlayers()) {
        ok = Write(MEDIA_KIND_AUDIO, row) && ok;
    }
    std::fflush(stdout);
    COptions::DestroyInstance();
    return ok ? 0 : 1;
}
