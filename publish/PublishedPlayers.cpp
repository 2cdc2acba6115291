// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/PublishedPlayers.h"

#include <algorithm>
#include <memory>

#include <gumbo.h>

#include "core/MediaFormat.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "players/CHTML5Player.h"
#include "players/CMediaElementPLayer.h"
#include "players/PlayerInfo.h"
#include "players/PlayerMarkup.h"
#include "publish/InsertionGuard.h"

namespace {

// What the Projekktor template writes after its video element, without Fit and with it.
constexpr std::string_view kProjekktorTail =
    "\n\n<script type=\"text/javascript\">\n$(document).ready(function() {projekktor('#player_a', "
    "{ playerFlashMP4: 'jarisplayer.swf'});});\n</script>";
constexpr std::string_view kFittedProjekktorTail =
    "\n<script type=\"text/javascript\">\n$(document).ready(function() "
    "{projekktor('#player_a');});\n</script>";

// The end of `pattern` matched at `pos`, each "\n" of it standing for the page's LF or CR LF.
size_t MatchAt(std::string_view text, size_t pos, std::string_view pattern) {
    for (char c : pattern) {
        if (c == '\n' && pos + 1 < text.size() && text[pos] == '\r' && text[pos + 1] == '\n') {
            pos += 2;
        } else if (pos < text.size() && text[pos] == c) {
            ++pos;
        } else {
            return std::string_view::npos;
        }
    }
    return pos;
}

std::string_view Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? std::string_view(attribute->value) : std::string_view();
}

std::string_view OpenTag(const GumboElement& element) {
    return {element.original_tag.data, element.original_tag.length};
}

// The element's extent in the text, from its start tag to the end of its end tag; nullopt when
// either is missing from the text (a tag the parser made up).
std::optional<TextRange> Extent(const GumboElement& element, std::string_view text) {
    const size_t start = element.start_pos.offset;
    const size_t end = element.end_pos.offset + element.original_end_tag.length;
    if (!element.original_tag.data || element.original_end_tag.length == 0 || end > text.size() ||
        text.substr(start, element.original_tag.length) != OpenTag(element)) {
        return std::nullopt;
    }
    return TextRange{start, end - start};
}

std::string HeadTemplate(int playerType, int row, bool audio) {
    std::string head;
    PlayerRequest request;
    request.playerIndex = row;
    request.mediaKind = audio ? MEDIA_KIND_AUDIO : MEDIA_KIND_VIDEO;
    if (auto player = CreatePlayer(playerType)) {
        player->GetHeadCode(request, head);
    }
    return head;
}

// Finds where the head code `head` (a template) lies in the page, whatever folder it names.
bool FindHeadTemplate(std::string_view text, const std::string& head, FoundPlayer& player) {
    constexpr std::string_view kPath = "$(path)/";
    const size_t macro = head.find(kPath);
    if (macro == std::string::npos) {
        return false;
    }
    const std::string before = head.substr(0, macro);
    const size_t lineEnd = head.find('\n', macro);
    const std::string after = head.substr(macro + kPath.size(), lineEnd - macro - kPath.size());
    for (size_t at = text.find(before); at != std::string_view::npos;
         at = text.find(before, at + 1)) {
        const size_t urlStart = at + before.size();
        const size_t urlEnd = text.find(after, urlStart);
        if (urlEnd == std::string_view::npos) {
            return false;
        }
        const std::string_view url = text.substr(urlStart, urlEnd - urlStart);
        if (url.find_first_of("\r\n\"") != std::string_view::npos) {
            continue;
        }
        const std::string code = HeadCodeForPage(head, url);
        const size_t end = MatchAt(text, at, code);
        if (player.headCode.empty()) {
            player.headCode = code;
            player.jsUrl = url;
        }
        if (end != std::string_view::npos) {
            player.headCode = code;
            player.jsUrl = url;
            player.head = TextRange{at, end - at};
            return true;
        }
    }
    return false;
}

void FindHeadCode(std::string_view text, FoundPlayer& player) {
    const std::string head = HeadTemplate(player.playerType, player.row, player.audio);
    const auto instance = CreatePlayer(player.playerType);
    // The stream script follows the head code of a player that cannot play the stream itself.
    if (!player.stream.empty() && instance && !instance->PlaysStreams() &&
        FindHeadTemplate(text, head + StreamScriptTemplate(), player)) {
        return;
    }
    player.headCode.clear();
    FindHeadTemplate(text, head, player);
}

// The player's own extent with Fit on: the line break put before it and the one after.
void TakeOwnLines(std::string_view text, TextRange& body) {
    const std::string lineBreak = MatchLineBreaks("\n", text);
    if (text.substr(0, body.offset).ends_with(lineBreak)) {
        body.offset -= lineBreak.size();
        body.length += lineBreak.size();
    }
    if (text.substr(body.end()).starts_with(lineBreak)) {
        body.length += lineBreak.size();
    }
}

