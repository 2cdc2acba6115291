// SPDX-License-Identifier: GPL-3.0-or-later
// Previews a page the way the publish page's Preview does: the page loaded, the player's code put
// right after its <body> tag, the preview served by the job's web server. Prints the preview's
// address on one line and serves until standard input ends, then stops the server and says so.
//
//   dede5_preview_page --site ROOT --page PAGE --media FILE --work DIR [--player ROW] [--poster]
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/CPublishJob.h"
#include "publish/CStringPageEditor.h"

namespace {

int Fail(const std::string& problem) {
    std::fprintf(stderr, "dede5_preview_page: %s\n", problem.c_str());
    return 1;
}

// Messages of the steps go to standard error.
class CPrintingMessageBox : public IMessageBox {
public:
    int Show(unsigned, const std::string& text) override {
        std::fprintf(stderr, "dede5_preview_page: %s\n", text.c_str());
        return IDOK;
    }
};

}  // namespace

int main(int argc, char** argv) {
    CPrintingMessageBox box;
    SetMessageBox(&box);
    COptions* options = COptions::Instance();
    options->m_bVideoControl = 1;
    options->m_bAutoPlay = 0;
    options->m_bVideoLoop = 0;
    options->m_bVideoPoster = 0;
    options->m_strJsPath = "/js/";
    options->m_strMediaPath = "/medias/";
    std::string page, media;
    int row = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--site" && i + 1 < argc) {
            options->m_strSiteRoot = AddBackslash(argv[++i]);
        } else if (arg == "--page" && i + 1 < argc) {
            page = argv[++i];
        } else if (arg == "--media" && i + 1 < argc) {
            media = argv[++i];
        } else if (arg == "--work" && i + 1 < argc) {
            options->m_strWorkFolder = AddBackslash(argv[++i]);
        } else if (arg == "--player" && i + 1 < argc) {
            row = std::stoi(argv[++i]);
        } else if (arg == "--poster") {
            options->m_bVideoPoster = 1;
        } else {
            return Fail("unknown argument " + std::string(arg));
        }
    }
    if (options->m_strSiteRoot.empty() || page.empty() || media.empty() ||
        options->m_strWorkFolder.empty()) {
        return Fail("--site, --page, --media and --work are required");
    }
    {
        CPublishJob job;
        job.SetSite(SiteFromOptions(*options));
        job.SetWorkFolder(options->m_strWorkFolder);
        const MediaCheck check = CPublishJob::CheckMedia(media);
        if (check.verdict != MEDIA_ACCEPTED) {
            return Fail("the media is refused: " + media);
        }
        job.SetMedia(media, check.details);
        const std::span<const PlayerInfo> players =
            job.IsVideo() ? GetVideoPlayers() : GetAudioPlayers();
        if (row < 0 || static_cast<size_t>(row) >= players.size()) {
            return Fail("no player row " + std::to_string(row));
        }
        job.SetPlayer(players[static_cast<size_t>(row)], row);
        job.SetChoices(ChoicesFromOptions(*options));
        if (job.NeedsPoster() && !job.TakePoster(options->m_strWorkFolder)) {
            return Fail("no poster: " + job.PosterProblem());
        }
        CHtmlPage html;
        if (!html.LoadPage(page)) {
            return Fail("the page does not load: " + page);
        }
        const PageCode code = job.MakeCode(page, PLAYER_MODE_PUBLISH);
        html.SetHeadCode(code.head);
        html.SetBodyCode(code.body);
        CStringPageEditor editor(html.Text());
        const size_t body = html.Text().find("<body>");
        if (body == std::string::npos) {
            return Fail("the page has no <body> tag");
        }
        editor.SetSelection(body + 6, body + 6);
        html.InsertPlayerCode(editor);
        const auto url = job.ServePreview(html, editor.Text());
        if (!url) {
            return Fail("no preview: " + ErrorText(url.why));
        }
        std::printf("%s\n", url.value.c_str());
        std::fflush(stdout);
        while (std::fgetc(stdin) != EOF) {
        }
        job.StopPreview();
        std::printf("stopped\n");
        std::fflush(stdout);
    }
    COptions::DestroyInstance();
    SetMessageBox(nullptr);
    return 0;
}
