// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/FaultSite.h"

#include <fstream>
#include <map>

namespace faults {
namespace {

bool Make(const std::string& name, const std::string& path) {
    if (name == "song.mp3") {
        return test::MakeMedia(path, 1, false, true, {"-c:a", "libmp3lame"});
    }
    if (name == "long.mp3") {
        return test::MakeMedia(path, 40, false, true, {"-c:a", "libmp3lame", "-b:a", "128k"});
    }
    if (name == "movie.mp4") {
        // Index first: publishing copies it as it is and runs ffmpeg for the poster alone.
        return test::MakeMedia(
            path, 1, true, true,
            {"-c:v", "libx264", "-c:a", "aac", "-movflags", "+faststart", "-shortest"}, 320, 240);
    }
    if (name == "big.mp4") {
        // A short film, then bytes that can change without MediaInfo or ffmpeg noticing; long
        // enough that a copy takes several writes.
        if (!test::MakeMedia(path, 2, true, true,
                             {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-movflags",
                              "+faststart", "-shortest"},
                             320, 240)) {
            return false;
        }
        std::string tail(size_t{40} << 20, '\0');
        for (size_t i = 0; i < tail.size(); ++i) {
            tail[i] = static_cast<char>((i * 2654435761u) >> 24);
        }
        std::ofstream(path, std::ios::binary | std::ios::app) << tail;
        return true;
    }
    if (name == "big-other.mp4") {
        std::string bytes = test::ReadFile(SampleMedia("big.mp4"));
        for (size_t i = bytes.size() / 2; i < bytes.size(); i += 7) {
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        }
        std::ofstream(path, std::ios::binary) << bytes;
        return bytes.size() > 1000000;
    }
    return false;
}

}  // namespace

const std::string& SampleMedia(const std::string& name) {
    static test::Sandbox folder;
    static std::map<std::string, std::string> made;
    auto it = made.find(name);
    if (it == made.end()) {
        const std::string path = folder / name;
        EXPECT_TRUE(Make(name, path)) << name;
        it = made.emplace(name, path).first;
    }
    return it->second;
}

FaultTest::FaultTest() {
    site = env.sandbox.MakeFolder("site");
    // Large enough that every message of a run still fits under a file size limit set for it.
    std::string page = kPage;
    page.insert(page.find("<!-- video -->"), "<p>" + std::string(4000, 'x') + "</p>\n");
    index = env.sandbox.Write("site/index.htm", page);
}

std::vector<std::string> FaultTest::Site(const std::vector<std::string>& more) const {
    std::vector<std::string> args = {"--site-root", site,           "--js-path",
                                     "/js/",        "--media-path", "/medias/"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace faults