// Names the template that wrote the element (Fit on, its blanks single, or off), and the extent
// of all it wrote; false for markup no template of ours writes.
bool Recognise(const GumboNode& node, std::string_view text, FoundPlayer& found) {
    const GumboElement& element = node.v.element;
    const std::optional<TextRange> extent = Extent(element, text);
    if (!extent) {
        return false;
    }
    const std::string_view tag = OpenTag(element);
    found.audio = element.tag == GUMBO_TAG_AUDIO;
    found.body = *extent;
    const std::string_view css = Attribute(element, "class");
    const std::string_view setup = Attribute(element, "data-setup");
    if (!found.audio && tag.starts_with("<video class=\"video-js ") &&
        (setup == "{}" || setup.starts_with("{'media_path':'")) &&
        (css == "video-js vjs-default-skin" || css == "video-js tubecss")) {
        found.playerType = PLAYER_TYPE_VIDEOJS;
        found.row = css == "video-js tubecss" ? 1 : 0;
        found.fit = setup == "{}";
        return true;
    }
    size_t end = std::string_view::npos;
    if (!found.audio && tag.starts_with("<video id=\"player_a\" title=\"")) {
        end = MatchAt(text, extent->end(), kFittedProjekktorTail);
        found.fit = end != std::string_view::npos;
        end = found.fit ? end : MatchAt(text, extent->end(), kProjekktorTail);
        found.playerType = PLAYER_TYPE_PROJEKKTOR;
        found.row = 4;
        found.body.length = end - extent->offset;
        return end != std::string_view::npos;
    }
    const std::string_view open = found.audio ? "<audio " : "<video ";
    if (!tag.starts_with(open) || tag.size() <= open.size()) {
        return false;
    }
    found.fit = tag[open.size()] != ' ';
    const GumboNode* parent = node.parent;
    if (!found.audio && parent && parent->type == GUMBO_NODE_ELEMENT &&
        OpenTag(parent->v.element) == "<div class=\"leanback-player-video\">") {
        const std::optional<TextRange> div = Extent(parent->v.element, text);
        end = !div ? end : found.fit ? div->end() : MatchAt(text, div->end(), "\n");
        if (end == std::string_view::npos ||
            MatchAt(text, div->offset + OpenTag(parent->v.element).size(), "\n") !=
                extent->offset) {
            return false;
        }
        found.playerType = PLAYER_TYPE_LEANBACK;
        found.row = 3;
        found.body = TextRange{div->offset, end - div->offset};
        return true;
    }
    // The renderer order comes with a stream only.
    const size_t streamOrder =
        found.stream.empty() ? std::string_view::npos
                             : MatchAt(text, extent->end(), CMediaElementPLayer::StreamOrderCode());
    end = MatchAt(text, streamOrder == std::string_view::npos ? extent->end() : streamOrder,
                  CreatePlayer(PLAYER_TYPE_MEDIAELEMENT)->GetScriptCode());
    if (end == std::string_view::npos) {
        return false;
    }
    found.playerType = PLAYER_TYPE_MEDIAELEMENT;
    found.row = found.audio ? 0 : 2;
    found.body.length = end - extent->offset;
    return true;
}

void ReadMedia(const GumboNode& node, FoundPlayer& found) {
    const GumboElement& element = node.v.element;
    found.poster = Attribute(element, "poster");
    found.controls = gumbo_get_attribute(&element.attributes, "controls");
    found.autoplay = gumbo_get_attribute(&element.attributes, "autoplay");
    found.loop = gumbo_get_attribute(&element.attributes, "loop");
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT) {
            continue;
        }
        const std::string_view src = Attribute(child->v.element, "src");
        if (child->v.element.tag == GUMBO_TAG_SOURCE && !src.empty()) {
            if (Attribute(child->v.element, "type") == "application/x-mpegURL") {
                found.stream = src;
            } else {
                found.sources.emplace_back(src);
            }
        } else if (child->v.element.tag == GUMBO_TAG_TRACK && !src.empty()) {
            found.captions.emplace_back(src);
            found.captionNames.emplace_back(Attribute(child->v.element, "srclang"),
                                            Attribute(child->v.element, "label"));
        }
    }
}

void Walk(const GumboNode& node, std::string_view text, PageScan& scan) {
    if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE) {
        return;
    }
    const GumboElement& element = node.v.element;
    for (const char* name : {"src", "href", "poster", "data"}) {
        if (const std::string_view url = Attribute(element, name); !url.empty()) {
            scan.urls.emplace_back(url);
        }
    }
    if (element.tag == GUMBO_TAG_VIDEO || element.tag == GUMBO_TAG_AUDIO) {
        FoundPlayer found;
        ReadMedia(node, found);
        found.ours = Recognise(node, text, found);
        if (found.ours && found.fit) {
            TakeOwnLines(text, found.body);
        }
        if (found.ours) {
            const auto rows = found.audio ? GetAudioPlayers() : GetVideoPlayers();
            found.player = rows[static_cast<size_t>(found.row)].cliName;
            FindHeadCode(text, found);
        } else {
            found.playerType = -1;
            found.body = TextRange{element.start_pos.offset, 0};
        }
        found.line = LineAtOffset(text, element.start_pos.offset);
        scan.players.push_back(std::move(found));
    }
    for (unsigned i = 0; i < element.children.length; ++i) {
        Walk(*static_cast<const GumboNode*>(element.children.data[i]), text, scan);
    }
}

