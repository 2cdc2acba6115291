// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "media/MediaConverter.h"

// The playlist a player is given: it lists the renditions, each in a folder of its own.
inline constexpr const char* kStreamPlaylist = "master.m3u8";

// One quality of an adaptive stream.
struct Rendition {
    int height = 0;
    int videoKbps = 0;

    // The rendition's folder in the stream: "720p".
    std::string Name() const { return std::to_string(height) + "p"; }
};

// The qualities made of a video `sourceHeight` pixels tall, best first: its own height (at most
// 1080) and the usual lower ones down to 360. Never one above the source.
std::vector<Rendition> PlanRenditions(int sourceHeight);

// Makes an HLS stream of fMP4 segments from one video in one ffmpeg run: the picture is decoded
// once and scaled to each rendition, and every rendition has its keyframes at the same moments,
// so that a player can change quality at any segment. Progress, cancel and failures are the
// conversion's; the stream is made in a private folder and named only when it is whole.
class CStreamMaker : public CMediaConverter {
public:
    CStreamMaker(CTask* task, CMediaInfo2 source);

    // Makes the stream as the folder `folder`, which must not exist yet. True when it is there,
    // whole; otherwise Problem() says why and nothing is left.
    bool Make(const std::string& folder);

    bool Start() override;

    // The ffmpeg arguments after the input, for a stream made in the current folder.
    static std::vector<std::string> StreamArguments(const std::vector<Rendition>& renditions,
                                                    bool sound);

private:
    // Why the stream in the current run's folder is not whole; empty when it is.
    std::string CheckStream() const;

    std::vector<Rendition> m_renditions;
};
