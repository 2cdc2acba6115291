// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/Sandbox.h"

namespace test {

// The types of the top-level boxes of an MP4 file, in file order; read here independently of the
// program, so the tests do not take its word for the layout.
inline std::vector<std::string> TopLevelBoxes(const std::string& path) {
    std::vector<std::string> boxes;
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    const auto end = static_cast<uint64_t>(in.tellg());
    uint64_t pos = 0;
    while (pos + 8 <= end && boxes.size() < 1000) {
        in.seekg(static_cast<std::streamoff>(pos));
        unsigned char header[16] = {};
        in.read(reinterpret_cast<char*>(header), 8);
        uint64_t size = (uint64_t{header[0]} << 24) | (uint64_t{header[1]} << 16) |
                        (uint64_t{header[2]} << 8) | header[3];
        boxes.emplace_back(reinterpret_cast<const char*>(header + 4), 4);
        if (size == 1) {
            in.read(reinterpret_cast<char*>(header + 8), 8);
            size = 0;
            for (int i = 8; i < 16; ++i) {
                size = (size << 8) | header[i];
            }
        } else if (size == 0) {
            size = end - pos;
        }
        if (size < 8) {
            break;
        }
        pos += size;
    }
    return boxes;
}

// True when the file has a moov box and it comes before the first mdat box.
inline bool IndexFirst(const std::string& path) {
    for (const std::string& box : TopLevelBoxes(path)) {
        if (box == "moov") {
            return true;
        }
        if (box == "mdat") {
            return false;
        }
    }
    return false;
}

// The per-stream hashes of the coded packets, as ffmpeg's streamhash muxer gives them: equal
// exactly when every stream holds the same data.
inline std::string StreamHashes(const std::string& path) {
    std::string out;
    if (Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f",
             "streamhash", "-"},
            &out) != 0) {
        return "ffmpeg failed: " + out;
    }
    return out;
}

// An H.264/AAC MP4 as editors and phones write it: the index at the end.
inline bool MakeIndexLastMp4(const std::string& path, double seconds = 2, int width = 320,
                             int height = 240) {
    return MakeMedia(
               path, seconds, true, true,
               {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"},
               width, height) &&
           !IndexFirst(path);
}

}  // namespace test
