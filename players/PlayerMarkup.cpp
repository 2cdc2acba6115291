// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/PlayerMarkup.h"

#include <cctype>
#include <filesystem>
#include <vector>

#include <fmt/printf.h>

#include "core/CodePage.h"
#include "core/MediaFormat.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/VideoThumbnail.h"

namespace {

bool MakeWithFfmpeg(const std::string& video, const std::string& jpeg, double atSeconds) {
    return MakeStillPicture(video, jpeg, atSeconds);
}

TimedStillPictureMaker& Maker() {
    static TimedStillPictureMaker maker = MakeWithFfmpeg;
    return maker;
}

// Where the body code says a file is: the full path in a preview, else beside the media.
std::string LocationOf(const PlayerRequest& request, const std::string& path) {
    if (request.mode == PLAYER_MODE_PREVIEW) {
        return path;
    }
    const std::string name = GetPathFileName(path);
    if (request.mediaFolderUrl.empty()) {
        return name;
    }
    return JoinPath(name, request.mediaFolderUrl, true);
}

std::string PlayerFolder(const PlayerRequest& request, std::string_view folderName) {
    return CombinePath(request.jsFolder, folderName);
}

constexpr const char* kFlashObject =
    "<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"\n"
    "codebase=\"https://download.macromedia.com/pub/shockwave/cabs/flash/"
    "swflash.cab#version=8,0,0,0\" width=\"%d\" height=\"%d\" align=\"Default*\">\n"
    "<param name=\"allowScriptAccess\" value=\"sameDomain\">\n"
    "<param name=\"movie\" value=\"%s?&path=%s\">\n"
    "<param name=\"quality\" value=\"high\">\n"
    "<param name=\"bgcolor\" value=\"#ffffff\">\n"
    "<param name=\"allowFullScreen\" value=\"true\">\n"
    "<embed src=\"%s?&path=%s\" quality=\"high\"  align=\"middle\"\n"
    "bgcolor=\"#ffffff\"  width=\"%d\" height=\"%d\" allowFullScreen=\"true\" \n"
    "allowScriptAccess=\"sameDomain\" type=\"application/x-shockwave-flash\" \n"
    "pluginspage=\"https://www.adobe.com/go/getflashplayer\">\n"
    "</object>";

}  // namespace

void ReplaceMacro(std::string& text, std::string_view name, std::string_view replacement) {
    const std::string macro = "$(" + std::string(name) + ")";
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(macro, pos);
        if (hit == std::string::npos) {
            break;
        }
        out.append(text, pos, hit - pos);
        out += replacement;
        pos = hit + macro.size();
    }
    if (pos == 0) {
        return;
    }
    out.append(text, pos, std::string::npos);
    text = std::move(out);
}

std::string HeadCodeForPage(std::string_view head, std::string_view jsUrl) {
    constexpr std::string_view kScriptFolder = "$(path)/";
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = head.find(kScriptFolder, pos)) != std::string_view::npos;
         pos = hit + kScriptFolder.size()) {
        out.append(head, pos, hit - pos);
        out += jsUrl;
    }
    out.append(head, pos);
    return out;
}

void SetStillPictureMaker(StillPictureMaker maker) {
    if (!maker) {
        Maker() = MakeWithFfmpeg;
        return;
    }
    Maker() = [maker = std::move(maker)](const std::string& video, const std::string& jpeg,
                                         double) { return maker(video, jpeg); };
}

void SetTimedStillPictureMaker(TimedStillPictureMaker maker) {
    Maker() = maker ? std::move(maker) : TimedStillPictureMaker(MakeWithFfmpeg);
}

bool TakeStillPicture(const std::string& video, const std::string& jpeg, double atSeconds) {
    return Maker()(video, jpeg, atSeconds);
}

int FindRequestFormat(const PlayerRequest& request) {
    if (request.mediaFiles.empty()) {
        return -1;
    }
    return FindMediaFormat(GetPathExtension(request.mediaFiles.front()), request.mediaKind);
}

std::string StreamUrl(const PlayerRequest& request) {
    if (request.mode != PLAYER_MODE_PUBLISH || request.streamFolder.empty()) {
        return {};
    }
    const std::string media = MediaUrl(request);
    return media.substr(0, media.rfind('/') + 1) + PathToUrl(request.streamFolder) + "/master.m3u8";
}

std::string StreamScriptTemplate() {
    return fmt::format("<script src=\"$(path)/{}/hls.light.min.js\"></script>\n",
                       kStreamScriptFolder);
}

std::string StreamScriptHead(const PlayerRequest& request) {
    return StreamUrl(request).empty() ? std::string() : StreamScriptTemplate();
}

