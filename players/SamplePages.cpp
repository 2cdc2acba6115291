// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/SamplePages.h"

#include <cerrno>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "core/Browser.h"
#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/Log.h"
#include "core/MediaFormat.h"
#include "core/MessageBox.h"
#include "core/PathUtils.h"
#include "players/PlayerMarkup.h"

namespace {

bool PrepareWorkFolder(const std::string& folder) {
    return IsValidPath(folder) && CreateFolders(folder);
}

void ReportFileError(const std::string& path) {
    MessageBoxFormat(MB_OK | MB_ICONERROR, "%s\n%s", path, GetLastErrorText());
}

}  // namespace

bool CopySampleMedia(int kind, const std::string& folder) {
    if (!PrepareWorkFolder(folder)) {
        return false;
    }
    static const char* const kVideo[] = {"Waiting for you.jpg", "Waiting for you.mp4",
                                         "Waiting for you.webm", "Player.swf"};
    static const char* const kAudio[] = {"Waiting for you.mp3", "Waiting for you.oga"};
    const std::string example = GetInstallFolder() + "/Example/";
    auto copy = [&](const char* name) {
        const std::string target = AddBackslash(folder) + name;
        if (!PathExists(target)) {
            CopyFileOverwrite(example + name, target);
        }
    };
    if (kind == MEDIA_KIND_VIDEO) {
        for (const char* name : kVideo) {
            copy(name);
        }
    } else {
        for (const char* name : kAudio) {
            copy(name);
        }
    }
    return true;
}

void ApplySampleOptions(std::string& text, const std::string& installFolder,
                        const std::string& posterText, int kind, const PlayerChoices& choices) {
    if (kind == MEDIA_KIND_VIDEO) {
        ReplaceMacro(text, "autoplay", choices.autoPlay ? kVideoAutoplaySnippet : "");
        ReplaceMacro(text, "video_poster", choices.poster ? posterText : "");
    } else {
        ReplaceMacro(text, "autoplay", choices.audioAutoPlay ? kAutoplaySnippet : "");
    }
    ReplaceMacro(text, "controls", choices.controls ? kControlsSnippet : "");
    ReplaceMacro(text, "video_loop", choices.loop ? kLoopSnippet : "");
    ReplaceMacro(text, "path", PathToUrl(installFolder));
}

std::optional<std::string> WriteSamplePage(int kind, const std::string& samplePagePath,
                                           const PlayerChoices& choices,
                                           const std::string& folder) {
    if (!CopySampleMedia(kind, folder)) {
        return std::nullopt;
    }
    std::ifstream in(samplePagePath, std::ios::binary);
    if (!in) {
        ReportFileError(samplePagePath);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    if (size_t zero = text.find('\0'); zero != std::string::npos) {
        text.resize(zero);
    }
    ApplySampleOptions(text, GetInstallFolder(), "poster=\"Waiting for you.jpg\"", kind, choices);

    std::string output;
    int fd = -1;
    // Created exclusively, so two shows never write into one file.
    for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
        output = MakeUniquePath(AddBackslash(folder) + "html5-player.htm");
        fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        CLog::Instance()->Write("StringToFile()--Failed.\r\n");
        ReportFileError(output);
        return std::nullopt;
    }
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            CLog::Instance()->Write("StringToFile()--Failed.\r\n");
            ReportFileError(output);
            ::close(fd);
            ::unlink(output.c_str());
            return std::nullopt;
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        ReportFileError(output);
        return std::nullopt;
    }
    return output;
}

bool ShowSamplePage(int kind, const std::string& samplePagePath, const PlayerChoices& choices,
                    const std::string& workFolder) {
    auto page = WriteSamplePage(kind, samplePagePath, choices, workFolder);
    if (!page) {
        return false;
    }
    OpenInBrowser(*page, ".all");
    return true;
}
