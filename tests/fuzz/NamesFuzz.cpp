// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary file names through everything that writes a name into a page: the URL forms, the
// source list and each player's body code. Checked: a URL never holds a character that would end
// an attribute, cut the URL or start markup, and decodes back to the name's bytes; the generated
// markup has the same tags, attributes and quoting as for a plain name.
#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "players/CHTML5Player.h"
#include "players/PlayerMarkup.h"
#include "publish/CPublishJob.h"
#include "tests/faults/MarkupShape.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr const char* kExtensions[] = {".mp4", ".webm", ".ogg", ".ogv",
                                       ".mp3", ".m4a",  ".oga", ".wav"};

bool IsUnsafeInUrl(unsigned char c) {
    return c < 0x20 || c >= 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == ' ' ||
           c == '#' || c == '&' || c == '\\' || c == ':';
}

// Every '%' starts an escape and the bytes decode to `expected`.
void CheckUrl(std::string_view url, std::string_view expected, bool blanksMayStay) {
    for (unsigned char c : url) {
        if (blanksMayStay && (c == ' ' || c == '(' || c == ')')) {
            continue;
        }
        FUZZ_CHECK(!IsUnsafeInUrl(c));
    }
    std::string decoded;
    FUZZ_CHECK(fuzz::PercentDecode(url, decoded));
    if (decoded != expected) {
        std::fprintf(stderr, "url %s\nwant %s\n", fuzz::Printable(url).c_str(),
                     fuzz::Printable(expected).c_str());
    }
    FUZZ_CHECK(decoded == expected);
}

std::string SourceUrl(std::string_view html) {
    for (const markup::Tag& tag : markup::Tokenize(html).tags) {
        for (const markup::Attribute& a : tag.attributes) {
            if (tag.name == "source" && a.name == "src") {
                return a.value;
            }
        }
    }
    return {};
}

bool MakeEmptyFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::string BodyCode(int type, const std::string& media, int kind, int mode) {
    PlayerRequest request;
    request.mediaFiles = {media};
    request.mediaTitle = GetPathFileTitle(media);
    request.width = 320;
    request.height = 240;
    request.mode = mode;
    request.mediaKind = kind;
    request.playerIndex = type == 0 ? 1 : type + 1;
    SetPageLocations(request, SiteLayout(SiteFromOptions(*COptions::Instance())),
                     fuzz::ScratchFolder() + "/site/sub/index.htm");
    ReadCodeOptions(request, ChoicesFromOptions(*COptions::Instance()));
    request.posterFile =
        TakePosterPicture(request, COptions::Instance()->m_strWorkFolder).value_or(std::string());
    auto player = CreatePlayer(type);
    std::string body;
    if (!player->GetBodyCode(request, body)) {
        return "refused";
    }
    return body + player->GetScriptCode();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ConfineEnvironment();
    CreateFolders(fuzz::ScratchFolder() + "/in");
    CreateFolders(fuzz::ScratchFolder() + "/site/sub");
    COptions& o = *COptions::Instance();
    o.m_strSiteRoot = fuzz::ScratchFolder() + "/site/";
    o.m_strJsPath = "/js/";
    o.m_strMediaPath = "/medias/";
    o.m_bVideoPoster = 1;
    o.m_strWorkFolder = fuzz::ScratchFolder() + "/work";
    // The poster attribute is built as if ffmpeg had taken the picture.
    SetStillPictureMaker([](const std::string&, const std::string&) { return true; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t choice = in.ConsumeIntegral<uint8_t>();
    const std::string name = in.ConsumeRemainingBytesAsString();

    const std::string url = PathToUrl(name);
    const bool absolute = name.size() >= 2 && name.front() == '/';
    FUZZ_CHECK(!absolute || url.starts_with("file://"));
    CheckUrl(absolute ? std::string_view(url).substr(7) : std::string_view(url), name,
             name.size() < 2);

    const std::string escaped = EscapeFileNameForUrl(name);
    CheckUrl(escaped, name, false);
    FUZZ_CHECK(escaped.find('/') == std::string::npos);
    FUZZ_CHECK(escaped.find('?') == std::string::npos);
    CheckUrl(PathToUrlKeepingName("../../medias", escaped), "../../medias/" + name, false);

    const std::string title = EscapeHtmlText(name);
    for (unsigned char c : title) {
        FUZZ_CHECK(c != '"' && c != '<' && c != '>' && c >= 0x20 && c < 0x7F);
    }

    // A file of that name (what a file system allows of it) in each player's markup.
    std::string fileName;
    for (char c : name) {
        if (c != '/' && c != '\0') {
            fileName += c;
        }
    }
    const std::string extension = kExtensions[choice % 8];
    fileName = fileName.substr(0, 255 - extension.size()) + extension;
    const std::string media = fuzz::ScratchFolder() + "/in/" + fileName;
    const std::string plain = fuzz::ScratchFolder() + "/in/plain" + extension;
    if (!MakeEmptyFile(media) || !MakeEmptyFile(plain)) {
        return 0;
    }
    const int kind = (choice & 0x08) ? MEDIA_KIND_AUDIO : MEDIA_KIND_VIDEO;
    const int mode = (choice & 0x10) ? PLAYER_MODE_PREVIEW : PLAYER_MODE_PUBLISH;
    const int type = (choice >> 5) % 4;

    PlayerRequest request;
    request.mediaFiles = {media};
    request.mode = mode;
    request.mediaKind = kind;
    request.mediaFolderUrl = (choice & 0x80) ? "../medias" : "";
    const std::string list = BuildSourceList(request);
    if (FindMediaFormat(extension, kind) < 0) {
        FUZZ_CHECK(list.empty());
    } else {
        FUZZ_CHECK(list.starts_with("<source src=\"") && list.ends_with("\"/>\n"));
        FUZZ_CHECK(std::count(list.begin(), list.end(), '"') == 4);
        FUZZ_CHECK(std::count(list.begin(), list.end(), '\n') == 1);
        const std::string location = mode == PLAYER_MODE_PREVIEW ? media
                                     : request.mediaFolderUrl.empty()
                                         ? fileName
                                         : request.mediaFolderUrl + "/" + fileName;
        const std::string src = SourceUrl(list);
        const bool isFileUrl = mode == PLAYER_MODE_PREVIEW;
        FUZZ_CHECK(!isFileUrl || src.starts_with("file://"));
        CheckUrl(std::string_view(src).substr(isFileUrl ? 7 : 0), location, false);
    }

    const std::string hostile = BodyCode(type, media, kind, mode);
    const std::string benign = BodyCode(type, plain, kind, mode);
    const std::string shape = markup::Shape(hostile);
    if (shape != markup::Shape(benign)) {
        std::fprintf(stderr, "markup for the name:\n%s\nfor a plain name:\n%s\n",
                     fuzz::Printable(hostile).c_str(), fuzz::Printable(benign).c_str());
    }
    FUZZ_CHECK(shape != "unbalanced");
    FUZZ_CHECK(shape == markup::Shape(benign));
    ::unlink(media.c_str());
    return 0;
}
