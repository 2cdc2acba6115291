// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "players/PlayerRequest.h"

class COptions;

// Attribute snippets; their trailing blanks belong to them.
inline constexpr const char* kControlsSnippet = "controls=\"controls\"  ";
inline constexpr const char* kAutoplaySnippet = "autoplay=\"autoplay\" ";
// Browsers start a video by itself only when it is muted, and phones only when it also plays
// inline; sound waits for the visitor in any case, so audio keeps the plain snippet.
inline constexpr const char* kVideoAutoplaySnippet =
    "autoplay=\"autoplay\" muted=\"muted\" playsinline=\"playsinline\" ";
inline constexpr const char* kLoopSnippet = "loop=\"loop\"  ";
inline constexpr const char* kPosterSnippet = "poster=\"%s\"  ";
inline constexpr const char* kSourceLine = "<source src=\"%s\" type=\"%s\"/>\n";
inline constexpr const char* kTrackLine =
    "<track kind=\"captions\" src=\"%s\" srclang=\"%s\" label=\"%s\"%s>\n";
inline constexpr const char* kFallbackSnippet = "%s $(video_tag),$(suggestion) .";

// Replaces every occurrence of the macro `$(name)`, left to right; inserted text is not scanned.
void ReplaceMacro(std::string& text, std::string_view name, std::string_view replacement);

// The head code for a page whose script folder is at `jsUrl` (a URL ending in "/"): every
// "$(path)/" of the template becomes it.
std::string HeadCodeForPage(std::string_view head, std::string_view jsUrl);

// Takes a poster picture: (video path, JPEG path) → success. Tests stand in for ffmpeg here.
using StillPictureMaker = std::function<bool(const std::string&, const std::string&)>;
void SetStillPictureMaker(StillPictureMaker maker);
// The same with the moment in seconds: (video path, JPEG path, seconds) → success.
using TimedStillPictureMaker = std::function<bool(const std::string&, const std::string&, double)>;
void SetTimedStillPictureMaker(TimedStillPictureMaker maker);
bool TakeStillPicture(const std::string& video, const std::string& jpeg, double atSeconds = 0);

// The poster step: takes a picture of the request's video into `workFolder` as
// "<media title>.jpg" (at the request's poster moment) and returns its path; nullopt for audio or
// when it cannot be taken.
std::optional<std::string> TakePosterPicture(const PlayerRequest& request,
                                             const std::string& workFolder);

// The markup choices the settings hold now.
PlayerChoices ChoicesFromOptions(const COptions& options);
// Fills the request's choices (controls, autoplay for its kind, loop, poster, fit).
void ReadCodeOptions(PlayerRequest& request, const PlayerChoices& choices);

// The installation folder of the script that plays streams in players that cannot by themselves.
inline constexpr const char* kStreamScriptFolder = "hls";
// The published stream's playlist, relative to the page; empty when there is none.
std::string StreamUrl(const PlayerRequest& request);
// The head code that loads the stream script, for a page with a published stream.
std::string StreamScriptHead(const PlayerRequest& request);
// That head code's template, whatever the request.
std::string StreamScriptTemplate();

// The source elements: the stream's playlist first, when there is one, then the media files in
// the request's order.
std::string BuildSourceList(const PlayerRequest& request);
// The URL the page's markup gives the request's (first) media file.
std::string MediaUrl(const PlayerRequest& request);
// Empty for audio and when no poster picture was taken (the option is the caller's test).
std::string BuildPosterAttribute(const PlayerRequest& request);
// The style that fits a video player to the page (with its leading blank); empty when the request
// does not ask for it or has no size. The width and height attributes stay beside it, so the
// browser reserves the player's room before anything has loaded.
std::string BuildFitAttribute(const PlayerRequest& request);
// A fitted body made tidy: one blank between attributes and none before ">", no empty lines and
// no line feed at the end; and, as the page needs no more than the video's details at first, the
// metadata preloaded unless the video plays by itself. Script elements are left as they are.
std::string TidyFittedBody(std::string_view body, const PlayerRequest& request);
// The autoplay snippet for the request's kind, or empty when it does not autoplay.
const char* AutoplaySnippet(const PlayerRequest& request);
// The track elements of the request's video captions, the first one the default; empty without.
std::string BuildTrackList(const PlayerRequest& request);
// What the publish step copies into the media folder: the copy list, the poster in use and the
// captions.
std::vector<std::string> PublishCopyList(const PlayerRequest& request);
// Where the publish step puts the request's media file.
std::string MediaLocation(const PlayerRequest& request);
// The fallback text of the format row, with its two macros replaced.
std::string BuildFallbackText(int formatRow);
// The fallback object for browsers with the Flash plug-in; empty when a location cannot be had.
std::string BuildFlashObject(const PlayerRequest& request, std::string_view folderName);

// Escapes a file name for a URL: its UTF-8 bytes, with every character that is not plain in a
// URL path segment written as "%XX".
std::string EscapeFileNameForUrl(std::string_view name);
// Escapes text from a file name for use inside markup outside a URL (an attribute value).
std::string EscapeHtmlText(std::string_view text);

// The locations the players write into their markup, in URL form (nullopt: cannot be computed).
// The media file relative to the player's resource folder.
std::optional<std::string> MediaPathUrl(const PlayerRequest& request, std::string_view folderName);
// The player's resource folder relative to the page, ending in "/".
std::optional<std::string> PlayerPathUrl(const PlayerRequest& request, std::string_view folderName);
// The Flash player file of the resource folder, relative to the page.
std::optional<std::string> FlashPlayerUrl(const PlayerRequest& request,
                                          std::string_view folderName);

// The format row of the request's first media file, or -1.
int FindRequestFormat(const PlayerRequest& request);