std::string BuildSourceList(const PlayerRequest& request) {
    std::string list;
    if (const std::string stream = StreamUrl(request); !stream.empty()) {
        list = fmt::sprintf(kSourceLine, stream, "application/x-mpegURL");
    }
    const auto& files = request.mediaFiles;
    const bool ordered = request.sourceOrder.size() == files.size();
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files.at(ordered ? request.sourceOrder[i] : i);
        if (!PathExists(path)) {
            continue;
        }
        int row = FindMediaFormat(GetPathExtension(path), request.mediaKind);
        if (row < 0) {
            continue;
        }
        list += fmt::sprintf(kSourceLine, PathToUrl(LocationOf(request, path)),
                             GetMediaFormat(row).mimeType);
    }
    return list;
}

std::string MediaUrl(const PlayerRequest& request) {
    return request.mediaFiles.empty() ? std::string()
                                      : PathToUrl(LocationOf(request, request.mediaFiles.front()));
}

std::string BuildTrackList(const PlayerRequest& request) {
    // No player here shows captions for audio.
    if (!(request.mediaKind & MEDIA_KIND_VIDEO)) {
        return {};
    }
    std::string list;
    for (const CaptionTrack& track : request.captions) {
        list += fmt::sprintf(kTrackLine, PathToUrl(LocationOf(request, track.file)),
                             EscapeHtmlText(track.language.empty() ? "und" : track.language),
                             EscapeHtmlText(track.label), list.empty() ? " default" : "");
    }
    return list;
}

std::optional<std::string> TakePosterPicture(const PlayerRequest& request,
                                             const std::string& workFolder) {
    if (!(request.mediaKind & MEDIA_KIND_VIDEO) || request.mediaFiles.empty()) {
        return std::nullopt;
    }
    const std::string& media = request.mediaFiles.front();
    // Taken in the working folder, so a picture of that name beside the media (the user's) is
    // neither replaced nor deleted afterwards.
    if (!IsValidPath(workFolder) || !CreateFolders(workFolder)) {
        return std::nullopt;
    }
    const std::string picture =
        std::filesystem::path(workFolder) / (GetPathFileTitle(media) + ".jpg");
    if (!TakeStillPicture(media, picture, request.posterAt)) {
        return std::nullopt;
    }
    return picture;
}

std::string BuildPosterAttribute(const PlayerRequest& request) {
    if (!(request.mediaKind & MEDIA_KIND_VIDEO) || request.posterFile.empty()) {
        return {};
    }
    return fmt::sprintf(kPosterSnippet, PathToUrl(LocationOf(request, request.posterFile)));
}

std::string BuildFitAttribute(const PlayerRequest& request) {
    if (!request.fit || !(request.mediaKind & MEDIA_KIND_VIDEO) || request.width <= 0 ||
        request.height <= 0) {
        return {};
    }
    // The width is the style's own: a player's style sheet may size its class before the script
    // runs. A block has no line gap under it that would close once the player wraps it.
    return fmt::format(
        " style=\"width:{}px;max-width:100%;height:auto;aspect-ratio:{}/{};"
        "display:block\"",
        request.width, request.width, request.height);
}

std::string TidyFittedBody(std::string_view body, const PlayerRequest& request) {
    std::string out;
    for (size_t i = 0; i < body.size();) {
        if (body.compare(i, 7, "<script") == 0) {
            const size_t end = body.find("</script>", i);
            const size_t stop = end == std::string_view::npos ? body.size() : end + 9;
            out.append(body, i, stop - i);
            i = stop;
        } else if (body[i] == '<' && i + 1 < body.size() &&
                   std::isalpha(static_cast<unsigned char>(body[i + 1]))) {
            char quote = 0;
            for (; i < body.size(); ++i) {
                const char c = body[i];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == ' ' || c == '\t' || c == '\n') {
                    if (!out.ends_with(' ')) {
                        out += ' ';
                    }
                    continue;
                } else if (c == '>' || (c == '/' && body.substr(i, 2) == "/>")) {
                    if (out.ends_with(' ')) {
                        out.pop_back();
                    }
                    if (c == '>') {
                        out += c;
                        ++i;
                        break;
                    }
                }
                out += c;
            }
        } else if (body[i] == '\n' && (out.empty() || out.ends_with('\n'))) {
            ++i;
        } else {
            out += body[i++];
        }
    }
    while (out.ends_with('\n')) {
        out.pop_back();
    }
    if (!request.autoPlay) {
        ReplaceAll(out, "preload=\"auto\"", "preload=\"metadata\"");
    }
    return out;
}

const char* AutoplaySnippet(const PlayerRequest& request) {
    if (!request.autoPlay) {
        return "";
    }
    return request.mediaKind == MEDIA_KIND_VIDEO ? kVideoAutoplaySnippet : kAutoplaySnippet;
}

