// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/SamplePages.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "core/Browser.h"
#include "core/FileCopy.h"
#include "core/Folders.h"
#include "core/Log.h"
#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "players/PlayerMarkup.h"

namespace {

bool PrepareWorkFolder(const std::string& folder) {
    return IsValidPath(folder) && CreateFolders(folder);
}

CError FileError(const std::string& path) {
    const int error = errno;
    return Failure(error, MESSAGE_ERROR, IDS_SAMPLE_FILE_ERROR, path, GetErrorText(error));
}

}  // namespace

bool CopySampleMedia(int kind, const std::string& folder) {
    if (!PrepareWorkFolder(folder)) {
        return false;
    }
    static const char* const kVideo[] = {"Waiting for you.jpg", "Waiting for you.mp4",
                                         "Waiting for you.webm", "Player.swf"};
    static const char* const kAudio[] = {"Waiting for you.mp3", "Waiting for you.oga"};
    const std::filesystem::path example = std::filesystem::path(GetInstallFolder()) / "Example";
    auto copy = [&](const char* name) {
        const std::string target = std::filesystem::path(folder) / name;
        if (!PathExists(target)) {
            CopyFileOverwrite(example / name, target);
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

CResult<std::string> WriteSamplePage(int kind, const std::string& samplePagePath,
                                     const PlayerChoices& choices, const std::string& folder) {
    if (!CopySampleMedia(kind, folder)) {
        return CError{errno};
    }
    std::ifstream in(samplePagePath, std::ios::binary);
    if (!in) {
        return FileError(samplePagePath);
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
        output = MakeUniquePath(std::filesystem::path(folder) / "html5-player.htm");
        fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        CLog::Instance()->Write("StringToFile()--Failed.\r\n");
        return FileError(output);
    }
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            CLog::Instance()->Write("StringToFile()--Failed.\r\n");
            CError failed = FileError(output);
            ::close(fd);
            ::unlink(output.c_str());
            return failed;
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        return FileError(output);
    }
    return output;
}

CStatus ShowSamplePage(int kind, const std::string& samplePagePath, const PlayerChoices& choices,
                       const std::string& workFolder) {
    auto page = WriteSamplePage(kind, samplePagePath, choices, workFolder);
    if (!page) {
        return page.why;
    }
    return OpenInBrowser(page.value, ".all");
}