std::string Erase(std::string_view text, std::vector<TextRange> ranges) {
    std::ranges::sort(ranges, {}, &TextRange::offset);
    std::string out;
    size_t pos = 0;
    for (const TextRange& range : ranges) {
        if (range.offset >= pos) {
            out.append(text.substr(pos, range.offset - pos));
            pos = range.end();
        }
    }
    out.append(text.substr(pos));
    return out;
}

// How far the tree must be built for every media element in it: past the end tag of the last
// one (and the next div's, which may be Leanback's around its video); zero when
// the page holds none, the whole text when one is still open at its end.
size_t TreeEnd(std::string_view text) {
    size_t lastStart = 0, lastEnd = 0;
    bool any = false;
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const bool close = at + 1 < text.size() && text[at + 1] == '/';
        char tag[5] = {};
        for (size_t i = 0, from = at + 1 + close; i < 5 && from + i < text.size(); ++i) {
            tag[i] = static_cast<char>(text[from + i] | 0x20);
        }
        const std::string_view name(tag, 5);
        if (name != "video" && name != "audio") {
            continue;
        }
        any = true;
        if (!close) {
            lastStart = at + 1;
        } else if (const size_t end = text.find('>', at); end != std::string_view::npos) {
            lastEnd = end + 1;
        }
    }
    if (!any) {
        return 0;
    }
    if (lastStart > lastEnd) {
        return text.size();
    }
    const size_t div = text.find("</div", lastEnd);
    const size_t divEnd = div == std::string_view::npos ? div : text.find('>', div);
    return div == std::string_view::npos      ? lastEnd
           : divEnd == std::string_view::npos ? text.size()
                                              : divEnd + 1;
}

// The locations the page names, read without building its tree: a page without video or audio
// only tells which files are in use, and one named in a comment is kept rather than lost.
void ScanUrls(std::string_view text, PageScan& scan) {
    static const CRegex attribute(
        "\\b(?:src|href|poster|data)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))",
        CRegex::Caseless);
    CRegex::Match m;
    for (size_t start = 0; attribute.Search(text, &m, start); start = m.offset + m.length) {
        for (const auto& [offset, length] : m.groups) {
            if (offset != std::string::npos && length > 0) {
                std::string url(text.substr(offset, length));
                ReplaceAll(url, "&amp;", "&");
                scan.urls.push_back(std::move(url));
            }
        }
    }
}

}  // namespace

PageScan ScanPage(std::string_view text) {
    PageScan scan;
    // The tree costs a hundred times the scan: it covers only the part of the page that holds
    // media, the scan the rest.
    const size_t treeEnd = TreeEnd(text);
    if (treeEnd > 0) {
        std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
            gumbo_parse_with_options(&kGumboDefaultOptions, text.data(), treeEnd),
            [](GumboOutput* o) { gumbo_destroy_output(&kGumboDefaultOptions, o); });
        if (output) {
            Walk(*output->root, text, scan);
        }
    }
    ScanUrls(text.substr(treeEnd), scan);
    return scan;
}

std::string WithoutPlayers(std::string_view text, const std::vector<FoundPlayer>& players,
                           const std::vector<size_t>& remove) {
    std::vector<TextRange> gone;
    std::vector<TextRange> heads;
    for (size_t index : remove) {
        gone.push_back(players[index].body);
        if (const auto& head = players[index].head;
            head && std::ranges::find(heads, *head) == heads.end()) {
            heads.push_back(*head);
        }
    }
    // A head code goes only when every player of ours that stays still finds the code it needs.
    for (const TextRange& head : heads) {
        std::vector<TextRange> trial = gone;
        trial.push_back(head);
        const std::string after = Erase(text, trial);
        bool needed = false;
        for (size_t i = 0; i < players.size() && !needed; ++i) {
            needed = players[i].ours && std::ranges::find(remove, i) == remove.end() &&
                     !IsHeadCodePresent(after, players[i].headCode);
        }
        if (!needed) {
            gone = std::move(trial);
        }
    }
    return Erase(text, gone);
}

std::optional<std::string> ResolveSiteUrl(const std::string& pagePath, std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    const size_t colon = url.find(':');
    if (url.empty() || url.starts_with("//") ||
        (colon != std::string_view::npos && colon < url.find('/'))) {
        return std::nullopt;
    }
    std::string decoded;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && std::isxdigit(url[i + 1]) &&
            std::isxdigit(url[i + 2])) {
            decoded += static_cast<char>(std::stoi(std::string(url.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            decoded += url[i];
        }
    }
    std::vector<std::string> parts;
    if (decoded.front() != '/') {
        SplitString(std::string_view(pagePath).substr(0, pagePath.rfind('/') + 1), "/", parts);
    }
    std::vector<std::string> steps;
    SplitString(decoded, "/", steps);
    for (const std::string& step : steps) {
        if (step == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
        } else if (!step.empty() && step != ".") {
            parts.push_back(step);
        }
    }
    std::string path;
    for (const std::string& part : parts) {
        path += (path.empty() ? "" : "/") + part;
    }
    return path;
}