std::vector<std::string> PublishCopyList(const PlayerRequest& request) {
    std::vector<std::string> list = request.copyList;
    if (request.poster && !request.posterFile.empty() && (request.mediaKind & MEDIA_KIND_VIDEO)) {
        list.push_back(request.posterFile);
    }
    if (request.mediaKind & MEDIA_KIND_VIDEO) {
        for (const CaptionTrack& track : request.captions) {
            list.push_back(track.file);
        }
    }
    return list;
}

PlayerChoices ChoicesFromOptions(const COptions& options) {
    return {options.m_bVideoControl != 0,  options.m_bAutoPlay != 0,
            options.m_bAudioAutoPlay != 0, options.m_bVideoLoop != 0,
            options.m_bVideoPoster != 0,   options.m_bFitPlayer != 0,
            options.m_bQualities != 0};
}

void ReadCodeOptions(PlayerRequest& request, const PlayerChoices& choices) {
    const bool video = request.mediaKind == MEDIA_KIND_VIDEO;
    request.showControls = choices.controls;
    request.autoPlay = video ? choices.autoPlay : choices.audioAutoPlay;
    request.loop = choices.loop;
    request.poster = video && choices.poster;
    request.fit = video && choices.fit;
    request.qualities = video && choices.qualities;
}

std::string MediaLocation(const PlayerRequest& request) {
    return request.mediaFiles.empty()
               ? std::string()
               : CombinePath(request.mediaFolder, GetPathFileName(request.mediaFiles.front()));
}

std::string BuildFallbackText(int formatRow) {
    if (formatRow < 0) {
        return {};
    }
    const MediaFormat& format = GetMediaFormat(formatRow);
    std::string text = fmt::sprintf(kFallbackSnippet, LoadStringRes(IDS_BROWSER_NOT_SUPPORTED));
    ReplaceMacro(text, "video_tag", format.displayName);
    ReplaceMacro(text, "suggestion",
                 LoadStringRes(IDS_PLEASE_OPEN_IN) + " " + std::string(format.browsers));
    return text;
}

std::string BuildFlashObject(const PlayerRequest& request, std::string_view folderName) {
    auto flash = FlashPlayerUrl(request, folderName);
    auto media = MediaPathUrl(request, folderName);
    if (!flash || !media) {
        return {};
    }
    return fmt::sprintf(kFlashObject, request.width + 2, request.height + 26, *flash, *media,
                        *flash, *media, request.width + 2, request.height + 26);
}

std::string EscapeFileNameForUrl(std::string_view name) {
    return EscapeForUrl(name, UrlPart::FileName);
}

std::string EscapeHtmlText(std::string_view text) {
    std::string utf8(text);
    if (auto converted = codepage::SystemToUtf8(text)) {
        utf8 = *converted;
    }
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == '"') {
            out += "&quot;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '$') {
            // Macros are replaced after the title is in: "$(controls)" in a name stays text.
            out += "&#36;";
        } else if (c < 0x20 || c == 0x7F) {
            out += fmt::format("&#{};", static_cast<int>(c));
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // A character reference reads right in a page of any encoding.
            size_t len = (c & 0xE0) == 0xC0   ? 2
                         : (c & 0xF0) == 0xE0 ? 3
                         : (c & 0xF8) == 0xF0 ? 4
                                              : 1;
            unsigned cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : len == 4 ? c & 0x07 : 0xFFFD;
            bool ok = len > 1 && i + len <= utf8.size();
            for (size_t k = 1; ok && k < len; ++k) {
                unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
                ok = (cc & 0xC0) == 0x80;
                cp = (cp << 6) | (cc & 0x3F);
            }
            if (!ok) {
                cp = 0xFFFD;
                len = 1;
            }
            out += fmt::format("&#{};", cp);
            i += len - 1;
        }
    }
    return out;
}

std::optional<std::string> MediaPathUrl(const PlayerRequest& request, std::string_view folderName) {
    if (request.mediaFiles.empty()) {
        return std::nullopt;
    }
    auto relative = RelativePathFrom(PlayerFolder(request, folderName), MediaLocation(request));
    if (!relative) {
        return std::nullopt;
    }
    return PathToUrlKeepingName(GetPathFolder(*relative),
                                EscapeFileNameForUrl(GetPathFileName(*relative)));
}

std::optional<std::string> PlayerPathUrl(const PlayerRequest& request,
                                         std::string_view folderName) {
    auto relative =
        RelativePathFrom(GetPathFolder(request.pagePath), PlayerFolder(request, folderName));
    if (!relative) {
        return std::nullopt;
    }
    return PathToUrl(AddBackslash(*relative));
}

std::optional<std::string> FlashPlayerUrl(const PlayerRequest& request,
                                          std::string_view folderName) {
    auto relative =
        RelativePathFrom(GetPathFolder(request.pagePath), PlayerFolder(request, folderName));
    if (!relative) {
        return std::nullopt;
    }
    return PathToUrl((std::filesystem::path(*relative) / "Player.swf").native());
}
