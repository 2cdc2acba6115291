// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "tests/support/Sandbox.h"

namespace bench {

// A 720p test picture with sound, `seconds` long and about `megabytes` large: encoded at a
// constant rate with filler, the encoder pads every second to the rate instead of working for it.
inline bool MakeFilledFilm(const std::string& path, long long megabytes, long long seconds) {
    const std::string rate = std::to_string(megabytes * 8 * 1024 * 1024 / 1000 / seconds) + "k";
    const std::string length = std::to_string(seconds);
    return test::Run({"ffmpeg",
                      "-hide_banner",
                      "-loglevel",
                      "error",
                      "-y",
                      "-f",
                      "lavfi",
                      "-i",
                      "testsrc2=size=1280x720:rate=25:duration=" + length,
                      "-f",
                      "lavfi",
                      "-i",
                      "sine=duration=" + length,
                      "-c:v",
                      "libx264",
                      "-preset",
                      "ultrafast",
                      "-x264-params",
                      "nal-hrd=cbr",
                      "-b:v",
                      rate,
                      "-minrate",
                      rate,
                      "-maxrate",
                      rate,
                      "-bufsize",
                      rate,
                      "-pix_fmt",
                      "yuv420p",
                      "-c:a",
                      "aac",
                      "-shortest",
                      path}) == 0;
}

}  // namespace bench
